// The driver stand-in itself, through raw system calls: path redirection,
// private requests, faults, the journal, state across processes, the flash
// monitor, the WEP readout, ZUNA and the statistics clock.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "records.h"
#include "sandbox.h"

namespace {

constexpr unsigned long kRecordIoctl = 0x89F0;
constexpr unsigned long kIdentIoctl = 0x89F1;
constexpr int kUntouched = 9999;  // errno before each request

// The driver's request block, as the programs lay it out.
struct Request {
    uint16_t command;
    uint16_t length;
    void *data;
};

struct Outcome {
    int rc;
    int err;
    bool operator==(const Outcome &o) const { return rc == o.rc && err == o.err; }
};
void PrintTo(const Outcome &o, std::ostream *os) { *os << "{rc " << o.rc << ", errno " << o.err << "}"; }
constexpr Outcome kOk{0, 0};
Outcome Failed(int err) { return {-1, err}; }

// One interface reached through a datagram socket, as a program does it.
class Radio {
public:
    explicit Radio(const char *iface)
    {
        sock_ = socket(AF_INET, SOCK_DGRAM, 0);
        std::memset(&ifr_, 0, sizeof ifr_);
        std::strncpy(ifr_.ifr_name, iface, IFNAMSIZ - 1);
    }
    ~Radio() { close(sock_); }
    int sock() const { return sock_; }

    Outcome Call(uint16_t command, uint16_t length, void *data, unsigned long code = kRecordIoctl,
                 int fd = -2)
    {
        req_ = Request{command, length, data};
        ifr_.ifr_data = reinterpret_cast<char *>(&req_);
        errno = kUntouched;
        int rc = ioctl(fd == -2 ? sock_ : fd, code, &ifr_);
        return {rc, rc == 0 ? 0 : errno};
    }
    template <class T>
    Outcome Rec(uint16_t command, T &record)
    {
        return Call(command, sizeof record, &record);
    }
    Outcome Word(uint16_t command, uint32_t word) { return Call(command, 4, &word); }

private:
    int sock_;
    ifreq ifr_;
    Request req_;
};

bool StandInLoaded()
{
    Dl_info info{};
    void *sym = dlsym(RTLD_DEFAULT, "ioctl");
    return sym && dladdr(sym, &info) && info.dli_fname && std::strstr(info.dli_fname, "libsimdriver");
}

class SimDriver : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(StandInLoaded()) << "run under LD_PRELOAD=libsimdriver.so (ctest does)";
    }
};

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

TEST_F(SimDriver, RedirectsExactlyTheFixedPathsWhileRootIsSet)
{
    Sandbox sb;
    // Each path gets a sandbox copy; the real system has none of them, so
    // the path is visible exactly when it is redirected.
    const struct {
        const char *path;
        bool redirected;
    } cases[] = {
        {"/etc/eth9.cfg", true},          {"/etc/simdrv-x/eth9.cfg", false},
        {"/etc/eth9.cfgx", true},         {"/etc/eth9.cfg.damaged", true},
        {"/etc/eth9.cfg.new-Xy12Ab", true}, {"/etc/.cfg", true},
        {"/etc/simdrv-eth9.cf", false},   {"/etc/simdrv-passwd-", false},
        {"/etc/simdrv-x/y.cfg.new", false}, {"/opt/tavlo/OXU.PRFS", true},
        {"/opt/tavlo/helpml/a.html", true}, {"/opt/tavlox", false},
        {"/proc/vindral", true},          {"/proc/vindralx", false},
        {"/proc/driver/tsv240/x", true},  {"/proc/tsv240", true},
        {"/proc/driver/vindral/x", true}, {"/run/ostrel.lock", true},
        {"/run/ostrel.lockx", false},
    };
    for (const auto &c : cases) {
        std::filesystem::path copy = sb.dir() + c.path;
        std::filesystem::create_directories(copy.parent_path());
        if (!std::filesystem::exists(copy))
            WriteFileBytes(copy, {1});
        EXPECT_EQ(access(c.path, F_OK) == 0, c.redirected) << c.path;
    }

    // Every entry point leads into the sandbox.
    const std::string cfg = sb.path("etc/eth8.cfg");
    int fd = open("/etc/eth8.cfg", O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "abc", 3), 3);
    close(fd);
    EXPECT_EQ(ReadFileBytes(cfg), (std::vector<uint8_t>{'a', 'b', 'c'}));
    struct stat st {};
    EXPECT_EQ(stat("/etc/eth8.cfg", &st), 0);
    EXPECT_EQ(st.st_size, 3);
    EXPECT_EQ(lstat("/etc/eth8.cfg", &st), 0);
    EXPECT_EQ(fstatat(AT_FDCWD, "/etc/eth8.cfg", &st, 0), 0);
    struct statx stx {};
    EXPECT_EQ(statx(AT_FDCWD, "/etc/eth8.cfg", 0, STATX_SIZE, &stx), 0);
    auto xstat = reinterpret_cast<int (*)(int, const char *, struct stat *)>(
        dlsym(RTLD_DEFAULT, "__xstat"));
    ASSERT_NE(xstat, nullptr);
    EXPECT_EQ(xstat(1, "/etc/eth8.cfg", &st), 0);
    auto open2 = reinterpret_cast<int (*)(const char *, int)>(dlsym(RTLD_DEFAULT, "__open_2"));
    ASSERT_NE(open2, nullptr);
    fd = open2("/etc/eth8.cfg", O_RDONLY);
    EXPECT_GE(fd, 0);
    close(fd);
    fd = openat(AT_FDCWD, "/etc/eth8.cfg", O_RDONLY);
    EXPECT_GE(fd, 0);
    close(fd);
    int root_fd = open("/", O_RDONLY | O_DIRECTORY);
    EXPECT_EQ(openat(root_fd, "etc/eth8.cfg", O_RDONLY), -1) << "a relative path stays as it is";
    close(root_fd);
    FILE *f = fopen("/etc/eth8.cfg", "r");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::fgetc(f), 'a');
    std::fclose(f);
    EXPECT_EQ(truncate("/etc/eth8.cfg", 1), 0);
    EXPECT_EQ(chmod("/etc/eth8.cfg", 0644), 0);
    EXPECT_EQ(euidaccess("/etc/eth8.cfg", R_OK), 0);
    EXPECT_EQ(faccessat(AT_FDCWD, "/etc/eth8.cfg", R_OK, 0), 0);
    EXPECT_EQ(rename("/etc/eth8.cfg", "/etc/eth7.cfg"), 0);
    EXPECT_EQ(ReadFileBytes(sb.path("etc/eth7.cfg")), (std::vector<uint8_t>{'a'}));
    EXPECT_EQ(unlink("/etc/eth7.cfg"), 0);
    EXPECT_FALSE(std::filesystem::exists(sb.path("etc/eth7.cfg")));
    fd = creat("/opt/tavlo/new", 0644);
    EXPECT_GE(fd, 0);
    close(fd);
    EXPECT_EQ(remove("/opt/tavlo/new"), 0);
    EXPECT_EQ(mkdir("/opt/tavlo/made", 0755), 0);
    EXPECT_TRUE(std::filesystem::is_directory(sb.path("opt/tavlo/made")));
    DIR *d = opendir("/opt/tavlo");
    EXPECT_NE(d, nullptr);
    if (d)
        closedir(d);
    char resolved[PATH_MAX];
    ASSERT_NE(realpath("/opt/tavlo/helpml", resolved), nullptr);
    EXPECT_EQ(std::string(resolved),
              std::filesystem::canonical(sb.path("opt/tavlo/helpml")).string());

    // Without a root nothing is redirected.
    unsetenv("SIMDRIVER_ROOT");
    EXPECT_NE(access("/etc/eth9.cfg", F_OK), 0);
    EXPECT_NE(access("/opt/tavlo/OXU.PRFS", F_OK), 0);
    setenv("SIMDRIVER_ROOT", sb.dir().c_str(), 1);
    EXPECT_EQ(access("/etc/eth9.cfg", F_OK), 0);
}

// The outcome of a call that returns a count or -1 with errno.
template <class F>
Outcome Try(F call)
{
    errno = kUntouched;
    const long rc = long(call());
    return {int(rc), rc < 0 ? errno : 0};
}

// Names, kinds, sizes, modes, owners and modification times of what a folder
// holds, one line each in name order: any change shows.
std::string FolderState(const std::string &dir)
{
    std::vector<std::string> lines;
    for (const auto &e : std::filesystem::directory_iterator(dir)) {
        struct stat st {};
        lstat(e.path().c_str(), &st);
        std::ostringstream line;
        line << e.path().filename().string() << " " << std::oct << st.st_mode << std::dec << " "
             << st.st_size << " " << st.st_uid << " " << st.st_mtim.tv_sec << "."
             << st.st_mtim.tv_nsec;
        lines.push_back(line.str());
    }
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const auto &l : lines)
        out += l + "\n";
    return out;
}

// The folder /etc itself leads in (so that a program can flush it), and the
// calls that replacing a file takes work on the sandbox copies.
TEST_F(SimDriver, ReplacingAProfileFileWorksInTheSandbox)
{
    Sandbox sb;
    struct stat fixed {}, copy {}, real {};
    ASSERT_EQ(stat("/etc", &fixed), 0);
    ASSERT_EQ(stat(sb.path("etc").c_str(), &copy), 0);
    EXPECT_EQ(fixed.st_ino, copy.st_ino);
    EXPECT_EQ(fixed.st_dev, copy.st_dev);
    ASSERT_EQ(stat("/etc/", &real), 0) << "only \"/etc\" written exactly so";
    EXPECT_NE(real.st_ino, copy.st_ino);
    int dirfd = open("/etc", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dirfd, 0);
    EXPECT_EQ(fsync(dirfd), 0);
    close(dirfd);

    // A symbolic link keeps its text; the program resolves it itself.
    WriteFileBytes(sb.path("etc/eth1.cfg"), {1, 2, 3});
    ASSERT_EQ(symlink("/etc/eth1.cfg", "/etc/eth0.cfg"), 0);
    char target[64] = {};
    ASSERT_EQ(readlink("/etc/eth0.cfg", target, sizeof target), 13);
    EXPECT_STREQ(target, "/etc/eth1.cfg");
    EXPECT_EQ(std::filesystem::read_symlink(sb.path("etc/eth0.cfg")), "/etc/eth1.cfg");
    std::memset(target, 0, sizeof target);
    EXPECT_EQ(readlinkat(AT_FDCWD, "/etc/eth0.cfg", target, sizeof target), 13);
    auto readlink_chk = reinterpret_cast<ssize_t (*)(const char *, char *, size_t, size_t)>(
        dlsym(RTLD_DEFAULT, "__readlink_chk"));
    ASSERT_NE(readlink_chk, nullptr);
    EXPECT_EQ(readlink_chk("/etc/eth0.cfg", target, sizeof target, sizeof target), 13);
    int root_fd = open("/", O_RDONLY | O_DIRECTORY);
    EXPECT_EQ(Try([&] { return readlinkat(root_fd, "etc/eth0.cfg", target, sizeof target); }),
              Failed(ENOENT))
        << "a relative path stays as it is";
    close(root_fd);
    ASSERT_EQ(symlinkat("eth1.cfg", AT_FDCWD, "/etc/eth3.cfg"), 0);
    EXPECT_EQ(std::filesystem::read_symlink(sb.path("etc/eth3.cfg")), "eth1.cfg");

    // The damaged file kept beside it, a new image under a temporary name.
    ASSERT_EQ(link("/etc/eth1.cfg", "/etc/eth1.cfg.damaged"), 0);
    ASSERT_EQ(linkat(AT_FDCWD, "/etc/eth1.cfg", AT_FDCWD, "/etc/eth1.cfg.old", 0), 0);
    EXPECT_EQ(std::filesystem::hard_link_count(sb.path("etc/eth1.cfg")), 3u);
    char tmpl[] = "/etc/eth1.cfg.new-XXXXXX";
    int fd = mkstemp(tmpl);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(std::string(tmpl).substr(0, 18), "/etc/eth1.cfg.new-");
    // Filled in (a random letter may itself be an X, but not all six).
    EXPECT_NE(std::string(tmpl).substr(18), "XXXXXX") << tmpl;
    ASSERT_EQ(write(fd, "new", 3), 3);
    EXPECT_EQ(fsync(fd), 0);
    EXPECT_EQ(close(fd), 0);
    EXPECT_EQ(ReadFileBytes(sb.path(tmpl + 1)), (std::vector<uint8_t>{'n', 'e', 'w'}));
    EXPECT_EQ(Try([&] { return renameat2(AT_FDCWD, tmpl, AT_FDCWD, "/etc/eth1.cfg", RENAME_NOREPLACE); }),
              Failed(EEXIST));
    ASSERT_EQ(renameat(AT_FDCWD, tmpl, AT_FDCWD, "/etc/eth1.cfg"), 0);
    EXPECT_EQ(ReadFileBytes(sb.path("etc/eth1.cfg")), (std::vector<uint8_t>{'n', 'e', 'w'}));
    EXPECT_EQ(ReadFileBytes(sb.path("etc/eth1.cfg.damaged")), (std::vector<uint8_t>{1, 2, 3}));

    // Owner, mode and times of the sandbox copy.
    EXPECT_EQ(chown("/etc/eth1.cfg", 4321, 4321), 0);
    EXPECT_EQ(lchown("/etc/eth0.cfg", 4322, 4322), 0);
    EXPECT_EQ(fchownat(AT_FDCWD, "/etc/eth1.cfg.old", 4323, 4323, 0), 0);
    EXPECT_EQ(fchmodat(AT_FDCWD, "/etc/eth1.cfg", 0600, 0), 0);
    const timespec times[2] = {{1000, 0}, {2000, 0}};
    EXPECT_EQ(utimensat(AT_FDCWD, "/etc/eth1.cfg.damaged", times, 0), 0);
    struct stat st {};
    ASSERT_EQ(stat(sb.path("etc/eth1.cfg").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(lstat(sb.path("etc/eth0.cfg").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4322u);
    ASSERT_EQ(stat(sb.path("etc/eth1.cfg.old").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4323u);
    ASSERT_EQ(stat(sb.path("etc/eth1.cfg.damaged").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 2000);

    EXPECT_EQ(mkdirat(AT_FDCWD, "/opt/tavlo/made", 0755), 0);
    EXPECT_TRUE(std::filesystem::is_directory(sb.path("opt/tavlo/made")));
    EXPECT_EQ(rmdir("/opt/tavlo/made"), 0);
    EXPECT_EQ(unlinkat(AT_FDCWD, "/etc/eth1.cfg.old", 0), 0);
    EXPECT_FALSE(std::filesystem::exists(sb.path("etc/eth1.cfg.old")));
}

// A sandbox path that does not fit fails rather than touching the real file,
// for every call that leads in.
TEST_F(SimDriver, EveryNewPathCallRefusesASandboxPathTooLong)
{
    Sandbox sb;
    const std::string root = "/tmp/" + std::string(4090, 'x');
    setenv("SIMDRIVER_ROOT", root.c_str(), 1);
    char out[64];
    char tmpl[] = "/etc/eth0.cfg.new-XXXXXX";
    const timespec times[2] = {};
    auto readlink_chk = reinterpret_cast<ssize_t (*)(const char *, char *, size_t, size_t)>(
        dlsym(RTLD_DEFAULT, "__readlink_chk"));
    auto readlinkat_chk = reinterpret_cast<ssize_t (*)(int, const char *, char *, size_t, size_t)>(
        dlsym(RTLD_DEFAULT, "__readlinkat_chk"));
    ASSERT_NE(readlink_chk, nullptr);
    ASSERT_NE(readlinkat_chk, nullptr);
    const char *const a = "/etc/eth0.cfg", *const b = "/tmp/simdrv-elsewhere";
    const struct {
        const char *name;
        std::function<long()> call;
    } calls[] = {
        {"stat /etc", [] { struct stat st; return stat("/etc", &st); }},
        {"readlink", [&] { return readlink(a, out, sizeof out); }},
        {"readlinkat", [&] { return readlinkat(AT_FDCWD, a, out, sizeof out); }},
        {"__readlink_chk", [&] { return readlink_chk(a, out, sizeof out, sizeof out); }},
        {"__readlinkat_chk", [&] { return readlinkat_chk(AT_FDCWD, a, out, sizeof out, sizeof out); }},
        {"renameat from", [&] { return renameat(AT_FDCWD, a, AT_FDCWD, b); }},
        {"renameat to", [&] { return renameat(AT_FDCWD, b, AT_FDCWD, a); }},
        {"renameat2", [&] { return renameat2(AT_FDCWD, b, AT_FDCWD, a, 0); }},
        {"link", [&] { return link(b, a); }},
        {"linkat", [&] { return linkat(AT_FDCWD, b, AT_FDCWD, a, 0); }},
        {"symlink", [&] { return symlink(b, a); }},
        {"symlinkat", [&] { return symlinkat(b, AT_FDCWD, a); }},
        {"unlinkat", [&] { return unlinkat(AT_FDCWD, a, 0); }},
        {"rmdir", [] { return rmdir("/opt/tavlo/x"); }},
        {"mkdirat", [] { return mkdirat(AT_FDCWD, "/opt/tavlo/x", 0755); }},
        {"chown", [&] { return chown(a, 0, 0); }},
        {"lchown", [&] { return lchown(a, 0, 0); }},
        {"fchownat", [&] { return fchownat(AT_FDCWD, a, 0, 0, 0); }},
        {"fchmodat", [&] { return fchmodat(AT_FDCWD, a, 0644, 0); }},
        {"utimensat", [&] { return utimensat(AT_FDCWD, a, times, 0); }},
        {"mkstemp", [&] { return mkstemp(tmpl); }},
    };
    for (const auto &c : calls)
        EXPECT_EQ(Try(c.call), Failed(ENAMETOOLONG)) << c.name;
    setenv("SIMDRIVER_ROOT", sb.dir().c_str(), 1);
}

// ---- file faults ----

std::string Text(const std::vector<uint8_t> &bytes) { return std::string(bytes.begin(), bytes.end()); }

off_t FileSize(int fd)
{
    struct stat st {};
    return fstat(fd, &st) == 0 ? st.st_size : -1;
}

// A disk that fails part-way: each descriptor puts AFTER bytes in all, the
// write that crosses the count is cut short, every later one fails.
TEST_F(SimDriver, WriteFaultCutsTheCrossingWriteAndFailsTheRest)
{
    Sandbox sb;
    sb.fileFail("etc/eth0.cfg", "write", EIO, 10);
    const struct {
        const char *name;
        std::function<ssize_t(int, const char *)> put;  // six bytes
    } calls[] = {
        {"write", [](int fd, const char *d) { return write(fd, d, 6); }},
        {"pwrite", [](int fd, const char *d) { return pwrite(fd, d, 6, FileSize(fd)); }},
        {"writev",
         [](int fd, const char *d) {
             iovec v[2] = {{const_cast<char *>(d), 3}, {const_cast<char *>(d + 3), 3}};
             return writev(fd, v, 2);
         }},
        {"pwritev",
         [](int fd, const char *d) {
             iovec v[2] = {{const_cast<char *>(d), 3}, {const_cast<char *>(d + 3), 3}};
             return pwritev(fd, v, 2, FileSize(fd));
         }},
    };
    for (const auto &c : calls) {
        const std::string name = std::string("/etc/eth0.cfg.new-") + c.name;
        int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0) << c.name;
        EXPECT_EQ(Try([&] { return c.put(fd, "abcdef"); }), (Outcome{6, 0})) << c.name;
        EXPECT_EQ(Try([&] { return c.put(fd, "ghijkl"); }), (Outcome{4, 0})) << c.name;
        EXPECT_EQ(Try([&] { return c.put(fd, "mnopqr"); }), Failed(EIO)) << c.name;
        EXPECT_EQ(Try([&] { return c.put(fd, "mnopqr"); }), Failed(EIO)) << c.name;
        close(fd);
        EXPECT_EQ(Text(ReadFileBytes(sb.path(name.substr(1)))), "abcdefghij") << c.name;
    }

    // A full file system takes no byte at all, nor lets a file grow.
    sb.fileFail("etc", "write", ENOSPC);
    int fd = open("/etc/simdrv.cfg", O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Try([&] { return write(fd, "x", 1); }), Failed(ENOSPC));
    EXPECT_EQ(Try([&] { return ftruncate(fd, 708); }), Failed(ENOSPC));
    EXPECT_EQ(Try([&] { return fallocate(fd, 0, 0, 708); }), Failed(ENOSPC));
    EXPECT_EQ(posix_fallocate(fd, 0, 708), ENOSPC);
    EXPECT_EQ(FileSize(fd), 0);
    EXPECT_EQ(ftruncate(fd, 0), 0) << "no growth";
    close(fd);
    // The longer REL wins for the files it names.
    fd = open("/etc/eth0.cfg", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Try([&] { return write(fd, "abcdefghijkl", 12); }), (Outcome{10, 0}));
    close(fd);
}

// Rules are read when a call needs them: one set by another process while a
// file is open applies to that descriptor, counting from its open.
TEST_F(SimDriver, FileFaultSetAfterTheOpenApplies)
{
    Sandbox sb;
    const std::string simctl = EnvPath("SIMCTL");
    int fd = open("/opt/tavlo/OXU.PRFS", O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "12345678", 8), 8);
    RunResult set = RunCommand(simctl + " filefail " + sb.dir() + " opt/tavlo/OXU.PRFS write 28 10");
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(Try([&] { return write(fd, "abcd", 4); }), (Outcome{2, 0}));
    EXPECT_EQ(Try([&] { return write(fd, "abcd", 4); }), Failed(ENOSPC));
    int again = open("/opt/tavlo/OXU.PRFS", O_WRONLY | O_APPEND);
    ASSERT_GE(again, 0);
    EXPECT_EQ(Try([&] { return write(again, "abcd", 4); }), (Outcome{4, 0})) << "a descriptor of its own";

    // none lifts the rules of that REL only; --clear all of them.
    sb.fileFail("opt/tavlo/OXU.PRFS", "close", EIO);
    sb.fileFail("opt", "sync", EROFS);
    ASSERT_EQ(RunCommand(simctl + " filefail " + sb.dir() + " opt/tavlo/OXU.PRFS none").status, 0);
    EXPECT_EQ(Try([&] { return write(fd, "abcd", 4); }), (Outcome{4, 0}));
    EXPECT_EQ(Try([&] { return fsync(fd); }), Failed(EROFS));
    ASSERT_EQ(RunCommand(simctl + " filefail " + sb.dir() + " --clear").status, 0);
    EXPECT_EQ(fsync(fd), 0);
    EXPECT_EQ(close(fd), 0);
    EXPECT_EQ(close(again), 0);
}

// A slow disk: each read of a matching file waits, whichever call makes it;
// other files are read at once.
TEST_F(SimDriver, SlowReadsWaitOnMatchingFilesOnly)
{
    Sandbox sb;
    WriteFileBytes(sb.path("etc/eth0.cfg"), std::vector<uint8_t>(64, 1));
    WriteFileBytes(sb.path("etc/other"), std::vector<uint8_t>(64, 2));
    int slow = open("/etc/eth0.cfg", O_RDONLY);
    int fast = open(sb.path("etc/other").c_str(), O_RDONLY);
    ASSERT_GE(slow, 0);
    ASSERT_GE(fast, 0);
    sb.fileFail("etc/eth0.cfg", "slow", 0, 300);
    uint8_t buf[64];
    const auto seconds = [](const std::function<ssize_t()> &call, ssize_t &got) {
        const auto start = std::chrono::steady_clock::now();
        got = call();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    ssize_t got = 0;
    EXPECT_GE(seconds([&] { return read(slow, buf, 10); }, got), 0.3);
    EXPECT_EQ(got, 10);
    EXPECT_GE(seconds([&] { return pread(slow, buf, sizeof buf, 0); }, got), 0.3);
    EXPECT_EQ(got, 64);
    EXPECT_LT(seconds([&] { return pread(fast, buf, sizeof buf, 0); }, got), 0.3);
    EXPECT_EQ(got, 64);
    sb.fileFail("etc/eth0.cfg", "none", 0);
    EXPECT_LT(seconds([&] { return read(slow, buf, sizeof buf); }, got), 0.3);
    close(slow);
    close(fast);
}

// fsync and fdatasync of a file or a folder, msync of a mapping, each failing
// where the rule names it and only there.
TEST_F(SimDriver, SyncFaultsNameFilesFoldersAndMappings)
{
    Sandbox sb;
    int file = open("/etc/eth0.cfg.new-1", O_RDWR | O_CREAT, 0644);
    int folder = open("/etc", O_RDONLY | O_DIRECTORY);
    int prefs = open("/opt/tavlo/OXU.PRFS", O_RDWR | O_CREAT, 0644);
    ASSERT_GE(file, 0);
    ASSERT_GE(folder, 0);
    ASSERT_GE(prefs, 0);
    ASSERT_EQ(ftruncate(prefs, 4096), 0);
    void *map = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, prefs, 0);
    ASSERT_NE(map, MAP_FAILED);
    close(prefs);  // the mapping stays the file's

    const struct {
        const char *rel;
        int file, folder, map;
    } cases[] = {
        {"etc/eth0.cfg", EIO, 0, 0},
        {"etc", EIO, EIO, 0},
        {"opt/tavlo/OXU.PRFS", 0, 0, EIO},
        {"opt/tavlo/OXU.PRFSX", 0, 0, 0},
    };
    auto outcome = [](int err) { return err ? Failed(err) : kOk; };
    for (const auto &c : cases) {
        sb.clearFileFaults();
        sb.fileFail(c.rel, "sync", c.file | c.folder | c.map);
        EXPECT_EQ(Try([&] { return fsync(file); }), outcome(c.file)) << c.rel;
        EXPECT_EQ(Try([&] { return fdatasync(file); }), outcome(c.file)) << c.rel;
        EXPECT_EQ(Try([&] { return fsync(folder); }), outcome(c.folder)) << c.rel;
        EXPECT_EQ(Try([&] { return fdatasync(folder); }), outcome(c.folder)) << c.rel;
        EXPECT_EQ(Try([&] { return msync(map, 4096, MS_SYNC); }), outcome(c.map)) << c.rel;
    }

    // Unmapped, the range is forgotten: another file mapped there syncs.
    sb.clearFileFaults();
    sb.fileFail("opt/tavlo/OXU.PRFS", "sync", EIO);
    ASSERT_EQ(munmap(map, 4096), 0);
    int other = open("/opt/tavlo/other", O_RDWR | O_CREAT, 0644);
    ASSERT_GE(other, 0);
    ASSERT_EQ(ftruncate(other, 4096), 0);
    void *again = mmap(map, 4096, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, other, 0);
    ASSERT_EQ(again, map);
    EXPECT_EQ(msync(again, 4096, MS_SYNC), 0);
    munmap(again, 4096);
    close(other);
    close(file);
    close(folder);
}

TEST_F(SimDriver, CloseFaultClosesAndThenFails)
{
    Sandbox sb;
    sb.fileFail("etc/eth0.cfg", "close", EIO);
    int fd = open("/etc/eth0.cfg", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    int copy = dup(fd);
    ASSERT_GE(copy, 0);
    EXPECT_EQ(Try([&] { return close(fd); }), Failed(EIO));
    EXPECT_EQ(Try([&] { return fcntl(fd, F_GETFD); }), Failed(EBADF)) << "closed all the same";
    EXPECT_EQ(Try([&] { return close(copy); }), Failed(EIO)) << "a duplicate names the file too";

    // A descriptor made another file's by dup2 is that file's.
    fd = open("/etc/eth0.cfg", O_RDONLY);
    int null = open("/dev/null", O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_GE(null, 0);
    ASSERT_EQ(dup2(null, fd), fd);
    EXPECT_EQ(close(fd), 0);
    EXPECT_EQ(close(null), 0);
    // So is one whose close the stand-in does not see (glibc's own, in
    // fclose) and that the kernel then hands out again.
    fd = open("/etc/eth0.cfg", O_RDONLY);
    ASSERT_GE(fd, 0);
    FILE *stream = fdopen(fd, "r");
    ASSERT_NE(stream, nullptr);
    std::fclose(stream);
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    EXPECT_EQ(pipe_fds[0], fd);
    EXPECT_EQ(close(pipe_fds[0]), 0);
    EXPECT_EQ(close(pipe_fds[1]), 0);
    fd = open("/opt/tavlo/OXU.PRFS", O_WRONLY | O_CREAT, 0644);
    EXPECT_EQ(close(fd), 0);
}

// A read-only /etc: every call that would change a matching path fails with
// the rule's errno and changes nothing; reading goes on.
TEST_F(SimDriver, OpenFaultRefusesEveryChangeOfAMatchingPath)
{
    Sandbox sb;
    WriteFileBytes(sb.path("etc/eth0.cfg"), {'o', 'l', 'd'});
    WriteFileBytes(sb.path("opt/tavlo/src"), {'s'});
    sb.fileFail("etc", "open", EROFS);
    const std::string before = FolderState(sb.path("etc"));
    char tmpl[] = "/etc/eth0.cfg.new-XXXXXX";
    const char *const cfg = "/etc/eth0.cfg", *const other = "/opt/tavlo/src";
    const struct {
        const char *name;
        std::function<long()> call;
    } calls[] = {
        {"open O_WRONLY|O_CREAT", [] { return open("/etc/eth0.cfg.new", O_WRONLY | O_CREAT, 0644); }},
        {"open O_RDWR", [&] { return open(cfg, O_RDWR); }},
        {"open O_RDONLY|O_TRUNC", [&] { return open(cfg, O_RDONLY | O_TRUNC); }},
        {"openat O_WRONLY", [&] { return openat(AT_FDCWD, cfg, O_WRONLY); }},
        {"creat", [] { return creat("/etc/eth1.cfg", 0644); }},
        {"mkstemp", [&] { return mkstemp(tmpl); }},
        {"fopen w", [&] { FILE *f = fopen(cfg, "w"); return f ? (std::fclose(f), 0) : -1; }},
        {"rename to", [&] { return rename(other, cfg); }},
        {"rename from", [&] { return rename(cfg, "/opt/tavlo/moved"); }},
        {"renameat to", [&] { return renameat(AT_FDCWD, other, AT_FDCWD, "/etc/eth1.cfg"); }},
        {"renameat2 to", [&] { return renameat2(AT_FDCWD, other, AT_FDCWD, "/etc/eth1.cfg", 0); }},
        {"unlink", [&] { return unlink(cfg); }},
        {"unlinkat", [&] { return unlinkat(AT_FDCWD, cfg, 0); }},
        {"remove", [&] { return remove(cfg); }},
        {"link", [&] { return link(other, "/etc/eth1.cfg"); }},
        {"linkat", [&] { return linkat(AT_FDCWD, other, AT_FDCWD, "/etc/eth1.cfg", 0); }},
        {"symlink", [&] { return symlink(other, "/etc/eth1.cfg"); }},
        {"mkdir", [] { return mkdir("/etc/eth1.cfg.d", 0755); }},
        {"chmod", [&] { return chmod(cfg, 0600); }},
        {"fchmodat", [&] { return fchmodat(AT_FDCWD, cfg, 0600, 0); }},
        {"chown", [&] { return chown(cfg, 4321, 4321); }},
        {"truncate", [&] { return truncate(cfg, 1); }},
        {"the folder itself", [] { return chmod("/etc", 0700); }},
    };
    for (const auto &c : calls)
        EXPECT_EQ(Try(c.call), Failed(EROFS)) << c.name;
    EXPECT_EQ(FolderState(sb.path("etc")), before);
    EXPECT_EQ(std::string(tmpl), "/etc/eth0.cfg.new-XXXXXX");
    EXPECT_TRUE(std::filesystem::exists(sb.path("opt/tavlo/src")));

    int fd = open(cfg, O_RDONLY);
    EXPECT_GE(fd, 0) << "reading is no change";
    close(fd);
    fd = open("/etc", O_RDONLY | O_DIRECTORY);
    EXPECT_GE(fd, 0);
    close(fd);
    EXPECT_EQ(rename(other, "/opt/tavlo/moved"), 0) << "outside the rule";

    // The errno is the rule's: a folder one may not write.
    sb.fileFail("etc", "open", EACCES);
    EXPECT_EQ(Try([] { return creat("/etc/eth1.cfg", 0644); }), Failed(EACCES));
}

// Faults stay inside their sandbox, and the stand-in's own files never get
// any: requests and changes go on whatever the rules say.
TEST_F(SimDriver, FileFaultsOnlyReachTheSandboxsOwnFiles)
{
    Sandbox sb;
    sb.fileFail("etc", "write", EIO);
    sb.fileFail("etc", "close", EIO);
    // A sibling folder whose name starts with the sandbox's.
    const std::string sibling = sb.dir() + "x";
    std::filesystem::create_directories(sibling + "/etc");
    int fd = open((sibling + "/etc/eth0.cfg").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(write(fd, "abc", 3), 3);
    EXPECT_EQ(close(fd), 0);
    std::filesystem::remove_all(sibling);

    for (const char *rel : {"a", "j", "l", "c", "f"})
        for (const char *op : {"write", "sync", "close", "open"})
            sb.fileFail(rel, op, EIO);
    sb.set("eth0", {"status.signal_level=33"});
    _STSTATUS st{};
    EXPECT_EQ(Radio("eth0").Rec(8, st), kOk);
    EXPECT_EQ(st.signal_level, 33);
    EXPECT_EQ(sb.journal().size(), 1u);

    for (const char *own : {"journal", "adapters/eth0.json", "lock", "filefaults"})
        EXPECT_THROW(sb.fileFail(own, "write", EIO), std::runtime_error) << own;
    for (const char *bad : {"", "/etc", "etc\tx"})
        EXPECT_THROW(sb.fileFail(bad, "write", EIO), std::runtime_error) << bad;
    EXPECT_THROW(sb.fileFail("etc", "sync", EIO, 10), std::runtime_error) << "only write counts";
    EXPECT_THROW(sb.fileFail("etc", "read", EIO), std::runtime_error);
}

TEST_F(SimDriver, SimctlFileFailTakesItsArgumentsAsFailDoes)
{
    Sandbox sb;
    const std::string simctl = EnvPath("SIMCTL") + " filefail ";
    const struct {
        std::string args;
        int status;
    } cases[] = {
        {sb.dir() + " etc write 5", 0},
        {sb.dir() + " etc write 28 708", 0},
        {sb.dir() + " etc/eth0.cfg sync 5", 0},
        {sb.dir() + " etc none", 0},
        {sb.dir() + " etc slow 50", 0},
        {sb.dir() + " --clear", 0},
        {sb.dir() + " etc slow", 2},
        {sb.dir() + " etc slow 5 10", 2},
        {sb.dir() + " etc write", 2},
        {sb.dir() + " etc read 5", 2},
        {sb.dir() + " etc sync 5 10", 2},
        {sb.dir() + " etc none 5", 2},
        {sb.dir() + " etc write EIO", 2},
        {sb.dir() + " etc write 5 -1", 2},
        {sb.dir() + " etc write 4096", 2},
        {sb.dir() + " etc write 5 1 2", 2},
        {sb.dir(), 2},
        {sb.dir() + " /etc write 5", 1},
        {sb.dir() + " journal write 5", 1},
        {sb.dir() + "-none etc write 5", 1},
    };
    for (const auto &c : cases) {
        RunResult r = RunCommand(simctl + c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        if (c.status == 2) {
            EXPECT_NE(r.err.find("usage:"), std::string::npos) << c.args;
        }
    }
}

// A program's own display and its waits, as a sandbox user asks for them.
TEST_F(SimDriver, DisplayAndWaitsFollowTheSandboxWhenAsked)
{
    Sandbox sb;
    setenv("SIMDRIVER_DISPLAY", ":77", 1);
    setenv("DISPLAY", "unix:0", 1);
    EXPECT_STREQ(getenv("DISPLAY"), ":77");
    setenv("SIMDRIVER_SLEEP_SCALE", "0", 1);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sleep(3), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));

    // Without the sandbox both are the program's own again.
    unsetenv("SIMDRIVER_ROOT");
    setenv("DISPLAY", "unix:0", 1);
    EXPECT_STREQ(getenv("DISPLAY"), "unix:0");
    unsetenv("SIMDRIVER_DISPLAY");
    unsetenv("SIMDRIVER_SLEEP_SCALE");
}

TEST_F(SimDriver, MissingInterfacesBadDescriptorsAndOtherIoctls)
{
    Sandbox sb({"eth0", "eth1"});
    _STSTATUS st{};
    EXPECT_EQ(Radio("eth0").Rec(8, st), kOk);
    EXPECT_EQ(Radio("eth5").Rec(8, st), Failed(ENODEV));
    uint32_t word = 0;
    EXPECT_EQ(Radio("eth5").Call(0x89F1, 4, &word, kIdentIoctl), Failed(ENODEV));

    sb.set("eth1", {"present=0"});
    EXPECT_EQ(Radio("eth1").Rec(8, st), Failed(ENODEV));
    sim::RemoveAdapter(sb.dir(), "eth0");
    EXPECT_EQ(Radio("eth0").Rec(8, st), Failed(ENODEV));
    sb.set("eth1", {"present=1"});

    Radio eth1("eth1");
    int closed = dup(eth1.sock());
    close(closed);
    EXPECT_EQ(eth1.Call(8, sizeof st, &st, kRecordIoctl, closed), Failed(EBADF));

    // Any other request goes to the kernel.
    int pending = -1;
    EXPECT_EQ(ioctl(eth1.sock(), FIONREAD, &pending), 0);
    EXPECT_EQ(pending, 0);

    // Without a root the private requests go to the kernel, not the stand-in
    // (to a name no real interface has, so that no real driver sees them).
    Radio nowhere("simdrv-none0");
    size_t before = sb.journal().size();
    unsetenv("SIMDRIVER_ROOT");
    EXPECT_EQ(nowhere.Rec(8, st), Failed(ENODEV));
    setenv("SIMDRIVER_ROOT", sb.dir().c_str(), 1);
    EXPECT_EQ(sb.journal().size(), before);
    nowhere.Rec(8, st);
    EXPECT_EQ(sb.journal().size(), before + 1);
}

TEST_F(SimDriver, LengthsIdentificationAndCarelessReads)
{
    Sandbox sb;
    Radio r("eth0");
    _STSTATUS st{};
    EXPECT_EQ(r.Call(8, sizeof st - 1, &st), Failed(EINVAL));
    EXPECT_EQ(r.Call(8, sizeof st, nullptr), Failed(EFAULT));
    EXPECT_EQ(r.Call(8, sizeof st, reinterpret_cast<void *>(16)), Failed(EFAULT));
    EXPECT_EQ(r.Call(4, 0, nullptr), Failed(EOPNOTSUPP));
    uint8_t scratch[2048] = {};
    EXPECT_EQ(r.Call(57, 7, scratch), kOk) << "radio off takes any length";
    EXPECT_EQ(r.Call(56, 2048, scratch), kOk);

    const struct {
        const char *ident;
        uint32_t answer;
    } idents[] = {{"0xa55a", 0xA55A}, {"0x1234", 0x1234}, {"none", 0xDEADBEEF}};
    for (const auto &c : idents) {
        sb.set("eth0", {std::string("ident=") + c.ident});
        uint32_t word = 0xDEADBEEF;
        EXPECT_EQ(r.Call(0x89F1, 999, &word, kIdentIoctl), kOk) << c.ident;
        EXPECT_EQ(word, c.answer) << c.ident;
    }

    // A careless driver writes only part of the record.
    sb.set("eth0", {"short.8=10"});
    std::vector<uint8_t> buf(sizeof st, 0xEE);
    EXPECT_EQ(r.Call(8, uint16_t(buf.size()), buf.data()), kOk);
    std::vector<uint8_t> image = sim::GetRecord(sb.dir(), "eth0", "status");
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 10, image.begin()));
    EXPECT_TRUE(std::all_of(buf.begin() + 10, buf.end(), [](uint8_t b) { return b == 0xEE; }));
}

TEST_F(SimDriver, InjectedFailuresCountDownAndMayLeaveErrnoZero)
{
    Sandbox sb;
    Radio r("eth0");
    _STSTATUS st{};
    CFG_R770 cfg{};

    sb.fail("eth0", 8, EAGAIN, 2);
    EXPECT_EQ(r.Rec(8, st), Failed(EAGAIN));
    EXPECT_EQ(r.Rec(8, st), Failed(EAGAIN));
    EXPECT_EQ(r.Rec(8, st), kOk);

    sb.fail("eth0", 8, 0);
    EXPECT_EQ(r.Rec(8, st), Failed(0)) << "errno is set to 0, not left as it was";
    EXPECT_EQ(r.Rec(8, st), kOk);

    sb.fail("eth0", 1, EIO, -1);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(r.Rec(1, cfg), Failed(EIO));
    EXPECT_EQ(r.Rec(8, st), kOk) << "other commands are unaffected";
    sb.fail("eth0", 1, EIO, 0);
    EXPECT_EQ(r.Rec(1, cfg), kOk);

    sb.fail("eth0", 0x89F1, ENODEV);
    uint32_t word = 0;
    EXPECT_EQ(r.Call(0x89F1, 4, &word, kIdentIoctl), Failed(ENODEV));
    EXPECT_EQ(word, 0u);

    // A failed write changes nothing.
    cfg.channel = 11;
    sb.fail("eth0", 53, EIO);
    EXPECT_EQ(r.Rec(53, cfg), Failed(EIO));
    EXPECT_EQ(sb.get("eth0", "config.channel"), "6");
}

TEST_F(SimDriver, JournalHoldsEveryRequestWithItsBytes)
{
    Sandbox sb;
    sb.clearJournal();
    _STSSID ssid{};
    ssid.entry[0].len = 3;
    std::memcpy(ssid.entry[0].text, "lab", 3);
    _STSTATUS st{};
    double t0 = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_EQ(Radio("eth0").Rec(54, ssid), kOk);
    EXPECT_EQ(Radio("eth0").Rec(8, st), kOk);
    EXPECT_EQ(Radio("eth7").Rec(8, st), Failed(ENODEV));
    double t1 = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();

    auto j = sb.journal();
    ASSERT_EQ(j.size(), 3u);
    const struct {
        const char *iface;
        int command, length, result, err;
        std::vector<uint8_t> sent;
    } want[] = {
        {"eth0", 54, 104, 0, 0, Bytes(ssid)},
        {"eth0", 8, 134, 0, 0, {}},
        {"eth7", 8, 134, -1, ENODEV, {}},
    };
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(j[i].iface, want[i].iface) << i;
        EXPECT_EQ(j[i].pid, getpid()) << i;
        EXPECT_EQ(j[i].code, kRecordIoctl) << i;
        EXPECT_EQ(j[i].command, want[i].command) << i;
        EXPECT_EQ(j[i].length, want[i].length) << i;
        EXPECT_EQ(j[i].result, want[i].result) << i;
        EXPECT_EQ(j[i].err, want[i].err) << i;
        EXPECT_EQ(j[i].sent, want[i].sent) << i;
        EXPECT_GE(j[i].time, t0 - 0.01);
        EXPECT_LE(j[i].time, t1 + 0.01);
    }

    RunResult text = RunCommand(EnvPath("SIMCTL") + " journal " + sb.dir());
    ASSERT_EQ(text.status, 0) << text.err;
    auto lines = Lines(text.out);
    ASSERT_EQ(lines.size(), 3u);
    auto fields = [](const std::string &line) {
        std::vector<std::string> f;
        std::istringstream in(line);
        for (std::string x; std::getline(in, x, '\t');)
            f.push_back(x);
        return f;
    };
    auto first = fields(lines[0]);
    ASSERT_EQ(first.size(), 9u);
    EXPECT_EQ(first[2], "eth0");
    EXPECT_EQ(first[3], "0x89f0");
    EXPECT_EQ(first[4], "54");
    EXPECT_EQ(first[8].substr(0, 14), "000003006c6162");
    EXPECT_EQ(fields(lines[1])[8], "-");

    sb.clearJournal();
    EXPECT_TRUE(sb.journal().empty());
}

TEST_F(SimDriver, StateIsSharedWithOtherProcesses)
{
    Sandbox sb;
    const std::string simctl = EnvPath("SIMCTL");
    Radio r("eth0");
    _STSSID ssid{};
    ssid.entry[0].len = 3;
    std::memcpy(ssid.entry[0].text, "lab", 3);
    CFG_R770 cfg{};
    ASSERT_EQ(r.Rec(1, cfg), kOk);
    cfg.channel = 11;
    ASSERT_EQ(r.Rec(54, ssid), kOk);
    ASSERT_EQ(r.Rec(53, cfg), kOk);

    RunResult shown = RunCommand(simctl + " show " + sb.dir() + " eth0");
    ASSERT_EQ(shown.status, 0) << shown.err;
    for (const char *line : {"config.channel=11", "status.cur_channel=11", "status.ssid=lab",
                             "status.ssid_len=3"})
        EXPECT_NE(shown.out.find(std::string("\n") + line + "\n"), std::string::npos) << line;

    // Another process takes the access point away while this one runs.
    RunResult set = RunCommand(simctl + " set " + sb.dir() + " eth0 status.signal_level=33 ap=0");
    ASSERT_EQ(set.status, 0) << set.err;
    _STSTATUS st{};
    ASSERT_EQ(r.Rec(8, st), kOk);
    EXPECT_EQ(st.signal_level, 33);
    EXPECT_EQ(st.status_word & 0x0022, 0x0002);

    // A bad assignment changes nothing, the good ones before it included.
    set = RunCommand(simctl + " set " + sb.dir() + " eth0 status.signal_level=44 config.channel=70000");
    EXPECT_EQ(set.status, 1);
    EXPECT_NE(set.err.find("config.channel=70000"), std::string::npos) << set.err;
    EXPECT_EQ(sb.get("eth0", "status.signal_level"), "33");
    EXPECT_EQ(RunCommand(simctl + " fail " + sb.dir() + " eth0 8").status, 2);

    // run finds the preload library and the sandbox by itself.
    WriteFileBytes(sb.path("etc/eth0.cfg"), {1});
    std::string run = "env -u LD_PRELOAD -u SIMDRIVER_ROOT " + simctl + " run " + sb.dir() + " -- ";
    EXPECT_EQ(RunCommand(run + "sh -c 'test -f /etc/eth0.cfg'").status, 0);
    EXPECT_EQ(RunCommand(run + "sh -c 'exit 7'").status, 7);
}

// Puts content into the file at path without changing what stat tells of it
// (inode, size, modification time), as a change within one tick of the file
// system's clock can look. The content must be of the file's size.
void RewriteKeepingIdentity(const std::string &path, const std::vector<uint8_t> &content)
{
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    ASSERT_EQ(content.size(), size_t(before.st_size));
    WriteFileBytes(path, content);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    struct stat after {};
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    ASSERT_EQ(after.st_ino, before.st_ino);
    ASSERT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

// A process keeps the state it has read while the sandbox is unchanged, and
// sees every change made under the sandbox's lock, also one that leaves the
// state file looking as it did.
TEST_F(SimDriver, KeptStateLastsUntilTheSandboxChanges)
{
    Sandbox sb;
    const std::string state = sb.path("adapters/eth0.json"), kept = sb.path("kept.json");
    Radio r("eth0");
    _STSTATUS st{};
    ASSERT_EQ(r.Rec(8, st), kOk);
    ASSERT_EQ(st.signal_level, 70);

    // Unchanged sandbox: the file is not read again (its bytes here would be
    // refused as corrupt).
    const std::vector<uint8_t> good = ReadFileBytes(state);
    RewriteKeepingIdentity(state, std::vector<uint8_t>(good.size(), ' '));
    ASSERT_EQ(r.Rec(8, st), kOk);
    EXPECT_EQ(st.signal_level, 70);
    RewriteKeepingIdentity(state, good);

    // Another process changes the level; the file that this process read
    // then comes back under the state's name with the new bytes, its inode,
    // size and modification time as before.
    ASSERT_EQ(link(state.c_str(), kept.c_str()), 0);
    RunResult set = RunCommand(EnvPath("SIMCTL") + " set " + sb.dir() + " eth0 status.signal_level=33");
    ASSERT_EQ(set.status, 0) << set.err;
    RewriteKeepingIdentity(kept, ReadFileBytes(state));
    ASSERT_EQ(rename(kept.c_str(), state.c_str()), 0);
    ASSERT_EQ(r.Rec(8, st), kOk);
    EXPECT_EQ(st.signal_level, 33);
}

// A child forked after its parent's requests is answered in its own memory
// and journaled under its own process id.
TEST_F(SimDriver, ForkedChildIsAnsweredInItsOwnMemory)
{
    Sandbox sb;
    Radio r("eth0");
    _STSTATUS st{};
    ASSERT_EQ(r.Rec(8, st), kOk);
    st = _STSTATUS{};
    sb.clearJournal();
    pid_t child = fork();
    if (child == 0) {
        const bool ok = r.Rec(8, st) == kOk && st.signal_level == 70;
        _exit(ok ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(st.signal_level, 0);  // the parent's record stays untouched
    const auto journal = sb.journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].pid, child);
}

// The flash dialogue that the firmware loader runs, one request per step.
struct Step {
    uint16_t command;
    int value;  // character, or block number
};
const uint8_t ESC = 0x1b;
const std::vector<Step> kFlash = {
    {100, 0},   {102, 0},   {101, '*'}, {103, 'L'},  {103, '\r'}, {101, ESC}, {104, 0},
    {101, ESC}, {104, 1},   {101, ESC}, {104, 2},    {101, ESC},  {104, 3},   {101, 0x80},
    {101, '*'}, {103, 'g'}, {103, '\r'}, {105, 0},
};

std::vector<uint8_t> Block(int k)
{
    std::vector<uint8_t> b(32768);
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = uint8_t(i * 7 + size_t(k));
    return b;
}

// Index of the first step that fails and its outcome; -1 when all pass.
std::pair<int, Outcome> RunDialogue(Radio &r, const std::vector<Step> &steps)
{
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step &s = steps[i];
        Outcome o;
        if (s.command == 101 || s.command == 103) {
            o = r.Word(s.command, uint32_t(s.value));
        } else if (s.command == 104) {
            auto b = Block(s.value);
            o = r.Call(104, uint16_t(b.size()), b.data());
        } else {
            o = r.Call(s.command, 0, nullptr);
        }
        if (!(o == kOk))
            return {int(i), o};
    }
    return {-1, kOk};
}

std::vector<Step> Without(std::vector<Step> steps, std::vector<size_t> drop)
{
    std::sort(drop.rbegin(), drop.rend());
    for (size_t i : drop)
        steps.erase(steps.begin() + long(i));
    return steps;
}

TEST_F(SimDriver, MonitorFollowsTheFlashDialogue)
{
    const struct {
        const char *behaviour;
        std::vector<Step> steps;
        int failing_step;
        int err;
    } cases[] = {
        {"", kFlash, -1, 0},
        {"monitor_refuse=1", kFlash, 1, EIO},
        {"monitor_drop=0", kFlash, 2, ETIMEDOUT},
        {"monitor_drop=3", kFlash, 9, ETIMEDOUT},
        {"monitor_drop=5", kFlash, 13, ETIMEDOUT},
        {"monitor_drop=6", kFlash, 14, ETIMEDOUT},
        {"monitor_fail_block=2", kFlash, 10, EIO},
        {"", Without(kFlash, {3, 4}), 3, EIO},  // ESC before "L", CR was sent
        {"", Without(kFlash, {5}), 5, EIO},     // block before its ESC
        {"", Without(kFlash, {1}), 1, EIO},     // prompt outside the monitor
        {"", Without(kFlash, {15, 16}), 15, EIO},  // restart before "g", CR
        {"", {{105, 0}}, -1, 0},                // plain restart outside the monitor
    };
    for (const auto &c : cases) {
        Sandbox sb;
        if (*c.behaviour)
            sb.set("eth0", {c.behaviour});
        Radio r("eth0");
        auto [step, outcome] = RunDialogue(r, c.steps);
        EXPECT_EQ(step, c.failing_step) << c.behaviour << " " << c.steps.size();
        EXPECT_EQ(outcome, c.failing_step < 0 ? kOk : Failed(c.err)) << c.behaviour;
    }

    // After a failed run a reset starts afresh and the blocks are kept in order.
    Sandbox sb;
    Radio r("eth0");
    EXPECT_EQ(RunDialogue(r, Without(kFlash, {5})).first, 5);
    EXPECT_EQ(RunDialogue(r, kFlash).first, -1);
    auto blocks = sim::FlashBlocks(sb.dir(), "eth0");
    ASSERT_EQ(blocks.size(), 4u);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(blocks[size_t(k)], Block(k)) << k;
    EXPECT_EQ(sb.get("eth0", "monitor.active"), "0");
}

TEST_F(SimDriver, WepKeysComeOutInIndexOrderThenTheSelector)
{
    Sandbox sb;
    Radio r("eth0");
    auto readout = [&](int n) {
        std::vector<_RID_wep_key> keys;
        for (int i = 0; i < n; ++i) {
            _RID_wep_key k{};
            EXPECT_EQ(r.Rec(i == 0 ? 6 : 7, k), kOk);
            keys.push_back(k);
        }
        return keys;
    };
    auto keys = readout(4);
    EXPECT_EQ(keys[0].key_index, 0);
    EXPECT_EQ(keys[0].key_len, 5);
    EXPECT_EQ(keys[0].length, 26);
    EXPECT_EQ(keys[1].key_index, 1);
    for (int i : {2, 3}) {
        EXPECT_EQ(keys[size_t(i)].key_index, 0xFFFF) << "the selector repeats";
        EXPECT_EQ(keys[size_t(i)].mac[0], 0);
        EXPECT_EQ(keys[size_t(i)].key_len, 0);
    }

    _RID_wep_key key3{};
    key3.length = 26;
    key3.key_index = 3;
    key3.mac[0] = 1;
    key3.key_len = 13;
    for (int i = 0; i < 13; ++i)
        key3.key[i] = uint8_t(0xA0 + i);
    _RID_wep_key sel{};
    sel.length = 26;
    sel.key_index = 0xFFFF;
    sel.mac[0] = 3;
    EXPECT_EQ(r.Rec(60, key3), kOk);
    EXPECT_EQ(r.Rec(59, sel), kOk);
    keys = readout(4);
    EXPECT_EQ(keys[1].key_index, 1);
    EXPECT_EQ(Bytes(keys[2]), Bytes(key3));
    EXPECT_EQ(Bytes(keys[3]), Bytes(sel));
    EXPECT_EQ(sb.get("eth0", "wep.3"), "a0a1a2a3a4a5a6a7a8a9aaabac");
    EXPECT_EQ(sb.get("eth0", "wep.3.persistent"), "1");
    EXPECT_EQ(sb.get("eth0", "wep.tx"), "3");
    EXPECT_EQ(sb.get("eth0", "wep.tx.persistent"), "0");

    _RID_wep_key bad = key3;
    bad.key_index = 7;
    EXPECT_EQ(r.Rec(60, bad), Failed(EINVAL));

    sb.set("eth0", {"wep.0=none", "wep.1=none", "wep.3=none"});
    keys = readout(1);
    EXPECT_EQ(keys[0].key_index, 0xFFFF) << "no keys: the selector comes first";
}

TEST_F(SimDriver, WepReadoutCanBeSetAsACarelessDriverHandsItOut)
{
    Sandbox sb;
    Radio r("eth0");
    _RID_wep_key odd{};
    odd.length = 26;
    odd.key_index = 9;
    odd.key_len = 40;
    odd.key[12] = 0x77;
    _RID_wep_key sel{};
    sel.key_index = 0xFFFF;
    sel.mac[0] = 0x02;
    sel.mac[1] = 0x01;
    const std::string images = HexImage(odd) + "," +
                               HexImage(sel);
    sb.set("eth0", {"wep.readout=" + images});
    EXPECT_EQ(sb.get("eth0", "wep.readout"), images);

    // Past the end: the last record again, the first again, or a failure.
    const struct {
        const char *end;
        Outcome third;
        uint16_t third_index;
    } cases[] = {{"repeat", kOk, 0xFFFF}, {"wrap", kOk, 9}, {"fail", Failed(ENODATA), 0}};
    for (const auto &c : cases) {
        sb.set("eth0", {std::string("wep.end=") + c.end});
        _RID_wep_key k{};
        ASSERT_EQ(r.Rec(6, k), kOk);
        EXPECT_EQ(Bytes(k), Bytes(odd)) << c.end;
        ASSERT_EQ(r.Rec(7, k), kOk);
        EXPECT_EQ(Bytes(k), Bytes(sel)) << c.end;
        k = _RID_wep_key{};
        EXPECT_EQ(r.Rec(7, k), c.third) << c.end;
        EXPECT_EQ(k.key_index, c.third_index) << c.end;
    }

    // Writes still reach the store; "none" gives the store's readout back.
    _RID_wep_key key2{};
    key2.length = 26;
    key2.key_index = 2;
    key2.key_len = 5;
    ASSERT_EQ(r.Rec(60, key2), kOk);
    _RID_wep_key k{};
    ASSERT_EQ(r.Rec(6, k), kOk);
    EXPECT_EQ(k.key_index, 9);
    sb.set("eth0", {"wep.readout=none", "wep.end=repeat", "wep.tx=0x0304"});
    std::vector<uint16_t> indexes;
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(r.Rec(i == 0 ? 6 : 7, k), kOk);
        indexes.push_back(k.key_index);
    }
    EXPECT_EQ(indexes, (std::vector<uint16_t>{0, 1, 2, 0xFFFF}));
    EXPECT_EQ(k.mac[0], 0x04);
    EXPECT_EQ(k.mac[1], 0x03) << "a 16-bit transmit index";
    EXPECT_EQ(sb.get("eth0", "wep.tx"), "772");

    for (const char *bad : {"wep.readout=00", "wep.end=never", "wep.tx=65536"})
        EXPECT_THROW(sb.set("eth0", {bad}), std::runtime_error) << bad;
    std::string seventeen = images;
    for (int i = 0; i < 15; ++i)
        seventeen += "," + HexImage(sel);
    EXPECT_THROW(sb.set("eth0", {"wep.readout=" + seventeen}), std::runtime_error);
}

TEST_F(SimDriver, ZunaAuthenticationAfterTheConfiguredStatusReads)
{
    const struct {
        const char *auth_after;
        const char *auth_mode;
        int first_read_with_bit;  // -1: never within six reads
    } cases[] = {{"2", "0x1001", 2}, {"0", "0x1100", 0}, {"-1", "0x1001", -1},
                 // Without the ZUNA bit in the configuration, never.
                 {"0", "0x0101", -1}};
    for (const auto &c : cases) {
        Sandbox sb;
        sb.set("eth0", {std::string("auth_after=") + c.auth_after,
                        std::string("config.auth_mode=") + c.auth_mode});
        Radio r("eth0");
        uint8_t scratch[64] = {};
        tdsRidZunaUsername user{};
        user.name_len = 4 | ZUNA_PERSIST_BIT;
        std::memcpy(user.name, "anna", 4);
        tdsRidZunaPassword pass{};
        pass.hash_len = 32;
        pass.hash[0] = 0x5c;
        ASSERT_EQ(r.Call(57, 0, scratch), kOk);
        ASSERT_EQ(r.Rec(62, user), kOk);
        ASSERT_EQ(r.Rec(61, pass), kOk);
        ASSERT_EQ(r.Call(56, 0, scratch), kOk);
        int first = -1;
        for (int i = 0; i < 6 && first < 0; ++i) {
            _STSTATUS st{};
            ASSERT_EQ(r.Rec(8, st), kOk);
            if (st.status_word & STATUS_AUTHENTICATED)
                first = i;
        }
        EXPECT_EQ(first, c.first_read_with_bit) << c.auth_after << " " << c.auth_mode;
        EXPECT_EQ(sim::GetRecord(sb.dir(), "eth0", "user"), Bytes(user));
        EXPECT_EQ(sb.get("eth0", "user.name_len"), "0x8004");

        ASSERT_EQ(r.Call(57, 0, scratch), kOk);
        _STSTATUS st{};
        ASSERT_EQ(r.Rec(8, st), kOk);
        EXPECT_EQ(st.status_word & 0x0062, 0) << "radio off drops all three bits";
    }
}

TEST_F(SimDriver, StatisticsRunWithTheClockAndClear)
{
    Sandbox sb;
    Radio r("eth0");
    sb.set("eth0", {"stats_rate=0"});
    _STSTATISTICS32 since1{}, since2{}, total1{}, total2{};
    ASSERT_EQ(r.Rec(10, since1), kOk);
    ASSERT_EQ(r.Rec(9, total1), kOk);
    ASSERT_EQ(r.Rec(10, since2), kOk);
    EXPECT_EQ(Bytes(since1), Bytes(since2)) << "rate 0 freezes the counters";
    EXPECT_LT(since1.Counter(0xb8), total1.Counter(0xb8));

    _STSTATISTICS32 zeros{};
    ASSERT_EQ(r.Rec(58, zeros), kOk);
    ASSERT_EQ(r.Rec(10, since2), kOk);
    ASSERT_EQ(r.Rec(9, total2), kOk);
    EXPECT_EQ(Bytes(since2), Bytes(zeros));
    EXPECT_EQ(Bytes(total2), Bytes(total1)) << "the cumulative set survives a clear";

    sb.set("eth0", {"stats_rate=1000"});
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    ASSERT_EQ(r.Rec(10, since2), kOk);
    ASSERT_EQ(r.Rec(9, total2), kOk);
    uint32_t grown = since2.Counter(0xb8);
    EXPECT_GE(grown, 1000u);
    EXPECT_GE(since2.uptime, 1u);
    EXPECT_EQ(total2.Counter(0xb8) - total1.Counter(0xb8), grown);
    EXPECT_EQ(total2.uptime - total1.uptime, since2.uptime);
    EXPECT_EQ(total2.Counter(0x00), total1.Counter(0x00)) << "undisplayed counters stand still";
}

// Polls until ready() holds or ten seconds have passed.
template <class F>
bool WaitFor(F ready)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// The system call that process pid is blocked in, -1 when it runs or is
// gone.
long BlockedIn(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/syscall");
    std::string first;
    if (!(in >> first) || first == "running")
        return -1;
    return std::strtol(first.c_str(), nullptr, 10);
}

#ifdef SYS_pause
constexpr long kWaitCall = SYS_pause;
#else
constexpr long kWaitCall = SYS_ppoll;
#endif

int hang_pipe = -1;

// Ends a child of the test however the test ends; only ever that process.
struct Reaper {
    pid_t pid;
    bool reaped = false;
    ~Reaper()
    {
        if (pid > 0 && !reaped) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    // Waits up to ten seconds for the child's end; false when it goes on.
    bool Ended(int *status)
    {
        reaped = WaitFor([&] { return waitpid(pid, status, WNOHANG) == pid; });
        return reaped;
    }
};

// A request that never returns holds up only its caller: other processes'
// requests to the same adapter and to others go on, a signal handler does
// not end the wait, the end of the process does.
TEST_F(SimDriver, HangingRequestHoldsUpOnlyItsCaller)
{
    Sandbox sb({"eth0", "eth1"});
    sb.set("eth0", {"hang.53=1", "hang.ident=1"});
    const std::string shown = sim::Show(sb.dir(), "eth0");
    EXPECT_NE(shown.find("\nhang.53=1\n"), std::string::npos);
    EXPECT_NE(shown.find("\nhang.ident=1\n"), std::string::npos);
    sb.set("eth0", {"hang.ident=none"});
    EXPECT_EQ(sb.get("eth0", "hang.ident"), "none");
    EXPECT_THROW(sb.set("eth0", {"hang.53=2"}), std::runtime_error);

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    CFG_R770 cfg{};
    cfg.channel = 11;
    const pid_t hanging = fork();
    ASSERT_GE(hanging, 0);
    if (hanging == 0) {
        hang_pipe = fds[1];
        struct sigaction sa {};
        sa.sa_handler = [](int) { (void)!write(hang_pipe, "h", 1); };
        sigaction(SIGUSR1, &sa, nullptr);
        const Outcome o = Radio("eth0").Rec(53, cfg);
        (void)!write(hang_pipe, "r", 1);
        _exit(o == kOk ? 0 : 1);
    }
    close(fds[1]);
    Reaper hang_reaper{hanging};

    // Read without the sandbox's lock, which a hanging request must not hold.
    const std::string line_of_child = "\t" + std::to_string(hanging) + "\t";
    ASSERT_TRUE(WaitFor([&] {
        return Text(ReadFileBytes(sb.path("journal"))).find(line_of_child) != std::string::npos;
    }));
    ASSERT_TRUE(WaitFor([&] { return BlockedIn(hanging) == kWaitCall; }));

    // Another process's requests, to the other adapter and to this one.
    const pid_t other = fork();
    ASSERT_GE(other, 0);
    if (other == 0) {
        _STSTATUS st{};
        const bool ok = Radio("eth1").Rec(8, st) == kOk && Radio("eth0").Rec(8, st) == kOk &&
                        st.cur_channel == 6;  // the hanging write did nothing
        _exit(ok ? 0 : 1);
    }
    Reaper other_reaper{other};
    int status = -1;
    ASSERT_TRUE(other_reaper.Ended(&status)) << "held up by the hanging request";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    const auto j = sb.journal();
    ASSERT_EQ(j.size(), 3u);
    EXPECT_EQ(j[0].pid, hanging);
    EXPECT_EQ(j[0].command, 53);
    EXPECT_EQ(j[0].result, -1);
    EXPECT_EQ(j[0].err, EINPROGRESS);
    EXPECT_EQ(j[0].sent, Bytes(cfg));

    // The handler runs, and the request goes on waiting.
    ASSERT_EQ(kill(hanging, SIGUSR1), 0);
    char c = 0;
    ASSERT_EQ(read(fds[0], &c, 1), 1);
    EXPECT_EQ(c, 'h');
    EXPECT_TRUE(WaitFor([&] { return BlockedIn(hanging) == kWaitCall; }))
        << "the request came back after the signal";

    EXPECT_EQ(waitpid(hanging, &status, WNOHANG), 0);
    ASSERT_EQ(kill(hanging, SIGTERM), 0);
    ASSERT_TRUE(hang_reaper.Ended(&status));
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    close(fds[0]);
}

volatile sig_atomic_t alarm_rang = 0;

// A program's timeouts shrink with its waits, to fractions of a second but
// never to a cancel; alarm's answer counts the program's own seconds.
TEST_F(SimDriver, AlarmsShrinkWithTheWaitsAndAreRecorded)
{
    Sandbox sb;
    struct sigaction sa {}, old {};
    sa.sa_handler = [](int) { alarm_rang = 1; };
    ASSERT_EQ(sigaction(SIGALRM, &sa, &old), 0);
    auto pending = [] {
        itimerval t{};
        getitimer(ITIMER_REAL, &t);
        return double(t.it_value.tv_sec) + double(t.it_value.tv_usec) / 1e6;
    };

    setenv("SIMDRIVER_SLEEP_SCALE", "0.01", 1);
    EXPECT_EQ(alarm(30), 0u);
    EXPECT_GT(pending(), 0.2);
    EXPECT_LE(pending(), 0.3);
    EXPECT_EQ(alarm(100), 30u);
    EXPECT_EQ(alarm(0), 100u) << "whole seconds of the program's, rounded up";
    EXPECT_EQ(pending(), 0.0) << "alarm(0) cancels";

    for (const char *scale : {"0.01", "0.000001", "0"}) {
        setenv("SIMDRIVER_SLEEP_SCALE", scale, 1);
        alarm_rang = 0;
        alarm(1);
        EXPECT_TRUE(WaitFor([] { return alarm_rang != 0; })) << scale;
    }

    // Unscaled without the factor; the program's own without the sandbox.
    unsetenv("SIMDRIVER_SLEEP_SCALE");
    EXPECT_EQ(alarm(30), 0u);
    EXPECT_GT(pending(), 29.0);
    EXPECT_EQ(alarm(0), 30u);
    unsetenv("SIMDRIVER_ROOT");
    EXPECT_EQ(alarm(40), 0u);
    EXPECT_EQ(alarm(0), 40u);
    setenv("SIMDRIVER_ROOT", sb.dir().c_str(), 1);
    sigaction(SIGALRM, &old, nullptr);

    std::vector<std::string> recorded;
    for (const auto &c : sim::ReadCalls(sb.dir()))
        if (c.call.rfind("alarm ", 0) == 0 && c.pid == getpid())
            recorded.push_back(c.call);
    EXPECT_EQ(recorded, (std::vector<std::string>{"alarm 30", "alarm 100", "alarm 0", "alarm 1",
                                                  "alarm 1", "alarm 1", "alarm 30", "alarm 0"}));
}

TEST_F(SimDriver, FieldsParseStrictlyAndShowReadsBackThroughSet)
{
    Sandbox sb({"eth0", "eth1"});
    sb.set("eth0", {"caps.product_name=ABCDEFGHIJKLMNOP", "status.ap_name=a\\x01b\\\\",
                    "config.rates=2,4", "ssid.2.text=x", "ssid.2.len=40", "config.channel=0xe",
                    "wep.4=00112233445566778899aabbcc", "fail.8=11,3", "short.2=5",
                    "aplist.2=02:00:00:00:00:09", "status.ap_ip=192.168.5.1", "stats_rate=0",
                    "ident=none"});
    auto caps = FromBytes<_STCAPS>(sim::GetRecord(sb.dir(), "eth0", "caps"));
    EXPECT_EQ(std::string(caps.product_name, 16), "ABCDEFGHIJKLMNOP") << "no terminator";
    EXPECT_EQ(std::string(caps.firmware_version), "4.25");
    auto status = FromBytes<_STSTATUS>(sim::GetRecord(sb.dir(), "eth0", "status"));
    EXPECT_EQ(std::string(status.ap_name), "a\x01" "b\\");
    auto ssid = FromBytes<_STSSID>(sim::GetRecord(sb.dir(), "eth0", "ssid"));
    EXPECT_EQ(ssid.entry[1].len, 40);
    EXPECT_EQ(sb.get("eth0", "config.channel"), "14");

    const std::string before = sim::Show(sb.dir(), "eth0");
    for (const char *bad : {"config.channel=65536", "caps.region=-1", "config.home_flags=256",
                            "config.mac_addr=00:11:22:33:44", "config.rates=1,2,3,4,5,6,7,8,9",
                            "nosuch=1", "monitor_drop=7", "wep.0=123", "short.53=4",
                            "status.ap_ip=1.2.3", "status.ap_name=\\q", "config=hex:00",
                            "present"}) {
        EXPECT_THROW(sb.set("eth0", {"status.signal_level=1", bad}), std::runtime_error) << bad;
    }
    EXPECT_EQ(sim::Show(sb.dir(), "eth0"), before) << "a refused Set changes nothing";

    sb.set("eth1", {"stats_rate=0"});
    std::vector<std::string> lines = Lines(before);
    sb.set("eth1", lines);
    EXPECT_EQ(sim::Show(sb.dir(), "eth1"), before);
    for (const char *rec : {"caps", "config", "ssid", "aplist", "status", "stats", "cstats", "mic",
                            "micstats", "user", "password"})
        EXPECT_EQ(sim::GetRecord(sb.dir(), "eth1", rec), sim::GetRecord(sb.dir(), "eth0", rec))
            << rec;
}

} // namespace
