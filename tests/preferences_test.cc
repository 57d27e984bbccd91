// Preferences file: creation, validation and repair at start, the setters, the
// shared mapping across fork and the flush at exit.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "preferences.h"
#include "sandbox.h"

namespace {

// Synchronous flushes seen by this process and the children it forks: the
// counters live in a shared page. Slot 0 counts, slot 1 is free for a child.
int *Flushes()
{
    static int *slots = static_cast<int *>(
        mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    return slots;
}

} // namespace

// Seen by the preferences code in place of the C library's; counts and passes on.
extern "C" int msync(void *addr, size_t len, int flags) noexcept
{
    using Real = int (*)(void *, size_t, int);
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "msync"));
    if (flags & MS_SYNC)
        ++Flushes()[0];
    return real(addr, len, flags);
}

namespace {

namespace fs = std::filesystem;

constexpr size_t kSize = 360;
constexpr size_t kBrowserAt = 12, kNoteAt = 140, kPasswordAt = 268;

// The stored checksum word of an image, and the one it should hold.
uint32_t Stored(const std::vector<uint8_t> &b)
{
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}
uint32_t Expected(const std::vector<uint8_t> &b)
{
    unsigned sum = 0;
    for (size_t i = 4; i < b.size(); ++i)
        sum += b[i];
    return sum & 0xFF;
}
std::string Text(const char *s)
{
    return s ? s : "(null)";
}
bool Sound(const std::vector<uint8_t> &b)
{
    return b.size() == kSize && Stored(b) == Expected(b);
}
std::vector<uint8_t> Sealed(std::vector<uint8_t> b)
{
    const uint32_t sum = Expected(b);
    for (int i = 0; i < 4; ++i)
        b[size_t(i)] = uint8_t(sum >> (8 * i));
    return b;
}
void Put(std::vector<uint8_t> &b, size_t at, const std::string &s)
{
    std::memcpy(b.data() + at, s.data(), s.size());
}
void Put32(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// What every reset writes, built from the file layout rather than the code.
std::vector<uint8_t> Defaults()
{
    std::vector<uint8_t> b(kSize, 0);
    Put32(b, 4, 343);
    Put(b, kPasswordAt, "Orvik");
    Put32(b, 352, 1);
    return Sealed(b);
}

// A valid record in which every field holds something of its own.
std::vector<uint8_t> Rich()
{
    std::vector<uint8_t> b(kSize, 0);
    Put32(b, 4, 343);
    Put32(b, 8, 0x12345678);
    Put(b, kBrowserAt, "/usr/local/bin/lynx");
    Put(b, kNoteAt, "a note nobody reads");
    Put(b, kPasswordAt, "s3cret");
    Put(b, 348, "\x11\x22\x33\x44");
    Put32(b, 352, 7);
    b[356] = 1;
    Put(b, 357, "\x55\x66\x77");
    return Sealed(b);
}

// Runs body in a forked child (which ends with status 0 unless body ends it)
// and returns the child's exit status.
int InChild(const std::function<void()> &body)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(0);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

const char kRel[] = "opt/tavlo/OXU.PRFS";

class PrefsFile : public ::testing::Test {
protected:
    std::string File() const { return sb.path(kRel); }
    std::vector<uint8_t> Image() const { return ReadFileBytes(File()); }

    // Builds a store from what is in the file; returns what it printed.
    std::string Open(std::unique_ptr<prefs> &p)
    {
        ::testing::internal::CaptureStdout();
        p = std::make_unique<prefs>();
        return ::testing::internal::GetCapturedStdout();
    }

    Sandbox sb;
};

using PrefsDeathTest = PrefsFile;

const std::string kBadSum = "Checksum bad!!!!! invalidating preferances\n";

TEST_F(PrefsFile, MissingFileIsCreatedWithDefaultsAndExactMode)
{
    const mode_t saved = umask(022);
    const int fds = OpenFds();
    {
        std::unique_ptr<prefs> p;
        EXPECT_EQ(Open(p), "");
        EXPECT_EQ(umask(022), mode_t(022)) << "the process's creation mask was changed";

        struct stat st;
        ASSERT_EQ(stat(File().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode_t(0666));
        EXPECT_EQ(Image(), Defaults());

        ASSERT_NE(p->GetPassword(), nullptr);
        EXPECT_STREQ(p->GetPassword(), "Orvik");
        EXPECT_EQ(p->GetBrowser(), nullptr);
        EXPECT_EQ(p->GetBrowserPid(), 0);
        EXPECT_EQ(p->GetLoginByte(), 0);
        EXPECT_EQ(p->IsUnlocked(), 0);
        p->SetUnlocked(1);
        EXPECT_EQ(p->IsUnlocked(), 1);
    }
    EXPECT_EQ(OpenFds(), fds) << "the descriptor outlived the store";
    EXPECT_EQ(Image(), Defaults());
    umask(saved);
}

TEST_F(PrefsFile, ValidRecordIsKeptAsStored)
{
    WriteFileBytes(File(), Rich());
    std::unique_ptr<prefs> p;
    EXPECT_EQ(Open(p), "");
    EXPECT_EQ(Image(), Rich());
    EXPECT_STREQ(p->GetBrowser(), "/usr/local/bin/lynx");
    EXPECT_STREQ(p->GetPassword(), "s3cret");
    EXPECT_EQ(p->GetBrowserPid(), 0x12345678);
    EXPECT_EQ(p->GetLoginByte(), 1);
}

TEST_F(PrefsFile, StoredImagesAreAcceptedOrReset)
{
    // All zero but the mark: 0x57 + 0x01 = 88.
    std::vector<uint8_t> bare(kSize, 0);
    Put32(bare, 4, 343);
    Put32(bare, 0, 88);
    auto with_sum = [&](uint32_t sum) {
        auto b = bare;
        Put32(b, 0, sum);
        return b;
    };
    auto with_magic = [](uint32_t magic) {
        std::vector<uint8_t> b(kSize, 0);
        Put32(b, 4, magic);
        return Sealed(b);
    };
    struct Case {
        const char *what;
        std::vector<uint8_t> image;
        bool kept;
        std::string out;
    } cases[] = {
        {"empty file", {}, false, ""},
        {"bare mark, sum 88", bare, true, ""},
        {"sum with bit 8 set", with_sum(88 + 256), false, kBadSum},
        {"sum with top byte set", with_sum(88 | 0x01000000), false, kBadSum},
        {"sum off by one", with_sum(89), false, kBadSum},
        {"mark 0", with_magic(0), false, ""},
        {"mark 342", with_magic(342), false, ""},
        {"mark with a high bit", with_magic(0x10157), false, ""},
        {"mark byte-swapped", with_magic(0x57010000), false, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(File(), c.image);
        std::unique_ptr<prefs> p;
        EXPECT_EQ(Open(p), c.out);
        EXPECT_EQ(Image(), c.kept ? c.image : Defaults());
        if (c.kept)
            EXPECT_EQ(p->GetPassword(), nullptr);
        else
            EXPECT_STREQ(p->GetPassword(), "Orvik");
    }
}

TEST_F(PrefsFile, AnyChangedByteIsCaughtAndReset)
{
    const auto good = Rich();
    for (size_t at = 0; at < kSize; ++at) {
        SCOPED_TRACE("offset " + std::to_string(at));
        auto bad = good;
        bad[at] = uint8_t(bad[at] ^ 0x21);
        WriteFileBytes(File(), bad);
        std::unique_ptr<prefs> p;
        EXPECT_EQ(Open(p), kBadSum);
        EXPECT_EQ(Image(), Defaults());
    }
}

TEST_F(PrefsFile, UnterminatedTextsLoseTheirLastByte)
{
    std::vector<uint8_t> b(kSize, 0);
    Put32(b, 4, 343);
    Put(b, kBrowserAt, std::string(128, 'b'));
    Put(b, kNoteAt, std::string(128, 'n'));
    Put(b, kPasswordAt, std::string(80, 'p'));
    Put32(b, 348, 0xA1A2A3A4);
    b = Sealed(b);
    WriteFileBytes(File(), b);

    std::unique_ptr<prefs> p;
    EXPECT_EQ(Open(p), "");
    EXPECT_EQ(Text(p->GetBrowser()), std::string(127, 'b'));
    EXPECT_EQ(Text(p->GetPassword()), std::string(79, 'p'));

    b[kBrowserAt + 127] = b[kNoteAt + 127] = b[kPasswordAt + 79] = 0;
    EXPECT_EQ(Image(), Sealed(b));
}

TEST_F(PrefsFile, ShortValidFileIsKeptAndExtendedToTheRecord)
{
    std::vector<uint8_t> full(kSize, 0);
    Put32(full, 4, 343);
    Put(full, kBrowserAt, "/bin/w3m");
    Put(full, kPasswordAt, "abc");
    full = Sealed(full);
    WriteFileBytes(File(), std::vector<uint8_t>(full.begin(), full.begin() + 300));

    std::unique_ptr<prefs> p;
    EXPECT_EQ(Open(p), "");
    EXPECT_EQ(Image(), full);
    EXPECT_STREQ(p->GetPassword(), "abc");
    // Reaches the part of the record that the file did not hold before.
    p->SetBrowserPid(99);
    p->SetPassword("xyz");
    const auto now = Image();
    EXPECT_TRUE(Sound(now));
    EXPECT_EQ(now[8], 99);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&now[kPasswordAt])), "xyz");
}

TEST_F(PrefsFile, SetBrowserKeepsTheOldTailAndFlushes)
{
    std::unique_ptr<prefs> p;
    Open(p);
    const int before = Flushes()[0];
    p->SetBrowser("/usr/local/bin/firefox");
    const char *shown = p->GetBrowser();
    EXPECT_EQ(Flushes()[0], before + 1);
    p->SetBrowser("/bin/ff");
    EXPECT_EQ(Flushes()[0], before + 2);
    EXPECT_STREQ(p->GetBrowser(), "/bin/ff");
    EXPECT_EQ(shown, p->GetBrowser()) << "the text is not the mapped field";

    auto b = Defaults();
    Put(b, kBrowserAt, "/usr/local/bin/firefox");
    Put(b, kBrowserAt, std::string("/bin/ff", 8));
    EXPECT_EQ(Image(), Sealed(b)) << "tail lost or left out of the checksum";

    p->SetBrowser(nullptr);
    EXPECT_EQ(Flushes()[0], before + 3);
    EXPECT_EQ(p->GetBrowser(), nullptr);
    EXPECT_EQ(Image(), Defaults());
}

TEST_F(PrefsFile, SetPasswordClearsTheWholeFieldAndFlushes)
{
    std::unique_ptr<prefs> p;
    Open(p);
    const char *shown = p->GetPassword();
    const int before = Flushes()[0];
    p->SetPassword("a much longer password");
    p->SetPassword("ab");
    EXPECT_EQ(Flushes()[0], before + 2);
    EXPECT_STREQ(shown, "ab") << "the text is not the mapped field";
    auto b = Defaults();
    b[kPasswordAt + 2] = b[kPasswordAt + 3] = b[kPasswordAt + 4] = 0;
    Put(b, kPasswordAt, "ab");
    EXPECT_EQ(Image(), Sealed(b));

    for (const char *none : {"", static_cast<const char *>(nullptr)}) {
        p->SetPassword("x");
        p->SetPassword(none);
        EXPECT_EQ(p->GetPassword(), nullptr);
        b = Defaults();
        std::memset(&b[kPasswordAt], 0, 80);
        EXPECT_EQ(Image(), Sealed(b));
    }
}

TEST_F(PrefsFile, LongTextsAreCutWithinTheirField)
{
    struct Case {
        bool browser;
        size_t len;
        size_t kept;
    } cases[] = {
        {true, 127, 127}, {true, 128, 127}, {true, 500, 127},
        {false, 79, 79},  {false, 80, 79},  {false, 300, 79},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE((c.browser ? "browser " : "password ") + std::to_string(c.len));
        WriteFileBytes(File(), Rich());
        std::unique_ptr<prefs> p;
        Open(p);
        const std::string text(c.len, c.browser ? 'B' : 'P');
        auto b = Rich();
        if (c.browser) {
            p->SetBrowser(text.c_str());
            EXPECT_EQ(Text(p->GetBrowser()), text.substr(0, c.kept));
            Put(b, kBrowserAt, std::string(text, 0, c.kept) + '\0');
        } else {
            p->SetPassword(text.c_str());
            EXPECT_EQ(Text(p->GetPassword()), text.substr(0, c.kept));
            std::memset(&b[kPasswordAt], 0, 80);
            Put(b, kPasswordAt, std::string(text, 0, c.kept));
        }
        EXPECT_EQ(Image(), Sealed(b));
    }
}

TEST_F(PrefsFile, PidFromAForkedChildIsSeenAtOnce)
{
    std::unique_ptr<prefs> p;
    Open(p);
    ASSERT_EQ(InChild([&] { p->SetBrowserPid(-5 * 1000 * 1000); }), 0);
    EXPECT_EQ(p->GetBrowserPid(), -5 * 1000 * 1000);
    auto b = Defaults();
    Put32(b, 8, uint32_t(-5 * 1000 * 1000));
    EXPECT_EQ(Image(), Sealed(b));
}

// Another process shortening the file under a running program: every access
// finds the file whole again, repaired as at start, instead of touching a
// page the file no longer has (SIGBUS).
TEST_F(PrefsFile, FileShortenedUnderTheMappingIsRepairedBeforeEachAccess)
{
    const std::pair<const char *, std::function<void(prefs &)>> accesses[] = {
        {"GetBrowser", [](prefs &p) { p.GetBrowser(); }},
        {"SetBrowser", [](prefs &p) { p.SetBrowser("/bin/lynx"); }},
        {"GetPassword", [](prefs &p) { p.GetPassword(); }},
        {"SetPassword", [](prefs &p) { p.SetPassword("pw"); }},
        {"GetBrowserPid", [](prefs &p) { p.GetBrowserPid(); }},
        {"SetBrowserPid", [](prefs &p) { p.SetBrowserPid(42); }},
        {"GetLoginByte", [](prefs &p) { p.GetLoginByte(); }},
    };
    for (size_t length : {size_t(0), size_t(100)}) {
        for (const auto &access : accesses) {
            SCOPED_TRACE(std::string(access.first) + " after cutting to " + std::to_string(length));
            WriteFileBytes(File(), Rich());
            std::string out;
            const int status = InChild([&] {
                std::unique_ptr<prefs> p;
                Open(p);
                if (truncate(File().c_str(), off_t(length)) != 0)
                    _exit(4);
                ::testing::internal::CaptureStdout();
                access.second(*p);
                // What the store shows is the repaired record.
                const bool orvik = Text(p->GetPassword()) == "Orvik" || Text(p->GetPassword()) == "pw";
                const std::string said = ::testing::internal::GetCapturedStdout();
                _exit(orvik && (length == 0 || said == kBadSum) ? 0 : 3);
            });
            EXPECT_EQ(status, 0) << "128 + 7 is SIGBUS";
            EXPECT_TRUE(Sound(Image()));
        }
    }
    // A valid file cut short stays as it was, only extended.
    WriteFileBytes(File(), Defaults());
    std::unique_ptr<prefs> p;
    Open(p);
    ASSERT_EQ(truncate(File().c_str(), 300), 0);
    EXPECT_STREQ(p->GetPassword(), "Orvik");
    EXPECT_EQ(Image(), Defaults());
}

// Replaced by another file (renamed over it), the program keeps its own
// record and leaves the new file alone.
TEST_F(PrefsFile, FileReplacedUnderTheMappingIsLeftToItsWriter)
{
    std::unique_ptr<prefs> p;
    Open(p);
    const std::string other = sb.path("opt/tavlo/new");
    WriteFileBytes(other, Rich());
    ASSERT_EQ(rename(other.c_str(), File().c_str()), 0);
    const int status = InChild([&] {
        p->SetPassword("mine");
        _exit(Text(p->GetPassword()) == "mine" ? 0 : 3);
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Image(), Rich());
}

TEST_F(PrefsFile, ExitWithStatusOneStillFlushes)
{
    int *slots = Flushes();
    slots[0] = 0;
    const int status = InChild([&] {
        static prefs p;
        p.SetBrowserPid(4321);
        slots[1] = slots[0];
        std::exit(1);
    });
    EXPECT_EQ(status, 1);
    EXPECT_GT(slots[0], slots[1]) << "no flush after exit was called";
    auto b = Defaults();
    Put32(b, 8, 4321);
    EXPECT_EQ(Image(), Sealed(b));
}

// A save whose flush fails says why; the change holds for the run, and the
// next save that reaches the file says so again.
TEST_F(PrefsFile, FailedFlushOfASaveIsToldAndTheChangeHoldsForTheRun)
{
    std::unique_ptr<prefs> p;
    Open(p);
    sb.fileFail(kRel, "sync", EIO);
    EXPECT_EQ(p->SetPassword("new"), EIO);
    EXPECT_STREQ(p->GetPassword(), "new");
    EXPECT_EQ(p->SetBrowser("/bin/lynx"), EIO);
    EXPECT_EQ(p->SetBrowser(nullptr), EIO);
    sb.fileFail(kRel, "sync", ENOSPC);
    EXPECT_EQ(p->SetPassword("newer"), ENOSPC);
    sb.fileFail(kRel, "none", 0);
    EXPECT_EQ(p->SetBrowser("/bin/w3m"), 0);
    EXPECT_EQ(p->SetPassword("newest"), 0);
    auto b = Defaults();
    std::memset(&b[kPasswordAt], 0, 80);
    Put(b, kPasswordAt, "newest");
    Put(b, kBrowserAt, "/bin/w3m");
    EXPECT_EQ(Image(), Sealed(b));
}

// Shortened by another process while the disk is full: the file cannot be
// repaired, so the run lets it go and keeps its record in memory, each
// save and the end saying why, and no page past the file's end is touched.
TEST_F(PrefsFile, FileShortenedOnAFullDiskIsLetGoWithoutASignal)
{
    WriteFileBytes(File(), Rich());
    const int status = InChild([&] {
        std::unique_ptr<prefs> p;
        Open(p);
        if (truncate(File().c_str(), 100) != 0)
            _exit(4);
        sb.fileFail(kRel, "write", ENOSPC);
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        bool ok = p->SetPassword("pw") == ENOSPC && Text(p->GetPassword()) == "pw";
        p->SetBrowserPid(55);
        ok = ok && p->GetBrowserPid() == 55 && p->SetBrowser("/bin/lynx") == ENOSPC &&
             Text(p->GetBrowser()) == "/bin/lynx";
        p.reset();
        const std::string err = ::testing::internal::GetCapturedStderr();
        const std::string out = ::testing::internal::GetCapturedStdout();
        _exit(ok && err == "prefs::~prefs: No space left on device\n" && out == kBadSum ? 0 : 3);
    });
    sb.fileFail(kRel, "none", 0);
    EXPECT_EQ(status, 0) << "128 + 7 is SIGBUS";
    const auto rich = Rich();
    EXPECT_EQ(Image(), std::vector<uint8_t>(rich.begin(), rich.begin() + 100))
        << "a failed repair left more or less than the file had";
}

TEST_F(PrefsFile, FailedFlushOrCloseAtTheEndIsToldOnStandardError)
{
    const struct {
        const char *op;
        int err;
        const char *told;
    } cases[] = {
        {"sync", EIO, "prefs::~prefs: Input/output error\n"},
        {"sync", ENOSPC, "prefs::~prefs: No space left on device\n"},
        {"close", EIO, "prefs::~prefs: Input/output error\n"},
        {"none", 0, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.op);
        std::unique_ptr<prefs> p;
        Open(p);
        p->SetBrowserPid(4321);
        sb.fileFail(kRel, c.op, c.err);
        ::testing::internal::CaptureStderr();
        p.reset();
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.told);
        sb.fileFail(kRel, "none", 0);
    }
}

TEST_F(PrefsFile, MissingFolderLeavesDefaultsInMemoryOnly)
{
    fs::remove_all(sb.path("opt/tavlo"));
    ::testing::internal::CaptureStderr();
    std::unique_ptr<prefs> p;
    EXPECT_EQ(Open(p), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "No pref directory: " + std::string(std::strerror(ENOENT)) + "\n");

    EXPECT_STREQ(p->GetPassword(), "Orvik");
    EXPECT_EQ(p->GetBrowser(), nullptr);
    EXPECT_EQ(p->GetBrowserPid(), 0);
    EXPECT_EQ(p->GetLoginByte(), 0);

    p->SetBrowser("/bin/links");
    p->SetPassword("pw");
    p->SetBrowserPid(17);
    EXPECT_STREQ(p->GetBrowser(), "/bin/links");
    EXPECT_STREQ(p->GetPassword(), "pw");
    EXPECT_EQ(p->GetBrowserPid(), 17);
    p.reset();
    EXPECT_FALSE(fs::exists(sb.path("opt/tavlo")));
}

TEST_F(PrefsDeathTest, UnopenableFileEndsWithStatus9)
{
    fs::create_directory(File());
    EXPECT_EXIT(prefs(), ::testing::ExitedWithCode(9), "^prefs::prefs: Is a directory");
}

// An empty file (as the package makes it) or none at all, on a disk that is
// full or failing: the start ends as for a file that cannot be read, never
// with a signal, and leaves the file as it found it or, made here, none.
TEST_F(PrefsDeathTest, FileThatCannotBeFilledEndsTheStartWithStatus9)
{
    std::vector<uint8_t> shortValid(kSize, 0);
    Put32(shortValid, 4, 343);
    Put(shortValid, kPasswordAt, "abc");
    shortValid = Sealed(shortValid);
    shortValid.resize(300);
    auto badSum = Rich();
    badSum[kNoteAt] ^= 1;
    const std::vector<uint8_t> empty;
    const std::string full = "No space left on device", failing = "Input/output error";
    const struct Case {
        const char *what;
        const std::vector<uint8_t> *image;  // null: no file
        const char *op;
        int err;
        long after;
        const std::string &reason;
    } cases[] = {
        {"empty, disk full", &empty, "write", ENOSPC, 0, full},
        {"empty, I/O error", &empty, "write", EIO, 0, failing},
        {"empty, full after 100 bytes", &empty, "write", ENOSPC, 100, full},
        {"empty, flush fails", &empty, "sync", EIO, 0, failing},
        {"short record, disk full", &shortValid, "write", ENOSPC, 0, full},
        {"short record, full after 20 bytes", &shortValid, "write", ENOSPC, 20, full},
        {"bad checksum, I/O error", &badSum, "write", EIO, 0, failing},
        {"none, disk full", nullptr, "write", ENOSPC, 0, full},
        {"none, full after 200 bytes", nullptr, "write", ENOSPC, 200, full},
        {"none, flush fails", nullptr, "sync", EIO, 0, failing},
        {"none, close fails", nullptr, "close", EIO, 0, failing},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.image)
            WriteFileBytes(File(), *c.image);
        else
            fs::remove(File());
        sb.fileFail(kRel, c.op, c.err, c.after);
        EXPECT_EXIT(prefs(), ::testing::ExitedWithCode(9), "^prefs::prefs: " + c.reason + "\n$");
        sb.fileFail(kRel, "none", 0);
        if (c.image)
            EXPECT_EQ(Image(), *c.image);
        else
            EXPECT_FALSE(fs::exists(File())) << "a file made by this start was left";
    }
}

// Nobody writes into a pipe at the path: reading it would wait for ever.
TEST_F(PrefsDeathTest, PipeAtThePathEndsWithStatus9)
{
    ASSERT_EQ(mkfifo(File().c_str(), 0666), 0);
    EXPECT_EXIT(
        {
            alarm(10);
            prefs();
        },
        ::testing::ExitedWithCode(9), "^prefs::prefs: .+");
}

} // namespace
