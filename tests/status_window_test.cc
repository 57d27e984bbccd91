// The "Status" report window: its 27 rows from adapter states, the signal
// bar, refresh failures and the ways it closes.
#include <gtest/gtest.h>

#include <cstring>

#include <gtkmm/frame.h>
#include <gtkmm/main.h>

#include "command_menus.h"
#include "globals.h"
#include "gui.h"
#include "status_window.h"

namespace {

std::string Row(int i, const std::string &value) { return std::string(StatusLabels[i]) + value; }

const std::string NotAssociated = StatusLabels[27];
const std::string Disabled = StatusLabels[28];
const std::string AdHoc = StatusLabels[31];

class StatusWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sb.add("eth0");
        RescanRadios();
        CurrentRadio = Radios[0];
        // A known adapter, every field the rows show set explicitly.
        sb.set("eth0", {"caps.product_name=VX1100", "caps.manufacturer=Vindral Networks",
                        "caps.firmware_version=4.25", "caps.factory_mac=00:0a:b1:c2:d3:e4",
                        "caps.region=0", "caps.power_levels=1,5,20,30,50,0,0,0", "caps.boot_version=0x0102",
                        "config.net_type=1", "config.auth_mode=0x0101", "config.antenna=0x0303",
                        "config.client_name=desk", "config.rates=2,4,11,22,0,0,0,0", "config.tx_power=50",
                        "config.power_save=1", "status.status_word=0x0022", "status.short_headers=1",
                        "status.ssid=vindral", "status.ap_name=AP-1", "status.ap_mac=00:40:96:aa:00:01",
                        "status.ap_ip=10.1.2.3", "status.cur_channel=6", "status.cur_rate=22",
                        "status.signal_level=70", "micstats.mic_enabled=0", "stats_rate=0",
                        "stats.uptime=3725"});
        window = new StatusWindow(CurrentRadio);
        // Refreshed by the tests alone, so that a failure injected for a
        // refresh and the journal that follows are the test's.
        window->timer.disconnect();
    }
    void TearDown() override { DeleteInOwnLoop(window); }
    // Refreshes once and returns the rows.
    std::vector<std::string> Rows(const std::vector<std::string> &state = {})
    {
        if (!state.empty())
            sb.set("eth0", state);
        window->Update();
        std::vector<std::string> rows;
        for (auto *label : window->labels)
            rows.push_back(label->get_text());
        return rows;
    }
    // The bar drawn on the signal meter from x = 1: "G280" for 280 green
    // pixels, "R40" for 40 red ones, "" for none.
    std::string Bar()
    {
        Step();
        auto surface = window->meter->pixmap;
        if (!surface)
            return "no meter";
        surface->flush();
        const auto *px = reinterpret_cast<const uint32_t *>(surface->get_data() + surface->get_stride() * 5);
        int w = 0;
        while (w + 1 < surface->get_width() && (px[w + 1] & 0xFFFFFF) != 0xFFFFFF)
            ++w;
        if (w == 0)
            return "";
        const uint32_t colour = px[1] & 0xFFFFFF;
        return (colour == 0x00FF00 ? "G" : colour == 0xFF0000 ? "R" : "?") + std::to_string(w);
    }

    ProcessSandbox sb;
    StatusWindow *window = nullptr;
};

TEST_F(StatusWindowTest, AssociatedInfrastructureAdapter)
{
    // The first reading is on the bar from the first display on.
    EXPECT_EQ(Bar(), "G280");
    const std::vector<std::string> expected = {
        Row(0, "VX1100 [eth0]"),
        Row(1, "Vindral Networks"),
        Row(2, "4.25"),
        Row(3, "V1.2"),
        Row(4, "Yes"),
        Row(5, "No"),
        Row(6, "Disabled"),
        Row(7, "Enabled"),
        Row(8, "Open"),
        Row(9, "Tx->Diversity Rx->Diversity"),
        Row(10, "North America"),
        Row(11, "desk"),
        "MAC Address (Factory)              = 00:0a:b1:c2:d3:e4",
        Row(13, "11 Mbps"),
        Row(14, "Auto Rate Selection"),
        Row(15, "50  mW"),
        Row(16, "1,5,20,30,50 mW"),
        Row(17, "6  (2437 MHz)"),
        StatusLabels[18],
        Row(19, "Associated"),
        Row(20, "vindral"),
        Row(21, "Infrastructure"),
        Row(22, "PSP"),
        Row(23, "AP-1"),
        "Associated Access Point IP Address = 10.01.02.03",
        "Associated Access Point MAC        = 00:40:96:aa:00:01",
        Row(26, "01:02:05"),
    };
    EXPECT_EQ(Rows(), expected);
    EXPECT_EQ(window->get_title(), "Tavlo VX1100 Status");
    // The bar in its labelled frame; " Ok " and "Help" at the end of their
    // row, "Help" rightmost.
    auto *frame = dynamic_cast<Gtk::Frame *>(window->meter->get_parent());
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->get_label(), "Signal level");
    Gtk::Button *ok = FindButton(*window, " Ok "), *help = FindButton(*window, "Help");
    ASSERT_TRUE(ok && help);
    int okx = 0, helpx = 0, y = 0;
    ok->translate_coordinates(*window->rows_box, 0, 0, okx, y);
    help->translate_coordinates(*window->rows_box, 0, 0, helpx, y);
    EXPECT_EQ(okx + ok->get_allocated_width(), helpx);
    EXPECT_EQ(helpx + help->get_allocated_width(), window->rows_box->get_allocated_width());
    EXPECT_EQ(Bar(), "G280");
    EXPECT_EQ(OpenWindows.size(), 0u);  // the menu row registers it, not the window
}

TEST_F(StatusWindowTest, NotAssociatedRowsShowTheState)
{
    struct Case {
        const char *status;
        std::string state;
    } cases[] = {{"status.status_word=0x0002", NotAssociated}, {"status.status_word=0x0000", Disabled}};
    for (const auto &c : cases) {
        auto rows = Rows({c.status});
        for (int i : {13, 15, 17, 19, 20, 23})
            EXPECT_EQ(rows[i], Row(i, c.state)) << i;
        EXPECT_EQ(rows[24], StatusLabels[29] + c.state);
        EXPECT_EQ(rows[25], StatusLabels[30] + c.state);
        // The data rate is the configuration's, shown either way.
        EXPECT_EQ(rows[14], Row(14, "Auto Rate Selection"));
        EXPECT_EQ(Bar(), "R40");
    }
}

TEST_F(StatusWindowTest, WindowFitsItsRowsAsTheyGrowAndShrink)
{
    Rows();
    int narrow = 0, wide = 0, back = 0, h = 0;
    ShownSize(*window, narrow, h);
    Rows({"status.status_word=0x0002"});
    ShownSize(*window, wide, h);
    EXPECT_GT(wide, narrow);
    Rows({"status.status_word=0x0022"});
    ShownSize(*window, back, h);
    EXPECT_EQ(back, narrow);
}

TEST_F(StatusWindowTest, AdHocModeHasNoAccessPoint)
{
    for (const char *status : {"status.status_word=0x0022", "status.status_word=0x0002"}) {
        auto rows = Rows({status, "config.net_type=0x0100"});
        EXPECT_EQ(rows[19], Row(19, AdHoc));
        EXPECT_EQ(rows[21], Row(21, "Ad Hoc"));
        EXPECT_EQ(rows[23], Row(23, AdHoc));
        EXPECT_EQ(rows[24], StatusLabels[29] + AdHoc);
        EXPECT_EQ(rows[25], StatusLabels[30] + AdHoc);
    }
}

TEST_F(StatusWindowTest, ChannelSetAndFrequencyFollowTheRegion)
{
    struct Case {
        int region, channel;
        const char *set;
        const char *frequency;
    } cases[] = {
        {0, 6, "North America", "6  (2437 MHz)"},
        {0, 14, "North America", "14  (2477 MHz)"},
        {1, 13, "ETSI", "13  (2472 MHz)"},
        {2, 6, "Japan", "6   (2484 MHz)"},
        {2, 14, "Japan", "14   (2484 MHz)"},
        {3, 10, "Spain", "10  (2457 MHz)"},
        {4, 11, "France", "11  (2462 MHz)"},
        {5, 1, "Belgium", "1  (2412 MHz)"},
        {6, 6, "Israel", "6   (2437 MHz)"},
        {6, 15, "Israel", "15  Unknown"},
        {7, 1, "Canada", "1  (2412 MHz)"},
        {8, 1, "Australia", "1  (2412 MHz)"},
        {9, 14, "Japan [Wideband]", "14   (2477 MHz)"},
        {9, 15, "Japan [Wideband]", "15   (2484 MHz)"},
        {10, 1, "Unknown", "1  (2412 MHz)"},
        {11, 3, "Australia", "3   (2422 MHz)"},
        {12, 20, "Australia", "20  Unknown"},
        {13, 1, "Unknown", "1  (2412 MHz)"},
        {0xFFFF, 2, "Test", "2  (2417 MHz)"},
    };
    for (const auto &c : cases) {
        auto rows = Rows({"caps.region=" + std::to_string(c.region),
                          "status.cur_channel=" + std::to_string(c.channel)});
        EXPECT_EQ(rows[10], Row(10, c.set)) << c.region;
        EXPECT_EQ(rows[17], Row(17, c.frequency)) << c.region << "/" << c.channel;
    }
}

TEST_F(StatusWindowTest, AntennaSpeedRateAndPowerTexts)
{
    struct Case {
        std::vector<std::string> state;
        int row;
        std::string value;
    } cases[] = {
        {{"config.antenna=0x0000"}, 9, "Tx->Diversity Rx->Diversity"},
        {{"config.antenna=0x0301"}, 9, "Tx->Diversity Rx->Right-Only"},
        {{"config.antenna=0x0102"}, 9, "Tx->Right-Only Rx->Left-Only"},
        {{"config.antenna=0x0203"}, 9, "Tx->Left-Only Rx->Diversity"},
        // Selections outside the known four add nothing.
        {{"config.antenna=0x0701"}, 9, "Rx->Right-Only"},
        {{"config.antenna=0x0009"}, 9, "Tx->Diversity "},
        {{"status.cur_rate=1"}, 13, "500 Kbps"},
        {{"status.cur_rate=2"}, 13, "1 Mbps"},
        {{"status.cur_rate=4"}, 13, "2 Mbps"},
        {{"status.cur_rate=11"}, 13, "5.5 Mbps"},
        {{"status.cur_rate=5"}, 13, "Unknown"},
        {{"config.rates=22,0,0,0,0,0,0,0"}, 14, "11 Mbps Only"},
        {{"config.rates=0x82,0x80,0,0,0,0,0,0"}, 14, "1 Mbps Only"},
        {{"config.rates=4,0,0,0,0,0,0,0"}, 14, "2 Mbps Only"},
        {{"config.rates=11,0,0,0,0,0,0,0"}, 14, "5.5 Mbps Only"},
        {{"config.rates=7,0,0,0,0,0,0,0"}, 14, "Unknown"},
        {{"config.tx_power=5"}, 15, "5   mW"},
        {{"config.tx_power=1000"}, 15, "1000 mW"},
        {{"caps.power_levels=0,0,0,0,0,0,0,0"}, 16, ""},
        {{"caps.power_levels=1,2,3,4,5,6,7,8"}, 16, "1,2,3,4,5,6,7,8 mW"},
        {{"config.power_save=0"}, 22, "CAM"},
        {{"config.power_save=2"}, 22, "FAST-PSP"},
        {{"config.power_save=3"}, 22, ""},
        {{"config.auth_mode=0x1002"}, 6, "Enabled"},
        {{"config.auth_mode=0x1002"}, 7, "Not Enabled"},
        {{"config.auth_mode=0x1002"}, 8, "Shared Key"},
        {{"micstats.mic_enabled=1"}, 5, "Yes"},
        {{"status.short_headers=0"}, 4, "No"},
    };
    for (const auto &c : cases) {
        auto rows = Rows(c.state);
        if (c.row == 16 && c.value.empty())
            // No level at all: the prefix's last blank gives way to " mW".
            EXPECT_EQ(rows[16], "Available Power Levels             = mW");
        else
            EXPECT_EQ(rows[c.row], Row(c.row, c.value)) << c.state[0];
        sb.set("eth0", {"config.antenna=0x0303", "status.cur_rate=22", "config.rates=2,4,11,22,0,0,0,0",
                        "config.tx_power=50", "caps.power_levels=1,5,20,30,50,0,0,0", "config.power_save=1",
                        "config.auth_mode=0x0101", "micstats.mic_enabled=0", "status.short_headers=1"});
    }
}

TEST_F(StatusWindowTest, UpTimeForms)
{
    struct Case {
        unsigned seconds;
        const char *text;
    } cases[] = {{0, "00:00:00"},        {86399, "23:59:59"},         {86400, "1 Day 00:00:00"},
                 {90061, "1 Day 01:01:01"}, {172800, "2 Days 00:00:00"}, {200000, "2 Days 07:33:20"},
                 {4294967295u, "49710 Days 06:28:15"}};
    for (const auto &c : cases)
        EXPECT_EQ(Rows({"stats.uptime=" + std::to_string(c.seconds)})[26], Row(26, c.text));
}

TEST_F(StatusWindowTest, DriverTextsAndLongRowsStayInBounds)
{
    // Texts that fill their fields without a terminator, an SSID length out
    // of range and power levels too long for a row.
    auto rows = Rows({"caps.product_name=ABCDEFGHIJKLMNOP", "caps.firmware_version=12345678",
                      "caps.manufacturer=MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM",
                      "config.client_name=CCCCCCCCCCCCCCCC", "status.ap_name=QRSTUVWXYZ012345",
                      "status.ssid=SSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSS", "status.ssid_len=200",
                      "caps.power_levels=65535,65535,65535,65535,65535,65535,65535,65535"});
    EXPECT_EQ(rows[0], Row(0, "ABCDEFGHIJKLMNOP [eth0]"));
    EXPECT_EQ(rows[1], Row(1, std::string(32, 'M')));
    EXPECT_EQ(rows[2], Row(2, "12345678"));
    EXPECT_EQ(rows[11], Row(11, std::string(16, 'C')));
    EXPECT_EQ(rows[20], Row(20, std::string(32, 'S')));
    EXPECT_EQ(rows[23], Row(23, "QRSTUVWXYZ012345"));
    const std::string levels = Row(16, "65535,65535,65535,65535,65535,65535,65535,65535 mW");
    EXPECT_EQ(rows[16], levels.substr(0, 79));
    for (const auto &r : rows)
        EXPECT_LE(r.size(), 79u);
}

// Driver texts are Latin-1: each byte shows as its own character, in the rows
// and in the title.
TEST_F(StatusWindowTest, LatinOneDriverTextsShowAsTheirCharacters)
{
    const std::vector<std::string> texts = {
        "caps.product_name=Caf\\xe9 \\xa9", "caps.manufacturer=M\\xfcller \\xff",
        "config.client_name=Bj\\xf6rn", "status.ssid=\\xc3\\xa9", "status.ap_name=Z\\xfcrich"};
    auto rows = Rows(texts);
    EXPECT_EQ(rows[0], Row(0, "Caf\u00e9 \u00a9 [eth0]"));
    EXPECT_EQ(rows[1], Row(1, "M\u00fcller \u00ff"));
    EXPECT_EQ(rows[11], Row(11, "Bj\u00f6rn"));
    // Two bytes that would read as one UTF-8 character are two characters.
    EXPECT_EQ(rows[20], Row(20, "\u00c3\u00a9"));
    EXPECT_EQ(rows[23], Row(23, "Z\u00fcrich"));

    auto *titled = new StatusWindow(CurrentRadio);
    EXPECT_EQ(titled->get_title(), "Tavlo Caf\u00e9 \u00a9 Status");
    delete titled;
}

TEST_F(StatusWindowTest, SignalBarShowsTheLevelOnlyWhenAssociatedAndEnabled)
{
    struct Case {
        const char *status;
        const char *bar;
    } cases[] = {{"status.status_word=0x0022", "G132"}, {"status.status_word=0x0020", "R40"},
                 {"status.status_word=0x0002", "R40"}};
    for (const auto &c : cases) {
        Rows({c.status, "status.signal_level=33"});
        EXPECT_EQ(Bar(), c.bar) << c.status;
    }
}

TEST_F(StatusWindowTest, UnchangedReadingsRedrawNothing)
{
    Rows();
    int w = 0, h = 0;
    ShownSize(*window, w, h);
    std::vector<Gtk::Widget *> watched(std::begin(window->labels), std::end(window->labels));
    watched.push_back(window->meter);
    RedrawCounter counter(*window, watched);
    for (int tick = 0; tick < 3; ++tick) {
        EXPECT_TRUE(window->Update());
        WaitForFrame(*window);
    }
    EXPECT_EQ(counter.allocations(), 0);
    EXPECT_EQ(counter.draws(), std::vector<int>(28, 0));

    // One second more of up time: its row alone is drawn again.
    Rows({"stats.uptime=3726"});
    WaitForFrame(*window);
    const auto draws = counter.draws();
    for (size_t i = 0; i < draws.size(); ++i)
        EXPECT_EQ(draws[i] > 0, i == 26) << "row " << i << " drawn " << draws[i] << " times";
}

TEST_F(StatusWindowTest, TransientFailureLeavesTheRowsAlone)
{
    const auto before = Rows();
    for (int command : {8, 1, 0}) {
        sb.set("eth0", {"status.signal_level=10", "stats.uptime=1"});
        sb.fail("eth0", command, 11);
        EXPECT_TRUE(window->Update());
        Step();
        EXPECT_EQ(FindWindow("Error message"), nullptr);
        std::vector<std::string> rows;
        for (auto *label : window->labels)
            rows.push_back(label->get_text());
        EXPECT_EQ(rows, before);
    }
}

TEST_F(StatusWindowTest, FailedReadIsReportedOncePerTick)
{
    struct Case {
        int command;
        const char *text;
        std::vector<int> reads;  // the failed refresh's requests
    } cases[] = {{8, "Status:Can't get status", {12, 8}},
                 {1, "Status:Can't get config", {12, 8, 1}},
                 {0, "Status:Can't get Capabilites", {12, 8, 1, 3, 2, 0}}};
    const auto before = Rows();
    for (const auto &c : cases) {
        sb.clearJournal();
        sb.fail("eth0", c.command, 5);
        EXPECT_FALSE(window->Update());
        Step();
        // The later reads are not made.
        EXPECT_EQ(sb.commands("eth0"), c.reads);
        int windows = 0;
        for (Gtk::Window *w : Gtk::Window::list_toplevels())
            if (w->get_visible() && w->get_title() == "Error message") {
                ++windows;
                auto lines = LabelTexts(*w);
                ASSERT_EQ(lines.size(), 2u);
                EXPECT_EQ(lines[0], c.text);
                EXPECT_EQ(lines[1].substr(0, std::strlen(strerror(5))), strerror(5));
                w->hide();
            }
        EXPECT_EQ(windows, 1);
        std::vector<std::string> rows;
        for (auto *label : window->labels)
            rows.push_back(label->get_text());
        EXPECT_EQ(rows, before);
    }
}

// Opened from the menu, the window runs its own loop until it closes, and is
// registered among the open report windows meanwhile.
TEST(StatusWindowMenu, OkAndWindowManagerCloseEndTheLoop)
{
    ProcessSandbox sb;
    sb.add("eth0");
    RescanRadios();
    CurrentRadio = Radios[0];
    for (bool byOk : {true, false}) {
        bool seen = false;
        ActOn<StatusWindow>("Status window", [&](StatusWindow &w) {
            seen = true;
            ASSERT_EQ(OpenWindows.size(), 1u);
            EXPECT_EQ(OpenWindows[0], &w);
            if (byOk)
                FindButton(w, " Ok ")->clicked();
            else
                w.close();
        });
        OnCommandsMenu(5);
        EXPECT_TRUE(seen);
        EXPECT_TRUE(OpenWindows.empty());
        Step();
        EXPECT_EQ(FindWindow("Tavlo VX1100 Status"), nullptr);
    }
}

TEST(StatusWindowMenu, RefreshesOnceASecond)
{
    ProcessSandbox sb;
    sb.add("eth0");
    RescanRadios();
    CurrentRadio = Radios[0];
    sb.set("eth0", {"stats_rate=0", "stats.uptime=100"});
    std::string first, later;
    ActOn<StatusWindow>("Status window", [&](StatusWindow &w) {
        first = w.labels[26]->get_text();
        sb.set("eth0", {"stats.uptime=200"});
        // Until the next refresh shows another up time.
        ActOnWindow(
            "Status window showing a new up time",
            [&]() -> Gtk::Window * {
                auto *shown = ShownWindow<StatusWindow>();
                return shown && shown->labels[26]->get_text() != first ? shown : nullptr;
            },
            [&](Gtk::Window &shown) {
                later = static_cast<StatusWindow &>(shown).labels[26]->get_text();
                shown.close();
            });
    });
    OnCommandsMenu(5);
    EXPECT_EQ(first, Row(26, "00:01:40"));
    EXPECT_EQ(later, Row(26, "00:03:20"));
    // Each refresh reads the status once: a second apart at the least.
    EXPECT_GE(sb.shortestGap(8), 0.95);
}

} // namespace
