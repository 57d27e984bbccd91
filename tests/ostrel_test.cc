// ostrel run whole under the driver stand-in: its command line and
// environment, its exit statuses, what it leaves in each adapter and profile
// file, and how runs take turns.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "profile_file.h"
#include "sandbox.h"

namespace {

namespace fs = std::filesystem;

RunResult Ostrel(const Sandbox &sb, const std::string &args = "")
{
    return RunCommand("env -u OSTREL_INTERFACE " + EnvPath("SIMCTL") + " run " + sb.dir() + " -- " +
                      EnvPath("OSTREL") + " " + args);
}

// ostrel as the unit for one interface runs it: OSTREL_INTERFACE set (to a
// value without single quotes).
RunResult OstrelFor(const Sandbox &sb, const std::string &iface)
{
    return RunCommand("OSTREL_INTERFACE='" + iface + "' " + EnvPath("SIMCTL") + " run " + sb.dir() +
                      " -- " + EnvPath("OSTREL"));
}

ProfileRecord Adapter(const Sandbox &sb, const std::string &iface)
{
    return ProfileRecord{FromBytes<CFG_R770>(sim::GetRecord(sb.dir(), iface, "config")),
                         FromBytes<_STSSID>(sim::GetRecord(sb.dir(), iface, "ssid")),
                         FromBytes<_STAPLIST>(sim::GetRecord(sb.dir(), iface, "aplist"))};
}

void SetAdapter(const Sandbox &sb, const std::string &iface, const ProfileRecord &r)
{
    sim::SetRecord(sb.dir(), iface, "config", Bytes(r.cfg));
    sim::SetRecord(sb.dir(), iface, "ssid", Bytes(r.ssid));
    sim::SetRecord(sb.dir(), iface, "aplist", Bytes(r.aplist));
}

// An adapter configuration as a fresh profile file stores it.
ProfileRecord Stored(ProfileRecord r)
{
    r.cfg.clear_word1 = 0;
    r.cfg.clear_word2 = 0;
    r.cfg.home_flags &= uint8_t(~1u);
    return r;
}

ProfileRecord Pattern(uint8_t seed)
{
    ProfileRecord r;
    auto *p = reinterpret_cast<uint8_t *>(&r);
    for (size_t i = 0; i < sizeof r; ++i)
        p[i] = uint8_t(seed + 13 * i);
    return Stored(r);
}

std::vector<uint8_t> FileImage(const ProfileRecord &a, const ProfileRecord &b, uint32_t selector)
{
    ProfileFile f{};
    f.a = a;
    f.b = b;
    uint32_t sum = 0;
    for (const uint8_t byte : Bytes(a))
        sum += byte;
    for (const uint8_t byte : Bytes(b))
        sum += byte;
    f.header.checksum = sum & 0xFFFF;
    f.header.magic = PROFILE_MAGIC;
    f.header.selector = selector;
    return Bytes(f);
}

// The record requests (not the identification) made to one interface.
std::vector<sim::JournalEntry> Requests(const Sandbox &sb, const std::string &iface)
{
    std::vector<sim::JournalEntry> out;
    for (auto &e : sb.journal())
        if (e.iface == iface && e.code == 0x89F0)
            out.push_back(e);
    return out;
}

std::vector<int> Commands(const std::vector<sim::JournalEntry> &requests)
{
    std::vector<int> out;
    for (const auto &e : requests)
        out.push_back(e.command);
    return out;
}

// What reached the adapter, as a profile record; empty parts stay zero.
ProfileRecord Loaded(const std::vector<sim::JournalEntry> &requests)
{
    ProfileRecord r{};
    for (const auto &e : requests) {
        if (e.command == 53)
            r.cfg = FromBytes<CFG_R770>(e.sent);
        if (e.command == 54)
            r.ssid = FromBytes<_STSSID>(e.sent);
        if (e.command == 55)
            r.aplist = FromBytes<_STAPLIST>(e.sent);
    }
    return r;
}

const std::vector<int> kLoad = {1, 3, 2, 54, 55, 53};
const std::vector<int> kCreateAndLoad = {1, 3, 2, 1, 3, 2, 54, 55, 53};

TEST(Ostrel, VersionOptionTouchesNoAdapter)
{
    const struct {
        const char *family;
        std::vector<std::string> ifaces;
        const char *args;
    } cases[] = {
        {"vindral", {"eth0"}, "-v"},
        {"vindral", {"eth0"}, "-v -x"},
        {"vindral", {}, "-v"},
        {"none", {}, "-v"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.family) + " " + c.args);
        Sandbox sb(c.ifaces, c.family);
        const RunResult r = Ostrel(sb, c.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "ostrel 1.5.1\n");
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(Requests(sb, "eth0").empty());
        EXPECT_FALSE(fs::exists(sb.path("etc/eth0.cfg")));
    }
}

TEST(Ostrel, OtherArgumentsAreIgnored)
{
    for (const char *args : {"-vx", "x -v", "-V", "--v"}) {
        SCOPED_TRACE(args);
        Sandbox sb;
        const RunResult r = Ostrel(sb, args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(Commands(Requests(sb, "eth0")), kCreateAndLoad);
    }
}

TEST(Ostrel, NoAdapterEndsWithStatus1AndNoOutput)
{
    const struct {
        const char *what;
        const char *family;
        std::vector<std::string> ifaces;
        std::vector<std::string> behaviours;
    } cases[] = {
        {"no driver", "none", {"eth0"}, {}},
        {"driver without adapters", "vindral", {}, {}},
        {"interface of another driver", "vindral", {"eth0"}, {"ident=0x1234"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Sandbox sb(c.ifaces, c.family);
        if (!c.behaviours.empty())
            sb.set("eth0", c.behaviours);
        const RunResult r = Ostrel(sb);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
        EXPECT_FALSE(fs::exists(sb.path("etc/eth0.cfg")));
    }
}

TEST(Ostrel, MissingFileIsCreatedFromTheAdapterThenLoaded)
{
    Sandbox sb;
    ProfileRecord present = Adapter(sb, "eth0");
    present.cfg.clear_word1 = 0x0102;
    present.cfg.clear_word2 = 0x0304;
    present.cfg.home_flags |= 1;
    SetAdapter(sb, "eth0", present);

    const RunResult r = Ostrel(sb);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");

    const auto stored = Stored(present);
    EXPECT_EQ(ReadFileBytes(sb.path("etc/eth0.cfg")), FileImage(stored, stored, 0));
    struct stat st;
    ASSERT_EQ(stat(sb.path("etc/eth0.cfg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode_t(0666));

    const auto requests = Requests(sb, "eth0");
    EXPECT_EQ(Commands(requests), kCreateAndLoad);
    EXPECT_EQ(Bytes(Loaded(requests)), Bytes(stored));
}

TEST(Ostrel, EachAdapterGetsTheCurrentProfileOfItsOwnFile)
{
    Sandbox sb({"eth0", "eth2"});
    const ProfileRecord a0 = Pattern(1), b0 = Pattern(2), a2 = Pattern(3), b2 = Pattern(4);
    const auto file0 = FileImage(a0, b0, 0), file2 = FileImage(a2, b2, 1);
    WriteFileBytes(sb.path("etc/eth0.cfg"), file0);
    WriteFileBytes(sb.path("etc/eth2.cfg"), file2);
    const ProfileRecord own0 = Adapter(sb, "eth0"), own2 = Adapter(sb, "eth2");

    const RunResult r = Ostrel(sb);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");

    // Each loaded with its own MAC address; the files keep the stored ones.
    ProfileRecord expect0 = a0, expect2 = b2;
    std::memcpy(expect0.cfg.mac_addr, own0.cfg.mac_addr, 6);
    std::memcpy(expect2.cfg.mac_addr, own2.cfg.mac_addr, 6);
    const auto requests0 = Requests(sb, "eth0"), requests2 = Requests(sb, "eth2");
    EXPECT_EQ(Commands(requests0), kLoad);
    EXPECT_EQ(Commands(requests2), kLoad);
    EXPECT_EQ(Bytes(Loaded(requests0)), Bytes(expect0));
    EXPECT_EQ(Bytes(Loaded(requests2)), Bytes(expect2));
    EXPECT_EQ(ReadFileBytes(sb.path("etc/eth0.cfg")), file0);
    EXPECT_EQ(ReadFileBytes(sb.path("etc/eth2.cfg")), file2);
    EXPECT_FALSE(fs::exists(sb.path("etc/eth1.cfg")));
}

TEST(Ostrel, DamagedFilesAreRecreatedFromTheAdapter)
{
    Sandbox sb;
    const ProfileRecord present = Adapter(sb, "eth0");
    const auto stored = Stored(present);
    auto good = FileImage(Pattern(5), Pattern(6), 1);
    // A new file's reserved header is zero, whatever the damaged one held.
    std::fill(good.begin() + 12, good.begin() + 136, 0xE7);
    const struct {
        const char *what;
        std::function<void(std::vector<uint8_t> &)> damage;
    } cases[] = {
        {"empty", [](auto &f) { f.clear(); }},
        {"short", [](auto &f) { f.resize(707); }},
        {"header only", [](auto &f) { f.resize(136); }},
        {"wrong checksum", [](auto &f) { f[0] ^= 0x10; }},
        {"checksum upper half set", [](auto &f) { f[2] = 1; }},
        {"wrong magic", [](auto &f) { f[4] = 0x56; }},
        {"record byte changed", [](auto &f) { f[500] ^= 1; }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = good;
        c.damage(bytes);
        WriteFileBytes(sb.path("etc/eth0.cfg"), bytes);
        SetAdapter(sb, "eth0", present);
        sb.clearJournal();

        const RunResult r = Ostrel(sb);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "ostrel: /etc/eth0.cfg is damaged: its bytes are kept in /etc/eth0.cfg.damaged, "
                         "and it is made anew from the adapter\n");
        EXPECT_EQ(ReadFileBytes(sb.path("etc/eth0.cfg.damaged")), bytes);
        EXPECT_EQ(ReadFileBytes(sb.path("etc/eth0.cfg")), FileImage(stored, stored, 0));
        const auto requests = Requests(sb, "eth0");
        EXPECT_EQ(Commands(requests), kCreateAndLoad);
        EXPECT_EQ(Bytes(Loaded(requests)), Bytes(stored));
    }
}

// A load that meets a save sees the file before it or after it, never a
// mixture of both: no save ever makes a load judge the file damaged. Reads of
// the file are slowed (a busy disk), which leaves time for saves between any
// two of them.
TEST(Ostrel, SavesWhileLoadingNeverMakeTheFileLookDamaged)
{
    Sandbox sb;
    // Two versions of the profiles whose checksums differ, so that a header
    // of one with the records of the other does not check out.
    const ProfileRecord versions[2][2] = {{Pattern(5), Pattern(6)}, {Pattern(7), Pattern(9)}};
    WriteFileBytes(sb.path("etc/eth0.cfg"), FileImage(versions[0][0], versions[0][1], 0));
    sb.fileFail("etc/eth0.cfg", "slow", 0, 20);
    std::atomic<bool> loading{true};
    std::atomic<int> saves{0};
    std::thread saver([&] {
        for (int i = 0; loading && i < 1000000; ++i) {
            Cfgio io("eth0.cfg");
            ProfileRecord a = versions[i & 1][0], b = versions[i & 1][1];
            if (io.wrcfg(a, b, i & 1) == 0)
                ++saves;
        }
    });
    // A file judged damaged is made anew from the adapter, which reads its
    // configuration once more before the load.
    int remade = 0, failed = 0, said = 0;
    for (int run = 0; run < 20; ++run) {
        sb.clearJournal();
        const RunResult r = Ostrel(sb);
        failed += r.status != 0;
        said += !r.err.empty();
        remade += Commands(Requests(sb, "eth0")) != kLoad;
    }
    loading = false;
    saver.join();
    EXPECT_GT(saves.load(), 20);
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(said, 0);
    EXPECT_EQ(remade, 0);
    EXPECT_FALSE(fs::exists(sb.path("etc/eth0.cfg.damaged")));
}

// ostrel with the sandbox's /etc made what a test needs in a mount namespace
// of its own: the mount ends with the run. What /etc then held is put on
// standard output after ostrel's own (ostrel writes nothing there).
RunResult OstrelWithEtc(const Sandbox &sb, const std::string &mount)
{
    const std::string etc = sb.path("etc");
    return RunCommand("unshare -m sh -c '" + mount + " && { env -u OSTREL_INTERFACE " + EnvPath("SIMCTL") +
                      " run " + sb.dir() + " -- " + EnvPath("OSTREL") + "; s=$?; ls -A " + etc +
                      "; exit $s; }'");
}

// A profile file that cannot be written whole is a file that cannot be
// created: the reason, nothing left in /etc, nothing written into the
// adapter, and the adapters after it are not loaded.
TEST(Ostrel, FileThatCannotBeWrittenWholeIsNotCreated)
{
    const struct {
        const char *what;
        std::function<RunResult(const Sandbox &)> run;
        const char *said;
        const char *left;
    } cases[] = {
        {"full file system",
         [](const Sandbox &sb) {
             return OstrelWithEtc(sb, "mount -t tmpfs -o size=4k tmpfs " + sb.path("etc") +
                                          " && head -c 4096 /dev/zero > " + sb.path("etc/filler"));
         },
         "No space left on device", "filler\n"},
        {"disk failing after 136 bytes",
         [](const Sandbox &sb) {
             sb.fileFail("etc", "write", EIO, 136);
             return Ostrel(sb);
         },
         "Input/output error", ""},
        {"failed flush",
         [](const Sandbox &sb) {
             sb.fileFail("etc", "sync", EIO);
             return Ostrel(sb);
         },
         "Input/output error", ""},
        {"read-only /etc",
         [](const Sandbox &sb) {
             return OstrelWithEtc(sb, "mount --bind " + sb.path("etc") + " " + sb.path("etc") +
                                          " && mount -o remount,bind,ro " + sb.path("etc"));
         },
         "Read-only file system", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Sandbox sb({"eth0", "eth1"});
        const RunResult r = c.run(sb);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, std::string("Cant open config CFGIO: ") + c.said + "\n");
        EXPECT_EQ(r.out, c.left);
        EXPECT_TRUE(fs::is_empty(sb.path("etc")));
        EXPECT_EQ(Commands(Requests(sb, "eth0")), (std::vector<int>{1, 3, 2}));
        EXPECT_TRUE(Requests(sb, "eth1").empty());
    }
}

// A valid profile file is loaded from a read-only /etc, and a save that
// fails part-way leaves it loadable as it was.
TEST(Ostrel, StoredProfilesAreLoadedWhereTheyCannotBeWritten)
{
    Sandbox sb;
    const ProfileRecord a = Pattern(5), b = Pattern(6);
    const auto file = FileImage(a, b, 1);
    WriteFileBytes(sb.path("etc/eth0.cfg"), file);
    ProfileRecord expect = b;
    std::memcpy(expect.cfg.mac_addr, Adapter(sb, "eth0").cfg.mac_addr, 6);

    const RunResult r = OstrelWithEtc(
        sb, "mount --bind " + sb.path("etc") + " " + sb.path("etc") + " && mount -o remount,bind,ro " + sb.path("etc"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "eth0.cfg\n");
    EXPECT_EQ(Commands(Requests(sb, "eth0")), kLoad);
    EXPECT_EQ(Bytes(Loaded(Requests(sb, "eth0"))), Bytes(expect));

    sb.fileFail("etc", "write", EIO, 136);
    {
        Cfgio io("eth0.cfg");
        ProfileRecord ra = Pattern(7), rb = Pattern(8);
        EXPECT_EQ(io.wrcfg(ra, rb, 0), -1);
    }
    sb.fileFail("etc", "none", 0);
    sb.clearJournal();
    const RunResult again = Ostrel(sb);
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out + again.err, "");
    EXPECT_EQ(ReadFileBytes(sb.path("etc/eth0.cfg")), file);
    EXPECT_EQ(Bytes(Loaded(Requests(sb, "eth0"))), Bytes(expect));
}

TEST(Ostrel, ChangedReservedHeaderByteKeepsTheFile)
{
    Sandbox sb;
    auto file = FileImage(Pattern(5), Pattern(6), 0);
    file[100] = 0x77;
    WriteFileBytes(sb.path("etc/eth0.cfg"), file);
    ProfileRecord expect = Pattern(5);
    std::memcpy(expect.cfg.mac_addr, Adapter(sb, "eth0").cfg.mac_addr, 6);

    EXPECT_EQ(Ostrel(sb).status, 0);
    EXPECT_EQ(ReadFileBytes(sb.path("etc/eth0.cfg")), file);
    const auto requests = Requests(sb, "eth0");
    EXPECT_EQ(Commands(requests), kLoad);
    EXPECT_EQ(Bytes(Loaded(requests)), Bytes(expect));
}

TEST(Ostrel, FileThatCannotBeCreatedEndsWithStatus1)
{
    Sandbox sb({"eth0", "eth1"});
    fs::create_directory(sb.path("etc/eth0.cfg"));

    const RunResult r = Ostrel(sb);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Cant open config CFGIO: Is a directory\n");
    EXPECT_EQ(Commands(Requests(sb, "eth0")), (std::vector<int>{1, 3, 2}));
    EXPECT_TRUE(Requests(sb, "eth1").empty());
}

TEST(Ostrel, ReadErrorsEndWithStatus9)
{
    const struct {
        const char *what;
        std::function<void(const Sandbox &)> prepare;
        std::vector<int> eth0_requests;
    } cases[] = {
        // Reading the process's own memory at offset 0 fails with EIO.
        {"file read fails", [](const Sandbox &sb) { fs::create_symlink("/proc/self/mem", sb.path("etc/eth0.cfg")); },
         {}},
        // The file was never created, so the load has nothing to read.
        {"adapter unreadable while creating", [](const Sandbox &sb) { sb.fail("eth0", 1, EIO); }, {1}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Sandbox sb({"eth0", "eth1"});
        c.prepare(sb);

        const RunResult r = Ostrel(sb);
        EXPECT_EQ(r.status, 9);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("Cfgio::rdcfg: ", 0), 0u) << r.err;
        EXPECT_EQ(Commands(Requests(sb, "eth0")), c.eth0_requests);
        EXPECT_TRUE(Requests(sb, "eth1").empty());
    }
}

TEST(Ostrel, AdapterUnreadableWhileLoadingIsSkipped)
{
    Sandbox sb({"eth0", "eth1"});
    const auto file = FileImage(Pattern(5), Pattern(6), 0);
    WriteFileBytes(sb.path("etc/eth0.cfg"), file);
    sb.fail("eth0", 1, EIO);

    const RunResult r = Ostrel(sb);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "ostrel: eth0: profile not loaded: Input/output error  "
                     "kdr770::GetConfiguration  get cfg \n");
    EXPECT_EQ(Commands(Requests(sb, "eth0")), std::vector<int>{1});
    EXPECT_EQ(ReadFileBytes(sb.path("etc/eth0.cfg")), file);
    EXPECT_EQ(Commands(Requests(sb, "eth1")), kCreateAndLoad);
}

// A configuration answered short, or with no MAC address of the adapter's
// own, is no configuration: the profile is not loaded (an address of zeros
// is never sent), and no profile file is made of it.
TEST(Ostrel, ConfigurationNotAnsweredWholeIsNotTaken)
{
    const char *const answers[] = {"short.1=0", "short.1=78", "short.1=155", "short.2=52",
                                   "short.3=0", "config.mac_addr=00:00:00:00:00:00",
                                   "config.mac_addr=ff:ff:ff:ff:ff:ff"};
    for (const char *answer : answers) {
        SCOPED_TRACE(answer);
        {
            Sandbox sb({"eth0", "eth1"});
            const auto file = FileImage(Pattern(5), Pattern(6), 0);
            WriteFileBytes(sb.path("etc/eth0.cfg"), file);
            sb.set("eth0", {answer});
            const RunResult r = Ostrel(sb);
            EXPECT_EQ(r.status, 2);
            EXPECT_EQ(r.err, "ostrel: eth0: profile not loaded: configuration not read\n");
            for (int c : Commands(Requests(sb, "eth0")))
                EXPECT_LT(c, 50) << "nothing is written";
            EXPECT_EQ(ReadFileBytes(sb.path("etc/eth0.cfg")), file);
            EXPECT_EQ(Commands(Requests(sb, "eth1")), kCreateAndLoad);
        }
        {
            // No file: none is made, and the load after it cannot read one.
            Sandbox sb({"eth0", "eth1"});
            sb.set("eth0", {answer});
            const RunResult r = Ostrel(sb);
            EXPECT_EQ(r.status, 9);
            EXPECT_EQ(r.err.rfind("Cfgio::rdcfg: ", 0), 0u) << r.err;
            EXPECT_FALSE(fs::exists(sb.path("etc/eth0.cfg")));
            EXPECT_TRUE(Requests(sb, "eth1").empty());
        }
    }
}

// A write of the load that fails leaves the adapter without its profile: it
// is said on standard error with the interface and the request, the next
// adapter is still loaded, and the exit status tells that not all were.
TEST(Ostrel, FailedLoadWriteIsReportedAndTheOthersAreStillLoaded)
{
    const struct {
        int command, err;
        std::vector<int> sent;
        const char *said;
    } cases[] = {
        {54, EIO, {1, 3, 2, 54}, "Input/output error  kdr770::SetConfiguration set STSSID"},
        {55, ENOMEM, {1, 3, 2, 54, 55}, "Cannot allocate memory  kdr770::SetConfiguration set STAPLIST"},
        {53, EIO, kLoad, "Input/output error  kdr770::SetConfiguration set CFG"},
        {53, 0, kLoad, "request 53 failed"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.said);
        Sandbox sb({"eth0", "eth1"});
        WriteFileBytes(sb.path("etc/eth0.cfg"), FileImage(Pattern(5), Pattern(6), 0));
        sb.fail("eth0", c.command, c.err);

        const RunResult r = Ostrel(sb);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, std::string("ostrel: eth0: profile not loaded: ") + c.said + "\n");
        EXPECT_EQ(Commands(Requests(sb, "eth0")), c.sent);
        EXPECT_EQ(Commands(Requests(sb, "eth1")), kCreateAndLoad);
    }
}

// The unit started for the adapter that appeared loads that adapter alone:
// eth0, running with other settings than its stored profile, keeps them.
TEST(Ostrel, InterfaceVariableLoadsThatAdapterAlone)
{
    Sandbox sb({"eth0", "eth1", "eth2"});
    const auto file0 = FileImage(Pattern(5), Pattern(6), 0);
    WriteFileBytes(sb.path("etc/eth0.cfg"), file0);
    const auto config0 = sim::GetRecord(sb.dir(), "eth0", "config");

    const RunResult r = OstrelFor(sb, "eth1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(Commands(Requests(sb, "eth1")), kCreateAndLoad);
    EXPECT_TRUE(Requests(sb, "eth0").empty());
    EXPECT_TRUE(Requests(sb, "eth2").empty());
    EXPECT_EQ(sim::GetRecord(sb.dir(), "eth0", "config"), config0);
    EXPECT_EQ(ReadFileBytes(sb.path("etc/eth0.cfg")), file0);
    EXPECT_FALSE(fs::exists(sb.path("etc/eth2.cfg")));
}

// A name of no adapter in the list loads nothing: for the unit of an
// interface of another kind that is no failure.
TEST(Ostrel, InterfaceVariableNamingNoAdapterEndsWithStatus0)
{
    const std::string values[] = {"eth3", "", "eth", "eth1x", "ETH1", "eth1 ", std::string(100000, 'e')};
    for (const auto &value : values) {
        SCOPED_TRACE("OSTREL_INTERFACE=" + value.substr(0, 20));
        Sandbox sb({"eth0", "eth1"});
        const RunResult r = OstrelFor(sb, value);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out + r.err, "");
        EXPECT_TRUE(Requests(sb, "eth0").empty());
        EXPECT_TRUE(Requests(sb, "eth1").empty());
        EXPECT_TRUE(fs::is_empty(sb.path("etc")));
    }
}

// The processes blocked on the flock of the file with this inode.
int Waiters(ino_t inode)
{
    std::ifstream locks("/proc/locks");
    int n = 0;
    const std::string tail = ":" + std::to_string(inode) + " ";
    for (std::string line; std::getline(locks, line);)
        if (line.find(" -> FLOCK ") != std::string::npos && line.find(tail) != std::string::npos)
            ++n;
    return n;
}

// Runs take turns on the lock, and look for the adapters only once they hold
// it: two adapters that appear while a pass holds it, their units' runs and
// one by hand all wait; then each loads its own, one after the other.
TEST(Ostrel, RunsTakeTurnsAndLookForTheAdaptersWhenTheirTurnComes)
{
    Sandbox sb({"eth0"});
    const int lock = open(sb.path("run/ostrel.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    struct stat st;
    ASSERT_EQ(fstat(lock, &st), 0);
    sb.add("eth1");
    sb.add("eth2");

    std::vector<std::future<RunResult>> runs;
    runs.push_back(std::async(std::launch::async, [&] { return OstrelFor(sb, "eth1"); }));
    runs.push_back(std::async(std::launch::async, [&] { return OstrelFor(sb, "eth2"); }));
    runs.push_back(std::async(std::launch::async, [&] { return Ostrel(sb); }));
    const auto ended = [&] {
        return std::any_of(runs.begin(), runs.end(), [](const std::future<RunResult> &run) {
            return run.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        });
    };
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (Waiters(st.st_ino) < 3 && !ended() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int waiting = Waiters(st.st_ino);
    const auto whileHeld = sb.journal();
    close(lock);
    for (auto &run : runs) {
        const RunResult r = run.get();
        EXPECT_EQ(r.status, 0) << r.err;
    }
    ASSERT_EQ(waiting, 3);
    EXPECT_TRUE(whileHeld.empty()) << "a waiting run asked the driver";

    // Each run's requests come in one piece, and it wrote only its own.
    std::vector<int> order;
    std::map<int, std::set<std::string>> written;
    for (const auto &e : sb.journal()) {
        if (order.empty() || order.back() != e.pid)
            order.push_back(e.pid);
        if (e.code == 0x89F0 && e.command >= 50)
            written[e.pid].insert(e.iface);
    }
    EXPECT_EQ(order.size(), 3u) << "the runs' requests interleave";
    std::multiset<std::set<std::string>> wrote;
    for (const auto &w : written)
        wrote.insert(w.second);
    EXPECT_EQ(wrote, (std::multiset<std::set<std::string>>{{"eth1"}, {"eth2"}, {"eth0", "eth1", "eth2"}}));
    for (const char *iface : {"eth0", "eth1", "eth2"})
        EXPECT_TRUE(fs::exists(sb.path(std::string("etc/") + iface + ".cfg"))) << iface;
}

// No load waits for ever for another: a run whose driver request never
// returns holds its turn, and a run for another adapter gives up after its
// bound (60 s; shortened here through the stand-in's wait scale), says so
// and loads nothing.
TEST(Ostrel, RunThatCannotHaveItsTurnGivesUpAndSaysSo)
{
    Sandbox sb({"eth0", "eth1"});
    sb.set("eth0", {"hang.53=1"});
    const std::string hung = EnvPath("SIMCTL") + " run " + sb.dir() + " -- " + EnvPath("OSTREL");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setenv("OSTREL_INTERFACE", "eth0", 1);
        execl("/bin/sh", "sh", "-c", ("exec " + hung).c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    // The first run is in request 53 when the journal shows it.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (Commands(Requests(sb, "eth0")) != kCreateAndLoad && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool inRequest = Commands(Requests(sb, "eth0")) == kCreateAndLoad;

    const auto started = std::chrono::steady_clock::now();
    const RunResult r = RunCommand("SIMDRIVER_SLEEP_SCALE=0.05 OSTREL_INTERFACE=eth1 " + EnvPath("SIMCTL") + " run " +
                                   sb.dir() + " -- " + EnvPath("OSTREL"));
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(inRequest);

    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "ostrel: another run of ostrel has held /run/ostrel.lock for 60 seconds: nothing loaded\n");
    EXPECT_LT(took, 30);
    EXPECT_TRUE(Requests(sb, "eth1").empty());
    bool asked = false;
    for (const auto &call : sim::ReadCalls(sb.dir()))
        asked |= call.call == "alarm 60";
    EXPECT_TRUE(asked) << "the bound is not 60 s";

    // Once the hung run is gone, the next run loads.
    const RunResult next = OstrelFor(sb, "eth1");
    EXPECT_EQ(next.status, 0);
    EXPECT_EQ(Commands(Requests(sb, "eth1")), kCreateAndLoad);
}

} // namespace
