// The client utility run whole, as a process on the test's X display, driven
// from outside the way a user and a window manager would.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include <gtkmm/main.h>

#include "gui.h"
#include "main_window.h"
#include "sandbox.h"

namespace {

const char *const Main = "Vindral Client Utility";

// oxu started under the stand-in in a sandbox of its own, its output kept.
class Oxu : public Program {
public:
    explicit Oxu(const Sandbox &sb) : Program(sb, "OXU") {}
};

TEST(OxuProgram, WithoutAdapterSaysSoAndEndsWithStatus1)
{
    for (const char *family : {"none", "vindral"}) {
        Sandbox sb({}, family);
        Oxu oxu(sb);
        EXPECT_EQ(oxu.Wait(), 1) << family;
        EXPECT_EQ(oxu.Out(), "No radio found \n") << family;
    }
}

TEST(OxuProgram, ClosingTheMainWindowEndsWithStatus0)
{
    Sandbox sb({"eth0"});
    Oxu oxu(sb);
    ASSERT_TRUE(Drive("wait " + Q(Main)));
    // The adapter was taken up: its profile file was made on the way.
    EXPECT_EQ(ReadFileBytes(sb.path("etc/eth0.cfg")).size(), 708u);
    ASSERT_TRUE(Drive("close " + Q(Main)));
    EXPECT_EQ(oxu.Wait(), 0);
}

TEST(OxuProgram, ExitFromTheMenuEndsWithStatus0)
{
    Sandbox sb({"eth0"});
    Oxu oxu(sb);
    ASSERT_TRUE(Drive("wait " + Q(Main)));
    // F10 opens "Commands"; Up wraps round to its last row, "Exit".
    ASSERT_TRUE(Drive("key " + Q(Main) + " F10 Up Return"));
    EXPECT_EQ(oxu.Wait(), 0);
}

TEST(OxuProgram, ClosingTheMainWindowFromAReportWindowsLoopEndsWithStatus0)
{
    Sandbox sb({"eth0"});
    Oxu oxu(sb);
    ASSERT_TRUE(Drive("wait " + Q(Main)));
    // From the end of "Commands": Exit, Select help browser, Toggle radio,
    // then Status (the two rows between are insensitive here).
    ASSERT_TRUE(Drive("key " + Q(Main) + " F10 Up Up Up Up Return"));
    ASSERT_TRUE(Drive("wait 'Tavlo VX1100 Status'"));
    ASSERT_TRUE(Drive("close " + Q(Main)));
    EXPECT_EQ(oxu.Wait(), 0);
}

// The window-manager close leaves the properties window's own loop only.
TEST(OxuProgram, ClosingThePropertiesWindowKeepsTheProgramRunning)
{
    Sandbox sb({"eth0"});
    Oxu oxu(sb);
    ASSERT_TRUE(Drive("wait " + Q(Main)));
    // "Commands": About, Load new Firmware, Edit Properties.
    ASSERT_TRUE(Drive("key " + Q(Main) + " F10 Down Down Down Return"));
    ASSERT_TRUE(Drive("wait 'VX1100 Properties'"));
    ASSERT_TRUE(Drive("close 'VX1100 Properties'"));
    ASSERT_TRUE(Drive("gone 'VX1100 Properties'"));
    EXPECT_EQ(oxu.Wait(1.5), -1);
    ASSERT_TRUE(Drive("close " + Q(Main)));
    EXPECT_EQ(oxu.Wait(), 0);
}

TEST(OxuProgram, OkInTheErrorWindowEndsWithStatus1)
{
    Sandbox sb({"eth0"});
    Oxu oxu(sb);
    ASSERT_TRUE(Drive("wait " + Q(Main)));
    sb.fail("eth0", 8, 5, -1);
    ASSERT_TRUE(Drive("wait 'Error message'"));
    // Tab moves the focus onto the one button, space presses it.
    ASSERT_TRUE(Drive("key 'Error message' Tab space"));
    EXPECT_EQ(oxu.Wait(), 1);
    // Preferences were flushed on the way out.
    EXPECT_EQ(ReadFileBytes(sb.path("opt/tavlo/OXU.PRFS")).size(), 360u);
}

TEST(OxuProgram, UnreadablePreferencesEndWithStatus9)
{
    Sandbox sb({"eth0"});
    std::filesystem::create_directory(sb.path("opt/tavlo/OXU.PRFS"));
    Oxu oxu(sb);
    EXPECT_EQ(oxu.Wait(), 9);
    EXPECT_EQ(oxu.Err().rfind("prefs::prefs: ", 0), 0u) << oxu.Err();
}

// An empty preferences file (as the package makes it), or none, that the
// disk cannot fill: status 9 and the reason, as for one that cannot be read,
// not the signal of a page past the file's end; nothing half made is left.
TEST(OxuProgram, PreferencesThatCannotBeFilledEndWithStatus9)
{
    const struct {
        bool present;
        int err;
        long after;
        const char *told;
    } cases[] = {
        {true, ENOSPC, 0, "prefs::prefs: No space left on device\n"},
        {true, EIO, 0, "prefs::prefs: Input/output error\n"},
        {true, ENOSPC, 100, "prefs::prefs: No space left on device\n"},
        {false, ENOSPC, 100, "prefs::prefs: No space left on device\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.present ? "empty file, " : "no file, ") + c.told);
        Sandbox sb({"eth0"});
        const std::string file = sb.path("opt/tavlo/OXU.PRFS");
        if (c.present)
            WriteFileBytes(file, {});
        sb.fileFail("opt/tavlo/OXU.PRFS", "write", c.err, c.after);
        Oxu oxu(sb);
        EXPECT_EQ(oxu.Wait(), 9) << "135 is SIGBUS";
        EXPECT_EQ(oxu.Err().rfind(c.told, 0), 0u) << oxu.Err();
        if (c.present) {
            ASSERT_TRUE(std::filesystem::exists(file));
            EXPECT_EQ(std::filesystem::file_size(file), 0u);
        } else {
            EXPECT_FALSE(std::filesystem::exists(file));
        }
    }
}

TEST(OxuProgram, MissingPreferencesFolderIsReportedAndTheProgramGoesOn)
{
    Sandbox sb({"eth0"});
    std::filesystem::remove_all(sb.path("opt/tavlo"));
    Oxu oxu(sb);
    ASSERT_TRUE(Drive("wait " + Q(Main)));
    ASSERT_TRUE(Drive("close " + Q(Main)));
    EXPECT_EQ(oxu.Wait(), 0);
    EXPECT_EQ(oxu.Err().rfind("No pref directory: ", 0), 0u) << oxu.Err();
}

// A profile file that cannot be made whole ends oxu before it sends anything
// to the adapter: no zero profile is ever loaded or shown.
TEST(OxuProgram, ProfileFileThatCannotBeMadeEndsWithStatus1)
{
    const struct {
        const char *op;
        int err;
        long after;
        const char *said;
    } cases[] = {
        {"write", ENOSPC, 0, "No space left on device"},
        {"write", EIO, 136, "Input/output error"},
        {"open", EROFS, 0, "Read-only file system"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.said);
        Sandbox sb({"eth0"});
        sb.fileFail("etc", c.op, c.err, c.after);
        Oxu oxu(sb);
        EXPECT_EQ(oxu.Wait(), 1);
        EXPECT_EQ(oxu.Err(), std::string("Cant open config CFGIO: ") + c.said + "\n");
        EXPECT_TRUE(std::filesystem::is_empty(sb.path("etc")));
        for (const auto &e : sb.journal())
            EXPECT_TRUE(e.code != 0x89F0 || e.command < 50) << "nothing is written into the adapter";
    }
}

// A damaged profile file is kept beside the new one, and oxu says so.
TEST(OxuProgram, DamagedProfileFileIsKeptAndSaid)
{
    Sandbox sb({"eth0"});
    const std::vector<uint8_t> damaged(708, 0x5A);
    WriteFileBytes(sb.path("etc/eth0.cfg"), damaged);
    Oxu oxu(sb);
    ASSERT_TRUE(Drive("wait " + Q(Main)));
    ASSERT_TRUE(Drive("close " + Q(Main)));
    EXPECT_EQ(oxu.Wait(), 0);
    EXPECT_EQ(oxu.Err(), "oxu: /etc/eth0.cfg is damaged: its bytes are kept in /etc/eth0.cfg.damaged, and it is "
                         "made anew from the adapter\n");
    EXPECT_EQ(ReadFileBytes(sb.path("etc/eth0.cfg.damaged")), damaged);
    EXPECT_EQ(ReadFileBytes(sb.path("etc/eth0.cfg")).size(), 708u);
}

// A valid profile file is loaded from a read-only /etc and oxu runs.
TEST(OxuProgram, ReadOnlyEtcStillLoadsTheProfile)
{
    Sandbox sb({"eth0"});
    {
        Oxu first(sb);
        ASSERT_TRUE(Drive("wait " + Q(Main)));
        ASSERT_TRUE(Drive("close " + Q(Main)));
        ASSERT_EQ(first.Wait(), 0);
    }
    const auto file = ReadFileBytes(sb.path("etc/eth0.cfg"));
    ASSERT_EQ(file.size(), 708u);
    sb.fileFail("etc", "open", EROFS);
    sb.clearJournal();
    Oxu oxu(sb);
    ASSERT_TRUE(Drive("wait " + Q(Main)));
    std::vector<int> writes;
    for (const auto &e : sb.journal())
        if (e.code == 0x89F0 && e.command >= 50)
            writes.push_back(e.command);
    EXPECT_EQ(writes, (std::vector<int>{54, 55, 53}));
    ASSERT_TRUE(Drive("close " + Q(Main)));
    EXPECT_EQ(oxu.Wait(), 0);
    EXPECT_EQ(oxu.Err(), "");
    EXPECT_EQ(ReadFileBytes(sb.path("etc/eth0.cfg")), file);
}

// Leaving from inside a window's nested loop still ends the whole program.
TEST(OxuProgramDeathTest, ExitFromANestedLoopEndsWithStatus0)
{
    ProcessSandbox sb;
    StartMainWindow(sb, {"eth0"});
    auto nested = [] {
        Later(100, [] { QuitAndExit(); });
        Gtk::Main::run();
        _exit(3);
    };
    EXPECT_EXIT(nested(), ::testing::ExitedWithCode(0), "");
}

} // namespace
