#include "infrastructure_page.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include <glib.h>
#include <gtkmm/box.h>
#include <gtkmm/label.h>

#include "antenna_groups.h"
#include "error_window.h"
#include "page_widgets.h"
#include "properties_window.h"
#include "system_page.h"

namespace {

constexpr int EntryChars = 32;
constexpr int AddressChars = 17;  // "02:1a:2b:3c:4d:5e"

bool Filled(const uint8_t (&mac)[6])
{
    return std::any_of(std::begin(mac), std::end(mac), [](uint8_t b) { return b != 0; });
}

} // namespace

int ParseMacAddress(const char *text, uint8_t out[6])
{
    uint8_t bytes[6];
    // Character by character, stopping at the terminator, so that nothing
    // past the text is read.
    for (int field = 0; field < 6; ++field) {
        const char *pair = text + 3 * field;
        const int high = g_ascii_xdigit_value(pair[0]);
        if (high < 0)
            return -1;
        const int low = g_ascii_xdigit_value(pair[1]);
        if (low < 0)
            return -1;
        bytes[field] = uint8_t(high << 4 | low);
        if (pair[2] != (field < 5 ? ':' : '\0'))
            return -1;
    }
    std::copy(std::begin(bytes), std::end(bytes), out);
    return 0;
}

Infr::Infr(kdR770 *radio, PropWindow *owner) : window(owner), adapter(radio)
{
    System()->infra_button->signal_toggled().connect(sigc::mem_fun(*this, &Infr::InfraToggled));

    auto *column = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    column->pack_end(*DefaultsRow(sigc::mem_fun(*this, &Infr::SetDefaults)), false, false, 0);
    column->pack_start(*AntennaGroupRow(groups), false, false, 0);
    column->pack_start(*Gtk::manage(new Gtk::Label("")), false, false, 0);
    for (int i = 0; i < 4; ++i) {
        char label[48];
        std::snprintf(label, sizeof label, "%s %1d: ", "              Specified Access Point",
                      i + 1);
        column->pack_start(*EntryRow(Gtk::manage(new Gtk::Label(label)), ap_entries[i], EntryChars),
                           false, false, 0);
    }
    rts_threshold_scale = WholeScale(0, 0, 2312);
    rts_retry_scale = WholeScale(1, 1, 128);
    column->pack_start(*PairRow(*LeftLabel("RTS Threshold"), *LeftLabel("RTS Retry Limit"), 20),
                       false, false, 0);
    column->pack_start(*PairRow(*rts_threshold_scale, *rts_retry_scale, 20), false, false, 0);
    Refresh();
    add(*column);
}

SystemParams *Infr::System()
{
    return window->system_page;
}

void Infr::Refresh()
{
    const SystemParams *system = System();
    LoadAntenna(groups, system->cfg.antenna);
    rts_threshold_scale->set_value(system->cfg.rts_threshold);
    rts_retry_scale->set_value(system->cfg.long_retry);
    // An address of any non-zero byte is shown; an entry without one keeps
    // its text.
    for (int i = 0; i < 4; ++i) {
        const uint8_t(&mac)[6] = system->aplist.mac[i];
        if (!Filled(mac))
            continue;
        char text[AddressChars + 1];
        std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2],
                      mac[3], mac[4], mac[5]);
        ap_entries[i]->set_text(text);
    }
}

void Infr::SetDefaults()
{
    SystemParams *system = System();
    system->cfg.antenna = 0x0303;
    for (Gtk::Entry *entry : ap_entries)
        entry->set_text("");
    // The stored addresses stay, and are shown again.
    system->aplist.length = sizeof(_STAPLIST);
    system->cfg.rts_threshold = 2312;
    system->cfg.long_retry = 16;
    Refresh();
}

void Infr::InfraToggled()
{
    SystemParams *system = System();
    if (!system)
        return;
    if (system->infra_button->get_active())
        show();
    else
        hide();
}

void Infr::Apply()
{
    SystemParams *system = System();
    if (!system || !system->infra_button->get_active())
        return;
    system->cfg.rts_threshold = uint16_t(rts_threshold_scale->get_value());
    system->cfg.long_retry = uint16_t(rts_retry_scale->get_value());
    system->cfg.antenna = AntennaWord(groups);

    std::string refused;
    for (int i = 0; i < 4; ++i) {
        uint8_t(&mac)[6] = system->aplist.mac[i];
        const std::string text = ap_entries[i]->get_text();
        if (text.empty()) {
            std::fill(std::begin(mac), std::end(mac), 0);
        } else if (ParseMacAddress(text.c_str(), mac) != 0) {
            // The stored address stays; the user is told.
            refused += "Specified Access Point " + std::to_string(i + 1) + ": \"" + text +
                       "\" refused\n";
        }
    }
    system->aplist.length = sizeof(_STAPLIST);
    if (!refused.empty()) {
        refused += "An address is six pairs of hexadecimal digits separated by ':'.\n"
                   "A refused entry keeps the stored address.";
        (new ErrWin)->Show(refused.c_str());
    }
}
