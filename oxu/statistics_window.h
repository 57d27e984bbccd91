// The "Statistics" report: receive, transmit and message-integrity counters
// and the up times, refreshed once a second; it can pause and clear them.
#pragma once

#include <cstddef>

#include <gtkmm/label.h>
#include <gtkmm/togglebutton.h>
#include <sigc++/connection.h>

#include "kdr770.h"
#include "report_rows.h"

extern const char *const ReceiveLabels[21];
extern const size_t ReceiveOffsets[21];
extern const char *const TransmitLabels[21];
extern const size_t TransmitOffsets[21];
extern const char *const MicLabels[5];

class StatsWindow : public ReportWindow {
public:
    explicit StatsWindow(kdR770 *radio);
    ~StatsWindow() override;

    bool Update();
    static void FormatUptime(uint32_t seconds, char *out, size_t size);
    void TogglePause();
    void StopTimer();
    void StartTimer();
    void ResetCounters();

    int row = 0;
    int period = 1000;
    int running = 0;
    kdR770 *radio;
    sigc::connection timer;
    Gtk::ToggleButton *pause_button;
    Gtk::Label *rx_labels[26] = {};
    Gtk::Label *tx_labels[21] = {};
    Gtk::Label *uptime_label;
    Gtk::Label *total_uptime_label;

private:
    bool has_mic_rows = false;
};
