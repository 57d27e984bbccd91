// The main window's status line, refreshed once a second, and the one place
// where the periodic adapter reads report a failure.
#pragma once

#include <cstddef>

#include <gtkmm/label.h>
#include <sigc++/connection.h>
#include <sigc++/trackable.h>

#include "kdr770.h"

class updater : public sigc::trackable {
public:
    updater(Gtk::Label *date, Gtk::Label *status);
    ~updater();
    updater(const updater &) = delete;
    updater &operator=(const updater &) = delete;

    void Stop();
    void Start();
    void OnRadioFailed(int failed);
    // One refresh; false removes the time-out.
    bool Tick(int period);

    sigc::connection timer;
    int running = 0;
    int period = 1000;
    Gtk::Label *datelabel;
    Gtk::Label *statuslabel;

private:
    void Connect();
};

// The status line's sentence for an adapter's configuration, capabilities and
// status; the driver's texts are read only to the end of their fields.
void FormatStatusLine(char *out, size_t size, const CFG_R770 &cfg, const _STCAPS &caps,
                      const _STSTATUS &status);

// The current time as ctime gives it, without the newline.
void FormatNow(char *out, size_t size);

// 1 when the failure is transient (try again) and nothing was shown; -1 when
// the error window was opened.
int ReportRadioError(kdR770 *radio, const char *text);
