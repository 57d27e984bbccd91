// oxu: the client utility for Vindral wireless LAN adapters.
#include <gtkmm/main.h>

#include "main_window.h"
#include "styles.h"

int main(int argc, char **argv)
{
    Gtk::Main kit(argc, argv);
    InstallStyles();
    BuildMainWindow();
    ChooseAdapter();
    Gtk::Main::run();
    return 0;
}
