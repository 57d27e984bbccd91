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
    struct Row {
        const char *name;
        bool home;                    // home chosen, a home key typed
        std::vector<std::pair<int, int>> faults;  // command and error number, once
        Outcome outcome;
        const char *refused;          // the message's first line
        std::vector<std::pair<int, int>> writes;  // command and result, in order
    } rows[] = {
        {"SSID list refused", false, {{54, EIO}}, REFUSED,
         "Error writing SSID list to card,Function aborted", {{54, -1}}},
        {"access point list refused", false, {{55, EINVAL}}, REFUSED,
         "Error writing access point list to card,Function aborted", {{54, 0}, {55, -1}}},
        {"configuration refused", false, {{53, EIO}}, REFUSED,
         "Error writing configuration to card,Function aborted", {{54, 0}, {55, 0}, {53, -1}}},
        {"home key refused", true, {{60, EIO}}, REFUSED,
         "Error writing home key to card,Function aborted", {{60, -1}}},
        {"home configuration refused", true, {{53, EIO}}, REFUSED,
         "Error writing configuration to card,Function aborted",
         {{60, 0}, {60, 0}, {54, 0}, {55, 0}, {53, -1}}},
        {"busy once: configuration", false, {{53, EAGAIN}}, DONE, nullptr,
         {{54, 0}, {55, 0}, {53, -1}, {54, 0}, {55, 0}, {53, 0}}},
        {"busy once: home key", true, {{60, EAGAIN}}, DONE, nullptr,
         {{60, -1}, {60, 0}, {60, 0}, {54, 0}, {55, 0}, {53, 0}}},
        {"busy once: status", false, {{8, EAGAIN}}, DONE, nullptr, {{54, 0}, {55, 0}, {53, 0}}},
        {"busy once: MAC address read", false, {{1, EAGAIN}}, DONE, nullptr,
         {{54, 0}, {55, 0}, {53, 0}}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        sb.add("eth0");
        sb.set("eth0", {"wep.4=0102030405060708090a0b0c0d"});
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
            for (auto [command, err] : row.faults)
                sb.fail("eth0", command, err, 1);
            w.buttons[PropWindow::OK]->clicked();
        }));
        EXPECT_EQ(WritesAndResults(), row.writes);
        EXPECT_EQ(WindowWithText("Fatal I/O error. Exiting"), nullptr);
        switch (row.outcome) {
        case REFUSED:
            EXPECT_EQ(ErrorLines(), (std::vector<std::string>{
                                        std::string(row.refused) + "\n" + NotSaved}));
            // The stored profiles, the choice and the file as before.
            EXPECT_TRUE(Snapshot() == before);
            CloseError();
            break;
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
        Later(50, [&] {
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
    auto guard = Glib::signal_timeout().connect(
        [] {
            Gtk::Main::quit();
            return true;
        },
        10000);
    Gtk::Main::run();
    guard.disconnect();
    Step();
    return returned;
}

TEST_F(FaultsTest, ReadsFailingWhileTheWindowOpens)
{
    Start();
    // What an untouched Ok sends and saves when every read succeeds.
    ASSERT_TRUE(Edit([](PropWindow &w) { w.buttons[PropWindow::OK]->clicked(); }));
    const CFG_R770 sent = Sent<CFG_R770>(53);
    const Stored stored = Snapshot();
    struct Row {
        int command;
        const char *what;
    } rows[] = {
        {0, "capabilities"},
        {6, "keys"},
        {7, "keys"},
        {8, "status"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "command " << row.command);
        sb.add("eth0");
        sb.fail("eth0", row.command, EIO, -1);
        sb.clearJournal();
        std::vector<std::string> lines;
        EXPECT_TRUE(EditRefused(lines));
        EXPECT_EQ(lines, std::vector<std::string>{std::string("Error reading ") + row.what +
                                                  " from card,Function aborted"});
        EXPECT_EQ(Writes(), std::vector<int>{});
        EXPECT_TRUE(Snapshot() == stored);

        // Busy once: asked again, and the window opens as usual.
        sb.add("eth0");
        sb.fail("eth0", row.command, EAGAIN, 1);
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
