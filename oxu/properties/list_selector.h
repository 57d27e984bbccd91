// A drop-down list whose text cannot be typed into: the user only picks.
#pragma once

#include <string>
#include <vector>

#include <gtkmm/comboboxtext.h>
#include <sigc++/signal.h>

class ListSelector : public Gtk::ComboBoxText {
public:
    ListSelector();

    // Replaces the items and chooses the first, so that the list shows it.
    void SetItems(std::vector<std::string> items);

    // The chosen text changed: once per pick, and once per fill with the
    // first item. Emptying the list on the way is not reported, so that a
    // handler never takes the empty text in between for a value.
    sigc::signal<void> &signal_text_changed() { return text_changed; }

private:
    void OnChanged();

    bool filling = false;
    sigc::signal<void> text_changed;
};
