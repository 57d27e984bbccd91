// Profile file: which files count as valid, how a file is created from the
// adapter, saved, and loaded back into the adapter.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "profile_file.h"
#include "sandbox.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kFileSize = 708;
constexpr size_t kRecordsAt = 136;

// The checksum as the file format defines it, computed from the file image.
uint32_t StoredSum(const std::vector<uint8_t> &file)
{
    uint32_t sum = 0;
    for (size_t i = kRecordsAt; i < file.size(); ++i)
        sum += file[i];
    return sum & 0xFFFF;
}

// A record with every byte set, so that a lost or moved byte shows.
ProfileRecord Pattern(uint8_t seed)
{
    ProfileRecord r;
    auto *p = reinterpret_cast<uint8_t *>(&r);
    for (size_t i = 0; i < sizeof r; ++i)
        p[i] = uint8_t(seed + 7 * i);
    r.cfg.clear_word1 = 0;
    r.cfg.clear_word2 = 0;
    // A station's address, as an adapter reports its own.
    r.cfg.mac_addr[0] &= 0xFE;
    return r;
}

std::vector<uint8_t> FileImage(const ProfileRecord &a, const ProfileRecord &b, uint32_t selector = 0)
{
    ProfileFile f{};
    f.header.magic = PROFILE_MAGIC;
    f.header.selector = selector;
    f.a = a;
    f.b = b;
    auto bytes = Bytes(f);
    const uint32_t sum = StoredSum(bytes);
    for (int i = 0; i < 4; ++i)
        bytes[size_t(i)] = uint8_t(sum >> (8 * i));
    return bytes;
}

// Offsets at which two byte images differ.
std::vector<size_t> Differences(const std::vector<uint8_t> &x, const std::vector<uint8_t> &y)
{
    std::vector<size_t> out;
    EXPECT_EQ(x.size(), y.size());
    for (size_t i = 0; i < std::min(x.size(), y.size()); ++i)
        if (x[i] != y[i])
            out.push_back(i);
    return out;
}

const sim::JournalEntry *Find(std::vector<sim::JournalEntry> &&, int) = delete;
const sim::JournalEntry *Find(const std::vector<sim::JournalEntry> &journal, int command)
{
    for (const auto &e : journal)
        if (e.command == command)
            return &e;
    return nullptr;
}

class ProfileFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(radio.InitCard("eth0"), 0); }

    std::string File() const { return sb.path("etc/eth0.cfg"); }

    // The adapter's present configuration, as a profile record.
    ProfileRecord Adapter() const
    {
        return ProfileRecord{FromBytes<CFG_R770>(sim::GetRecord(sb.dir(), "eth0", "config")),
                             FromBytes<_STSSID>(sim::GetRecord(sb.dir(), "eth0", "ssid")),
                             FromBytes<_STAPLIST>(sim::GetRecord(sb.dir(), "eth0", "aplist"))};
    }
    void SetAdapter(const ProfileRecord &r) const
    {
        sim::SetRecord(sb.dir(), "eth0", "config", Bytes(r.cfg));
        sim::SetRecord(sb.dir(), "eth0", "ssid", Bytes(r.ssid));
        sim::SetRecord(sb.dir(), "eth0", "aplist", Bytes(r.aplist));
    }
    bool Valid() const { return Cfgio("eth0.cfg").valid != 0; }

    Sandbox sb;
    kdR770 radio{"eth0"};
};

using ProfileFileDeathTest = ProfileFileTest;

TEST_F(ProfileFileTest, ValidityFollowsSizeChecksumAndMagic)
{
    // The last bytes of record B are zero, so dropping them leaves the sum intact.
    ProfileRecord b = Pattern(2);
    std::memset(reinterpret_cast<uint8_t *>(&b) + sizeof b - 8, 0, 8);
    const auto good = FileImage(Pattern(1), b);

    struct Case {
        const char *what;
        std::function<void(std::vector<uint8_t> &)> change;
        bool valid;
    };
    const Case cases[] = {
        {"intact", [](auto &) {}, true},
        {"selector 1", [](auto &f) { f[8] = 1; }, true},
        {"every reserved header byte set", [](auto &f) { std::fill(f.begin() + 12, f.begin() + 136, 0xA5); }, true},
        {"empty", [](auto &f) { f.clear(); }, false},
        {"header only", [](auto &f) { f.resize(kRecordsAt); }, false},
        {"short, sum still matching", [](auto &f) { f.resize(kFileSize - 8); }, false},
        {"checksum off by one", [](auto &f) { f[0] ^= 1; }, false},
        {"checksum upper half non-zero", [](auto &f) { f[2] = 1; }, false},
        {"checksum top byte non-zero", [](auto &f) { f[3] = 0x80; }, false},
        {"magic 344", [](auto &f) { f[4] = 0x58; }, false},
        {"magic upper bytes set", [](auto &f) { f[6] = 1; }, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = good;
        c.change(bytes);
        WriteFileBytes(File(), bytes);
        Cfgio io("eth0.cfg");
        EXPECT_EQ(io.valid != 0, c.valid);
        // An invalid file is not kept open.
        EXPECT_EQ(io.fd >= 0, c.valid);
    }

    for (size_t at = kRecordsAt; at < kFileSize; ++at) {
        auto bytes = good;
        bytes[at] = uint8_t(bytes[at] + 1);
        WriteFileBytes(File(), bytes);
        EXPECT_FALSE(Valid()) << "record byte " << at << " changed";
    }
    for (size_t at = 12; at < kRecordsAt; ++at) {
        auto bytes = good;
        bytes[at] ^= 0xFF;
        WriteFileBytes(File(), bytes);
        EXPECT_TRUE(Valid()) << "reserved byte " << at << " changed";
    }
}

TEST_F(ProfileFileTest, MissingFileIsInvalidAndNotCreated)
{
    EXPECT_FALSE(Valid());
    EXPECT_FALSE(fs::exists(File()));
}

TEST_F(ProfileFileTest, CreatedFileHoldsTheAdapterConfigurationTwice)
{
    ProfileRecord present = Adapter();
    present.cfg.clear_word1 = 0x1234;
    present.cfg.clear_word2 = 0xBEEF;
    present.cfg.home_flags = 0x81;
    SetAdapter(present);

    const mode_t before = umask(022);
    Cfgio io("eth0.cfg");
    ASSERT_FALSE(io.valid);
    EXPECT_EQ(io.mkcfg(radio), 0);
    const mode_t after = umask(before);
    EXPECT_EQ(after, mode_t(022)) << "creating the file changed the process's mask";
    EXPECT_TRUE(io.valid);

    struct stat st;
    ASSERT_EQ(stat(File().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode_t(0666));

    const auto bytes = ReadFileBytes(File());
    ASSERT_EQ(bytes.size(), kFileSize);
    const auto f = FromBytes<ProfileFile>(bytes);
    ProfileRecord expected = present;
    expected.cfg.clear_word1 = 0;
    expected.cfg.clear_word2 = 0;
    expected.cfg.home_flags = 0x80;  // only the home bit goes
    EXPECT_EQ(Bytes(f.a), Bytes(expected));
    EXPECT_EQ(Bytes(f.b), Bytes(expected));
    EXPECT_EQ(uint32_t(f.header.checksum), StoredSum(bytes));
    EXPECT_EQ(uint32_t(f.header.magic), 343u);  // the file format's own number
    EXPECT_EQ(uint32_t(f.header.selector), 0u);
    EXPECT_EQ(std::vector<uint8_t>(f.header.reserved, f.header.reserved + 124), std::vector<uint8_t>(124, 0));
    EXPECT_TRUE(Valid());
}

TEST_F(ProfileFileTest, CreationFailsWithoutFileWhenAdapterCannotBeRead)
{
    // Any of the three reads of the configuration.
    for (int command : {1, 3, 2}) {
        SCOPED_TRACE(command);
        sb.fail("eth0", command, EIO);
        Cfgio io("eth0.cfg");
        EXPECT_EQ(io.mkcfg(radio), -1);
        EXPECT_FALSE(io.valid);
        EXPECT_FALSE(fs::exists(File()));
    }
}

TEST_F(ProfileFileTest, SaveWhereNoFileCanBeIsReported)
{
    // A device or a directory at the path is refused rather than written.
    fs::create_symlink("/dev/full", File());
    {
        Cfgio io("eth0.cfg");
        ASSERT_FALSE(io.valid);
        ProfileRecord a = Pattern(1), b = Pattern(2);
        EXPECT_EQ(io.wrcfg(a, b, 0), -1);
    }
    fs::remove(File());
    fs::create_directory(File());
    Cfgio io("eth0.cfg");
    ProfileRecord a = Pattern(1), b = Pattern(2);
    EXPECT_EQ(io.wrcfg(a, b, 0), -1);
}

// The files in the sandbox's /etc, by name: what a failed or killed write
// leaves there shows.
std::vector<std::string> EtcFiles(const Sandbox &sb)
{
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(sb.path("etc")))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The file may grow to 500 bytes only (RLIMIT_FSIZE): the write of a new
// image stops part-way, as on a disk that fails. With SIGXFSZ at its default
// the process is killed there instead.
void LimitFileSize(bool killed)
{
    signal(SIGXFSZ, killed ? SIG_DFL : SIG_IGN);
    struct rlimit lim = {500, 500};
    setrlimit(RLIMIT_FSIZE, &lim);
}

TEST_F(ProfileFileDeathTest, CreationStoppedPartWayLeavesNoFile)
{
    auto create = [&](bool killed) {
        LimitFileSize(killed);
        Cfgio io("eth0.cfg");
        io.mkcfg(radio);
        _exit(0);
    };
    EXPECT_EXIT(create(false), ::testing::ExitedWithCode(1), "^Cant open config CFGIO: File too large\n$");
    EXPECT_TRUE(EtcFiles(sb).empty());
    EXPECT_EXIT(create(true), ::testing::KilledBySignal(SIGXFSZ), "");
    EXPECT_TRUE(EtcFiles(sb).empty());
}

TEST_F(ProfileFileDeathTest, SaveStoppedPartWayLeavesTheFileAsItWas)
{
    const auto file = FileImage(Pattern(1), Pattern(2), 1);
    WriteFileBytes(File(), file);
    auto save = [&](bool killed) {
        LimitFileSize(killed);
        Cfgio io("eth0.cfg");
        ProfileRecord a = Pattern(3), b = Pattern(4);
        _exit(io.wrcfg(a, b, 0) == -1 && io.error == EFBIG ? 0 : 1);
    };
    EXPECT_EXIT(save(false), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(ReadFileBytes(File()), file);
    EXPECT_EQ(EtcFiles(sb), std::vector<std::string>{"eth0.cfg"});
    EXPECT_EXIT(save(true), ::testing::KilledBySignal(SIGXFSZ), "");
    EXPECT_EQ(ReadFileBytes(File()), file);
    EXPECT_EQ(EtcFiles(sb), std::vector<std::string>{"eth0.cfg"});
}

// Whatever step of a save the file system fails, the file is as it was and
// nothing else is left in the folder; the save says why.
TEST_F(ProfileFileTest, FailedSaveStepsLeaveTheFileAsItWas)
{
    const auto file = FileImage(Pattern(1), Pattern(2), 1);
    const struct {
        const char *what;
        const char *rel, *op;
        int err;
        long after;
    } cases[] = {
        {"write fails after the header", "etc", "write", EIO, 136},
        {"write fails at once", "etc", "write", EIO, 0},
        {"file system full", "etc", "write", ENOSPC, 0},
        {"flush of the new file fails", "etc", "sync", EIO, 0},
        {"close of the new file fails", "etc", "close", EIO, 0},
        {"read-only /etc", "etc", "open", EROFS, 0},
        {"no room for a new file", "etc", "open", ENOSPC, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(File(), file);
        sb.fileFail(c.rel, c.op, c.err, c.after);
        {
            Cfgio io("eth0.cfg");
            ASSERT_TRUE(io.valid);
            ProfileRecord a = Pattern(3), b = Pattern(4);
            EXPECT_EQ(io.wrcfg(a, b, 0), -1);
            EXPECT_EQ(io.error, c.err);
        }
        sb.fileFail(c.rel, "none", 0);
        EXPECT_EQ(ReadFileBytes(File()), file);
        EXPECT_EQ(EtcFiles(sb), std::vector<std::string>{"eth0.cfg"});
    }
}

TEST_F(ProfileFileTest, SaveKeepsReservedHeaderAndClearsStoredWords)
{
    auto bytes = FileImage(Pattern(1), Pattern(2));
    std::fill(bytes.begin() + 12, bytes.begin() + 136, 0x5C);
    WriteFileBytes(File(), bytes);

    Cfgio io("eth0.cfg");
    ASSERT_TRUE(io.valid);
    ProfileRecord a = Pattern(3), b = Pattern(4);
    a.cfg.clear_word1 = 0x1111;
    b.cfg.clear_word2 = 0x2222;
    a.cfg.home_flags = 0;
    b.cfg.home_flags = 1;
    EXPECT_EQ(io.wrcfg(a, b, 1), 0);
    // The caller's records are what was stored.
    EXPECT_EQ(uint16_t(a.cfg.clear_word1), 0);
    EXPECT_EQ(uint16_t(b.cfg.clear_word2), 0);

    const auto saved = ReadFileBytes(File());
    ASSERT_EQ(saved.size(), kFileSize);
    const auto f = FromBytes<ProfileFile>(saved);
    EXPECT_EQ(Bytes(f.a), Bytes(a));
    EXPECT_EQ(Bytes(f.b), Bytes(b));
    EXPECT_EQ(f.b.cfg.home_flags, 1) << "the home bit is kept on a save";
    EXPECT_EQ(uint32_t(f.header.selector), 1u);
    EXPECT_EQ(uint32_t(f.header.checksum), StoredSum(saved));
    EXPECT_EQ(std::vector<uint8_t>(saved.begin() + 12, saved.begin() + 136), std::vector<uint8_t>(124, 0x5C));
    EXPECT_TRUE(Valid());
}

TEST_F(ProfileFileTest, SaveOntoMissingOrDamagedFileWritesWholeFile)
{
    const auto good = FileImage(Pattern(1), Pattern(2));
    struct Case {
        const char *what;
        std::function<void()> prepare;
    };
    const Case cases[] = {
        {"missing", [&] { fs::remove(File()); }},
        {"wrong checksum", [&] { auto f = good; f[1] ^= 0x40; WriteFileBytes(File(), f); }},
        {"short", [&] { auto f = good; f.resize(300); WriteFileBytes(File(), f); }},
        {"empty", [&] { WriteFileBytes(File(), {}); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        c.prepare();
        const mode_t before = umask(022);
        {
            Cfgio io("eth0.cfg");
            ASSERT_FALSE(io.valid);
            ProfileRecord a = Pattern(5), b = Pattern(6);
            EXPECT_EQ(io.wrcfg(a, b, 0), 0);
        }
        EXPECT_EQ(umask(before), mode_t(022));
        const auto saved = ReadFileBytes(File());
        ASSERT_EQ(saved.size(), kFileSize);
        const auto f = FromBytes<ProfileFile>(saved);
        EXPECT_EQ(Bytes(f.a), Bytes(Pattern(5)));
        EXPECT_EQ(Bytes(f.b), Bytes(Pattern(6)));
        EXPECT_TRUE(Valid());
    }
    struct stat st;
    fs::remove(File());
    {
        umask(022);
        Cfgio io("eth0.cfg");
        ProfileRecord a = Pattern(5), b = Pattern(6);
        io.wrcfg(a, b, 0);
    }
    ASSERT_EQ(stat(File().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode_t(0666));
}

// A file that its administrator has made 0644 (so that only root may change
// what ostrel loads), given to another owner, or put elsewhere behind a
// symbolic link keeps what it is whenever it is rewritten: saved, or made
// again from the adapter when damaged.
TEST_F(ProfileFileTest, RewrittenFileKeepsWhatItsAdministratorMadeOfIt)
{
    const std::string outside = fs::temp_directory_path() / ("profiles-" + std::to_string(getpid()));
    fs::create_directories(outside);
    const struct {
        const char *what;
        std::string link;  // what /etc/eth0.cfg links to, or empty
        std::string file;  // the file that holds the profiles
        mode_t mode;
        uid_t uid;
        gid_t gid;
    } cases[] = {
        {"0644", "", File(), 0644, 0, 0},
        {"another owner", "", File(), 0640, 65534, 65534},
        {"link in /etc", "eth0-site.cfg", sb.path("etc/eth0-site.cfg"), 0666, 0, 0},
        {"link out of /etc", outside + "/eth0.cfg", outside + "/eth0.cfg", 0600, 65534, 0},
    };
    const auto good = FileImage(Pattern(1), Pattern(2));
    for (const auto &c : cases) {
        for (const bool damaged : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (damaged ? ", damaged" : ", valid"));
            fs::remove(File());
            fs::remove(c.file);
            fs::remove(c.file + ".damaged");
            auto image = good;
            if (damaged)
                image[1] ^= 0x40;
            WriteFileBytes(c.file, image);
            ASSERT_EQ(chown(c.file.c_str(), c.uid, c.gid), 0);
            ASSERT_EQ(chmod(c.file.c_str(), c.mode), 0);
            if (!c.link.empty())
                fs::create_symlink(c.link, File());
            {
                Cfgio io("eth0.cfg");
                ASSERT_EQ(io.valid, !damaged);
                if (damaged) {
                    EXPECT_EQ(io.mkcfg(radio), 0);
                } else {
                    ProfileRecord a = Pattern(5), b = Pattern(6);
                    EXPECT_EQ(io.wrcfg(a, b, 0), 0);
                }
            }
            EXPECT_TRUE(Valid());
            EXPECT_EQ(fs::is_symlink(File()), !c.link.empty());
            EXPECT_EQ(ReadFileBytes(c.file), ReadFileBytes(File()));
            EXPECT_NE(ReadFileBytes(c.file), image);
            struct stat st;
            ASSERT_EQ(stat(c.file.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, c.mode);
            EXPECT_EQ(st.st_uid, c.uid);
            EXPECT_EQ(st.st_gid, c.gid);
            if (damaged) {
                EXPECT_EQ(ReadFileBytes(c.file + ".damaged"), image);
            }
        }
    }
    fs::remove(File());
    fs::remove_all(outside);
}

// A damaged file's bytes are kept whole beside it, the last damaged one
// replacing the one before, and the program says so, naming both files.
TEST_F(ProfileFileTest, DamagedFileIsKeptBesideTheNewOne)
{
    std::vector<uint8_t> big(100000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8_t(i * 31 + 7);
    auto wrongSum = FileImage(Pattern(1), Pattern(2));
    wrongSum[600] ^= 1;
    for (const auto &damaged : {wrongSum, big, std::vector<uint8_t>{}}) {
        SCOPED_TRACE(damaged.size());
        WriteFileBytes(File(), damaged);
        testing::internal::CaptureStderr();
        {
            Cfgio io("eth0.cfg");
            ASSERT_FALSE(io.valid);
            EXPECT_EQ(io.mkcfg(radio), 0);
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string(program_invocation_short_name) +
                      ": /etc/eth0.cfg is damaged: its bytes are kept in /etc/eth0.cfg.damaged, and it is "
                      "made anew from the adapter\n");
        EXPECT_EQ(ReadFileBytes(sb.path("etc/eth0.cfg.damaged")), damaged);
        EXPECT_TRUE(Valid());
    }
    // A missing file is made without a word, and the damaged copy stays.
    fs::remove(File());
    testing::internal::CaptureStderr();
    {
        Cfgio io("eth0.cfg");
        EXPECT_EQ(io.mkcfg(radio), 0);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(ReadFileBytes(sb.path("etc/eth0.cfg.damaged")), std::vector<uint8_t>{});
}

// Where the damaged bytes cannot be kept, the file is not made anew over
// them: as a file that cannot be created.
TEST_F(ProfileFileDeathTest, DamagedFileThatCannotBeKeptStaysAsItIs)
{
    auto damaged = FileImage(Pattern(1), Pattern(2));
    damaged[4] = 0;
    WriteFileBytes(File(), damaged);
    // No room for the copy, though there would be for the new file.
    sb.fileFail("etc/eth0.cfg.damaged", "open", ENOSPC);
    EXPECT_EXIT(
        {
            Cfgio io("eth0.cfg");
            io.mkcfg(radio);
        },
        ::testing::ExitedWithCode(1), "^Cant open config CFGIO: No space left on device\n$");
    EXPECT_EQ(ReadFileBytes(File()), damaged);
    EXPECT_EQ(EtcFiles(sb), std::vector<std::string>{"eth0.cfg"});
}

// A user other than root may not make files in /etc: a profile file that is
// theirs to write (0666) is rewritten in place, one that is not (0644) is
// not written at all, and says why.
TEST_F(ProfileFileDeathTest, UserWhoMayNotWriteTheFolderRewritesTheirFileInPlace)
{
    ASSERT_EQ(chmod(sb.dir().c_str(), 0755), 0);
    ASSERT_EQ(chmod(sb.path("etc").c_str(), 0755), 0);
    const auto file = FileImage(Pattern(1), Pattern(2));
    auto saveAsNobody = [&](int expected) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(3);
        Cfgio io("eth0.cfg");
        ProfileRecord a = Pattern(3), b = Pattern(4);
        const int r = io.wrcfg(a, b, 1);
        _exit(r == 0 && expected == 0 ? 0 : r == -1 && io.error == expected ? 0 : 1);
    };
    for (const mode_t mode : {0666, 0644}) {
        SCOPED_TRACE(mode);
        WriteFileBytes(File(), file);
        ASSERT_EQ(chmod(File().c_str(), mode), 0);
        struct stat before, after;
        ASSERT_EQ(stat(File().c_str(), &before), 0);
        const int expected = mode == 0666 ? 0 : EACCES;
        EXPECT_EXIT(saveAsNobody(expected), ::testing::ExitedWithCode(0), "");
        ASSERT_EQ(stat(File().c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode & 07777, mode);
        if (mode == 0666) {
            EXPECT_EQ(ReadFileBytes(File()), FileImage(Pattern(3), Pattern(4), 1));
        } else {
            EXPECT_EQ(ReadFileBytes(File()), file);
        }
        EXPECT_EQ(EtcFiles(sb), std::vector<std::string>{"eth0.cfg"});
    }
}

// A valid file is read and loaded where /etc cannot be written; only a write
// fails there, and says why.
TEST_F(ProfileFileDeathTest, ReadOnlyFolderLoadsButDoesNotWrite)
{
    const auto file = FileImage(Pattern(1), Pattern(2), 1);
    WriteFileBytes(File(), file);
    sb.fileFail("etc", "open", EROFS);
    {
        Cfgio io("eth0.cfg");
        ASSERT_TRUE(io.valid);
        sb.clearJournal();
        ProfileRecord a{}, b{};
        EXPECT_EQ(io.ldcfg(radio, a, b), 1);
        EXPECT_EQ(sb.commands(), (std::vector<int>{1, 3, 2, 54, 55, 53}));
        EXPECT_EQ(io.wrcfg(a, b, 0), -1);
        EXPECT_EQ(io.error, EROFS);
    }
    EXPECT_EQ(ReadFileBytes(File()), file);
    sb.fileFail("etc", "none", 0);
    fs::remove(File());
    sb.fileFail("etc", "open", EROFS);
    EXPECT_EXIT(
        {
            Cfgio io("eth0.cfg");
            io.mkcfg(radio);
        },
        ::testing::ExitedWithCode(1), "^Cant open config CFGIO: Read-only file system\n$");
}

TEST_F(ProfileFileTest, LoadSendsAdaptersOwnMacAndKeepsStoredOne)
{
    ProfileRecord a = Pattern(1), b = Pattern(2);
    const uint8_t stored_mac[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
    std::memcpy(a.cfg.mac_addr, stored_mac, 6);
    const auto file = FileImage(a, b);
    WriteFileBytes(File(), file);
    const ProfileRecord present = Adapter();
    ASSERT_NE(std::memcmp(present.cfg.mac_addr, stored_mac, 6), 0);

    Cfgio io("eth0.cfg");
    ASSERT_TRUE(io.valid);
    sb.clearJournal();
    ProfileRecord ra{}, rb{};
    EXPECT_EQ(io.ldcfg(radio, ra, rb), 0);

    EXPECT_EQ(sb.commands(), (std::vector<int>{1, 3, 2, 54, 55, 53}));
    const auto journal = sb.journal();
    ProfileRecord sent = a;
    std::memcpy(sent.cfg.mac_addr, present.cfg.mac_addr, 6);
    const auto *ssid = Find(journal, 54), *aplist = Find(journal, 55), *cfg = Find(journal, 53);
    ASSERT_TRUE(ssid && aplist && cfg);
    EXPECT_EQ(ssid->sent, Bytes(a.ssid));
    EXPECT_EQ(aplist->sent, Bytes(a.aplist));
    EXPECT_EQ(cfg->sent, Bytes(sent.cfg));
    EXPECT_EQ(Bytes(ra), Bytes(sent));
    EXPECT_EQ(Bytes(rb), Bytes(b));
    EXPECT_EQ(ReadFileBytes(File()), file);
}

TEST_F(ProfileFileTest, AnyNonZeroSelectorMakesRecordBCurrent)
{
    const ProfileRecord a = Pattern(1), b = Pattern(2);
    const struct {
        uint32_t selector;
        int current;
    } cases[] = {{0, 0}, {1, 1}, {2, 1}, {0x100, 1}, {0x80000000u, 1}, {0xFFFFFFFFu, 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.selector);
        WriteFileBytes(File(), FileImage(a, b, c.selector));
        Cfgio io("eth0.cfg");
        ASSERT_TRUE(io.valid);
        ProfileRecord ra{}, rb{};
        EXPECT_EQ(io.rdcfg(ra, rb), c.current);
        EXPECT_EQ(Bytes(ra), Bytes(a));
        EXPECT_EQ(Bytes(rb), Bytes(b));

        sb.clearJournal();
        EXPECT_EQ(io.ldcfg(radio, ra, rb), c.current);
        const auto journal = sb.journal();
        const auto *cfg = Find(journal, 53);
        ASSERT_TRUE(cfg);
        ProfileRecord current = c.current ? b : a;
        std::memcpy(current.cfg.mac_addr, Adapter().cfg.mac_addr, 6);
        EXPECT_EQ(cfg->sent, Bytes(current.cfg));
    }
}

TEST_F(ProfileFileTest, SaveWithSelectorOneMakesHomeCurrentAtNextLoad)
{
    WriteFileBytes(File(), FileImage(Pattern(1), Pattern(2), 0));
    ProfileRecord a = Pattern(3), b = Pattern(4);
    {
        Cfgio io("eth0.cfg");
        ASSERT_TRUE(io.valid);
        ASSERT_EQ(io.wrcfg(a, b, 1), 0);
    }
    Cfgio io("eth0.cfg");
    ASSERT_TRUE(io.valid);
    sb.clearJournal();
    ProfileRecord ra{}, rb{};
    EXPECT_EQ(io.ldcfg(radio, ra, rb), 1);
    const auto journal = sb.journal();
    const auto *ssid = Find(journal, 54), *aplist = Find(journal, 55);
    ASSERT_TRUE(ssid && aplist);
    EXPECT_EQ(ssid->sent, Bytes(b.ssid));
    EXPECT_EQ(aplist->sent, Bytes(b.aplist));
    EXPECT_EQ(Bytes(ra), Bytes(a));
}

TEST_F(ProfileFileTest, OneChangedFieldIsAllThatChangesOnTheWayBack)
{
    // Every byte of the adapter's records set, reserved ranges included.
    ProfileRecord original = Pattern(9);
    original.cfg.home_flags &= uint8_t(~1u);
    SetAdapter(original);
    const auto read_back = Adapter();
    ASSERT_EQ(Bytes(read_back), Bytes(original));

    {
        Cfgio io("eth0.cfg");
        ASSERT_EQ(io.mkcfg(radio), 0);
        ProfileRecord a{}, b{};
        ASSERT_EQ(io.rdcfg(a, b), 0);
        a.cfg.tx_power = uint16_t(a.cfg.tx_power ^ 0x0101);  // both bytes change
        ASSERT_EQ(io.wrcfg(a, b, 0), 0);
    }
    const auto f = FromBytes<ProfileFile>(ReadFileBytes(File()));
    const size_t tx_power = offsetof(CFG_R770, tx_power);
    EXPECT_EQ(Differences(Bytes(original), Bytes(f.a)), (std::vector<size_t>{tx_power, tx_power + 1}));
    EXPECT_EQ(Bytes(f.b), Bytes(original));

    Cfgio io("eth0.cfg");
    ASSERT_TRUE(io.valid);
    sb.clearJournal();
    ProfileRecord a{}, b{};
    ASSERT_EQ(io.ldcfg(radio, a, b), 0);
    const auto journal = sb.journal();
    const auto *ssid = Find(journal, 54), *aplist = Find(journal, 55), *cfg = Find(journal, 53);
    ASSERT_TRUE(ssid && aplist && cfg);
    EXPECT_EQ(Differences(Bytes(original.cfg), cfg->sent), (std::vector<size_t>{tx_power, tx_power + 1}));
    EXPECT_EQ(ssid->sent, Bytes(original.ssid));
    EXPECT_EQ(aplist->sent, Bytes(original.aplist));
}

TEST_F(ProfileFileTest, LoadLeavesAdapterAloneWhenItCannotGoOn)
{
    const ProfileRecord a = Pattern(1), b = Pattern(2);
    WriteFileBytes(File(), FileImage(a, b, 1));

    {
        // The adapter's configuration cannot be read: the file's records are
        // still handed back, nothing is sent.
        Cfgio io("eth0.cfg");
        ASSERT_TRUE(io.valid);
        sb.clearJournal();
        sb.fail("eth0", 1, EIO);
        ProfileRecord ra{}, rb{};
        EXPECT_EQ(io.ldcfg(radio, ra, rb), -1);
        EXPECT_EQ(sb.commands(), std::vector<int>{1});
        EXPECT_EQ(Bytes(ra), Bytes(a));
        EXPECT_EQ(Bytes(rb), Bytes(b));
    }
    {
        // A write of the load fails: the adapter did not take the profile.
        Cfgio io("eth0.cfg");
        ASSERT_TRUE(io.valid);
        sb.clearJournal();
        sb.fail("eth0", 55, EIO);
        ProfileRecord ra{}, rb{};
        EXPECT_EQ(io.ldcfg(radio, ra, rb), -2);
        EXPECT_EQ(sb.commands(), (std::vector<int>{1, 3, 2, 54, 55}));
    }
    {
        // The file shrank after it was checked.
        Cfgio io("eth0.cfg");
        ASSERT_TRUE(io.valid);
        ASSERT_EQ(truncate(File().c_str(), 600), 0);
        sb.clearJournal();
        ProfileRecord ra{}, rb{};
        EXPECT_EQ(io.ldcfg(radio, ra, rb), -1);
        EXPECT_TRUE(sb.journal().empty());
    }
}

TEST_F(ProfileFileDeathTest, LoadAfterFailedCreationEndsWithStatus9)
{
    sb.fail("eth0", 1, EIO);
    auto load = [this] {
        Cfgio io("eth0.cfg");
        io.mkcfg(radio);
        ProfileRecord a{}, b{};
        io.ldcfg(radio, a, b);
    };
    EXPECT_EXIT(load(), ::testing::ExitedWithCode(9), "^Cfgio::rdcfg: .+");
}

TEST_F(ProfileFileDeathTest, FileThatCannotBeCreatedEndsWithStatus1)
{
    fs::create_directory(File());
    EXPECT_EXIT(
        {
            Cfgio io("eth0.cfg");
            io.mkcfg(radio);
        },
        ::testing::ExitedWithCode(1), "^Cant open config CFGIO: Is a directory");
}

// A pipe at the path has no writer but the program itself: reading it would
// wait for ever.
TEST_F(ProfileFileDeathTest, PipeAtThePathIsNeitherReadNorWritten)
{
    ASSERT_EQ(mkfifo(File().c_str(), 0666), 0);
    EXPECT_FALSE(Valid());
    EXPECT_EXIT(
        {
            Cfgio io("eth0.cfg");
            io.mkcfg(radio);
        },
        ::testing::ExitedWithCode(1), "^Cant open config CFGIO: Invalid argument");
}

} // namespace
