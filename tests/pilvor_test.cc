// The credentials program: its window in-process, and the whole program run
// under the stand-in and driven from outside.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <glibmm/main.h>
#include <gtkmm/main.h>

#include "gui.h"
#include "md4.h"
#include "records.h"
#include "sandbox.h"
#include "zuna_login.h"
#include "zuner.h"

namespace {

const char *const Title = "Set ZUNA Username  and Password";
// The result window has no title of its own: the toolkit names it after the
// program.
const char *const ResultTitle = "pilvor";
constexpr int IDENT = 0x89F1;

double Since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The password record that a login with this password sends.
std::vector<uint8_t> PasswordImage(const std::string &pw)
{
    std::vector<uint8_t> wide;
    for (char c : pw) {
        wide.push_back(uint8_t(c));
        wide.push_back(0);
    }
    std::vector<uint8_t> rec(36, 0);
    rec[2] = 32;
    MD4_calc(rec.data() + 4, wide.data(), wide.size());
    MD4_calc(rec.data() + 20, rec.data() + 4, 16);
    return rec;
}

// The password record whose two digests are given in hexadecimal.
std::vector<uint8_t> PasswordRecordOf(const std::string &first, const std::string &second)
{
    std::vector<uint8_t> rec(36, 0);
    rec[2] = 32;
    const std::string hex = first + second;
    for (size_t i = 0; i < 32; ++i)
        rec[4 + i] = uint8_t(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    return rec;
}

// "caf\xe9" hashed as the four characters c a f U+00E9 (16-bit units
// 63 00 61 00 66 00 E9 00), digests computed once with OpenSSL's MD4.
const std::vector<uint8_t> CafeRecord =
    PasswordRecordOf("b1db12409c00d1fc586fc48ecadc36a1", "f503a022245e284441fd5622f5363949");

std::vector<uint8_t> UserImage(const std::string &name)
{
    std::vector<uint8_t> rec(36, 0);
    rec[2] = uint8_t(name.size());
    std::memcpy(rec.data() + 4, name.data(), name.size());
    return rec;
}

// What each request with this command sent, in order.
std::vector<std::vector<uint8_t>> SentBy(const std::vector<sim::JournalEntry> &j, int command)
{
    std::vector<std::vector<uint8_t>> out;
    for (const auto &e : j)
        if (e.command == command)
            out.push_back(e.sent);
    return out;
}

uint16_t AuthModeSent(const std::vector<sim::JournalEntry> &j)
{
    auto cfgs = SentBy(j, 53);
    if (cfgs.size() != 1)
        return 0;
    const size_t at = offsetof(CFG_R770, auth_mode);
    return uint16_t(cfgs[0][at] | cfgs[0][at + 1] << 8);
}

// The requests of the searching login, from the probe of eth0 to the first
// status read.
const std::vector<int> LoginSequence = {IDENT, 0, 1, 3, 2, 57, 54, 55, 53, 62, 61, 56, 8};

// ---------------------------------------------------------------------------
// The window in-process, in the sandbox this process was started in.

class PilvorWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        sb.add("eth0");
        sb.set("eth0", {"auth_after=0"});
        sb.clearJournal();
    }

    // Runs the main loop until something ends it; false when nothing did
    // within seconds.
    static bool RunLoop(double seconds = WaitSeconds)
    {
        bool timedOut = false;
        auto guard = Glib::signal_timeout().connect(
            [&] {
                timedOut = true;
                Gtk::Main::quit();
                return false;
            },
            unsigned(seconds * 1000));
        Gtk::Main::run();
        guard.disconnect();
        return !timedOut;
    }

    // The shown top-level windows other than the credentials window.
    std::vector<Gtk::Window *> Others() const
    {
        std::vector<Gtk::Window *> out;
        for (Gtk::Window *w : Gtk::Window::list_toplevels())
            if (w != &z && w->get_visible())
                out.push_back(w);
        return out;
    }

    void Enter(const char *user, const char *password)
    {
        z.userentry->set_text(user);
        z.passentry->set_text(password);
        z.ok->clicked();
        Step();
    }

    ProcessSandbox sb;
    Zuner z;
};

TEST_F(PilvorWindow, BuildsTheCredentialsWindowHidden)
{
    EXPECT_FALSE(z.get_visible());
    EXPECT_EQ(z.get_title(), Title);
    int w = 0, h = 0;
    z.get_size_request(w, h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 200);
    EXPECT_FALSE(z.get_resizable());
    EXPECT_EQ(z.msgtimeout, 30000);

    const std::string f = "     ";
    EXPECT_EQ(LabelTexts(z), (std::vector<std::string>{f, f, "Set ZUNA Username and Password:", f, f,
                                                        f, "       UserName:", f,
                                                        "       Password:", "   "}));
    EXPECT_STREQ(ZunaLabels[2], "Verify Password:");

    for (Gtk::Entry *e : {z.userentry, z.passentry}) {
        EXPECT_EQ(e->get_max_length(), 32);
        EXPECT_EQ(e->get_text(), "");
    }
    EXPECT_TRUE(z.userentry->get_visibility());
    EXPECT_FALSE(z.passentry->get_visibility());
    EXPECT_TRUE(z.userentry->get_style_context()->has_class("fixed"));
    EXPECT_EQ(FindButton(z, "Cancel"), z.cancel);
    EXPECT_EQ(FindButton(z, "Ok"), z.ok);
}

TEST_F(PilvorWindow, OkRefusesEmptyFieldsWithoutAskingTheAdapter)
{
    z.show();
    struct Case {
        const char *user, *password, *status;
    } cases[] = {
        {"", "", "Username is empty, Please try again"},
        {"", "secret", "Username is empty, Please try again"},
        {"alice", "", "Password is empty, Please try again"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.user) + "/" + c.password);
        Enter(c.user, c.password);
        EXPECT_EQ(z.heading->get_text(), c.status);
        EXPECT_TRUE(z.get_visible());
    }
    EXPECT_TRUE(sb.journal().empty());
    EXPECT_TRUE(Others().empty());
}

// A refused login leaves the window for another try, which searches the
// adapter again.
TEST_F(PilvorWindow, FailedLoginSaysSoAndTheNextTryCanSucceed)
{
    AuthWait = 1;
    z.show();
    struct Case {
        const char *why;
        std::vector<std::string> state;
    } cases[] = {
        {"not ZUNA capable", {"caps.cap_flags=0x0102"}},
        {"never authenticated", {"caps.cap_flags=0x1102", "auth_after=-1"}},
        // The configuration with the ZUNA bits never reached the adapter.
        {"configuration write fails",
         {"auth_after=0", "config.auth_mode=0x0001", "fail.53=5"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.why);
        sb.set("eth0", c.state);
        Enter("alice", "secret");
        EXPECT_EQ(z.heading->get_text(), "Could not authenticate");
        EXPECT_TRUE(z.get_visible());
        EXPECT_TRUE(Others().empty());
    }
    sb.set("eth0", {"auth_after=0"});
    sb.clearJournal();
    Enter("alice", "secret");
    EXPECT_EQ(sb.commands(), LoginSequence);
    EXPECT_FALSE(z.get_visible());
    EXPECT_EQ(Others().size(), 1u);
}

// What is typed is hashed as characters: 32 letters beyond ASCII fit the
// password entry and the hash; the user name is stored as Latin-1.
TEST_F(PilvorWindow, TypedCharactersAreHashedAndStoredAsCharacters)
{
    std::string e32;
    for (int i = 0; i < 32; ++i)
        e32 += "\u00e9";
    z.show();
    z.userentry->set_text("\u03a9");
    EXPECT_EQ(z.userentry->get_text(), "");
    Enter("J\u00fcrgen", (e32 + "\u00e9").c_str());
    EXPECT_EQ(z.passentry->get_text(), e32);
    EXPECT_FALSE(z.get_visible());
    EXPECT_EQ(sim::GetRecord(sb.dir(), "eth0", "user"), UserImage("J\xfcrgen"));
    // E9 00 thirty-two times, digests computed once with OpenSSL's MD4.
    EXPECT_EQ(sim::GetRecord(sb.dir(), "eth0", "password"),
              PasswordRecordOf("d7569420b242afc52e1c64b418f48a27", "ac235ce588cce2f4caee92d2805ad570"));
}

TEST_F(PilvorWindow, LoginOpensTheResultWindowWhoseOkKeepsTheCredentials)
{
    z.show();
    Step();
    Enter("alice", "secret");

    EXPECT_EQ(z.heading->get_text(), "Attempting user authentication");
    EXPECT_FALSE(z.get_visible());
    const auto j = sb.journal();
    EXPECT_EQ(sb.commands(), LoginSequence);
    EXPECT_EQ(SentBy(j, 62), std::vector<std::vector<uint8_t>>{UserImage("alice")});
    EXPECT_EQ(SentBy(j, 61), std::vector<std::vector<uint8_t>>{PasswordImage("secret")});
    EXPECT_EQ(AuthModeSent(j), 0x1101);

    auto others = Others();
    ASSERT_EQ(others.size(), 1u);
    Gtk::Window &result = *others[0];
    EXPECT_EQ(result.get_title(), "");
    EXPECT_TRUE(result.get_modal());
    EXPECT_FALSE(result.get_resizable());
    int w = 0, h = 0;
    result.get_size_request(w, h);
    EXPECT_EQ(w, 200);
    EXPECT_EQ(h, 45);
    EXPECT_EQ(LabelTexts(result), std::vector<std::string>{"User Authenticated"});
    Gtk::Button *ok = FindButton(result, "Ok");
    ASSERT_NE(ok, nullptr);

    sb.clearJournal();
    Later(50, [ok] { ok->clicked(); });
    EXPECT_TRUE(RunLoop());
    EXPECT_TRUE(sb.journal().empty());
    EXPECT_EQ(sim::GetRecord(sb.dir(), "eth0", "user"), UserImage("alice"));
}

TEST_F(PilvorWindow, ResultWindowEndsTheLoopAfterItsTimeOutOnce)
{
    z.msgtimeout = 300;
    const auto start = std::chrono::steady_clock::now();
    z.Message("User Authenticated");
    EXPECT_TRUE(RunLoop());
    EXPECT_GE(Since(start), 0.29);
    // The time-out ended with the first loop.
    EXPECT_FALSE(RunLoop(1));
    EXPECT_TRUE(sb.journal().empty());
}

// ---------------------------------------------------------------------------
// The whole program under the stand-in, on this process's display, its sleeps
// skipped unless asked for.

// The stand-in shows the program's own "unix:0" on this display and can
// skip its waits.
std::vector<std::string> PilvorEnv(bool skipSleeps)
{
    std::vector<std::string> env;
    if (const char *d = std::getenv("DISPLAY"))
        env.push_back(std::string("SIMDRIVER_DISPLAY=") + d);
    if (skipSleeps)
        env.push_back("SIMDRIVER_SLEEP_SCALE=0");
    return env;
}

// What the program did to its surroundings, as the stand-in recorded it: the
// DISPLAY it set and the waits it asked for (before the stand-in shortened
// them), in order.
std::vector<std::string> Calls(const Sandbox &sb)
{
    std::vector<std::string> out;
    for (const auto &c : sim::ReadCalls(sb.dir()))
        out.push_back(c.call);
    return out;
}

const std::string SetsDisplay = "setenv DISPLAY unix:0 1";

class Pilvor : public Program {
public:
    Pilvor(const Sandbox &sb, const std::vector<std::string> &args, bool skipSleeps = true)
        : Program(sb, "PILVOR", args, PilvorEnv(skipSleeps))
    {
    }
};

TEST(PilvorProgram, VersionPrintsAndEndsAtOnce)
{
    for (const std::vector<std::string> &args : {std::vector<std::string>{"-v"},
                                                 std::vector<std::string>{"-v", "extra"}}) {
        SCOPED_TRACE(args.size());
        Sandbox sb({"eth0"});
        const auto start = std::chrono::steady_clock::now();
        Pilvor p(sb, args, false);
        EXPECT_EQ(p.Wait(), 0);
        // Sooner than the first of its waits, which the stand-in does not
        // shorten here.
        EXPECT_LT(Since(start), 8.0);
        EXPECT_EQ(p.Out(), "pilvor 1.5.1\n");
        EXPECT_TRUE(sb.journal().empty());
        EXPECT_TRUE(Calls(sb).empty());
    }
}

TEST(PilvorProgram, CommandLineLoginShowsOnlyTheResultWindow)
{
    Sandbox sb({"eth0"});
    sb.set("eth0", {"auth_after=0"});
    Pilvor p(sb, {"alice", "secret"});
    ASSERT_TRUE(Drive("wait " + Q(ResultTitle)));
    EXPECT_TRUE(Drive("gone " + Q(Title) + " 0"));

    const auto j = sb.journal();
    EXPECT_EQ(sb.commands(), LoginSequence);
    EXPECT_EQ(AuthModeSent(j), 0x1101);
    EXPECT_EQ(sim::GetRecord(sb.dir(), "eth0", "user"), UserImage("alice"));
    EXPECT_EQ(sim::GetRecord(sb.dir(), "eth0", "password"), PasswordImage("secret"));
    // Its own display, then the 8 s wait before the adapter is asked; no
    // further wait when the login succeeds at once.
    EXPECT_EQ(Calls(sb), (std::vector<std::string>{SetsDisplay, "sleep 8"}));
    const auto calls = sim::ReadCalls(sb.dir());
    ASSERT_EQ(calls.size(), 2u);
    ASSERT_FALSE(j.empty());
    EXPECT_LE(calls[1].time, j[0].time);

    // Tab puts the focus on the one button, space presses it.
    ASSERT_TRUE(Drive("key " + Q(ResultTitle) + " Tab space"));
    EXPECT_EQ(p.Wait(), 0);
    EXPECT_EQ(sb.commands(), LoginSequence);
    EXPECT_EQ(sim::GetRecord(sb.dir(), "eth0", "user"), UserImage("alice"));
}

// Closed through the window manager, the result window ends the program at
// once, as its "Ok" does: nothing more is written.
TEST(PilvorProgram, ClosingTheResultWindowEndsTheProgram)
{
    Sandbox sb({"eth0"});
    sb.set("eth0", {"auth_after=0"});
    Pilvor p(sb, {"alice", "secret"});
    ASSERT_TRUE(Drive("wait " + Q(ResultTitle)));
    sb.clearJournal();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Drive("close " + Q(ResultTitle)));
    // Well before the window's own time-out of 30 s.
    EXPECT_EQ(p.Wait(15), 0);
    EXPECT_LT(Since(start), 15.0);
    EXPECT_TRUE(sb.journal().empty());
    EXPECT_EQ(sim::GetRecord(sb.dir(), "eth0", "user"), UserImage("alice"));
}

// The command line is read as UTF-8 when it is valid UTF-8, otherwise each
// byte is one character: both spellings of the same name log the same user in.
TEST(PilvorProgram, CommandLineIsUtf8OrLatin1)
{
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"J\u00fcrgen", "caf\u00e9"},
          std::vector<std::string>{"J\xfcrgen", "caf\xe9"}}) {
        SCOPED_TRACE(args[1]);
        Sandbox sb({"eth0"});
        sb.set("eth0", {"auth_after=0"});
        Pilvor p(sb, args);
        ASSERT_TRUE(Drive("wait " + Q(ResultTitle)));
        EXPECT_EQ(sim::GetRecord(sb.dir(), "eth0", "user"), UserImage("J\xfcrgen"));
        EXPECT_EQ(sim::GetRecord(sb.dir(), "eth0", "password"), CafeRecord);
        ASSERT_TRUE(Drive("key " + Q(ResultTitle) + " Tab space"));
        EXPECT_EQ(p.Wait(), 0);
    }
}

// The window comes up empty; a login typed into it replaces it with the
// result window.
TEST(PilvorProgram, FailedCommandLineLoginShowsTheEmptyWindow)
{
    Sandbox sb({"eth0"});
    sb.set("eth0", {"caps.cap_flags=0x0102"});
    Pilvor p(sb, {"alice", "secret"});
    ASSERT_TRUE(Drive("wait " + Q(Title)));
    EXPECT_TRUE(SentBy(sb.journal(), 62).empty());

    // The user entry has the focus; Tab Tab Tab reaches Ok. Empty fields are
    // refused before the adapter is asked.
    sb.set("eth0", {"caps.cap_flags=0x1102", "auth_after=0"});
    sb.clearJournal();
    ASSERT_TRUE(Drive("key " + Q(Title) + " Tab Tab Tab space"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(sb.journal().empty());

    // Back from Ok to the user entry.
    ASSERT_TRUE(Drive("key " + Q(Title) + " Shift_L+Tab Shift_L+Tab Shift_L+Tab"
                      " b o b Tab p w Tab Tab space"));
    ASSERT_TRUE(Drive("wait " + Q(ResultTitle)));
    EXPECT_TRUE(Drive("gone " + Q(Title) + " 2"));
    EXPECT_EQ(sim::GetRecord(sb.dir(), "eth0", "user"), UserImage("bob"));
    EXPECT_EQ(sim::GetRecord(sb.dir(), "eth0", "password"), PasswordImage("pw"));
    ASSERT_TRUE(Drive("key " + Q(ResultTitle) + " Tab space"));
    EXPECT_EQ(p.Wait(), 0);
}

TEST(PilvorProgram, CancelWritesEmptyCredentialsIntoTheFirstAdapter)
{
    Sandbox sb({"eth1", "eth2"});
    for (const char *i : {"eth1", "eth2"})
        sb.set(i, {"user.name=old", "config.auth_mode=0x0201"});
    Pilvor p(sb, {});
    ASSERT_TRUE(Drive("wait " + Q(Title)));
    // Whatever is typed, Cancel writes empty records.
    ASSERT_TRUE(Drive("key " + Q(Title) + " b o b Tab Tab space"));
    EXPECT_EQ(p.Wait(), 0);

    const auto j = sb.journal();
    EXPECT_TRUE(sb.commands("eth2").empty());
    EXPECT_EQ(sb.commands("eth1"), (std::vector<int>{IDENT, 1, 3, 2, 57, 54, 55, 53, 62, 61, 56}));
    EXPECT_EQ(SentBy(j, 62), std::vector<std::vector<uint8_t>>{std::vector<uint8_t>(36, 0)});
    EXPECT_EQ(SentBy(j, 61), std::vector<std::vector<uint8_t>>{std::vector<uint8_t>(36, 0)});
    EXPECT_EQ(AuthModeSent(j), 0x1301);
    EXPECT_EQ(sb.get("eth1", "user.name"), "");
    EXPECT_EQ(sb.get("eth2", "user.name"), "old");
}

// With no argument or a single one, the window is shown; closing it writes
// nothing.
TEST(PilvorProgram, ClosingTheWindowEndsWithStatus0AndWritesNothing)
{
    for (const std::vector<std::string> &args : {std::vector<std::string>{},
                                                 std::vector<std::string>{"alice"}}) {
        SCOPED_TRACE(args.size());
        Sandbox sb({"eth0"});
        sb.set("eth0", {"auth_after=0"});
        Pilvor p(sb, args);
        ASSERT_TRUE(Drive("wait " + Q(Title)));
        ASSERT_TRUE(Drive("close " + Q(Title)));
        EXPECT_EQ(p.Wait(), 0);
        EXPECT_TRUE(sb.journal().empty());
        // Its own display replacing any, 8 s before the window, 5 s after.
        EXPECT_EQ(Calls(sb), (std::vector<std::string>{SetsDisplay, "sleep 8", "sleep 5"}));
    }
}

} // namespace
