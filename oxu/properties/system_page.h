// The "System Parameters" page: client name, SSIDs, power save mode, network
// type and the profile in use. It holds the working copy of the enterprise
// profile that the other enterprise pages edit, and its apply step sends,
// copies back and saves that profile. Its end ends the window's loop.
#pragma once

#include <vector>

#include <gtkmm/entry.h>
#include <gtkmm/frame.h>
#include <gtkmm/radiobutton.h>

#include "config_group.h"
#include "kdr770.h"
#include "records.h"

class PropWindow;

class SystemParams : public Gtk::Frame {
public:
    SystemParams(kdR770 *adapter, PropWindow *window);
    ~SystemParams() override;

    void Apply();
    void NetworkTypeToggled();
    void Refresh();
    void SetDefaults();

    kdR770 *adapter;
    std::vector<ConfigGrp *> groups;
    Gtk::RadioButton *enterprise_button = nullptr;
    _STSTATUS status{};
    // The working profile: configuration, access point list, SSID list.
    CFG_R770 cfg{};
    _STAPLIST aplist{};
    _STSSID ssid{};
    _STCAPS caps{};
    Gtk::RadioButton *infra_button = nullptr;
    Gtk::RadioButton *adhoc_button = nullptr;
    int adhoc = 0;  // 1 while "Ad Hoc" is chosen
    Gtk::Entry *ssid_entries[3];
    Gtk::Entry *name_entry;
    PropWindow *window;

    enum { POWER_SAVE = 0, NETWORK_TYPE = 1, CURRENT_PROFILE = 2 };
};
