// A titled frame holding one group of radio buttons, found by the number the
// page gave it rather than by its position.
#pragma once

#include <initializer_list>
#include <vector>

#include <gtkmm/buttonbox.h>
#include <gtkmm/frame.h>
#include <gtkmm/radiobutton.h>

class ConfigGrp : public Gtk::Frame {
public:
    // The buttons, made by the page, are joined into one radio group in list
    // order; the first one starts chosen.
    ConfigGrp(const char *title, int spacing, Gtk::ButtonBoxStyle layout, int id,
              std::vector<Gtk::RadioButton *> buttons);

    // Index of the chosen button; 0 when none is.
    int GetActive();
    // Chooses the button at index; an index without a button changes nothing.
    void SetActive(int index);
    // The button at index, or null past the last one.
    Gtk::RadioButton *GetButton(unsigned index);
    int GetValue();

    std::vector<Gtk::RadioButton *> buttons;
    int id;
};

// New radio buttons with these labels, for a ConfigGrp.
std::vector<Gtk::RadioButton *> RadioButtons(std::initializer_list<const char *> labels);

// The group with this id in a page's list, or null.
ConfigGrp *FindGroup(const std::vector<ConfigGrp *> &groups, int id);
