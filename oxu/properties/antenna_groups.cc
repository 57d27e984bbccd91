#include "antenna_groups.h"

namespace {

// Item index to antenna byte: diversity, right, left.
constexpr uint16_t ItemCoding[3] = {3, 1, 2};

int ItemOf(unsigned byte)
{
    for (int i = 0; i < 3; ++i)
        if (ItemCoding[i] == byte)
            return i;
    return -1;
}

} // namespace

Gtk::Box *AntennaGroupRow(std::vector<ConfigGrp *> &groups)
{
    auto *row = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0));
    const struct {
        const char *title;
        int id;
    } made[] = {{"Antenna Mode [Receive]:", ANTENNA_RECEIVE},
                {"Antenna Mode [Transmit]):", ANTENNA_TRANSMIT}};
    for (const auto &m : made) {
        auto *group = Gtk::manage(new ConfigGrp(
            m.title, 0, Gtk::BUTTONBOX_START, m.id,
            RadioButtons({"Diversity [Both]", "Right Antenna Only", "Left  Antenna Only"})));
        groups.push_back(group);
        row->pack_start(*group, true, true, 5);
    }
    return row;
}

void LoadAntenna(const std::vector<ConfigGrp *> &groups, uint16_t word)
{
    if (ConfigGrp *receive = FindGroup(groups, ANTENNA_RECEIVE))
        receive->SetActive(ItemOf(word & 0xFF));
    if (ConfigGrp *transmit = FindGroup(groups, ANTENNA_TRANSMIT))
        transmit->SetActive(ItemOf(word >> 8));
}

uint16_t AntennaWord(const std::vector<ConfigGrp *> &groups)
{
    uint16_t word = 0;
    if (ConfigGrp *receive = FindGroup(groups, ANTENNA_RECEIVE))
        word |= ItemCoding[receive->GetActive()];
    if (ConfigGrp *transmit = FindGroup(groups, ANTENNA_TRANSMIT))
        word |= uint16_t(ItemCoding[transmit->GetActive()] << 8);
    return word;
}
