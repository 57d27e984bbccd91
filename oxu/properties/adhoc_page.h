// The "Advanced AdHoc" page: antennas, RTS threshold and retry limit, wake
// duration and beacon period of the enterprise profile, kept in the System
// Parameters page's working copy. Shown, and applied, in ad hoc mode only.
#pragma once

#include <vector>

#include <gtkmm/frame.h>
#include <gtkmm/scale.h>

#include "config_group.h"
#include "kdr770.h"

class PropWindow;
class SystemParams;

class Infra : public Gtk::Frame {
public:
    Infra(kdR770 *adapter, PropWindow *window);

    void Load();
    void SetDefaults();
    void Apply();
    void OnModeToggled();

    Gtk::Scale *rts_threshold_scale;
    Gtk::Scale *rts_retry_scale;
    Gtk::Scale *wake_scale;
    Gtk::Scale *beacon_scale;
    PropWindow *window;
    std::vector<ConfigGrp *> groups;

private:
    SystemParams *System();
};
