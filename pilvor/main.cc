// pilvor: logs a ZUNA user in on the first adapter that answers, from the
// command line (user name, password) or from its window.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <gtkmm/main.h>

#include "zuna_login.h"
#include "zuner.h"

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "-v") == 0) {
        std::fputs("pilvor 1.5.1\n", stdout);
        return 0;
    }
    setenv("DISPLAY", "unix:0", 1);
    // Gives the X server of a starting session time to come up.
    sleep(8);

    Gtk::Main kit(argc, argv);
    Zuner zuner;
    zuner.signal_delete_event().connect(sigc::ptr_fun(&ExitOnDelete));

    if (argc > 2) {
        if (kdR770Authuser(argv[1], argv[2]) == -1)
            zuner.show();
        else
            zuner.Message("User Authenticated");
    } else {
        zuner.show();
        sleep(5);
    }
    Gtk::Main::run();
    return 0;
}
