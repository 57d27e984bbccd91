// The yardsticks for the client utility's start-up: minimal gtkmm-3 programs
// that show one fixed 515 x 330 window, empty or (built with ONE_LABEL) with
// one label of text, so that the cost of fonts and text shaping shows apart.
#include <gtkmm/label.h>
#include <gtkmm/main.h>
#include <gtkmm/window.h>

int main(int argc, char **argv)
{
    Gtk::Main kit(argc, argv);
    Gtk::Window window;
    window.set_size_request(515, 330);
    window.set_resizable(false);
#ifdef ONE_LABEL
    window.set_title("Minimal label window");
    Gtk::Label label("Your VX1100 is associated to AP-1 IP address: 10.00.00.01");
    window.add(label);
#else
    window.set_title("Minimal window");
#endif
    window.show_all();
    Gtk::Main::run(window);
    return 0;
}
