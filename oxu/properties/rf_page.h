// The "RF Network" page: data rates, short radio headers, world mode, data
// retries, fragment threshold, transmit power and channel of the enterprise
// profile, kept in the System Parameters page's working copy.
#pragma once

#include <vector>

#include <gtkmm/checkbutton.h>
#include <gtkmm/frame.h>
#include <gtkmm/scale.h>

#include "config_group.h"
#include "kdr770.h"
#include "list_selector.h"

class PropWindow;
class SystemParams;

class RfParams : public Gtk::Frame {
public:
    RfParams(kdR770 *adapter, PropWindow *window);

    void Apply();
    void SetDefaults();
    // Loads every widget from the working profile and the adapter's records.
    void FillLists();
    void FillChannelList();
    void PowerChanged();
    void ChannelChanged();
    // The channel is chosen in ad hoc mode only.
    void InfraToggled();

    PropWindow *window;
    kdR770 *adapter;
    std::vector<ConfigGrp *> groups;
    ListSelector *channel_list;
    ListSelector *power_list;
    Gtk::Scale *frag_scale;
    Gtk::Scale *retry_scale;
    Gtk::CheckButton *short_headers_check;
    Gtk::CheckButton *world_mode_check;

    enum { DATA_RATE = 1 };

private:
    SystemParams *System();
    void FillPowerList();

    // The power and the channel that each item of the lists stands for.
    std::vector<unsigned> powers;
    std::vector<unsigned> channels;
};
