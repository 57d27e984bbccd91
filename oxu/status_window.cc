#include "status_window.h"

#include <cstdio>
#include <cstring>
#include <string>

#include <glibmm/main.h>
#include <gtkmm/button.h>
#include <gtkmm/frame.h>

#include "globals.h"
#include "help.h"
#include "latin1_text.h"
#include "report_rows.h"
#include "updater.h"
#include "window_util.h"

const char *const StatusLabels[32] = {
    "Device                             = ",
    "Manufacturer                       = ",
    "Firmware Version                   = ",
    "Boot Block Version                 = ",
    "Using Short Radio Headers          = ",
    "Using Message Integrity Check      = ",
    "Server Based Authentication        = ",
    "WEP (Wired Equivalent Privacy      = ",
    "Authentication Type                = ",
    "Antenna Selection                  = ",
    "Channel Set                        = ",
    "Client name                        = ",
    "MAC Address (Factory)              = %02x:%02x:%02x:%02x:%02x:%02x",
    "Current Link Speed                 = ",
    "Data Rate                          = ",
    "Current Power Level                = ",
    "Available Power Levels             = ",
    "Channel       (Frequency)          = ",
    "                                     ",
    "Status                             = ",
    "SSID                               = ",
    "Network Type                       = ",
    "Power Save mode                    = ",
    "Associated Access Point Name       = ",
    "Associated Access Point IP Address = %02d.%02d.%02d.%02d",
    "Associated Access Point MAC        = %02x:%02x:%02x:%02x:%02x:%02x",
    "Uptime (hh:mm:ss)                  = ",
    "Not associated                       ",
    "Radio disabled                       ",
    "Associated Access Point IP Address = ",
    "Associated Access Point MAC        = ",
    "Ad Hoc Mode                          ",
};

namespace {

enum { NOT_ASSOCIATED = 27, RADIO_DISABLED = 28, AP_IP_PREFIX = 29, AP_MAC_PREFIX = 30, AD_HOC = 31 };

const char *AntennaText(unsigned v, bool transmit)
{
    static const char *const tx[4] = {"Tx->Diversity ", "Tx->Right-Only ", "Tx->Left-Only ", "Tx->Diversity "};
    static const char *const rx[4] = {"Rx->Diversity", "Rx->Right-Only", "Rx->Left-Only", "Rx->Diversity"};
    // A selection outside the known four has no text.
    return v < 4 ? (transmit ? tx[v] : rx[v]) : "";
}

const char *RegionName(unsigned region)
{
    static const char *const names[13] = {"North America", "ETSI",    "Japan",     "Spain",
                                          "France",        "Belgium", "Israel",    "Canada",
                                          "Australia",     "Japan [Wideband]", "Unknown",
                                          "Australia",     "Australia"};
    if (region < 13)
        return names[region];
    return region == 0xFFFF ? "Test" : "Unknown";
}

const char *LinkSpeed(unsigned rate)
{
    switch (rate) {
    case 1: return "500 Kbps";
    case 2: return "1 Mbps";
    case 4: return "2 Mbps";
    case 11: return "5.5 Mbps";
    case 22: return "11 Mbps";
    default: return "Unknown";
    }
}

const char *DataRate(const CFG_R770 &cfg)
{
    if (cfg.rates[1] & 0x7f)
        return "Auto Rate Selection";
    switch (cfg.rates[0] & 0x7f) {
    case 2: return "1 Mbps Only";
    case 4: return "2 Mbps Only";
    case 11: return "5.5 Mbps Only";
    case 22: return "11 Mbps Only";
    default: return "Unknown";
    }
}

const char *PowerSave(unsigned mode)
{
    switch (mode) {
    case 0: return "CAM";
    case 1: return "PSP";
    case 2: return "FAST-PSP";
    default: return "";
    }
}

std::string PowerLevels(const _STCAPS &caps)
{
    std::string s = StatusLabels[16];
    for (int i = 0; i < 8 && caps.power_levels[i] != 0; ++i)
        s += std::to_string(unsigned(caps.power_levels[i])) + ",";
    // The last comma, or the prefix's last blank without any level, gives way.
    s.pop_back();
    return s + " mW";
}

void ChannelRow(char *out, size_t size, unsigned region, unsigned ch)
{
    char suffix[32];
    const unsigned mhz = 2407 + 5 * ch;
    switch (region) {
    case 2:
        snprintf(suffix, sizeof suffix, "  (%d MHz)", 2484);
        break;
    case 9:
        snprintf(suffix, sizeof suffix, "  (%u MHz)", ch <= 14 ? mhz : 2484);
        break;
    case 6:
    case 11:
    case 12:
        if (ch <= 14)
            snprintf(suffix, sizeof suffix, "  (%u MHz)", mhz);
        else
            snprintf(suffix, sizeof suffix, "%s", " Unknown");
        break;
    default:
        snprintf(suffix, sizeof suffix, " (%u MHz)", mhz);
        break;
    }
    snprintf(out, size, "%s%u %s", StatusLabels[17], ch, suffix);
}

} // namespace

void FormatStatusRows(const StatusReading &in, char (&rows)[27][80])
{
    const _STSTATUS &st = in.status;
    const CFG_R770 &cfg = in.cfg;
    const _STCAPS &caps = in.caps;
    const bool assoc = st.status_word & STATUS_ASSOCIATED;
    const bool enabled = st.status_word & STATUS_RADIO_ENABLED;
    const bool adhoc = (cfg.net_type & 0xFF) != 1;
    const char *state = StatusLabels[enabled ? NOT_ASSOCIATED : RADIO_DISABLED];
    const size_t n = sizeof rows[0];

    char product[17], manufacturer[33], firmware[9], client[17], apname[17], ssid[33];
    FieldText(product, caps.product_name);
    FieldText(manufacturer, caps.manufacturer);
    FieldText(firmware, caps.firmware_version);
    FieldText(client, cfg.client_name);
    FieldText(apname, st.ap_name);
    const size_t ssidLen = std::min<size_t>(st.ssid_len, sizeof st.ssid);
    std::memcpy(ssid, st.ssid, ssidLen);
    ssid[ssidLen] = '\0';

    auto row = [&](int i, const char *value) { snprintf(rows[i], n, "%s%s", StatusLabels[i], value); };
    // A row that shows the association state instead of its value when the
    // adapter is not associated.
    auto arow = [&](int i, const char *value) { row(i, assoc ? value : state); };
    auto yes = [](bool b) { return b ? "Yes" : "No"; };

    snprintf(rows[0], n, "%s%s [%s]", StatusLabels[0], product, in.ifname);
    row(1, manufacturer);
    row(2, firmware);
    snprintf(rows[3], n, "%sV%x.%x", StatusLabels[3], unsigned(caps.boot_version) >> 8,
             unsigned(caps.boot_version) & 0xFF);
    row(4, yes(st.short_headers != 0));
    row(5, yes(in.mic.mic_enabled != 0));
    row(6, cfg.auth_mode & AUTH_ZUNA ? "Enabled" : "Disabled");
    row(7, cfg.auth_mode & AUTH_WEP ? "Enabled" : "Not Enabled");
    row(8, cfg.auth_mode & AUTH_OPEN ? "Open" : "Shared Key");
    const unsigned antenna = cfg.antenna;
    snprintf(rows[9], n, "%s%s%s", StatusLabels[9], AntennaText(antenna >> 8, true),
             AntennaText(antenna & 0xFF, false));
    row(10, RegionName(caps.region));
    row(11, client);
    const uint8_t *fm = caps.factory_mac;
    snprintf(rows[12], n, StatusLabels[12], fm[0], fm[1], fm[2], fm[3], fm[4], fm[5]);
    arow(13, LinkSpeed(st.cur_rate));
    row(14, DataRate(cfg));
    if (assoc)
        snprintf(rows[15], n, "%s%-3d mW", StatusLabels[15], int(cfg.tx_power));
    else
        row(15, state);
    snprintf(rows[16], n, "%s", PowerLevels(caps).c_str());
    if (assoc)
        ChannelRow(rows[17], n, caps.region, st.cur_channel);
    else
        row(17, state);
    snprintf(rows[18], n, "%s", StatusLabels[18]);
    row(19, adhoc ? StatusLabels[AD_HOC] : assoc ? "Associated" : state);
    arow(20, ssid);
    row(21, (cfg.net_type & 0xFF) == 1 ? "Infrastructure" : "Ad Hoc");
    row(22, PowerSave(cfg.power_save));
    if (adhoc) {
        // No access point in ad hoc mode: these rows say so.
        row(23, StatusLabels[AD_HOC]);
        snprintf(rows[24], n, "%s%s", StatusLabels[AP_IP_PREFIX], StatusLabels[AD_HOC]);
        snprintf(rows[25], n, "%s%s", StatusLabels[AP_MAC_PREFIX], StatusLabels[AD_HOC]);
    } else if (assoc) {
        row(23, apname);
        snprintf(rows[24], n, StatusLabels[24], st.ap_ip[0], st.ap_ip[1], st.ap_ip[2], st.ap_ip[3]);
        const uint8_t *am = st.ap_mac;
        snprintf(rows[25], n, StatusLabels[25], am[0], am[1], am[2], am[3], am[4], am[5]);
    } else {
        row(23, state);
        snprintf(rows[24], n, "%s%s", StatusLabels[AP_IP_PREFIX], state);
        snprintf(rows[25], n, "%s%s", StatusLabels[AP_MAC_PREFIX], state);
    }
    char uptime[40];
    FormatUptime(in.uptime, uptime, sizeof uptime);
    row(26, uptime);
}

StatusWindow::StatusWindow(kdR770 *adapter) : radio(adapter)
{
    row_count = 27;
    period = 1000;
    _STCAPS caps{};
    radio->GetCaps(caps);
    TitleWithProduct("Tavlo %s Status", caps);

    auto *outer = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 5));
    rows_box = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    outer->pack_start(*rows_box, false, false, 0);
    outer->pack_start(*Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 5)), false, false, 0);
    add(*outer);

    for (auto &label : labels)
        label = AddReportRow(*rows_box, "--- : ---  ");

    meter = Gtk::manage(new SigMeter);
    meter->set_size_request(400, 20);
    // Keeps its own width rather than the column's, so a percent is 4 pixels.
    meter->set_halign(Gtk::ALIGN_START);
    meter->signal_size_allocate().connect([this](Gtk::Allocation &) { meter->Update(shown_level); });
    auto *signal = Gtk::manage(new Gtk::Frame("Signal level"));
    signal->add(*meter);
    rows_box->pack_start(*signal, false, false, 0);

    auto *buttons = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0));
    auto *ok = Gtk::manage(new Gtk::Button(" Ok "));
    auto *help = Gtk::manage(new Gtk::Button("Help"));
    buttons->pack_end(*help, false, false, 0);
    buttons->pack_end(*ok, false, false, 0);
    rows_box->pack_start(*buttons, false, false, 0);
    ok->signal_clicked().connect(sigc::mem_fun(*this, &StatusWindow::Close));
    help->signal_clicked().connect(sigc::mem_fun(*this, &StatusWindow::ShowOwnHelp));

    SetHelpPage(&HelpPages[7]);  // the status page
    Update();
    // Bound to the window: the refresh ends with it.
    timer = Glib::signal_timeout().connect(sigc::mem_fun(*this, &StatusWindow::Update), period);
    show_all();
}

StatusWindow::~StatusWindow() = default;

void StatusWindow::AddLine(const char *text)
{
    if (row >= row_count)
        return;
    labels[row]->set_xalign(0);
    labels[row]->set_yalign(0);
    // Rows carry the driver's Latin-1 texts; a row is at most 80 bytes.
    SetTextIfChanged(*labels[row], Latin1ToUtf8(text, 80));
    ++row;
}

bool StatusWindow::Update()
{
    row = 0;
    StatusReading in{};
    radio->GetMicStats(in.mic);
    const char *failure = nullptr;
    CFG_R770 &cfg = in.cfg;
    _STAPLIST aplist{};
    _STSSID ssid{};
    if (radio->GetStatus(in.status) != 0)
        failure = "Status:Can't get status";
    else if (radio->GetConfiguration(cfg, aplist, ssid) != 0)
        failure = "Status:Can't get config";
    else if (radio->GetCaps(in.caps) != 0)
        failure = "Status:Can't get Capabilites";
    if (failure)
        return ReportRadioError(radio, failure) != -1;

    radio->GetIfName(in.ifname);
    _STSTATISTICS32 stats{};
    radio->GetStats(stats);
    in.uptime = stats.uptime;

    char rows[27][80];
    FormatStatusRows(in, rows);
    for (auto &text : rows)
        AddLine(text);
    // GTK keeps a window's size when its content shrinks: a window that long
    // rows have widened gives the width back when they shorten.
    int minimum = 0, natural = 0;
    get_preferred_width(minimum, natural);
    if (natural < fitted_width)
        resize(1, 1);
    fitted_width = natural;

    const bool assoc = in.status.status_word & STATUS_ASSOCIATED;
    const bool enabled = in.status.status_word & STATUS_RADIO_ENABLED;
    shown_level = assoc && enabled ? int(in.status.signal_level) : 10;
    meter->Update(shown_level);
    return true;
}
