// The "Advanced Infrastructure" page: antennas, up to four specified access
// points and the RTS threshold and retry limit of the enterprise profile, kept
// in the System Parameters page's working copy. Shown, and applied, in
// infrastructure mode only.
#pragma once

#include <cstdint>
#include <vector>

#include <gtkmm/entry.h>
#include <gtkmm/frame.h>
#include <gtkmm/scale.h>

#include "config_group.h"
#include "kdr770.h"

class PropWindow;
class SystemParams;

// Reads an address written as six pairs of hexadecimal digits (either case)
// separated by ':', and nothing else. 0 with the six bytes in out; -1, with
// out untouched, for any other text.
int ParseMacAddress(const char *text, uint8_t out[6]);

class Infr : public Gtk::Frame {
public:
    Infr(kdR770 *adapter, PropWindow *window);

    void Apply();
    void Refresh();
    void SetDefaults();
    void InfraToggled();

    Gtk::Entry *ap_entries[4];
    Gtk::Scale *rts_threshold_scale;
    Gtk::Scale *rts_retry_scale;
    PropWindow *window;
    kdR770 *adapter;
    std::vector<ConfigGrp *> groups;

private:
    SystemParams *System();
};
