// The "Set Zuna Information" dialog of the client utility: its checks, the
// login on the current adapter, the wait for the authenticated bit and the
// result window.
#include <gtest/gtest.h>

#include <cstring>

#include <glibmm/main.h>
#include <gtkmm/main.h>

#include "command_menus.h"
#include "credentials_dialog.h"
#include "globals.h"
#include "gui.h"
#include "main_window.h"
#include "updater.h"

namespace {

class CredentialsDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        StartMainWindow(sb, {"eth0"});
        TheUpdater->Stop();  // only the dialog talks to the adapter here
    }
    // Runs the menu command; act is called with the dialog once it is up.
    bool RunDialog(const std::function<void(Zuner &)> &act)
    {
        bool seen = false;
        ActOn<Zuner>("ZUNA dialog", [&](Zuner &dialog) {
            seen = true;
            act(dialog);
        });
        OnCommandsMenu(ROW_ZUNA);  // returns when the dialog is gone
        Step();
        return seen;
    }
    static void Fill(Zuner &d, const char *user, const char *pass, const char *verify)
    {
        d.userentry->set_text(user);
        d.passentry->set_text(pass);
        d.verifyentry->set_text(verify);
    }
    std::vector<sim::JournalEntry> Sent(int command) const
    {
        std::vector<sim::JournalEntry> out;
        for (const auto &e : sb.journal())
            if (e.command == command)
                out.push_back(e);
        return out;
    }

    ProcessSandbox sb;
};

TEST_F(CredentialsDialogTest, FieldsAreCheckedBeforeTheAdapterIsTouched)
{
    struct Case {
        const char *user, *pass, *verify, *message;
    } cases[] = {
        {"", "", "", "Username is empty, Please try again"},
        {"", "a", "a", "Username is empty, Please try again"},
        {"alice", "", "", "Password or verify password is empty, Please try again"},
        {"alice", "secret", "", "Passwords don't match, please try again"},
        {"alice", "", "secret", "Passwords don't match, please try again"},
        {"alice", "secret", "Secret", "Passwords don't match, please try again"},
    };
    sb.clearJournal();
    EXPECT_TRUE(RunDialog([&](Zuner &d) {
        int mx, my, x, y;
        MainWindow->get_position(mx, my);
        d.get_position(x, y);
        EXPECT_EQ(x, mx + 94);
        EXPECT_EQ(y, my + 80);
        EXPECT_EQ(d.statuslabel->get_text(), "Set ZUNA Username and Password:");
        for (const auto &c : cases) {
            Fill(d, c.user, c.pass, c.verify);
            d.ok->clicked();
            EXPECT_EQ(d.statuslabel->get_text(), c.message) << c.user << "/" << c.pass << "/" << c.verify;
            EXPECT_TRUE(d.ok->get_sensitive());
        }
        d.close();
    }));
    EXPECT_TRUE(sb.journal().empty());
}

// The password is hashed from the characters typed, 32 at most whatever
// their UTF-8 length; the user name is stored as Latin-1 bytes.
TEST_F(CredentialsDialogTest, TypedCharactersAreHashedAsCharacters)
{
    sb.set("eth0", {"auth_after=0"});
    std::string e32;
    for (int i = 0; i < 32; ++i)
        e32 += "\u00e9";
    EXPECT_TRUE(RunDialog([&](Zuner &d) {
        d.userentry->set_text("\u03a9");
        EXPECT_EQ(d.userentry->get_text(), "");
        Fill(d, "J\u00fcrgen", e32.c_str(), e32.c_str());
        d.ok->clicked();
    }));
    ASSERT_NE(FindWindow("Authentication"), nullptr);
    std::vector<uint8_t> user(36, 0);
    user[2] = 6;
    std::memcpy(user.data() + 4, "J\xfcrgen", 6);
    EXPECT_EQ(sim::GetRecord(sb.dir(), "eth0", "user"), user);
    // E9 00 thirty-two times, digests computed once with OpenSSL's MD4.
    const char hex[] = "d7569420b242afc52e1c64b418f48a27ac235ce588cce2f4caee92d2805ad570";
    std::vector<uint8_t> password(36, 0);
    password[2] = 32;
    for (size_t i = 0; i < 32; ++i)
        password[4 + i] = uint8_t(std::stoi(std::string(hex + 2 * i, 2), nullptr, 16));
    EXPECT_EQ(sim::GetRecord(sb.dir(), "eth0", "password"), password);
}

TEST_F(CredentialsDialogTest, AuthenticatedAtOnceShowsTheResultAndCloses)
{
    sb.set("eth0", {"auth_after=0"});
    ThePrefs.SetUnlocked(0);
    const auto configBefore = sim::GetRecord(sb.dir(), "eth0", "config");
    sb.clearJournal();
    EXPECT_TRUE(RunDialog([&](Zuner &d) {
        Fill(d, "alice", "secret", "secret");
        d.ok->clicked();
    }));
    EXPECT_EQ(FindWindow(ZunaTexts[0]), nullptr);
    Gtk::Window *result = FindWindow("Authentication");
    ASSERT_NE(result, nullptr);
    auto lines = LabelTexts(*result);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "User Authenticated"), lines.end());
    EXPECT_TRUE(result->get_modal());

    // The login of this adapter adds only the ZUNA bit; one status read by the
    // login and one by the first poll, and no time-out after it.
    auto configs = Sent(53);
    ASSERT_EQ(configs.size(), 1u);
    const uint16_t before = uint16_t(configBefore[0x3e] | configBefore[0x3f] << 8);
    const uint16_t sent = uint16_t(configs[0].sent[0x3e] | configs[0].sent[0x3f] << 8);
    EXPECT_EQ(sent, before | 0x1000);
    EXPECT_EQ(Sent(8).size(), 2u);
    sb.clearJournal();
    Step(1300);
    EXPECT_TRUE(Sent(8).empty());

    FindButton(*result, "Ok")->clicked();
    Step();
    EXPECT_EQ(FindWindow("Authentication"), nullptr);
    // Its "Ok" only closes it: the credentials stay in the adapter.
    EXPECT_TRUE(sb.journal().empty());
    EXPECT_EQ(sb.get("eth0", "user.name"), "alice");
}

TEST_F(CredentialsDialogTest, PollsOnceASecondUntilAuthenticated)
{
    // The bit shows at the third status read: the login's, then two polls.
    sb.set("eth0", {"auth_after=2"});
    sb.clearJournal();
    EXPECT_TRUE(RunDialog([](Zuner &d) {
        Fill(d, "alice", "secret", "secret");
        d.ok->clicked();
        EXPECT_TRUE(d.poll.connected());
    }));
    const auto reads = Sent(8);
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_GE(reads[2].time - reads[1].time, 0.95);
    Gtk::Window *result = FindWindow("Authentication");
    ASSERT_NE(result, nullptr);
    auto lines = LabelTexts(*result);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "User Authenticated"), lines.end());
}

TEST_F(CredentialsDialogTest, WaitBlinksAndEndsPendingAfterFortyPolls)
{
    sb.set("eth0", {"auth_after=-1"});
    EXPECT_TRUE(RunDialog([&](Zuner &d) {
        Fill(d, "alice", "secret", "secret");
        d.ok->clicked();
        // The first poll ran inside Ok: red, and the wait has begun.
        EXPECT_EQ(d.ticks, 1);
        EXPECT_TRUE(d.statuslabel->get_style_context()->has_class("red"));
        EXPECT_FALSE(d.ok->get_sensitive());
        EXPECT_TRUE(d.poll.connected());
        EXPECT_TRUE(d.PollAuth());
        EXPECT_TRUE(d.statuslabel->get_style_context()->has_class("blue"));
        EXPECT_FALSE(d.statuslabel->get_style_context()->has_class("red"));
        EXPECT_TRUE(d.PollAuth());
        EXPECT_TRUE(d.statuslabel->get_style_context()->has_class("red"));
        // Skip ahead to the last poll.
        d.ticks = Zuner::MaxTicks - 1;
        EXPECT_FALSE(d.PollAuth());
        EXPECT_FALSE(d.poll.connected());
    }));
    Gtk::Window *result = FindWindow("Authentication");
    ASSERT_NE(result, nullptr);
    auto lines = LabelTexts(*result);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Authentication pending"), lines.end());
}

// A poll changes the status label's colour and nothing else: the label alone
// is drawn again (GTK lays a label out again when its style changes).
TEST_F(CredentialsDialogTest, PollRedrawsOnlyTheBlinkingLabel)
{
    sb.set("eth0", {"auth_after=-1"});
    EXPECT_TRUE(RunDialog([](Zuner &d) {
        Fill(d, "alice", "secret", "secret");
        d.ok->clicked();
        d.poll.disconnect();  // polled by the test alone
        Step(500);            // "Ok" fades to insensitive meanwhile
        RedrawCounter counter(d, {d.statuslabel, d.fieldlabels[0], d.fieldlabels[1], d.fieldlabels[2]});
        for (int tick = 0; tick < 3; ++tick) {
            EXPECT_TRUE(d.PollAuth());
            WaitForFrame(d);
        }
        EXPECT_GE(counter.draws()[0], 3);
        EXPECT_EQ(std::vector<int>(counter.draws().begin() + 1, counter.draws().end()),
                  std::vector<int>(3, 0));
        d.cancel->clicked();
    }));
}

// Cancel or a close in the same main-loop turn as the last poll, in either
// order: the dialog goes once, and after Cancel no result follows.
TEST_F(CredentialsDialogTest, EndingInTheTurnOfTheLastPollEndsTheDialogOnce)
{
    sb.set("eth0", {"auth_after=-1"});
    struct Case {
        const char *what;
        bool close, pollFirst;
    } cases[] = {{"Cancel, then the poll", false, false},
                 {"the poll, then Cancel", false, true},
                 {"the poll, then a close", true, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(RunDialog([&](Zuner &d) {
            const auto end = [&d, &c] {
                if (c.close)
                    d.close();
                else
                    d.cancel->clicked();
            };
            // Time-outs due together run in the order they were made.
            if (!c.pollFirst)
                Glib::signal_timeout().connect_once(end, 500);
            Fill(d, "alice", "secret", "secret");
            d.ok->clicked();
            d.ticks = Zuner::MaxTicks - 1;
            if (c.pollFirst)
                Glib::signal_timeout().connect_once(end, 500);
            // The loop is held past both, so that they fall in one turn.
            g_usleep(1300 * 1000);
        }));
        Step(100);
        Gtk::Window *result = FindWindow("Authentication");
        EXPECT_EQ(result != nullptr, c.pollFirst);
        if (result)
            result->hide();
    }
}

TEST_F(CredentialsDialogTest, LoginByteDecidesThePersistenceMark)
{
    for (uint8_t byte : {0, 1}) {
        // The byte lives in the mapped preferences record.
        auto bytes = ReadFileBytes(sb.path("opt/tavlo/OXU.PRFS"));
        ASSERT_EQ(bytes.size(), 360u);
        sb.set("eth0", {"auth_after=0"});
        sb.clearJournal();
        // Written through the file: the mapping shows it at once.
        bytes[356] = byte;
        unsigned sum = 0;
        bytes[0] = bytes[1] = bytes[2] = bytes[3] = 0;
        for (uint8_t b : bytes)
            sum += b;
        bytes[0] = uint8_t(sum);
        WriteFileBytes(sb.path("opt/tavlo/OXU.PRFS"), bytes);
        ASSERT_EQ(ThePrefs.GetLoginByte(), byte);
        EXPECT_TRUE(RunDialog([&](Zuner &d) {
            EXPECT_EQ(CurrentRadio->persist, byte);
            Fill(d, "alice", "secret", "secret");
            d.ok->clicked();
        }));
        for (int command : {61, 62}) {
            auto records = Sent(command);
            ASSERT_EQ(records.size(), 1u);
            EXPECT_EQ((records[0].sent[3] & 0x80) != 0, byte == 1) << command;
        }
        if (Gtk::Window *result = FindWindow("Authentication"))
            result->hide();
    }
}

TEST_F(CredentialsDialogTest, CancelAndCloseLeaveTheAdapterAlone)
{
    sb.clearJournal();
    EXPECT_TRUE(RunDialog([](Zuner &d) {
        Fill(d, "alice", "secret", "secret");
        d.cancel->clicked();
    }));
    EXPECT_TRUE(RunDialog([](Zuner &d) { d.close(); }));
    EXPECT_TRUE(sb.journal().empty());
    EXPECT_EQ(FindWindow("Authentication"), nullptr);
}

} // namespace
