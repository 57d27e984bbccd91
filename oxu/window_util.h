// Helpers for top-level windows made with new.
#pragma once

#include <gtkmm/button.h>
#include <gtkmm/buttonbox.h>
#include <gtkmm/entry.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>

// Destroys a window made with new once the signal that is running has
// finished (a window must not be deleted from inside its own handlers).
// Calling it again for a window not yet deleted does nothing.
void DestroyWindow(Gtk::Window *window);

// Draws a shown widget on the screen at once and flushes it to the display,
// for the times when blocking work holds the main loop.
void DrawNow(Gtk::Widget &widget);

// Moves a window to the main window's origin on the screen plus (dx, dy) and
// makes it transient for the main window.
void PlaceOverMain(Gtk::Window &window, int dx, int dy);

// The dialogs' button box: "Cancel" then "Ok" at its end, 5 pixels apart.
Gtk::ButtonBox *CancelOkButtons(Gtk::Button *&cancel, Gtk::Button *&ok);

// An entry of at most max characters that hides what is typed.
Gtk::Entry *HiddenEntry(int max);

// A field label in the fixed font, aligned to the top left.
Gtk::Label *FixedLabel(const char *text);
