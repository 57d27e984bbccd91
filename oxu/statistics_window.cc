#include "statistics_window.h"

#include <cstdio>

#include <glibmm/main.h>
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/frame.h>

#include "globals.h"
#include "help.h"
#include "report_rows.h"
#include "styles.h"
#include "updater.h"
#include "window_util.h"

const char *const ReceiveLabels[21] = {
    "Multicast Packets Received =", "Broadcast Packets Received =", "Unicast Packets Received   =",
    "Bytes Received             =", "Beacons Received           =", "Total Packets Received OK  =",
    "Duplicate Packets Received =", "Overrun Errors             =", "PLCP CRC Errors            =",
    "PLCP Format Errors         =", "PLCP Length Errors         =", "Mac CRC Errors             =",
    "Partial Packets Received   =", "SSID Mismatches            =", "AP Mismatches              =",
    "Data Rate Mismatches       =", "Authentication Rejects     =", "Authentication T/O         =",
    "Association Rejects        =", "Association T/O            =", "Packets Aged               =",
};
const size_t ReceiveOffsets[21] = {0xB0, 0xB4, 0xB8, 0x174, 0x60, 0xE0, 0x78, 0x04, 0x08, 0x0C, 0x10,
                                   0x14, 0x7C, 0xE4, 0xE8, 0xEC, 0xF0, 0xF4, 0xF8, 0xFC, 0x84};

const char *const TransmitLabels[21] = {
    "Multicast Packets Transmitted  =", "Broadcast Packets Transmitted  =",
    "Unicast Packets Transmitted    =", "Bytes Transmitted              =",
    "Beacons Transmitted            =", "Ack Packets Transmitted        =",
    "RTS Packets Transmitted        =", "CTS Packets Transmitted        =",
    "Single Collisions              =", "Multiple Collisions            =",
    "Packets No Deferral            =", "Packets Deferred Protocol      =",
    "Packets Deferred Energy detect =", "Packets Retry Long             =",
    "Packets Retry Short            =", "Packets Max Retries            =",
    "Packets Ack Received           =", "Packets No Ack Received        =",
    "Packets CTS Received           =", "Packets No CTS Received        =",
    "Packets Aged                   =",
};
const size_t TransmitOffsets[21] = {0x4C, 0x50, 0x58, 0x170, 0x5C, 0x40, 0x44, 0x48, 0x64, 0x68, 0x6C,
                                    0x70, 0x74, 0x24, 0x28, 0x2C, 0x38, 0x30, 0x3C, 0x34, 0x80};

const char *const MicLabels[5] = {
    "Packets MIC OK             =", "Packets No MIC             =", "Packets Incorrect MIC      =",
    "Packets No MIC Seed        =", "Packets Wrong MIC Sequence =",
};

namespace {

const char *const UptimeLabel = "Up Time [hh:mm:ss]         =";
const char *const TotalUptimeLabel = "Total Up Time [hh:mm:ss]   =";

// The MIC counters in display order.
int32_t MicCounter(const _STMICSTATISTICS &mic, int k)
{
    const le32 *order[5] = {&mic.packets_mic_ok, &mic.packets_no_mic, &mic.packets_incorrect_mic,
                            &mic.packets_no_mic_seed, &mic.packets_wrong_sequence};
    return int32_t(uint32_t(*order[k]));
}

} // namespace

void StatsWindow::FormatUptime(uint32_t seconds, char *out, size_t size)
{
    ::FormatUptime(seconds, out, size);
}

StatsWindow::StatsWindow(kdR770 *adapter) : radio(adapter)
{
    period = 1000;
    _STMICSTATISTICS mic{};
    if (radio->GetMicStats(mic) != 0)
        mic = _STMICSTATISTICS{};
    _STSTATISTICS32 stats{};
    radio->GetStats(stats);
    _STCAPS caps{};
    radio->GetCaps(caps);
    TitleWithProduct("TAVLO %s Statistics", caps);

    auto *outer = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    add(*outer);
    auto *columns = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 5));
    outer->pack_start(*columns, false, false, 0);
    auto *rx = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    auto *tx = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    columns->pack_start(*rx, false, false, 0);
    columns->pack_start(*tx, false, false, 0);
    columns->pack_end(*Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0)), false, false, 0);

    char text[80];
    for (row = 0; row < 21; ++row) {
        snprintf(text, sizeof text, "%s %d", ReceiveLabels[row], row);
        rx_labels[row] = AddReportRow(*rx, text);
    }
    has_mic_rows = mic.mic_enabled != 0;
    if (has_mic_rows)
        for (int k = 0; k < 5; ++k) {
            snprintf(text, sizeof text, "%s %d", MicLabels[k], k);
            rx_labels[21 + k] = AddReportRow(*rx, text);
        }
    for (row = 0; row < 21; ++row) {
        snprintf(text, sizeof text, "%s %d", TransmitLabels[row], int(stats.Counter(TransmitOffsets[row])));
        tx_labels[row] = AddReportRow(*tx, text);
    }
    uptime_label = AddReportRow(*rx, "");
    total_uptime_label = AddReportRow(*rx, "");

    auto *buttonframe = Gtk::manage(new Gtk::Frame);
    buttonframe->set_shadow_type(Gtk::SHADOW_ETCHED_IN);
    auto *buttons = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 20));
    buttonframe->add(*buttons);
    outer->pack_start(*buttonframe, false, false, 0);
    pause_button = Gtk::manage(new Gtk::ToggleButton("Pause"));
    auto *help = Gtk::manage(new Gtk::Button("Help"));
    auto *reset = Gtk::manage(new Gtk::Button("Reset"));
    auto *ok = Gtk::manage(new Gtk::Button("OK"));
    buttons->pack_start(*pause_button, true, true, 0);
    buttons->pack_start(*help, true, true, 0);
    buttons->pack_start(*reset, true, true, 0);
    buttons->pack_end(*ok, true, true, 0);

    help->signal_clicked().connect(sigc::mem_fun(*this, &StatsWindow::ShowOwnHelp));
    SetHelpPage(&HelpPages[6]);  // the statistics page
    ok->signal_clicked().connect(sigc::mem_fun(*this, &StatsWindow::Close));
    pause_button->signal_clicked().connect(sigc::mem_fun(*this, &StatsWindow::TogglePause));
    reset->signal_clicked().connect(sigc::mem_fun(*this, &StatsWindow::ResetCounters));

    StartTimer();
    Update();
    show_all();
}

StatsWindow::~StatsWindow()
{
    // No refresh outlives the window.
    if (timer.connected())
        timer.disconnect();
}

void StatsWindow::StopTimer()
{
    if (timer.connected())
        timer.disconnect();
    running = 0;
}

void StatsWindow::StartTimer()
{
    if (running)
        return;
    timer = Glib::signal_timeout().connect(sigc::mem_fun(*this, &StatsWindow::Update), period);
    running = 1;
}

void StatsWindow::TogglePause()
{
    if (running)
        StopTimer();
    else
        StartTimer();
}

void StatsWindow::ResetCounters()
{
    _STSTATISTICS32 zero{};
    radio->ResetStats(zero);
}

bool StatsWindow::Update()
{
    _STSTATISTICS32 stats{}, cumulative{};
    _STSTATUS status{};
    _STMICSTATISTICS mic{};
    radio->GetMicStats(mic);
    const char *failure = nullptr;
    if (radio->GetStats(stats) != 0)
        failure = ":Can't get Statistics";
    else if (radio->GetcStats(cumulative) != 0)
        failure = ":Can't get Cumulative Statistics";
    else if (radio->GetStatus(status) != 0)
        failure = ":Can't get Status";
    if (failure)
        return ReportRadioError(radio, failure) != -1;

    char text[80];
    for (row = 0; row < 21; ++row) {
        snprintf(text, sizeof text, "%s %u", TransmitLabels[row], stats.Counter(TransmitOffsets[row]));
        SetTextIfChanged(*tx_labels[row], text);
    }
    for (row = 0; row < 21; ++row) {
        snprintf(text, sizeof text, "%s %u", ReceiveLabels[row], stats.Counter(ReceiveOffsets[row]));
        SetTextIfChanged(*rx_labels[row], text);
    }
    if (mic.mic_enabled && has_mic_rows)
        for (int k = 0; k < 5; ++k) {
            snprintf(text, sizeof text, "%s %d", MicLabels[k], int(MicCounter(mic, k)));
            SetTextIfChanged(*rx_labels[21 + k], text);
        }
    char uptime[40];
    for (Gtk::Label *label : {uptime_label, total_uptime_label}) {
        label->set_xalign(0);
        label->set_yalign(0);
    }
    FormatUptime(stats.uptime, uptime, sizeof uptime);
    snprintf(text, sizeof text, "%s %s", UptimeLabel, uptime);
    SetTextIfChanged(*uptime_label, text);
    FormatUptime(cumulative.uptime, uptime, sizeof uptime);
    snprintf(text, sizeof text, "%s %s", TotalUptimeLabel, uptime);
    SetTextIfChanged(*total_uptime_label, text);
    return true;
}
