#include "system_page.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/label.h>

#include "busy_retry.h"
#include "globals.h"
#include "latin1_text.h"
#include "main_window.h"
#include "page_widgets.h"
#include "properties_window.h"
#include "security_page.h"
#include "window_util.h"

namespace {

constexpr int NameChars = sizeof(CFG_R770::client_name);
constexpr int SsidChars = sizeof(SsidEntry::text);

} // namespace

SystemParams::SystemParams(kdR770 *radio, PropWindow *owner) : adapter(radio), window(owner)
{
    auto *column = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    // Only the RF page reads the status (the current channel).
    window->NoteRead(RetriedWhole(adapter, &kdR770::GetStatus, status) == 0, "status");
    cfg = window->enterprise.cfg;
    aplist = window->enterprise.aplist;
    ssid = window->enterprise.ssid;

    column->pack_start(*EntryRow(FixedLabel(" Client Name:"), name_entry, NameChars), false, false, 1);
    for (int i = 0; i < 3; ++i) {
        char label[32];
        std::snprintf(label, sizeof label, " SSID%1d:      ", i + 1);
        column->pack_start(*EntryRow(FixedLabel(label), ssid_entries[i], SsidChars), false, false, 1);
    }

    groups.push_back(Gtk::manage(new ConfigGrp(
        "Power Save Mode", 0, Gtk::BUTTONBOX_START, POWER_SAVE,
        RadioButtons({"CAM (Constantly Awake Mode)", "PSP (Power Save Mode)",
                      "Fast PSP (Fast Power Save Mode)"}))));
    groups.push_back(Gtk::manage(new ConfigGrp("Network Type", 0, Gtk::BUTTONBOX_START,
                                               NETWORK_TYPE,
                                               RadioButtons({"Ad Hoc", "Infrastructure"}))));
    groups.push_back(Gtk::manage(new ConfigGrp(
        "Current Profile", 0, Gtk::BUTTONBOX_START, CURRENT_PROFILE,
        RadioButtons({"Use Enterprise Configuration", "Use Home Network Configuration"}))));

    auto *modes = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0));
    modes->set_homogeneous(true);
    modes->set_border_width(2);
    modes->pack_start(*groups[0], true, true, 5);
    modes->pack_start(*groups[1], true, true, 5);
    infra_button = groups[1]->GetButton(1);
    adhoc_button = groups[1]->GetButton(0);
    column->pack_start(*modes, false, false, 0);

    auto *profile = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0));
    profile->set_border_width(2);
    profile->pack_start(*groups[2], true, true, 0);
    enterprise_button = groups[2]->GetButton(0);
    column->pack_start(*profile, false, false, 0);

    column->pack_end(*DefaultsRow(sigc::mem_fun(*this, &SystemParams::SetDefaults)), false,
                     false, 0);
    add(*column);

    Refresh();
    show_all();
}

SystemParams::~SystemParams()
{
    // The page's end is the end of the window's nested loop.
    window->LeaveLoop();
}

void SystemParams::Refresh()
{
    // A failed read keeps the capabilities read before (none while the
    // window opens, which then does not open).
    _STCAPS fresh{};
    const bool read = RetriedWhole(adapter, &kdR770::GetCaps, fresh) == 0;
    window->NoteRead(read, "capabilities");
    if (read)
        caps = fresh;
    name_entry->set_text(Latin1ToUtf8(cfg.client_name));
    for (int i = 0; i < 3; ++i) {
        const SsidEntry &e = ssid.entry[i];
        const size_t n = std::min<size_t>(e.len, sizeof e.text);
        ssid_entries[i]->set_text(n ? Latin1ToUtf8(e.text, n) : std::string());
    }
    for (ConfigGrp *group : groups) {
        switch (group->GetValue()) {
        case NETWORK_TYPE:
            // Only a low byte of 1 is infrastructure.
            adhoc = (cfg.net_type & 0xFF) == 1 ? 0 : 1;
            group->SetActive(adhoc ? 0 : 1);
            break;
        case CURRENT_PROFILE:
            group->SetActive(CurrentProfile == 1 ? 1 : 0);
            break;
        case POWER_SAVE:
            if (cfg.power_save <= 2)
                group->SetActive(cfg.power_save);
            break;
        }
    }
}

void SystemParams::SetDefaults()
{
    CFG_R770 &defaults = window->enterprise.cfg;
    std::memset(&window->enterprise.ssid, 0, sizeof window->enterprise.ssid);
    std::memset(&window->enterprise.aplist, 0, sizeof window->enterprise.aplist);
    defaults.net_type = 1;
    defaults.auth_mode &= uint16_t(~AUTH_ZUNA);
    defaults.auth_mode |= AUTH_OPEN;
    defaults.auth_mode &= uint16_t(~AUTH_SHARED_KEY);
    defaults.short_retry = 16;
    defaults.frag_threshold = 2312;
    defaults.rts_threshold = 2312;
    defaults.long_retry = 16;
    defaults.tx_power = 1;
    defaults.power_save = 0;
    std::memset(defaults.client_name, 0, sizeof defaults.client_name);

    // Whatever the other pages had written into the working profile goes.
    cfg = window->enterprise.cfg;
    aplist = window->enterprise.aplist;
    ssid = window->enterprise.ssid;
    Refresh();
    show_all();
}

void SystemParams::NetworkTypeToggled()
{
    SecuritySetting *security = window->security_page;
    if (infra_button->get_active()) {
        adhoc = 0;
        if (security) {
            security->zuna_button->set_sensitive(security->ZunaCapable());
            security->disable_button->set_sensitive(true);
        }
    } else {
        adhoc = 1;
        if (security) {
            // A radio group always has a choice: leaving ZUNA means "Disable",
            // so that ZUNA is never stored with ad hoc.
            security->zuna_button->set_sensitive(false);
            security->disable_button->set_active(true);
            security->disable_button->set_sensitive(false);
        }
    }
}

void SystemParams::Apply()
{
    // Filled SSIDs move up over empty entries; every text is zero-padded to
    // its field's end.
    _STSSID fresh{};
    int slot = 0;
    for (Gtk::Entry *entry : ssid_entries) {
        const std::string text = entry->get_text();
        if (text.empty())
            continue;
        SsidEntry &e = fresh.entry[slot];
        const int n = StoreLatin1(text, e.text);
        if (n <= 0)
            continue;
        e.len = uint16_t(n);
        ++slot;
    }
    ssid = fresh;
    StoreLatin1(name_entry->get_text(), cfg.client_name);

    for (ConfigGrp *group : groups) {
        switch (group->GetValue()) {
        case NETWORK_TYPE:
            if (group->GetActive() == 1)
                cfg.net_type |= 1;
            else
                cfg.net_type &= uint16_t(~1u);
            break;
        case POWER_SAVE:
            cfg.power_save = uint16_t(group->GetActive());
            break;
        case CURRENT_PROFILE:
            CurrentProfile = group->GetActive() == 0 ? 0 : 1;
            break;
        }
    }

    _STSTATUS now{};
    if (Retried(adapter, &kdR770::GetStatus, now) != 0) {
        window->AdapterFailed();
        return;
    }
    if (enterprise_button->get_active() && !window->SendProfile(cfg, aplist, ssid))
        return;
    EnterpriseProfile.cfg = cfg;
    EnterpriseProfile.ssid = ssid;
    EnterpriseProfile.aplist = aplist;
    window->SaveProfiles(CurrentProfile == 0 ? 0 : 1);
    UpdateZunaItem();
}
