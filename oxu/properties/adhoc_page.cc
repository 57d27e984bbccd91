#include "adhoc_page.h"

#include <algorithm>

#include <gtkmm/box.h>
#include <gtkmm/label.h>

#include "antenna_groups.h"
#include "page_widgets.h"
#include "properties_window.h"
#include "system_page.h"

namespace {

constexpr uint16_t LeastWake = 5;

} // namespace

Infra::Infra(kdR770 *, PropWindow *owner) : window(owner)
{
    System()->infra_button->signal_toggled().connect(sigc::mem_fun(*this, &Infra::OnModeToggled));

    auto *column = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    rts_threshold_scale = WholeScale(0, 0, 2312);
    rts_retry_scale = WholeScale(1, 1, 128);
    wake_scale = WholeScale(LeastWake, LeastWake, 60);
    beacon_scale = WholeScale(20, 20, 976);
    column->pack_start(*AntennaGroupRow(groups), false, false, 0);
    column->pack_start(*Gtk::manage(new Gtk::Label("")), false, false, 0);
    column->pack_start(*PairRow(*LeftLabel("RTS Threshold"), *LeftLabel("RTS Retry Limit"), 20),
                       false, false, 0);
    column->pack_start(*PairRow(*rts_threshold_scale, *rts_retry_scale, 20), false, false, 0);
    column->pack_start(
        *PairRow(*LeftLabel("Wake Duration [Kus]"), *LeftLabel("Beacon Period [Kus]"), 20), false,
        false, 0);
    column->pack_start(*PairRow(*wake_scale, *beacon_scale, 20), false, false, 0);
    column->pack_end(*DefaultsRow(sigc::mem_fun(*this, &Infra::SetDefaults)), false, false, 0);
    Load();
    add(*column);
    show_all();
}

SystemParams *Infra::System()
{
    return window->system_page;
}

void Infra::Load()
{
    const CFG_R770 &cfg = System()->cfg;
    LoadAntenna(groups, cfg.antenna);
    rts_threshold_scale->set_value(cfg.rts_threshold);
    rts_retry_scale->set_value(cfg.long_retry);
    wake_scale->set_value(cfg.wake_duration);
    beacon_scale->set_value(cfg.beacon_period);
}

void Infra::SetDefaults()
{
    CFG_R770 &cfg = System()->cfg;
    cfg.wake_duration = LeastWake;
    cfg.rts_threshold = 2312;
    cfg.long_retry = 16;
    cfg.beacon_period = 100;
    cfg.antenna = 0x0303;
    Load();
}

void Infra::Apply()
{
    SystemParams *system = System();
    if (!system || system->infra_button->get_active())
        return;
    CFG_R770 &cfg = system->cfg;
    cfg.rts_threshold = uint16_t(rts_threshold_scale->get_value());
    cfg.long_retry = uint16_t(rts_retry_scale->get_value());
    cfg.wake_duration = std::max(uint16_t(wake_scale->get_value()), LeastWake);
    cfg.beacon_period = uint16_t(beacon_scale->get_value());
    cfg.antenna = AntennaWord(groups);
}

void Infra::OnModeToggled()
{
    SystemParams *system = System();
    if (!system)
        return;
    if (system->infra_button->get_active())
        hide();
    else
        show();
}
