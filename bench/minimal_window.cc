// The yardstick for the client utility's start-up: a minimal gtkmm-3 program
// that shows one fixed 515 x 330 window.
#include <gtkmm/main.h>
#include <gtkmm/window.h>

int main(int argc, char **argv)
{
    Gtk::Main kit(argc, argv);
    Gtk::Window window;
    window.set_title("Minimal window");
    window.set_size_request(515, 330);
    window.set_resizable(false);
    window.show_all();
    Gtk::Main::run(window);
    return 0;
}
