#include "file_replacement.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

namespace {

// A name for the new file beside the target that no other file has yet.
std::string TempName(const std::string &target)
{
    static const char digits[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    uint8_t random[8] = {};
    if (getrandom(random, sizeof random, GRND_NONBLOCK) != ssize_t(sizeof random)) {
        // Only unlikely to collide is needed: a name that is taken is tried again.
        uint64_t seed = uint64_t(getpid()) * 0x9E3779B97F4A7C15ull ^ uint64_t(clock());
        for (auto &r : random) {
            r = uint8_t(seed);
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        }
    }
    std::string name = target + ".new-";
    for (uint8_t r : random)
        name += digits[r % (sizeof digits - 1)];
    return name;
}

std::string Folder(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Some file systems have no files without a name; such a folder is written
// with a named one instead.
bool NoUnnamedFiles(int err) { return err == EOPNOTSUPP || err == EISDIR || err == EINVAL; }

constexpr int kTries = 16;

} // namespace

int WriteAll(int fd, const void *data, size_t n)
{
    const auto *p = static_cast<const uint8_t *>(data);
    while (n) {
        const ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return w < 0 ? errno : EIO;
        p += w;
        n -= size_t(w);
    }
    return 0;
}

bool FollowLinks(const char *path, std::string &out)
{
    std::string p = path;
    for (int i = 0; i < 40; ++i) {
        char buf[PATH_MAX];
        const ssize_t n = readlink(p.c_str(), buf, sizeof buf);
        if (n < 0) {
            if (errno != EINVAL && errno != ENOENT)
                return false;
            out = p;
            return true;
        }
        if (n == 0 || size_t(n) >= sizeof buf) {
            errno = n == 0 ? ENOENT : ENAMETOOLONG;
            return false;
        }
        const std::string link(buf, size_t(n));
        p = link[0] == '/' ? link : p.substr(0, p.rfind('/') + 1) + link;
    }
    errno = ELOOP;
    return false;
}

FileReplacement::FileReplacement(const char *path, mode_t mode)
{
    if (!FollowLinks(path, target_)) {
        Fail(errno);
        return;
    }
    if (lstat(target_.c_str(), &old_) == 0) {
        // A folder, pipe or device at the path is no file to put profiles in.
        if (!S_ISREG(old_.st_mode)) {
            Fail(S_ISDIR(old_.st_mode) ? EISDIR : EINVAL);
            return;
        }
        existed_ = true;
    } else if (errno != ENOENT) {
        Fail(errno);
        return;
    }
    const std::string folder = Folder(target_);
    if (!OpenUnnamed(folder) && !(NoUnnamedFiles(error_) && OpenNamed()))
        return;
    // What an administrator made of the file stays: its owner, then its mode
    // (a change of owner may clear mode bits).
    if (existed_ && (old_.st_uid != geteuid() || old_.st_gid != getegid()) &&
        fchown(fd_, old_.st_uid, old_.st_gid) != 0) {
        Fail(errno);
        return;
    }
    if (fchmod(fd_, existed_ ? (old_.st_mode & 07777) : mode) != 0)
        Fail(errno);
}

FileReplacement::~FileReplacement() { Discard(); }

bool FileReplacement::Fail(int err)
{
    error_ = err ? err : EIO;
    Discard();
    return false;
}

void FileReplacement::Discard()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    if (!temp_.empty() && !committed_)
        unlink(temp_.c_str());
    temp_.clear();
}

bool FileReplacement::OpenUnnamed(const std::string &folder)
{
    fd_ = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ < 0)
        return Fail(errno);
    unnamed_ = true;
    return true;
}

bool FileReplacement::OpenNamed()
{
    for (int i = 0; i < kTries; ++i) {
        std::string name = TempName(target_);
        fd_ = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            temp_ = name;
            unnamed_ = false;
            error_ = 0;
            return true;
        }
        if (errno != EEXIST)
            return Fail(errno);
    }
    return Fail(EEXIST);
}

// Gives the unnamed file a name beside the target, for the rename.
bool FileReplacement::Link()
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    for (int i = 0; i < kTries; ++i) {
        std::string name = TempName(target_);
        if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temp_ = name;
            return true;
        }
        if (errno != EEXIST)
            return Fail(errno);
    }
    return Fail(EEXIST);
}

bool FileReplacement::Write(const void *data, size_t n)
{
    if (fd_ < 0)
        return false;
    const int err = WriteAll(fd_, data, n);
    return err == 0 || Fail(err);
}

bool FileReplacement::CopyFrom(int from)
{
    uint8_t buf[65536];
    for (off_t at = 0;;) {
        const ssize_t r = pread(from, buf, sizeof buf, at);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return Fail(errno);
        if (r == 0)
            return true;
        if (!Write(buf, size_t(r)))
            return false;
        at += r;
    }
}

bool FileReplacement::Commit()
{
    if (fd_ < 0)
        return false;
    if (fsync(fd_) != 0)
        return Fail(errno);
    if (unnamed_ && !Link())
        return false;
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0)
        return Fail(errno);
    if (rename(temp_.c_str(), target_.c_str()) != 0)
        return Fail(errno);
    committed_ = true;
    temp_.clear();
    // The rename itself lasts only once the folder is on the disk.
    const int folder = open(Folder(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return Fail(errno);
    const bool flushed = fsync(folder) == 0;
    const int err = errno;
    if (close(folder) != 0 && flushed)
        return Fail(errno);
    return flushed || Fail(err);
}
