#include "config_group.h"

ConfigGrp::ConfigGrp(const char *title, int spacing, Gtk::ButtonBoxStyle layout, int number,
                     std::vector<Gtk::RadioButton *> list)
    : Gtk::Frame(title), buttons(std::move(list)), id(number)
{
    auto *box = Gtk::manage(new Gtk::ButtonBox(Gtk::ORIENTATION_VERTICAL));
    box->set_border_width(5);
    add(*box);
    box->set_layout(layout);
    box->set_spacing(spacing);
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (i > 0)
            buttons[i]->join_group(*buttons[0]);
        box->add(*buttons[i]);
    }
}

int ConfigGrp::GetActive()
{
    for (size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i]->get_active())
            return int(i);
    return 0;
}

void ConfigGrp::SetActive(int index)
{
    if (Gtk::RadioButton *button = GetButton(unsigned(index)))
        button->set_active(true);
}

Gtk::RadioButton *ConfigGrp::GetButton(unsigned index)
{
    return index < buttons.size() ? buttons[index] : nullptr;
}

int ConfigGrp::GetValue()
{
    return id;
}

std::vector<Gtk::RadioButton *> RadioButtons(std::initializer_list<const char *> labels)
{
    std::vector<Gtk::RadioButton *> out;
    for (const char *label : labels)
        out.push_back(Gtk::manage(new Gtk::RadioButton(label)));
    return out;
}

ConfigGrp *FindGroup(const std::vector<ConfigGrp *> &groups, int id)
{
    for (ConfigGrp *group : groups)
        if (group->GetValue() == id)
            return group;
    return nullptr;
}
