#include "sandbox_files.h"

#include <fcntl.h>
#include <net/if.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "file_faults.h"

namespace sim {

namespace {

constexpr size_t kMaxStateFile = 1 << 20;

// What tells one content of a state file from another without reading it.
struct FileIdentity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    timespec mtime{};

    explicit FileIdentity(const struct stat &st = {})
        : dev(st.st_dev), ino(st.st_ino), size(st.st_size), mtime(st.st_mtim)
    {
    }
    bool operator==(const FileIdentity &o) const
    {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec;
    }
};

// An adapter's state as this process last read or wrote it. A change by
// another process within one tick of the file system's clock can leave the
// file's identity as it was (an inode number comes back, the size is the
// same), so the sandbox's generation is compared as well.
struct KeptState {
    std::string dir;
    uint64_t generation = 0;
    FileIdentity file;
    AdapterState state;
};

// Bounded: a process that goes from sandbox to sandbox keeps only a few.
constexpr size_t kMaxKept = 16;

std::mutex kept_lock;

// Made on first use and never freed: requests may still come while the
// program's static objects are destroyed.
std::map<std::string, KeptState> &Kept()
{
    static auto *kept = new std::map<std::string, KeptState>;
    return *kept;
}

void Keep(const std::string &path, const std::string &dir, uint64_t generation,
          const FileIdentity &file, const AdapterState &s)
{
    std::lock_guard<std::mutex> guard(kept_lock);
    auto &kept = Kept();
    if (kept.size() >= kMaxKept && !kept.count(path))
        kept.clear();
    kept[path] = KeptState{dir, generation, file, s};
}

void Forget(const std::string &path)
{
    std::lock_guard<std::mutex> guard(kept_lock);
    Kept().erase(path);
}

// Reads at most max bytes; false when the file does not exist. identity,
// when given, receives that of the file read.
bool ReadFile(const std::string &path, size_t max, std::string &out, FileIdentity *identity)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return false;
        Bad("cannot read " + path + ": " + std::strerror(errno));
    }
    struct stat st {};
    if (identity && fstat(fd, &st) == 0)
        *identity = FileIdentity(st);
    out.clear();
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int e = errno;
            close(fd);
            Bad("cannot read " + path + ": " + std::strerror(e));
        }
        if (n == 0)
            break;
        if (out.size() + size_t(n) > max) {
            close(fd);
            Bad(path + " is too large");
        }
        out.append(buf, size_t(n));
    }
    close(fd);
    return true;
}

void WriteAll(int fd, const void *data, size_t n, const std::string &path)
{
    const char *p = static_cast<const char *>(data);
    while (n) {
        ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            Bad("cannot write " + path + ": " + std::strerror(errno));
        p += w;
        n -= size_t(w);
    }
}

// A file written and closed: its last data may only be reported lost at the
// close (NFS). Linux frees the descriptor even when close is interrupted.
bool Closed(int fd) { return close(fd) == 0 || errno == EINTR; }

// Replaces the file at once, so that no reader ever sees half of it.
// Returns the identity of the new file.
FileIdentity WriteAtomic(const std::string &path, const std::string &data)
{
    std::string tmp = path + ".tmp" + std::to_string(getpid());
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        Bad("cannot write " + tmp + ": " + std::strerror(errno));
    struct stat st {};
    try {
        WriteAll(fd, data.data(), data.size(), tmp);
        if (fstat(fd, &st) != 0)
            Bad("cannot write " + tmp + ": " + std::strerror(errno));
    } catch (...) {
        close(fd);
        unlink(tmp.c_str());
        throw;
    }
    if (!Closed(fd)) {
        int e = errno;
        unlink(tmp.c_str());
        Bad("cannot write " + tmp + ": " + std::strerror(e));
    }
    if (rename(tmp.c_str(), path.c_str()) != 0) {
        int e = errno;
        unlink(tmp.c_str());
        Bad("cannot write " + path + ": " + std::strerror(e));
    }
    return FileIdentity(st);  // a rename keeps the inode, size and modification time
}

} // namespace

std::string AdapterPath(const std::string &dir, const std::string &iface)
{
    return dir + "/adapters/" + iface + ".json";
}

std::string FlashPath(const std::string &dir, const std::string &iface)
{
    return dir + "/adapters/" + iface + ".flash";
}

std::string JournalPath(const std::string &dir) { return dir + "/journal"; }

std::string CallsPath(const std::string &dir) { return dir + "/calls"; }

std::string FileFaultsPath(const std::string &dir) { return dir + "/" + kFileFaultsName; }

bool ReadBounded(const std::string &path, size_t max, std::string &out)
{
    return ReadFile(path, max, out, nullptr);
}

void AppendFile(const std::string &path, const void *data, size_t n)
{
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        Bad("cannot append to " + path + ": " + std::strerror(errno));
    try {
        WriteAll(fd, data, n, path);
    } catch (...) {
        close(fd);
        throw;
    }
    if (!Closed(fd))
        Bad("cannot append to " + path + ": " + std::strerror(errno));
}

void ReplaceFile(const std::string &path, const std::string &data) { WriteAtomic(path, data); }

void TruncateFile(const std::string &path)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        Bad("cannot write " + path + ": " + std::strerror(errno));
    if (!Closed(fd))
        Bad("cannot write " + path + ": " + std::strerror(errno));
}

bool ValidIfaceName(const std::string &iface)
{
    if (iface.empty() || iface.size() >= IFNAMSIZ || iface == "." || iface == "..")
        return false;
    for (unsigned char c : iface)
        if (c <= 0x20 || c >= 0x7f || c == '/' || c == '\\')
            return false;
    return true;
}

bool LoadAdapter(const SandboxLock &lock, const std::string &dir, const std::string &iface,
                 AdapterState &s)
{
    const std::string path = AdapterPath(dir, iface);
    const uint64_t generation = lock.Generation();
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT)
            Bad("cannot read " + path + ": " + std::strerror(errno));
        Forget(path);
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(kept_lock);
        auto it = Kept().find(path);
        if (it != Kept().end() && it->second.generation == generation &&
            it->second.file == FileIdentity(st)) {
            s = it->second.state;
            return true;
        }
    }
    std::string text;
    FileIdentity file;
    if (!ReadFile(path, kMaxStateFile, text, &file)) {
        Forget(path);
        return false;
    }
    try {
        s = FromJson(text);
    } catch (...) {
        Forget(path);
        throw;
    }
    s.iface = iface;
    Keep(path, dir, generation, file, s);
    return true;
}

void SaveAdapter(SandboxLock &lock, const std::string &dir, const AdapterState &s)
{
    const std::string path = AdapterPath(dir, s.iface);
    const uint64_t before = lock.Generation();
    Forget(path);
    // Counted first: a change that fails half-way is counted all the same,
    // which costs the readers no more than one parse.
    const uint64_t generation = lock.NextGeneration();
    const FileIdentity file = WriteAtomic(path, ToJson(s));
    {
        // The other states of this sandbox read while nothing else changed
        // still hold after this change.
        std::lock_guard<std::mutex> guard(kept_lock);
        for (auto &kv : Kept())
            if (kv.second.dir == dir && kv.second.generation == before)
                kv.second.generation = generation;
    }
    Keep(path, dir, generation, file, s);
}

void RemoveAdapterFile(SandboxLock &lock, const std::string &dir, const std::string &iface)
{
    const std::string path = AdapterPath(dir, iface);
    Forget(path);
    lock.NextGeneration();
    if (unlink(path.c_str()) != 0)
        Bad("cannot remove " + path + ": " + std::strerror(errno));
}

void AppendFlashBlock(const std::string &dir, const std::string &iface, const uint8_t *block)
{
    AppendFile(FlashPath(dir, iface), block, kFlashBlockSize);
}

void ClearFlash(const std::string &dir, const std::string &iface)
{
    if (unlink(FlashPath(dir, iface).c_str()) != 0 && errno != ENOENT)
        Bad("cannot remove " + FlashPath(dir, iface) + ": " + std::strerror(errno));
}

} // namespace sim
