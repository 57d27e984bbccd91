// Pieces that several property pages are built from.
#pragma once

#include <sigc++/functors/slot.h>

#include <gtkmm/box.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/entry.h>
#include <gtkmm/label.h>
#include <gtkmm/scale.h>

// A label aligned to the top left.
Gtk::Label *LeftLabel(const char *text);

// A check button whose label sits at the top left.
Gtk::CheckButton *LeftCheck(const char *text);

// A row of a label, an entry of at most max Latin-1 characters that takes the
// spare width, and an empty label at its end.
Gtk::Box *EntryRow(Gtk::Label *label, Gtk::Entry *&entry, int max);

// A horizontal scale with no decimals over a whole-number range (step 10,
// page 1, no page size).
Gtk::Scale *WholeScale(float value, float lower, float upper);

// A row of two widgets of equal width, each padded by padding.
Gtk::Box *PairRow(Gtk::Widget &left, Gtk::Widget &right, int padding);

// The bottom row of a page: " Defaults " at its right end.
Gtk::Box *DefaultsRow(const sigc::slot<void> &onClick);
