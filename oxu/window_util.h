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

// Keeps a window's repaints to what changed in it. GTK 3 counts the shadows
// that a window's buttons cast beyond its edge as part of the window, finds
// the window's extent changed at every new layout (a label's new text), and
// repaints all of it; nothing can be drawn outside a window, so its extent is
// kept to its size.
void RedrawOnlyWhatChanges(Gtk::Window &window);

// Gives a label the text only when it differs from the one shown, and says
// whether it did: GTK re-measures, re-lays out and repaints a label at every
// set_text, even with the same text.
bool SetTextIfChanged(Gtk::Label &label, const Glib::ustring &text);
