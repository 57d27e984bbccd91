#include "window_util.h"

#include <glibmm/main.h>

#include "globals.h"

void DestroyWindow(Gtk::Window *window)
{
    window->hide();
    Glib::signal_idle().connect_once([window] { delete window; });
}

void PlaceOverMain(Gtk::Window &window, int dx, int dy)
{
    int x = 0, y = 0;
    if (MainWindow) {
        window.set_transient_for(*MainWindow);
        MainWindow->get_position(x, y);
    }
    window.move(x + dx, y + dy);
}
