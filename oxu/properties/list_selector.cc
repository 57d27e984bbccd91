#include "list_selector.h"

ListSelector::ListSelector() : Gtk::ComboBoxText(false)
{
    signal_changed().connect(sigc::mem_fun(*this, &ListSelector::OnChanged));
}

void ListSelector::SetItems(std::vector<std::string> items)
{
    filling = true;
    remove_all();
    for (const std::string &item : items)
        append(item);
    filling = false;
    if (!items.empty())
        set_active(0);
}

void ListSelector::OnChanged()
{
    if (!filling)
        text_changed.emit();
}
