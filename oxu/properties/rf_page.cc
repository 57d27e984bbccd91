#include "rf_page.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <gtkmm/box.h>
#include <gtkmm/buttonbox.h>

#include "channel_list.h"
#include "data_rates.h"
#include "page_widgets.h"
#include "properties_window.h"
#include "system_page.h"

namespace {

constexpr int PowerLevels = 8;

std::vector<unsigned> LevelsOf(const _STCAPS &caps)
{
    std::vector<unsigned> levels;
    for (int i = 0; i < PowerLevels && caps.power_levels[i] != 0; ++i)
        levels.push_back(caps.power_levels[i]);
    return levels;
}

} // namespace

RfParams::RfParams(kdR770 *radio, PropWindow *owner) : window(owner), adapter(radio)
{
    auto *column = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));

    auto *top = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0));
    groups.push_back(Gtk::manage(new ConfigGrp(
        "Data Rate:", 0, Gtk::BUTTONBOX_START, DATA_RATE,
        RadioButtons({"Auto Rate Selection", "1 Mbps Only", "2 Mbps Only", "5.5 Mbps Only",
                      "11 Mbps Only"}))));
    auto *checks = Gtk::manage(new Gtk::ButtonBox(Gtk::ORIENTATION_VERTICAL));
    checks->set_layout(Gtk::BUTTONBOX_START);
    checks->set_spacing(0);
    short_headers_check = LeftCheck("Use Short Radio Headers");
    world_mode_check = LeftCheck("World Mode");
    checks->add(*short_headers_check);
    checks->add(*world_mode_check);
    top->pack_start(*groups[0], true, true, 5);
    top->pack_start(*checks, true, true, 5);
    column->pack_start(*top, false, false, 0);

    // Each label above its control.
    retry_scale = WholeScale(1, 1, 128);
    frag_scale = WholeScale(256, 256, 2312);
    power_list = Gtk::manage(new ListSelector);
    channel_list = Gtk::manage(new ListSelector);
    column->pack_start(*PairRow(*LeftLabel("Data Retries"), *LeftLabel("Fragment Threshold"), 20),
                       false, false, 0);
    column->pack_start(*PairRow(*retry_scale, *frag_scale, 20), false, false, 0);
    column->pack_start(*PairRow(*LeftLabel("Transmit Power"), *LeftLabel("Channel"), 20), false,
                       false, 0);
    column->pack_start(*PairRow(*power_list, *channel_list, 20), false, false, 0);
    column->pack_end(*DefaultsRow(sigc::mem_fun(*this, &RfParams::SetDefaults)), false, false, 0);
    add(*column);

    power_list->signal_text_changed().connect(sigc::mem_fun(*this, &RfParams::PowerChanged));
    channel_list->signal_text_changed().connect(sigc::mem_fun(*this, &RfParams::ChannelChanged));
    System()->infra_button->signal_toggled().connect(sigc::mem_fun(*this, &RfParams::InfraToggled));
    FillLists();
}

SystemParams *RfParams::System()
{
    return window->system_page;
}

void RfParams::FillLists()
{
    SystemParams *system = System();
    const CFG_R770 &cfg = system->cfg;
    FillPowerList();
    FillChannelList();
    InfraToggled();

    // Without supported rates "Auto" would store none: the profile's rates
    // stay.
    ConfigGrp *rates = FindGroup(groups, DATA_RATE);
    rates->set_sensitive(HasRates(system->caps));
    const int item = RateItem(cfg.rates);
    if (item >= 0)
        rates->SetActive(item);
    retry_scale->set_value(cfg.short_retry);
    frag_scale->set_value(cfg.frag_threshold);
    short_headers_check->set_active(cfg.radio_flags & RADIO_SHORT_HEADERS);
    world_mode_check->set_active(cfg.world_mode & 0x0002);
}

void RfParams::FillPowerList()
{
    const std::vector<unsigned> levels = LevelsOf(System()->caps);
    // The stored power first, a level or not (a profile written for another
    // adapter): an untouched Ok keeps it.
    powers = {System()->cfg.tx_power};
    for (unsigned level : levels)
        if (std::find(powers.begin(), powers.end(), level) == powers.end())
            powers.push_back(level);
    std::vector<std::string> texts;
    for (unsigned p : powers) {
        char text[16];
        std::snprintf(text, sizeof text, "%-3u mW", p);
        texts.push_back(text);
    }
    power_list->SetItems(texts);
    // Greyed with nothing else to choose.
    power_list->set_sensitive(powers.size() > 1);
}

void RfParams::FillChannelList()
{
    SystemParams *system = System();
    const unsigned code = system->caps.region;
    const char *format = code == 2 ? "     %u (%u MHz)" : "%u  (%u MHz)";
    ChannelItems items =
        MakeChannelItems(code, system->cfg.channel, system->status.cur_channel, format);
    channels = items.channels;
    channel_list->SetItems(items.texts);
}

void RfParams::PowerChanged()
{
    const int row = power_list->get_active_row_number();
    if (System() && row >= 0 && size_t(row) < powers.size())
        System()->cfg.tx_power = uint16_t(powers[row]);
}

void RfParams::ChannelChanged()
{
    const int row = channel_list->get_active_row_number();
    if (System() && row >= 0 && size_t(row) < channels.size())
        System()->cfg.channel = uint16_t(channels[row]);
}

void RfParams::InfraToggled()
{
    SystemParams *system = System();
    if (!system)
        return;
    // Greyed with nothing else to choose.
    channel_list->set_sensitive(!system->infra_button->get_active() && channels.size() > 1);
}

void RfParams::SetDefaults()
{
    SystemParams *system = System();
    CFG_R770 &cfg = system->cfg;
    StoreRates(0, system->caps, cfg.rates);
    for (unsigned level : LevelsOf(system->caps))
        if (level > cfg.tx_power)
            cfg.tx_power = uint16_t(level);
    cfg.world_mode = 1;
    cfg.radio_flags |= RADIO_SHORT_HEADERS;
    cfg.short_retry = 16;
    cfg.frag_threshold = 2312;
    // The channel stays.
    FillLists();
}

void RfParams::Apply()
{
    SystemParams *system = System();
    if (!system)
        return;
    CFG_R770 &cfg = system->cfg;
    if (short_headers_check->get_active())
        cfg.radio_flags |= RADIO_SHORT_HEADERS;
    else
        cfg.radio_flags &= uint16_t(~RADIO_SHORT_HEADERS);
    cfg.world_mode = world_mode_check->get_active() ? 2 : 1;
    // A greyed group stores nothing.
    if (HasRates(system->caps))
        ApplyRates(FindGroup(groups, DATA_RATE)->GetActive(), system->caps, cfg.rates);
    cfg.short_retry = uint16_t(retry_scale->get_value());
    cfg.frag_threshold = uint16_t(frag_scale->get_value());
    // What the lists show is what is stored, whatever the working profile
    // was given since (the System Parameters page's " Defaults ").
    PowerChanged();
    ChannelChanged();
}
