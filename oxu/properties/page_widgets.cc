#include "page_widgets.h"

#include <gtkmm/button.h>

#include "latin1_text.h"
#include "scale_adjustment.h"

Gtk::Label *LeftLabel(const char *text)
{
    auto *label = Gtk::manage(new Gtk::Label(text));
    label->set_xalign(0);
    label->set_yalign(0);
    return label;
}

Gtk::CheckButton *LeftCheck(const char *text)
{
    auto *check = Gtk::manage(new Gtk::CheckButton(text));
    if (auto *label = dynamic_cast<Gtk::Label *>(check->get_child())) {
        label->set_xalign(0);
        label->set_yalign(0);
    }
    return check;
}

Gtk::Box *EntryRow(Gtk::Label *label, Gtk::Entry *&entry, int max)
{
    auto *row = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 10));
    entry = Gtk::manage(new Gtk::Entry);
    LimitToLatin1(*entry, max);
    row->pack_start(*label, false, false, 0);
    row->pack_start(*entry, true, true, 0);
    row->pack_end(*Gtk::manage(new Gtk::Label("")), true, true, 0);
    return row;
}

Gtk::Scale *WholeScale(float value, float lower, float upper)
{
    auto *scale = Gtk::manage(
        new Gtk::Scale(sadjustment::create(value, lower, upper, 10, 1, 0), Gtk::ORIENTATION_HORIZONTAL));
    scale->set_digits(0);
    return scale;
}

Gtk::Box *PairRow(Gtk::Widget &left, Gtk::Widget &right, int padding)
{
    auto *row = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0));
    row->set_homogeneous(true);
    row->pack_start(left, true, true, padding);
    row->pack_start(right, true, true, padding);
    return row;
}

Gtk::Box *DefaultsRow(const sigc::slot<void> &onClick)
{
    auto *row = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0));
    auto *defaults = Gtk::manage(new Gtk::Button(" Defaults "));
    defaults->signal_clicked().connect(onClick);
    row->pack_end(*defaults, false, false, 0);
    return row;
}
