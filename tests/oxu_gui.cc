// Test helpers that build the client utility's own windows; kept apart from
// gui.cc so that tests of the other graphical program do not pull them in.
#include <sys/stat.h>

#include "firmware_window.h"
#include "gui.h"
#include "main_window.h"

void AnswerFileDialogLater(int ms, int response, const std::string &path)
{
    Later(ms, [response, path] {
        auto *dialog = ShownWindow<Filesel>();
        ASSERT_NE(dialog, nullptr) << "no file dialog to answer";
        // Answered whichever way this is left: a dialog left open would hold
        // the command's loop. Cancel, unless the file was chosen.
        ScopeExit cancel([dialog] { dialog->response(Gtk::RESPONSE_CANCEL); });
        if (!path.empty()) {
            struct stat st;
            ASSERT_EQ(stat(path.c_str(), &st), 0) << "no file to choose: " << path;
            ASSERT_TRUE(dialog->set_filename(path));
            // The dialog selects the file once it has read the folder; it
            // accepts only a selected file.
            ASSERT_TRUE(RunUntil([&] { return dialog->get_filename() == path; },
                                 "the file dialog to select " + path));
        }
        cancel.Dismiss();
        dialog->response(response);
    });
}

void StartMainWindow(const Sandbox &sb, const std::vector<std::string> &ifaces)
{
    for (const auto &i : ifaces)
        sb.add(i);
    RescanRadios();
    BuildMainWindow();
    ChooseAdapter();
    Step();
}
