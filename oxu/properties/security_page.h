// The "Network Security" page: the authentication bits of the enterprise
// profile (ZUNA, open or shared key, mixed cells, WEP), kept in the System
// Parameters page's working copy.
#pragma once

#include <vector>

#include <gtkmm/checkbutton.h>
#include <gtkmm/frame.h>
#include <gtkmm/radiobutton.h>

#include "config_group.h"
#include "kdr770.h"
#include "records.h"

class PropWindow;

class SecuritySetting : public Gtk::Frame {
public:
    SecuritySetting(kdR770 *adapter, PropWindow *window);

    void Apply();
    void Refresh();
    void SetDefaults();
    void ZunaToggled();
    void WepToggled();
    // The number of WEP key records the adapter holds, or 0 when none of
    // them is a usable transmit key; tx gets the transmit key's index. A
    // failed read gives 0 and sets keys_unreadable.
    int CountWepKeys(int &tx);
    // ZUNA is offered only by an adapter whose capabilities name it.
    bool ZunaCapable();

    PropWindow *window;
    Gtk::RadioButton *zuna_button;
    Gtk::RadioButton *disable_button;
    Gtk::CheckButton *mixed_check;
    Gtk::CheckButton *wep_check;
    Gtk::RadioButton *shared_button;
    Gtk::RadioButton *open_button;
    kdR770 *adapter;
    std::vector<ConfigGrp *> groups;
    bool keys_unreadable = false;

    enum { SERVER = 0, ACCESS_POINT = 1 };

private:
    // The authentication word of the working profile, and the adapter's
    // capabilities, both kept by the System Parameters page.
    le16 &Auth();
    bool WepSupported();
    bool HasUsableKey();

    // Whether the adapter held a usable key when the page was built: the
    // keys are read once, so that every rule sees the same readout.
    bool usable_key = false;
};
