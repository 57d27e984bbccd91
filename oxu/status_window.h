// The "Status" report: 27 fixed-pitch rows describing the adapter and a
// signal bar, refreshed once a second.
#pragma once

#include <gtkmm/box.h>
#include <gtkmm/label.h>
#include <sigc++/connection.h>

#include "kdr770.h"
#include "report_rows.h"
#include "signal_meter.h"

extern const char *const StatusLabels[32];

// The 27 row texts for one reading of the adapter, each at most 79 characters.
struct StatusReading {
    _STSTATUS status;
    CFG_R770 cfg;
    _STCAPS caps;
    _STMICSTATISTICS mic;
    char ifname[6];
    uint32_t uptime;
};
void FormatStatusRows(const StatusReading &in, char (&rows)[27][80]);

class StatusWindow : public ReportWindow {
public:
    explicit StatusWindow(kdR770 *radio);
    ~StatusWindow() override;

    bool Update();
    void AddLine(const char *text);

    int row = 0;
    int row_count = 27;
    SigMeter *meter;
    int period = 1000;
    kdR770 *radio;
    Gtk::Box *rows_box;
    Gtk::Label *labels[27];
    // The refresh's time-out, bound to the window all the same; kept so that
    // it can be stopped.
    sigc::connection timer;

private:
    // The value last given to the bar, given again whenever the meter gets a
    // new (blank) size, so the first reading shows from the first display.
    int shown_level = 10;
    // The window's natural width after the last refresh.
    int fitted_width = 0;
};
