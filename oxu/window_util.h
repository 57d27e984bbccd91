// Helpers for top-level windows made with new.
#pragma once

#include <gtkmm/window.h>

// Destroys a window made with new once the signal that is running has
// finished (a window must not be deleted from inside its own handlers).
void DestroyWindow(Gtk::Window *window);

// Moves a window to the main window's origin on the screen plus (dx, dy) and
// makes it transient for the main window.
void PlaceOverMain(Gtk::Window &window, int dx, int dy);
