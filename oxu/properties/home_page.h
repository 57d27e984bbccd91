// The "Home Networking" page: computer name, SSID, home WEP key, data rate,
// network type and channel of the home profile, of which it keeps its own
// copy. Its apply step runs last of the window's: it puts the home key and
// the home profile into the adapter when home is the profile chosen, and
// writes the profile file last, so that the file keeps the final choice.
#pragma once

#include <cstddef>
#include <vector>

#include <gtkmm/checkbutton.h>
#include <gtkmm/entry.h>
#include <gtkmm/frame.h>
#include <gtkmm/radiobutton.h>

#include "config_group.h"
#include "kdr770.h"
#include "list_selector.h"
#include "records.h"

class PropWindow;

// 1 when the adapter of the page built last takes a 13-byte home key.
extern int HomeKeyCapable;

class HomeNet : public Gtk::Frame {
public:
    HomeNet(kdR770 *adapter, PropWindow *window);

    void Apply();
    void SetDefaults();
    // Loads the widgets from the page's copy and the stored home key.
    void Refresh();
    void FillChannelList();
    // The channel is chosen in ad hoc mode only.
    void NetworkTypeToggled();
    void KeyEntryChanged();
    // The stored home key record, or a record of zeros when there is none;
    // a failed read gives zeros too and sets key_unreadable.
    _RID_wep_key ReadWepKey();
    // Writes key bytes as the home key and makes it the transmit key. False,
    // the window told, when the adapter did not take them.
    bool WriteWepKey(const char *key, size_t len);

    _STSTATUS status{};
    // The page's copy of the home profile.
    CFG_R770 cfg{};
    _STAPLIST aplist{};
    _STSSID ssid{};
    _STCAPS caps{};
    Gtk::RadioButton *adhoc_button;
    PropWindow *window;
    ListSelector *channel_list;
    Gtk::CheckButton *encryption_check;
    Gtk::Entry *name_entry;
    Gtk::Entry *ssid_entry;
    Gtk::Entry *key_entry;
    kdR770 *adapter;
    std::vector<ConfigGrp *> groups;
    bool key_unreadable = false;

    enum { DATA_RATE = 1, NETWORK_TYPE = 2 };
    static constexpr uint16_t HomeKeyIndex = 4;

private:
    // The stored home key as read when the page was built.
    _RID_wep_key home_key{};
    // The channel that each item of the channel list stands for.
    std::vector<unsigned> channels;
};
