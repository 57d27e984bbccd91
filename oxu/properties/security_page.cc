#include "security_page.h"

#include <unistd.h>

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/buttonbox.h>
#include <gtkmm/label.h>

#include "busy_retry.h"
#include "globals.h"
#include "page_widgets.h"
#include "properties_window.h"
#include "system_page.h"

namespace {

constexpr int MaxKeyRecords = 5;

} // namespace

SecuritySetting::SecuritySetting(kdR770 *radio, PropWindow *owner) : window(owner), adapter(radio)
{
    SystemParams *system = window->system_page;
    auto *column = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    auto *grouprow = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0));
    auto *checks = Gtk::manage(new Gtk::ButtonBox(Gtk::ORIENTATION_VERTICAL));
    checks->set_layout(Gtk::BUTTONBOX_START);
    checks->set_spacing(0);
    int tx = 0;
    usable_key = CountWepKeys(tx) != 0;
    window->NoteRead(!keys_unreadable, "keys");

    groups.push_back(Gtk::manage(new ConfigGrp("Server Based Authentication", 0,
                                               Gtk::BUTTONBOX_START, SERVER,
                                               RadioButtons({"Disable", "ZUNA"}))));
    disable_button = groups[0]->GetButton(0);
    zuna_button = groups[0]->GetButton(1);
    zuna_button->signal_clicked().connect(sigc::mem_fun(*this, &SecuritySetting::ZunaToggled));
    if (system->adhoc == 1) {
        disable_button->set_active(true);
        disable_button->set_sensitive(false);
        zuna_button->set_sensitive(false);
    }
    if (!ZunaCapable())
        zuna_button->set_sensitive(false);
    grouprow->pack_start(*groups[0], true, true, 5);

    groups.push_back(Gtk::manage(
        new ConfigGrp("Access Point Authentication", 0, Gtk::BUTTONBOX_START, ACCESS_POINT,
                      RadioButtons({"Open Authentication", "Shared Key Authentication"}))));
    open_button = groups[1]->GetButton(0);
    shared_button = groups[1]->GetButton(1);
    if (!(Auth() & AUTH_WEP) && !zuna_button->get_active()) {
        open_button->set_active(true);
        shared_button->set_sensitive(false);
    }
    grouprow->pack_start(*groups[1], true, true, 5);

    mixed_check = LeftCheck("Allow Association To Mixed Cells");
    wep_check = LeftCheck("Enable WEP (Wired Equivalant Privacy)");
    wep_check->signal_clicked().connect(sigc::mem_fun(*this, &SecuritySetting::WepToggled));
    disable_button->signal_clicked().connect(sigc::mem_fun(*this, &SecuritySetting::WepToggled));

    const bool usable = zuna_button->get_active() ? WepSupported()
                                                  : WepSupported() && HasUsableKey();
    wep_check->set_sensitive(usable);
    if (!usable)
        wep_check->set_active(false);

    ZunaToggled();

    checks->add(*mixed_check);
    checks->add(*wep_check);
    column->pack_start(*grouprow, false, false, 0);
    column->pack_start(*checks, false, false, 0);
    column->pack_end(*DefaultsRow(sigc::mem_fun(*this, &SecuritySetting::SetDefaults)), false,
                     false, 0);

    Refresh();
    WepToggled();
    add(*column);
}

le16 &SecuritySetting::Auth()
{
    return window->system_page->cfg.auth_mode;
}

bool SecuritySetting::WepSupported()
{
    return window->system_page->caps.cap_flags & CAP_WEP;
}

bool SecuritySetting::ZunaCapable()
{
    return window->system_page->caps.cap_flags & CAP_ZUNA;
}

bool SecuritySetting::HasUsableKey()
{
    return usable_key;
}

int SecuritySetting::CountWepKeys(int &tx)
{
    tx = 0;
    keys_unreadable = false;
    window->transmit_key = -1;
    // A record that was not answered whole is no key: the readout counts as
    // unread, and the window does not open on it.
    _RID_wep_key keys[MaxKeyRecords] = {};
    if (RetriedWholeKey(adapter, &kdR770::GetFirstWepKey, keys[0]) != 0) {
        keys_unreadable = true;
        return 0;
    }
    if (keys[0].key_index == WEP_SELECTOR_INDEX) {
        window->transmit_key = keys[0].mac[0] | keys[0].mac[1] << 8;
        return 0;
    }
    int count = 1;
    while (count < MaxKeyRecords) {
        _RID_wep_key next{};
        if (RetriedWholeKey(adapter, &kdR770::GetNextWepKey, next) != 0) {
            keys_unreadable = true;
            return 0;
        }
        if (next.key_index == WEP_SELECTOR_INDEX) {
            tx = next.mac[0] | next.mac[1] << 8;
            window->transmit_key = tx;
            break;
        }
        keys[count++] = next;
    }
    // The transmit key is the record that carries its index, wherever it
    // came in the readout; an index that names none means no usable key.
    for (int i = 0; i < count; ++i)
        if (keys[i].key_index == tx)
            return keys[i].key_len != 0 ? count : 0;
    return 0;
}

void SecuritySetting::Refresh()
{
    for (ConfigGrp *group : groups) {
        switch (group->GetValue()) {
        case SERVER:
            // The "Set Zuna Information" item waits for " Ok ".
            if ((Auth() & AUTH_ZUNA) && ZunaCapable())
                zuna_button->set_active(true);
            else
                disable_button->set_active(true);
            break;
        case ACCESS_POINT:
            if (Auth() & AUTH_OPEN)
                open_button->set_active(true);
            else if (Auth() & AUTH_SHARED_KEY)
                shared_button->set_active(true);
            break;
        }
    }
    // ZUNA needs infrastructure. Where choosing it could not force that (an
    // adapter without WEP), an ad hoc profile keeps "Disable", so that ZUNA
    // is never stored with ad hoc.
    SystemParams *system = window->system_page;
    if (zuna_button->get_active() && system && system->adhoc_button->get_active())
        disable_button->set_active(true);
    // Mixed cells do not depend on WEP: loaded in every case.
    mixed_check->set_active(Auth() & AUTH_MIXED_CELLS);
    wep_check->set_active((HasUsableKey() || zuna_button->get_active()) && (Auth() & AUTH_WEP));
}

void SecuritySetting::SetDefaults()
{
    Auth() |= AUTH_OPEN;
    Auth() &= uint16_t(~(AUTH_WEP | AUTH_MIXED_CELLS | AUTH_ZUNA));
    Refresh();
}

void SecuritySetting::ZunaToggled()
{
    SystemParams *system = window->system_page;
    if (!system)
        return;
    if (zuna_button->get_active() && WepSupported()) {
        // ZUNA needs infrastructure, open authentication and WEP.
        open_button->set_active(true);
        open_button->set_sensitive(false);
        shared_button->set_sensitive(false);
        wep_check->set_sensitive(false);
        wep_check->set_active(true);
        system->infra_button->set_sensitive(false);
        system->adhoc_button->set_sensitive(false);
        system->infra_button->set_active(true);
        disable_button->set_sensitive(true);
    } else {
        system->infra_button->set_sensitive(true);
        wep_check->set_active(false);
        system->adhoc_button->set_sensitive(true);
        if (HasUsableKey() && WepSupported()) {
            wep_check->set_sensitive(true);
            open_button->set_sensitive(true);
            shared_button->set_sensitive(true);
        }
    }
}

void SecuritySetting::WepToggled()
{
    if (!HasUsableKey() && !zuna_button->get_active()) {
        open_button->set_active(true);
        open_button->set_sensitive(false);
        shared_button->set_sensitive(false);
        wep_check->set_active(false);
        wep_check->set_sensitive(false);
    } else if (wep_check->get_active() && zuna_button->get_active()) {
        open_button->set_sensitive(false);
        shared_button->set_sensitive(false);
        open_button->set_active(true);
    } else if (wep_check->get_active()) {
        open_button->set_sensitive(true);
        shared_button->set_sensitive(true);
    } else {
        open_button->set_active(true);
        open_button->set_sensitive(false);
        shared_button->set_sensitive(false);
    }
}

void SecuritySetting::Apply()
{
    // Judged by the stored profile, not the working word: " Defaults " clears
    // ZUNA there, and the adapter must still be reset when it goes.
    const bool zunaOff =
        ((Auth() | EnterpriseProfile.cfg.auth_mode) & AUTH_ZUNA) && !zuna_button->get_active();
    for (ConfigGrp *group : groups) {
        switch (group->GetValue()) {
        case ACCESS_POINT:
            if (group->GetActive() == 0) {
                Auth() |= AUTH_OPEN;
                Auth() &= uint16_t(~AUTH_SHARED_KEY);
            } else {
                Auth() |= AUTH_SHARED_KEY;
                Auth() &= uint16_t(~AUTH_OPEN);
            }
            break;
        case SERVER:
            // The "Set Zuna Information" item follows once the profile in
            // use is known (the System Parameters page's step).
            if (group->GetActive() == 0)
                Auth() &= uint16_t(~AUTH_ZUNA);
            else
                Auth() |= AUTH_ZUNA;
            break;
        }
    }
    if (mixed_check->get_active())
        Auth() |= AUTH_MIXED_CELLS;
    else
        Auth() &= uint16_t(~AUTH_MIXED_CELLS);
    if (wep_check->get_active())
        Auth() |= AUTH_WEP;
    else
        Auth() &= uint16_t(~AUTH_WEP);

    if (zunaOff) {
        // The adapter leaves server based authentication only by a reset.
        adapter->CmdReset();
        sleep(1);
        adapter->Restart();
    }
}
