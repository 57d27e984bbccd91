// Entry point of the in-process window tests: the toolkit is started once,
// as the client utility's own main does, before the tests build windows.
#include <dlfcn.h>

#include <gtest/gtest.h>
#include <glibmm/main.h>
#include <gtk/gtk.h>
#include <gtkmm/main.h>
#include <gtkmm/window.h>

#include <string>

#include "gui.h"
#include "styles.h"

namespace {

std::string ShownTitles()
{
    std::string out;
    for (Gtk::Window *w : Gtk::Window::list_toplevels())
        if (w->get_visible())
            out += (out.empty() ? "'" : ", '") + w->get_title() + "'";
    return out.empty() ? "none" : out;
}

} // namespace

// Every nested main loop of a case, the program's (a menu command's, a
// dialog's) and the test's own, runs through here: gtkmm's Main::run()
// calls gtk_main(), which this program's definition takes the place of.
// A loop still running after WaitSeconds waits for what will not come (a
// test that failed before it answered the dialog, a window that never
// closes): the case fails, naming the windows shown when the loop began,
// and the loop is ended, together with any loop still running inside it,
// so that the case ends rather than hang until CTest kills it.
extern "C" void gtk_main(void)
{
    using Main = void (*)();
    static const Main real = reinterpret_cast<Main>(dlsym(RTLD_NEXT, "gtk_main"));
    const guint level = gtk_main_level();
    const std::string shown = ShownTitles();
    sigc::connection quitting;
    sigc::connection guard = Glib::signal_timeout().connect_seconds(
        [level, shown, &quitting] {
            ADD_FAILURE() << "a nested main loop (level " << level + 1 << ") ran for " << WaitSeconds
                          << " s without ending; windows shown when it began: " << shown
                          << "; shown now: " << ShownTitles() << ". Ending it.";
            quitting = Glib::signal_timeout().connect(
                [level] {
                    if (gtk_main_level() > level)
                        gtk_main_quit();
                    return true;
                },
                50);
            return false;
        },
        WaitSeconds);
    real();
    guard.disconnect();
    quitting.disconnect();
}

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    Gtk::Main kit(argc, argv);
    InstallStyles();
    return RUN_ALL_TESTS();
}
