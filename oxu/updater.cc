#include "updater.h"

#include <ctime>
#include <cstdio>
#include <cstring>

#include <glibmm/main.h>

#include "error_window.h"
#include "globals.h"
#include "latin1_text.h"
#include "window_util.h"

updater::updater(Gtk::Label *date, Gtk::Label *status) : datelabel(date), statuslabel(status)
{
    period = 1000;
    running = 1;
    Connect();
}

updater::~updater()
{
    if (timer.connected())
        timer.disconnect();
}

void updater::Connect()
{
    timer = Glib::signal_timeout().connect(sigc::bind(sigc::mem_fun(*this, &updater::Tick), period),
                                           period);
}

void updater::Stop()
{
    if (timer.connected())
        timer.disconnect();
    running = 0;
}

void updater::Start()
{
    // Also covers the frozen state: after a radio failure the refresher
    // counts as running and is not connected again.
    if (running)
        return;
    Connect();
    running = 1;
}

void updater::OnRadioFailed(int failed)
{
    if (failed)
        running = 1;
}

void FormatNow(char *out, size_t size)
{
    time_t now = time(nullptr);
    char buf[64] = {};
    if (!ctime_r(&now, buf))
        buf[0] = '\0';
    size_t n = strlen(buf);
    if (n > 0)
        buf[n - 1] = '\0';
    snprintf(out, size, "%s", buf);
}

void FormatStatusLine(char *out, size_t size, const CFG_R770 &cfg, const _STCAPS &caps,
                      const _STSTATUS &status)
{
    char product[sizeof caps.product_name + 1];
    FieldText(product, caps.product_name);
    const bool adhoc = (cfg.net_type & 0xFF) != 1;
    const bool associated = status.status_word & STATUS_ASSOCIATED;
    // A disabled radio is said to be so whatever its association bit.
    if (!(status.status_word & STATUS_RADIO_ENABLED)) {
        snprintf(out, size, "Your %s radio is disabled", product);
    } else if (!associated) {
        snprintf(out, size, "Your %s is not associated", product);
    } else if (adhoc) {
        snprintf(out, size, "Your %s is in Ad hoc mode", product);
    } else {
        char apname[sizeof status.ap_name + 1];
        FieldText(apname, status.ap_name);
        snprintf(out, size, "Your %s is associated to %s IP address: %02d.%02d.%02d.%02d", product,
                 apname, status.ap_ip[0], status.ap_ip[1], status.ap_ip[2], status.ap_ip[3]);
    }
}

bool updater::Tick(int bound_period)
{
    if (!CurrentRadio) {
        snprintf(StatusText, sizeof StatusText, "%s", "No radio selected");
        statuslabel->set_xalign(0);
        statuslabel->set_yalign(0);
        SetTextIfChanged(*statuslabel, StatusText);
        return true;
    }

    CFG_R770 cfg{};
    _STAPLIST aplist{};
    _STSSID ssid{};
    _STCAPS caps{};
    _STSTATUS status{};
    const char *failure = nullptr;
    if (CurrentRadio->GetConfiguration(cfg, aplist, ssid) != 0)
        failure = "Cannot get configuration from radio";
    else if (CurrentRadio->GetCaps(caps) != 0)
        failure = "Cannot get capabilites from radio";
    else if (CurrentRadio->GetStatus(status) != 0)
        failure = "Cannot get status from radio";
    if (failure) {
        if (ReportRadioError(CurrentRadio, failure) == -1) {
            Stop();
            return false;
        }
        return true;
    }

    char now[64];
    FormatNow(now, sizeof now);
    datelabel->set_xalign(0);
    datelabel->set_yalign(0);
    SetTextIfChanged(*datelabel, now);
    period = bound_period;

    FormatStatusLine(StatusText, sizeof StatusText, cfg, caps, status);
    statuslabel->set_xalign(0);
    statuslabel->set_yalign(0);
    // The sentence carries the driver's Latin-1 names.
    SetTextIfChanged(*statuslabel, Latin1ToUtf8(StatusText));
    return true;
}

int ReportRadioError(kdR770 *radio, const char *text)
{
    if (radio->lasterr == 11)
        return 1;
    const char *lines[] = {text, radio->lasterr == 0 ? "Unknown error" : radio->errmsg, nullptr};
    auto *win = new ErrWin;
    win->AddLines(lines);
    return -1;
}
