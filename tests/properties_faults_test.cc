// The properties window against a driver that fails: writes the adapter
// refuses during " Ok " are said and stop the Ok, with the stored profiles
// and the file left as before; an adapter that stops answering is fatal;
// reads that fail while the window opens keep it from opening; a busy
// adapter (error number 11) is asked again.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include <glibmm/main.h>
#include <gtkmm/main.h>

#include "error_window.h"
#include "home_page.h"
#include "properties_fixture.h"
#include "system_page.h"
#include "wep_records.h"
#include "whole_answers.h"

namespace {

constexpr char NotSaved[] = "Profiles not saved: the card may hold part of the new settings";

class FaultsTest : public PropertiesTest {
protected:
    // The write requests of the journal with their results, in order.
    std::vector<std::pair<int, int>> WritesAndResults() const
    {
        std::vector<std::pair<int, int>> out;
        for (const auto &e : sb.journal())
            if (e.command >= 50)
                out.emplace_back(e.command, e.result);
        return out;
    }

    // The error window's lines, or a single "none".
    static std::vector<std::string> ErrorLines()
    {
        auto *err = dynamic_cast<ErrWin *>(FindWindow("Error message"));
        return err ? LabelTexts(*err) : std::vector<std::string>{"none"};
    }

    // Presses the error window's "Ok": it only closes the window.
    static void CloseError()
    {
        auto *err = dynamic_cast<ErrWin *>(FindWindow("Error message"));
        ASSERT_NE(err, nullptr);
        err->okbutton->clicked();
        Step();
        EXPECT_EQ(FindWindow("Error message"), nullptr);
        EXPECT_NE(FindWindow("Vindral Client Utility"), nullptr);
    }
};

enum Outcome { DONE, REFUSED };

TEST_F(FaultsTest, WritesRefusedOrRetriedDuringOk)
{
    Start({"wep.4=0102030405060708090a0b0c0d"});
    const std::string config = "Error reading configuration from card,Function aborted";
    const std::string putBack = "The new home key was written as key 5; transmit key 1 was put back";
    const std::string keptHomeKey = "The new home key was written as key 5 and is the transmit key";
    struct Row {
        const char *name;
        bool home;                    // home chosen, a home key typed
        std::vector<std::string> adapter;  // state besides the home key, at opening
        std::vector<std::string> atOk;     // faults and answers, set just before Ok
        Outcome outcome;
        std::vector<std::string> said;     // the message's first line and what follows
        std::vector<std::pair<int, int>> writes;  // command and result, in order
    } rows[] = {
        {"SSID list refused", false, {}, {"fail.54=5"}, REFUSED,
         {"Error writing SSID list to card,Function aborted"}, {{54, -1}}},
        {"access point list refused", false, {}, {"fail.55=22"}, REFUSED,
         {"Error writing access point list to card,Function aborted"}, {{54, 0}, {55, -1}}},
        {"configuration refused", false, {}, {"fail.53=5"}, REFUSED,
         {"Error writing configuration to card,Function aborted"}, {{54, 0}, {55, 0}, {53, -1}}},
        {"MAC address unreadable", false, {}, {"fail.1=5"}, REFUSED, {config}, {}},
        {"MAC address answered with nothing", false, {}, {"short.1=0"}, REFUSED, {config}, {}},
        {"MAC address answered by half", false, {}, {"short.1=78"}, REFUSED, {config}, {}},
        {"MAC address of zeros", false, {}, {"config.mac_addr=00:00:00:00:00:00"}, REFUSED,
         {config}, {}},
        {"home key refused", true, {}, {"fail.60=5"}, REFUSED,
         {"Error writing home key to card,Function aborted"}, {{60, -1}}},
        // The home key went in as transmit key 5: the one read is put back.
        {"home configuration refused", true, {}, {"fail.53=5"}, REFUSED,
         {"Error writing configuration to card,Function aborted", putBack},
         {{60, 0}, {60, 0}, {54, 0}, {55, 0}, {53, -1}, {60, 0}}},
        {"home SSID list refused", true, {}, {"fail.54=5"}, REFUSED,
         {"Error writing SSID list to card,Function aborted", putBack},
         {{60, 0}, {60, 0}, {54, -1}, {60, 0}}},
        {"home access point list refused", true, {}, {"fail.55=22"}, REFUSED,
         {"Error writing access point list to card,Function aborted", putBack},
         {{60, 0}, {60, 0}, {54, 0}, {55, -1}, {60, 0}}},
        {"home: MAC address unreadable", true, {}, {"fail.1=5"}, REFUSED, {config, putBack},
         {{60, 0}, {60, 0}, {60, 0}}},
        {"home: MAC address answered with nothing", true, {}, {"short.1=0"}, REFUSED,
         {config, putBack}, {{60, 0}, {60, 0}, {60, 0}}},
        {"home configuration refused, the home key transmitting before", true, {"wep.tx=4"},
         {"fail.53=5"}, REFUSED,
         {"Error writing configuration to card,Function aborted", keptHomeKey},
         {{60, 0}, {60, 0}, {54, 0}, {55, 0}, {53, -1}}},
        {"busy once: configuration", false, {}, {"fail.53=11"}, DONE, {},
         {{54, 0}, {55, 0}, {53, -1}, {54, 0}, {55, 0}, {53, 0}}},
        {"busy once: home key", true, {}, {"fail.60=11"}, DONE, {},
         {{60, -1}, {60, 0}, {60, 0}, {54, 0}, {55, 0}, {53, 0}}},
        {"busy once: status", false, {}, {"fail.8=11"}, DONE, {}, {{54, 0}, {55, 0}, {53, 0}}},
        {"busy once: MAC address read", false, {}, {"fail.1=11"}, DONE, {},
         {{54, 0}, {55, 0}, {53, 0}}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        sb.add("eth0");
        sb.set("eth0", {"wep.4=0102030405060708090a0b0c0d"});
        sb.set("eth0", row.adapter);
        const Stored before = Snapshot();
        sb.clearJournal();
        EXPECT_TRUE(Edit([&](PropWindow &w) {
            w.system_page->name_entry->set_text("desk");
            if (row.home) {
                w.system_page->groups[SystemParams::CURRENT_PROFILE]->GetButton(1)->clicked();
                w.home_page->key_entry->set_text("abcde");
                w.home_page->encryption_check->set_active(true);
            }
            // The failures start after the window has opened.
            sb.set("eth0", row.atOk);
            w.buttons[PropWindow::OK]->clicked();
        }));
        EXPECT_EQ(WritesAndResults(), row.writes);
        EXPECT_EQ(WindowWithText("Fatal I/O error. Exiting"), nullptr);
        switch (row.outcome) {
        case REFUSED: {
            std::string text = row.said[0] + "\n" + NotSaved;
            for (size_t i = 1; i < row.said.size(); ++i)
                text += "\n" + row.said[i];
            EXPECT_EQ(ErrorLines(), std::vector<std::string>{text});
            // The stored profiles, the choice and the file as before.
            EXPECT_TRUE(Snapshot() == before);
            // A MAC address of zeros is never sent, and what was put back
            // is the transmit key read.
            for (const auto &e : sb.journal())
                if (e.command == 53) {
                    EXPECT_TRUE(UsableMac(FromBytes<CFG_R770>(e.sent).mac_addr));
                }
            if (!row.said.empty() && row.said.back() == putBack) {
                EXPECT_EQ(HexImage(Sent<_RID_wep_key>(60)), HexImage(Selector(0)));
                EXPECT_EQ(sb.get("eth0", "wep.tx"), "0");
            }
            CloseError();
            break;
        }
        case DONE:
            EXPECT_EQ(ErrorLines(), std::vector<std::string>{"none"});
            EXPECT_EQ(std::string(EnterpriseProfile.cfg.client_name), "desk");
            EXPECT_EQ(CurrentProfile, row.home ? 1 : 0);
            EXPECT_EQ(Bytes(File().a), Bytes(EnterpriseProfile));
            EXPECT_EQ(Bytes(File().b), Bytes(HomeProfile));
            // Put back for the next row.
            EnterpriseProfile = before.enterprise;
            HomeProfile = before.home;
            CurrentProfile = before.current;
            WriteFileBytes(sb.path("etc/eth0.cfg"), before.file);
            break;
        }
    }
}

// A write that fails on an adapter that no longer answers even a status
// read is the fatal end, not a refusal.
TEST_F(FaultsTest, WriteFailingOnAnAdapterThatStoppedAnsweringIsFatal)
{
    Start();
    PropWindow w(CurrentRadio);
    sb.set("eth0", {"present=0"});
    w.WriteFailed("configuration");
    Step();
    EXPECT_TRUE(w.radio_failed);
    EXPECT_FALSE(w.refused);
    EXPECT_NE(WindowWithText("Fatal I/O error. Exiting"), nullptr);
    EXPECT_EQ(ErrorLines(), std::vector<std::string>{"none"});
}

// Runs "Edit Properties" from a running main loop when the window is not
// expected to open: gives the error window's lines and closes it. False
// when the menu's loop did not end once it was closed.
bool EditRefused(std::vector<std::string> &lines)
{
    bool returned = false;
    Later(0, [&] {
        // The error window is up before the command's loop runs.
        Later(0, [&] {
            auto *err = dynamic_cast<ErrWin *>(FindWindow("Error message"));
            lines = err ? LabelTexts(*err) : std::vector<std::string>{"none"};
            if (FindWindow(Title))
                lines.push_back("the window opened");
            if (err)
                err->okbutton->clicked();
            else
                Gtk::Main::quit();
        });
        OnCommandsMenu(ROW_PROPERTIES);
        returned = true;
        Gtk::Main::quit();
    });
    Gtk::Main::run();
    Step();
    return returned;
}

// Reads that fail, or whose answer is not whole (cut short, or what every
// adapter fills left empty or impossible), keep the window from opening.
TEST_F(FaultsTest, ReadsFailingWhileTheWindowOpens)
{
    Start();
    // What an untouched Ok sends and saves when every read succeeds.
    ASSERT_TRUE(Edit([](PropWindow &w) { w.buttons[PropWindow::OK]->clicked(); }));
    const CFG_R770 sent = Sent<CFG_R770>(53);
    const Stored stored = Snapshot();
    struct Row {
        const char *answer;
        const char *what;
        int busy;  // the command then answered "try again" once, -1 none
    } rows[] = {
        {"fail.0=5,-1", "capabilities", 0},
        {"fail.6=5,-1", "keys", 6},
        {"fail.7=5,-1", "keys", 7},
        {"fail.8=5,-1", "status", 8},
        {"short.0=0", "capabilities", -1},
        {"short.0=65", "capabilities", -1},
        {"short.0=129", "capabilities", -1},
        {"caps.product_name=", "capabilities", -1},
        {"caps.product_name=VX\\x1f", "capabilities", -1},
        {"caps.power_levels=0", "capabilities", -1},
        {"caps.supported_rates=0", "capabilities", -1},
        {"short.6=0", "keys", -1},
        {"short.6=13", "keys", -1},
        {"short.7=13", "keys", -1},
        // A first record of index 0x12a5.
        {"wep.readout=1a00a51201000000000005000102030405000000000000000000", "keys", -1},
        // Selectors naming no key; 257 is no key 1.
        {"wep.tx=9", "keys", -1},
        {"wep.tx=257", "keys", -1},
        {"short.8=0", "status", -1},
        {"short.8=67", "status", -1},
        {"status.ssid_len=0xe2ae", "status", -1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.answer);
        sb.add("eth0");
        sb.set("eth0", {row.answer});
        sb.clearJournal();
        std::vector<std::string> lines;
        EXPECT_TRUE(EditRefused(lines));
        EXPECT_EQ(lines, std::vector<std::string>{std::string("Error reading ") + row.what +
                                                  " from card,Function aborted"});
        EXPECT_EQ(Writes(), std::vector<int>{});
        EXPECT_TRUE(Snapshot() == stored);
        if (row.busy < 0)
            continue;

        // Busy once: asked again, and the window opens as usual.
        sb.add("eth0");
        sb.fail("eth0", row.busy, EAGAIN, 1);
        sb.clearJournal();
        EXPECT_TRUE(Edit([](PropWindow &w) { w.buttons[PropWindow::OK]->clicked(); }));
        EXPECT_EQ(Writes(), (std::vector<int>{54, 55, 53}));
        EXPECT_EQ(Bytes(Sent<CFG_R770>(53)), Bytes(sent));
        EXPECT_TRUE(Snapshot() == stored);
    }

    // Once open, a failed read keeps what was read before: " Defaults "
    // then " Ok " with the capabilities unreadable still sends and saves.
    sb.add("eth0");
    sb.clearJournal();
    EXPECT_TRUE(Edit([&](PropWindow &w) {
        sb.fail("eth0", 0, EIO, -1);
        w.system_page->SetDefaults();
        EXPECT_EQ(w.system_page->caps.product_name, std::string("VX1100"));
        w.buttons[PropWindow::OK]->clicked();
    }));
    EXPECT_EQ(Writes(), (std::vector<int>{54, 55, 53}));
    EXPECT_EQ(ErrorLines(), std::vector<std::string>{"none"});
}

} // namespace
