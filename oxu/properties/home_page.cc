#include "home_page.h"

#include <algorithm>
#include <cstring>
#include <string>

#include <gtkmm/box.h>
#include <gtkmm/buttonbox.h>

#include "busy_retry.h"
#include "channel_list.h"
#include "data_rates.h"
#include "globals.h"
#include "latin1_text.h"
#include "main_window.h"
#include "page_widgets.h"
#include "properties_window.h"
#include "system_page.h"
#include "window_util.h"

int HomeKeyCapable = 0;

namespace {

constexpr int NameChars = sizeof(CFG_R770::client_name);
constexpr int SsidChars = sizeof(SsidEntry::text);
// The home key is kept as 13 bytes: the entry takes no more characters.
constexpr int KeyChars = sizeof(_RID_wep_key::key);
constexpr int MaxKeyRecords = 5;
constexpr unsigned JapanCode = 2;

} // namespace

HomeNet::HomeNet(kdR770 *radio, PropWindow *owner) : window(owner), adapter(radio)
{
    // A failed read keeps the window from opening.
    window->NoteRead(RetriedWhole(adapter, &kdR770::GetCaps, caps) == 0, "capabilities");
    window->NoteRead(RetriedWhole(adapter, &kdR770::GetStatus, status) == 0, "status");
    cfg = window->home.cfg;
    aplist = window->home.aplist;
    ssid = window->home.ssid;
    HomeKeyCapable = (caps.wep_caps & WEPCAP_128) && (caps.cap_flags & CAP_128BIT) ? 1 : 0;

    auto *column = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    column->pack_start(*EntryRow(FixedLabel("   Computer Name      : "), name_entry, NameChars),
                       false, false, 0);
    column->pack_start(*EntryRow(FixedLabel("   SSID               : "), ssid_entry, SsidChars),
                       false, false, 0);
    column->pack_start(*EntryRow(FixedLabel("   WEP Encryption Key : "), key_entry, KeyChars),
                       false, false, 0);

    auto *grouprow = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0));
    groups.push_back(Gtk::manage(new ConfigGrp(
        " Data Rate:", 0, Gtk::BUTTONBOX_START, DATA_RATE,
        RadioButtons({"Auto [Recommended]", "1 Mbps Only", "2 Mbps Only", "5.5 Mbps Only",
                      "11 Mbps Only"}))));
    groups.push_back(Gtk::manage(
        new ConfigGrp("Network Type", 0, Gtk::BUTTONBOX_START, NETWORK_TYPE,
                      RadioButtons({"No Base Station [AdHoc]", "Base Station [Infrastructure]"}))));
    grouprow->pack_start(*groups[0], true, true, 5);
    grouprow->pack_start(*groups[1], true, true, 5);
    adhoc_button = groups[1]->GetButton(0);
    column->pack_start(*grouprow, false, false, 0);

    auto *checks = Gtk::manage(new Gtk::ButtonBox(Gtk::ORIENTATION_VERTICAL));
    checks->set_layout(Gtk::BUTTONBOX_START);
    checks->set_spacing(0);
    encryption_check = LeftCheck(" Enable Encryption [WEP]");
    checks->add(*encryption_check);
    column->pack_start(*checks, false, false, 0);

    auto *channelframe = Gtk::manage(new Gtk::Frame);
    channelframe->set_shadow_type(Gtk::SHADOW_NONE);
    auto *channelbox = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    channel_list = Gtk::manage(new ListSelector);
    channelbox->pack_start(*LeftLabel("Channel"), false, false, 0);
    channelbox->pack_start(*channel_list, false, false, 0);
    channelframe->add(*channelbox);
    column->pack_start(*channelframe, false, false, 0);

    column->pack_end(*DefaultsRow(sigc::mem_fun(*this, &HomeNet::SetDefaults)), false, false, 0);
    add(*column);

    // A key that the adapter cannot take is not offered.
    key_entry->set_sensitive(HomeKeyCapable);
    adhoc_button->signal_toggled().connect(sigc::mem_fun(*this, &HomeNet::NetworkTypeToggled));
    FillChannelList();
    home_key = ReadWepKey();
    window->NoteRead(!key_unreadable, "keys");
    Refresh();
    key_entry->signal_changed().connect(sigc::mem_fun(*this, &HomeNet::KeyEntryChanged));
}

_RID_wep_key HomeNet::ReadWepKey()
{
    const _RID_wep_key none{};
    _RID_wep_key record{};
    key_unreadable = RetriedWholeKey(adapter, &kdR770::GetFirstWepKey, record) != 0;
    if (key_unreadable)
        return none;
    // At most five records; the transmit-key selector ends the keys.
    for (int read = 1;; ++read) {
        if (record.key_index == WEP_SELECTOR_INDEX)
            return none;
        if (record.key_index == HomeKeyIndex)
            return record;
        if (read == MaxKeyRecords)
            return none;
        key_unreadable = RetriedWholeKey(adapter, &kdR770::GetNextWepKey, record) != 0;
        if (key_unreadable)
            return none;
    }
}

void HomeNet::Refresh()
{
    const SsidEntry &first = ssid.entry[0];
    if (first.len != 0)
        ssid_entry->set_text(
            Latin1ToUtf8(first.text, std::min<size_t>(first.len, sizeof first.text)));
    name_entry->set_text(Latin1ToUtf8(cfg.client_name));

    // A record of no key is no stored home key, as in the WEP key window.
    encryption_check->set_sensitive(HomeKeyCapable && home_key.key_len != 0);

    const int rate = RateItem(cfg.rates);
    if (rate >= 0)
        FindGroup(groups, DATA_RATE)->SetActive(rate);
    FindGroup(groups, NETWORK_TYPE)->SetActive((cfg.net_type & 0xFF) == 1 ? 1 : 0);
    encryption_check->set_active((cfg.auth_mode & AUTH_WEP) && HomeKeyCapable);
}

void HomeNet::FillChannelList()
{
    const ChannelItems items =
        MakeChannelItems(caps.region, cfg.channel, status.cur_channel, "     %u (%u MHz)");
    channels = items.channels;
    channel_list->SetItems(items.texts);
    NetworkTypeToggled();
}

void HomeNet::NetworkTypeToggled()
{
    channel_list->set_sensitive(caps.region != JapanCode && adhoc_button->get_active() &&
                                channels.size() > 1);
}

void HomeNet::KeyEntryChanged()
{
    if (key_entry->get_text().empty()) {
        encryption_check->set_sensitive(false);
        encryption_check->set_active(false);
    } else {
        encryption_check->set_sensitive(true);
    }
}

void HomeNet::SetDefaults()
{
    name_entry->set_text("");
    ssid_entry->set_text("");
    key_entry->set_text("");
    std::memset(cfg.client_name, 0, sizeof cfg.client_name);
    StoreRates(0, caps, cfg.rates);
    cfg.net_type |= 1;
    cfg.auth_mode |= AUTH_OPEN;
    cfg.auth_mode &= uint16_t(~(AUTH_SHARED_KEY | AUTH_WEP));
    cfg.home_flags |= 1;
    std::memset(&ssid, 0, sizeof ssid);
    // The access point list and the stored home key stay.
    Refresh();
    show_all();
}

bool HomeNet::WriteWepKey(const char *key, size_t len)
{
    _RID_wep_key record{};
    record.length = sizeof record;
    record.key_index = HomeKeyIndex;
    record.mac[0] = 1;
    // Always a 13-byte key: a shorter one is padded with zeros.
    record.key_len = sizeof record.key;
    std::memcpy(record.key, key, std::min(len, sizeof record.key));

    _RID_wep_key selector = TransmitKeySelector(HomeKeyIndex);

    if (Retried(adapter, &kdR770::WriteWepKey, record, true) != 0) {
        window->WriteFailed("home key");
        return false;
    }
    window->home_key_written = PropWindow::HOME_KEY;
    if (Retried(adapter, &kdR770::WriteWepKey, selector, true) != 0) {
        window->WriteFailed("transmit key");
        return false;
    }
    window->home_key_written = PropWindow::HOME_KEY_TRANSMITS;
    return true;
}

void HomeNet::Apply()
{
    // Once the adapter has failed or refused during this Ok, nothing more
    // is sent or saved.
    if (window->Halted())
        return;
    _STCAPS now{};
    const bool capsRead = RetriedWhole(adapter, &kdR770::GetCaps, now) == 0;

    // The stored home profile, with what the widgets show written over it.
    cfg = window->home.cfg;
    aplist = window->home.aplist;
    ssid = window->home.ssid;

    // Empty entries keep the stored SSID and name.
    SsidEntry &first = ssid.entry[0];
    const std::string ssidText = ssid_entry->get_text();
    if (!ssidText.empty()) {
        const int n = StoreLatin1(ssidText, first.text);
        if (n > 0)
            first.len = uint16_t(n);
    }
    const std::string nameText = name_entry->get_text();
    if (!nameText.empty())
        StoreLatin1(nameText, cfg.client_name);

    const bool home = !window->system_page->enterprise_button->get_active();
    std::string key;
    if (home && HomeKeyCapable && Utf8ToLatin1(key_entry->get_text(), key) && !key.empty() &&
        !WriteWepKey(key.data(), key.size()))
        return;

    if (encryption_check->get_active())
        cfg.auth_mode |= AUTH_WEP;
    else
        cfg.auth_mode &= uint16_t(~AUTH_WEP);
    cfg.auth_mode |= AUTH_OPEN;
    cfg.auth_mode &= uint16_t(~AUTH_SHARED_KEY);

    // "Auto" without a capability read keeps the profile's rates.
    const int rate = FindGroup(groups, DATA_RATE)->GetActive();
    if (rate != 0 || capsRead)
        ApplyRates(rate, now, cfg.rates);

    if (FindGroup(groups, NETWORK_TYPE)->GetActive() == 1)
        cfg.net_type |= 1;
    else
        cfg.net_type &= uint16_t(~1u);

    // The channel shown; with none offered the stored one stays.
    const int row = channel_list->get_active_row_number();
    if (row >= 0 && size_t(row) < channels.size())
        cfg.channel = uint16_t(channels[row]);

    int selector = 0;
    if (home) {
        // Marked as the home profile when it goes to the adapter; a stored
        // one that is not sent keeps its mark as the file has it.
        cfg.home_flags |= 1;
        CurrentProfile = 1;
        UpdateZunaItem();
        if (!window->SendProfile(cfg, aplist, ssid))
            return;
        selector = 1;
    }
    HomeProfile.cfg = cfg;
    HomeProfile.ssid = ssid;
    HomeProfile.aplist = aplist;
    window->SaveProfiles(selector);
}
