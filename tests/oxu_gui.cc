// Test helpers that build the client utility's own windows; kept apart from
// gui.cc so that tests of the other graphical program do not pull them in.
#include <chrono>

#include "firmware_window.h"
#include "gui.h"
#include "main_window.h"

void AnswerFileDialogLater(int ms, int response, const std::string &path)
{
    Later(ms, [response, path] {
        auto *dialog = dynamic_cast<Filesel *>(FindWindow("File selection"));
        ASSERT_NE(dialog, nullptr);
        if (!path.empty()) {
            ASSERT_TRUE(dialog->set_filename(path));
            // The dialog selects the file once it has read the folder; it
            // accepts only a selected file.
            auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (dialog->get_filename() != path && std::chrono::steady_clock::now() < until)
                Step(10);
            ASSERT_EQ(dialog->get_filename(), path);
        }
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

