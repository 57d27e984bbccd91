// The "Statistics" window in-process: its rows, pausing, clearing, failed
// reads and the ways it ends.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtkmm/box.h>
#include <gtkmm/frame.h>
#include <gtkmm/main.h>

#include "command_menus.h"
#include "globals.h"
#include "gui.h"
#include "help.h"
#include "main_window.h"
#include "statistics_window.h"
#include "status_window.h"
#include "updater.h"

namespace {

struct Row {
    const char *label;
    int offset;
};

// Written out here rather than taken from the program, so that a wrong label
// or offset in the program's tables shows.
const Row kReceive[21] = {
    {"Multicast Packets Received =", 0xB0}, {"Broadcast Packets Received =", 0xB4},
    {"Unicast Packets Received   =", 0xB8}, {"Bytes Received             =", 0x174},
    {"Beacons Received           =", 0x60}, {"Total Packets Received OK  =", 0xE0},
    {"Duplicate Packets Received =", 0x78}, {"Overrun Errors             =", 0x04},
    {"PLCP CRC Errors            =", 0x08}, {"PLCP Format Errors         =", 0x0C},
    {"PLCP Length Errors         =", 0x10}, {"Mac CRC Errors             =", 0x14},
    {"Partial Packets Received   =", 0x7C}, {"SSID Mismatches            =", 0xE4},
    {"AP Mismatches              =", 0xE8}, {"Data Rate Mismatches       =", 0xEC},
    {"Authentication Rejects     =", 0xF0}, {"Authentication T/O         =", 0xF4},
    {"Association Rejects        =", 0xF8}, {"Association T/O            =", 0xFC},
    {"Packets Aged               =", 0x84},
};
const Row kTransmit[21] = {
    {"Multicast Packets Transmitted  =", 0x4C}, {"Broadcast Packets Transmitted  =", 0x50},
    {"Unicast Packets Transmitted    =", 0x58}, {"Bytes Transmitted              =", 0x170},
    {"Beacons Transmitted            =", 0x5C}, {"Ack Packets Transmitted        =", 0x40},
    {"RTS Packets Transmitted        =", 0x44}, {"CTS Packets Transmitted        =", 0x48},
    {"Single Collisions              =", 0x64}, {"Multiple Collisions            =", 0x68},
    {"Packets No Deferral            =", 0x6C}, {"Packets Deferred Protocol      =", 0x70},
    {"Packets Deferred Energy detect =", 0x74}, {"Packets Retry Long             =", 0x24},
    {"Packets Retry Short            =", 0x28}, {"Packets Max Retries            =", 0x2C},
    {"Packets Ack Received           =", 0x38}, {"Packets No Ack Received        =", 0x30},
    {"Packets CTS Received           =", 0x3C}, {"Packets No CTS Received        =", 0x34},
    {"Packets Aged                   =", 0x80},
};
// In display order, each with the value that SetUp gives its counter.
const Row kMic[5] = {
    {"Packets MIC OK             =", 11}, {"Packets No MIC             =", 22},
    {"Packets Incorrect MIC      =", 33}, {"Packets No MIC Seed        =", 44},
    {"Packets Wrong MIC Sequence =", 55},
};
const char *const kUptime = "Up Time [hh:mm:ss]         =";
const char *const kTotalUptime = "Total Up Time [hh:mm:ss]   =";
const char *const kTitle = "TAVLO VX1100 Statistics";

// A value of its own for every offset and round: a row that reads the wrong
// offset, or was not refreshed, shows another number.
uint32_t CounterValue(int offset, int round) { return 1000000u + uint32_t(offset) * 1000u + uint32_t(round); }

std::string Text(const char *label, const std::string &value) { return std::string(label) + " " + value; }

std::string Hex(int offset)
{
    char b[16];
    snprintf(b, sizeof b, "0x%x", offset);
    return b;
}

class StatsWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sb.add("eth0");
        // Frozen counters and up times, so that every row has an exact value.
        sb.set("eth0", {"stats_rate=0", "stats.uptime=3725", "cstats.uptime=90061",
                        "micstats.packets_mic_ok=11", "micstats.packets_no_mic=22",
                        "micstats.packets_incorrect_mic=33", "micstats.packets_no_mic_seed=44",
                        "micstats.packets_wrong_sequence=55"});
        SetCounters(0);
        RescanRadios();
        // An earlier test's status line (tests run in one process) reads
        // the status too: only this test's window talks to the adapter.
        if (TheUpdater)
            TheUpdater->Stop();
        BuildMainWindow();
        ChooseAdapter();
        // The status line's refresher reads the status too and would take
        // faults meant for the window.
        TheUpdater->Stop();
        Step();
    }

    void SetCounters(int round)
    {
        std::vector<std::string> set;
        for (const Row *table : {kReceive, kTransmit})
            for (int i = 0; i < 21; ++i)
                set.push_back("stats." + Hex(table[i].offset) + "=" +
                              std::to_string(CounterValue(table[i].offset, round)));
        sb.set("eth0", set);
    }

    // Every label of the window in tree order for counters of this round.
    static std::vector<std::string> Expected(int round, bool mic = true)
    {
        std::vector<std::string> out;
        for (const Row &r : kReceive)
            out.push_back(Text(r.label, std::to_string(CounterValue(r.offset, round))));
        if (mic)
            for (const Row &r : kMic)
                out.push_back(Text(r.label, std::to_string(r.offset)));
        out.push_back(Text(kUptime, "01:02:05"));
        out.push_back(Text(kTotalUptime, "1 Day 01:01:01"));
        for (const Row &r : kTransmit)
            out.push_back(Text(r.label, std::to_string(CounterValue(r.offset, round))));
        return out;
    }

    int Reads(int command) const
    {
        int n = 0;
        for (int c : sb.commands("eth0"))
            n += c == command;
        return n;
    }

    // Runs the main loop until the window has made n more refreshes; each
    // reads the statistics (command 10) once, synchronously.
    void WaitForRefreshes(int n)
    {
        const int target = Reads(10) + n;
        ASSERT_TRUE(RunUntil([&] { return Reads(10) >= target; },
                             std::to_string(n) + " refresh(es) of the window"));
    }

    ProcessSandbox sb;
};

TEST_F(StatsWindowTest, RowsShowEveryCounterAtItsOffset)
{
    auto *win = new StatsWindow(CurrentRadio);
    Step();
    EXPECT_EQ(win->get_title(), kTitle);
    EXPECT_EQ(FindWindow(kTitle), win);
    EXPECT_EQ(LabelTexts(*win), Expected(0));
    for (const char *button : {"Pause", "Help", "Reset", "OK"})
        EXPECT_NE(FindButton(*win, button), nullptr) << button;
    // The buttons' row sits in an etched frame, "OK" packed from its end.
    Gtk::Button *ok = FindButton(*win, "OK");
    auto *row = ok ? dynamic_cast<Gtk::Box *>(ok->get_parent()) : nullptr;
    ASSERT_NE(row, nullptr);
    auto *frame = dynamic_cast<Gtk::Frame *>(row->get_parent());
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->get_shadow_type(), Gtk::SHADOW_ETCHED_IN);
    EXPECT_EQ(row->child_property_pack_type(*ok).get_value(), Gtk::PACK_END);
    EXPECT_EQ(CurrentHelpPage, &HelpPages[6]);
    DeleteInOwnLoop(win);
}

TEST_F(StatsWindowTest, UnchangedCountersRedrawNothing)
{
    auto *win = new StatsWindow(CurrentRadio);
    win->StopTimer();  // refreshed by the test alone
    int w = 0, h = 0;
    ShownSize(*win, w, h);
    std::vector<Gtk::Widget *> rows(std::begin(win->rx_labels), std::end(win->rx_labels));
    rows.insert(rows.end(), std::begin(win->tx_labels), std::end(win->tx_labels));
    rows.push_back(win->uptime_label);
    rows.push_back(win->total_uptime_label);
    RedrawCounter counter(*win, rows);
    for (int tick = 0; tick < 3; ++tick) {
        EXPECT_TRUE(win->Update());
        WaitForFrame(*win);
    }
    EXPECT_EQ(counter.allocations(), 0);
    EXPECT_EQ(counter.draws(), std::vector<int>(rows.size(), 0));

    // One counter moves: its row alone is drawn again.
    sb.set("eth0", {"stats.0xb0=" + std::to_string(CounterValue(0xb0, 0) + 1)});
    EXPECT_TRUE(win->Update());
    WaitForFrame(*win);
    const auto draws = counter.draws();
    for (size_t i = 0; i < draws.size(); ++i)
        EXPECT_EQ(draws[i] > 0, rows[i] == win->rx_labels[0]) << "row " << i << " drawn " << draws[i] << " times";
    DeleteInOwnLoop(win);
}

TEST_F(StatsWindowTest, CountersPrintUnsignedAndMicCountersSigned)
{
    auto *win = new StatsWindow(CurrentRadio);
    struct Case {
        uint32_t value;
        const char *counter;
        const char *mic;
    } cases[] = {
        {0x7FFFFFFF, "2147483647", "2147483647"},
        {0x80000000, "2147483648", "-2147483648"},
        {0xFFFFFFFF, "4294967295", "-1"},
    };
    for (const auto &c : cases) {
        const std::string v = std::to_string(c.value);
        sb.set("eth0", {"stats.0xb0=" + v, "stats.0x4c=" + v, "micstats.packets_mic_ok=" + v,
                        "micstats.packets_wrong_sequence=" + v});
        EXPECT_TRUE(win->Update());
        EXPECT_EQ(win->rx_labels[0]->get_text(), Text(kReceive[0].label, c.counter));
        EXPECT_EQ(win->tx_labels[0]->get_text(), Text(kTransmit[0].label, c.counter));
        EXPECT_EQ(win->rx_labels[21]->get_text(), Text(kMic[0].label, c.mic));
        EXPECT_EQ(win->rx_labels[25]->get_text(), Text(kMic[4].label, c.mic));
    }
    DeleteInOwnLoop(win);
}

TEST_F(StatsWindowTest, WithoutMicTheUpTimesFollowTheReceiveRows)
{
    sb.set("eth0", {"micstats.mic_enabled=0"});
    auto *win = new StatsWindow(CurrentRadio);
    EXPECT_EQ(LabelTexts(*win), Expected(0, false));
    // Switching MIC on later adds no rows.
    sb.set("eth0", {"micstats.mic_enabled=1"});
    EXPECT_TRUE(win->Update());
    EXPECT_EQ(LabelTexts(*win), Expected(0, false));
    EXPECT_EQ(win->rx_labels[21], nullptr);
    DeleteInOwnLoop(win);
}

TEST_F(StatsWindowTest, MicRowsKeepTheirValuesWhileMicIsOffOrUnreadable)
{
    auto *win = new StatsWindow(CurrentRadio);
    const std::string micOk = Text(kMic[0].label, "11");
    ASSERT_EQ(win->rx_labels[21]->get_text(), micOk);

    sb.set("eth0", {"micstats.mic_enabled=0", "micstats.packets_mic_ok=999"});
    SetCounters(1);
    EXPECT_TRUE(win->Update());
    EXPECT_EQ(win->rx_labels[0]->get_text(), Expected(1)[0]);
    EXPECT_EQ(win->rx_labels[21]->get_text(), micOk);

    // A failed MIC read is not reported; the other rows still refresh.
    sb.set("eth0", {"micstats.mic_enabled=1"});
    SetCounters(2);
    sb.fail("eth0", 12, 5);
    EXPECT_TRUE(win->Update());
    EXPECT_EQ(FindWindow("Error message"), nullptr);
    EXPECT_EQ(win->rx_labels[0]->get_text(), Expected(2)[0]);
    EXPECT_EQ(win->rx_labels[21]->get_text(), micOk);

    EXPECT_TRUE(win->Update());
    EXPECT_EQ(win->rx_labels[21]->get_text(), Text(kMic[0].label, "999"));
    DeleteInOwnLoop(win);
}

TEST_F(StatsWindowTest, UpTimesAreHoursMinutesSecondsAndDays)
{
    struct Case {
        uint32_t seconds;
        const char *text;
    } cases[] = {
        {0, "00:00:00"},
        {3725, "01:02:05"},
        {86399, "23:59:59"},
        {86400, "1 Day 00:00:00"},
        {90061, "1 Day 01:01:01"},
        {172800, "2 Days 00:00:00"},
        {200000, "2 Days 07:33:20"},
        {0xFFFFFFFF, "49710 Days 06:28:15"},
    };
    const size_t n = sizeof cases / sizeof cases[0];
    auto *win = new StatsWindow(CurrentRadio);
    for (size_t i = 0; i < n; ++i) {
        // Different values in the two records, so that a row reading the
        // other one shows.
        const Case &since = cases[i], &total = cases[(i + 1) % n];
        sb.set("eth0", {"stats.uptime=" + std::to_string(since.seconds),
                        "cstats.uptime=" + std::to_string(total.seconds)});
        EXPECT_TRUE(win->Update());
        EXPECT_EQ(win->uptime_label->get_text(), Text(kUptime, since.text));
        EXPECT_EQ(win->total_uptime_label->get_text(), Text(kTotalUptime, total.text));
    }
    DeleteInOwnLoop(win);
}

TEST_F(StatsWindowTest, PauseFreezesEveryRowAndResumesOnePeriodLater)
{
    auto *win = new StatsWindow(CurrentRadio);
    const auto before = LabelTexts(*win);
    win->pause_button->clicked();
    EXPECT_EQ(win->running, 0);
    EXPECT_FALSE(win->timer.connected());

    SetCounters(1);
    sb.set("eth0", {"stats.uptime=7", "cstats.uptime=8", "micstats.packets_mic_ok=9"});
    sb.clearJournal();
    Step(2500);
    EXPECT_EQ(Reads(10), 0);
    EXPECT_EQ(LabelTexts(*win), before);

    const double resumed =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    win->pause_button->clicked();
    EXPECT_EQ(win->running, 1);
    EXPECT_TRUE(win->timer.connected());
    EXPECT_EQ(Reads(10), 0);
    EXPECT_EQ(LabelTexts(*win), before);
    WaitForRefreshes(1);
    EXPECT_EQ(Reads(10), 1);
    // A period after the resume, not sooner.
    for (const auto &e : sb.journal()) {
        if (e.command == 10) {
            EXPECT_GE(e.time - resumed, 0.95);
        }
    }
    EXPECT_EQ(win->uptime_label->get_text(), Text(kUptime, "00:00:07"));
    EXPECT_EQ(win->total_uptime_label->get_text(), Text(kTotalUptime, "00:00:08"));
    EXPECT_EQ(win->rx_labels[21]->get_text(), Text(kMic[0].label, "9"));
    EXPECT_EQ(win->tx_labels[20]->get_text(), Expected(1).back());
    DeleteInOwnLoop(win);
}

TEST_F(StatsWindowTest, ResetClearsTheAdapterAndTheRowsFollowAtTheNextRefresh)
{
    auto *win = new StatsWindow(CurrentRadio);
    Gtk::Button *reset = FindButton(*win, "Reset");
    ASSERT_NE(reset, nullptr);
    const auto expectCleared = [&] {
        for (int i = 0; i < 21; ++i) {
            EXPECT_EQ(win->rx_labels[i]->get_text(), Text(kReceive[i].label, "0"));
            EXPECT_EQ(win->tx_labels[i]->get_text(), Text(kTransmit[i].label, "0"));
        }
        EXPECT_EQ(win->uptime_label->get_text(), Text(kUptime, "00:00:00"));
        EXPECT_EQ(win->total_uptime_label->get_text(), Text(kTotalUptime, "1 Day 01:01:01"));
    };

    for (bool paused : {false, true}) {
        SCOPED_TRACE(paused ? "paused" : "running");
        SetCounters(1);
        sb.set("eth0", {"stats.uptime=3725"});
        ASSERT_TRUE(win->Update());
        if (paused)
            win->pause_button->clicked();
        const auto before = LabelTexts(*win);
        sb.clearJournal();
        reset->clicked();
        const auto journal = sb.journal();
        ASSERT_EQ(journal.size(), 1u);
        EXPECT_EQ(journal[0].command, 58);
        EXPECT_EQ(journal[0].length, 544);
        EXPECT_EQ(journal[0].sent, std::vector<uint8_t>(544, 0));
        EXPECT_EQ(sb.get("eth0", "stats.0xb0"), "0");
        EXPECT_EQ(LabelTexts(*win), before);
        if (paused) {
            Step(1500);
            EXPECT_EQ(LabelTexts(*win), before);
            win->pause_button->clicked();
        }
        WaitForRefreshes(1);
        expectCleared();
    }
    DeleteInOwnLoop(win);
}

TEST_F(StatsWindowTest, FailedReadIsReportedOnceAndEndsTheRefresh)
{
    struct Case {
        int command;
        int err;
        std::vector<int> reads;  // the failed refresh's requests
        std::string text;
        std::string reason;
    } cases[] = {
        {10, 5, {12, 10}, ":Can't get Statistics",
         std::string(strerror(5)) + "  kdr770::GetStats get statistics32"},
        {9, 19, {12, 10, 9}, ":Can't get Cumulative Statistics",
         std::string(strerror(19)) + "  kdr770::GetcStats get statistics"},
        {8, 13, {12, 10, 9, 8}, ":Can't get Status", std::string(strerror(13)) + "  kdr770::GetStatus"},
        {10, 0, {12, 10}, ":Can't get Statistics", "Unknown error"},
    };
    auto *win = new StatsWindow(CurrentRadio);
    int round = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text + " " + std::to_string(c.err));
        ++round;
        CurrentRadio->lasterr = 0;
        SetCounters(round);
        const auto before = LabelTexts(*win);
        sb.clearJournal();
        sb.fail("eth0", c.command, c.err);
        WaitForRefreshes(1);
        // The time-out has ended: no refresh follows.
        Step(1500);
        EXPECT_EQ(sb.commands("eth0"), c.reads);
        EXPECT_EQ(LabelTexts(*win), before);
        EXPECT_EQ(win->running, 1);
        EXPECT_FALSE(win->timer.connected());

        Gtk::Window *err = FindWindow("Error message");
        ASSERT_NE(err, nullptr);
        EXPECT_EQ(LabelTexts(*err), (std::vector<std::string>{c.text, c.reason}));
        delete err;
        Step();
        EXPECT_EQ(FindWindow("Error message"), nullptr);

        // Still counted as running: the first Pause only clears that, the
        // second starts the refresh again.
        win->pause_button->clicked();
        EXPECT_EQ(win->running, 0);
        Step(1200);
        EXPECT_EQ(Reads(10), 1);
        win->pause_button->clicked();
        EXPECT_EQ(win->running, 1);
        EXPECT_TRUE(win->timer.connected());
        WaitForRefreshes(1);
        EXPECT_EQ(LabelTexts(*win), Expected(round));
    }
    DeleteInOwnLoop(win);
}

TEST_F(StatsWindowTest, TransientFailureKeepsRowsAndRefresh)
{
    auto *win = new StatsWindow(CurrentRadio);
    sb.clearJournal();
    int round = 0;
    for (int command : {10, 9, 8}) {
        SCOPED_TRACE(command);
        SetCounters(++round);
        const auto before = LabelTexts(*win);
        sb.fail("eth0", command, 11);
        WaitForRefreshes(1);
        EXPECT_EQ(LabelTexts(*win), before);
        EXPECT_EQ(FindWindow("Error message"), nullptr);
        EXPECT_TRUE(win->timer.connected());
        WaitForRefreshes(1);
        EXPECT_EQ(LabelTexts(*win), Expected(round));
    }
    // One refresh a second, the failing ones included.
    EXPECT_GE(sb.shortestGap(10), 0.95);
    DeleteInOwnLoop(win);
}

TEST_F(StatsWindowTest, OkAndWindowManagerCloseEndTheCommand)
{
    const std::function<void(Gtk::Window &)> ends[] = {
        [](Gtk::Window &w) { FindButton(w, "OK")->clicked(); },
        [](Gtk::Window &w) { w.close(); },
    };
    for (const auto &end : ends) {
        // Another registered window keeps its entry.
        OpenWindows = {MainWindow};
        Gtk::Window *seen = nullptr;
        std::vector<Gtk::Window *> registered;
        ActOn<StatsWindow>("Statistics window", [&](StatsWindow &w) {
            seen = &w;
            registered = OpenWindows;
            end(w);
        });
        OnCommandsMenu(ROW_STATISTICS);
        ASSERT_NE(seen, nullptr);
        EXPECT_EQ(registered, (std::vector<Gtk::Window *>{MainWindow, seen}));
        EXPECT_EQ(OpenWindows, std::vector<Gtk::Window *>{MainWindow});
        EXPECT_EQ(FindWindow(kTitle), nullptr);
        // No refresh outlives the window.
        sb.clearJournal();
        Step(1500);
        EXPECT_EQ(Reads(10), 0);
    }
    OpenWindows.clear();
}

TEST_F(StatsWindowTest, LoadNewFirmwareClosesStatusAndStatisticsWindows)
{
    std::vector<std::string> titles;
    size_t openAfter = 99;
    bool statusShown = true, statisticsShown = true, statisticsEnded = false;
    ActOn<StatusWindow>("Status window", [&](StatusWindow &) {
        ActOn<StatsWindow>("Statistics window", [&](StatsWindow &) {
            for (Gtk::Window *w : OpenWindows)
                titles.push_back(w->get_title());
            AnswerFileDialogLater(100, Gtk::RESPONSE_CANCEL);
            OnCommandsMenu(ROW_FIRMWARE);
            openAfter = OpenWindows.size();
            if (titles.size() == 2) {
                statusShown = FindWindow(titles[0]) != nullptr;
                statisticsShown = FindWindow(titles[1]) != nullptr;
            }
        });
        OnCommandsMenu(ROW_STATISTICS);
        statisticsEnded = true;
        // Both windows' ends fell on the innermost loop; the status
        // command's loop still runs without its window.
        Gtk::Main::quit();
    });
    OnCommandsMenu(ROW_STATUS);
    ASSERT_EQ(titles.size(), 2u);
    EXPECT_EQ(titles[1], kTitle);
    EXPECT_EQ(openAfter, 0u);
    EXPECT_FALSE(statusShown);
    EXPECT_FALSE(statisticsShown);
    EXPECT_TRUE(statisticsEnded);
    EXPECT_TRUE(OpenWindows.empty());
    // Both windows read the statistics while they lived.
    sb.clearJournal();
    Step(1500);
    EXPECT_EQ(Reads(10), 0);
}

} // namespace
