// The preload library: with SIMDRIVER_ROOT set, the driver's private ioctls
// are answered by the emulated adapters of that sandbox and the system's
// fixed paths lead into it; without it every call goes straight to libc.
// Calls on files inside a sandbox folder may be made to fail by the
// sandbox's file faults (file_faults.h).
//
// These functions can run before any constructor (other libraries' start-up
// code opens files), so they use no C++ statics that need initialising; the
// libc functions are looked up on first use.

// The fortified inline versions of open and friends would clash with the
// definitions below.
#undef _FORTIFY_SOURCE

#include <dirent.h>
#include <dlfcn.h>
#include <sched.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <string>

#include "emulated_adapter.h"
#include "file_faults.h"
#include "kdr770.h"
#include "sim_state.h"

// The pre-2.33 stat entry points, still exported by glibc for old binaries
// but no longer declared by its headers.
extern "C" {
int __xstat(int ver, const char *path, struct stat *buf);
int __xstat64(int ver, const char *path, struct stat64 *buf);
int __lxstat(int ver, const char *path, struct stat *buf);
int __lxstat64(int ver, const char *path, struct stat64 *buf);
int __fxstatat(int ver, int dirfd, const char *path, struct stat *buf, int flags);
int __fxstatat64(int ver, int dirfd, const char *path, struct stat64 *buf, int flags);
int __open_2(const char *path, int flags);
int __open64_2(const char *path, int flags);
int __openat_2(int dirfd, const char *path, int flags);
int __openat64_2(int dirfd, const char *path, int flags);
// What readlink and readlinkat become in a program built with _FORTIFY_SOURCE.
ssize_t __readlink_chk(const char *path, char *buf, size_t len, size_t buflen);
ssize_t __readlinkat_chk(int dirfd, const char *path, char *buf, size_t len, size_t buflen);
}

namespace {

void *Resolve(std::atomic<void *> &slot, const char *name)
{
    void *p = slot.load(std::memory_order_acquire);
    if (!p) {
        p = dlsym(RTLD_NEXT, name);
        slot.store(p, std::memory_order_release);
    }
    return p;
}

const char *Root()
{
    const char *root = getenv("SIMDRIVER_ROOT");
    return root && *root ? root : nullptr;
}

// path is prefix itself or lies below it.
bool Under(const char *path, const char *prefix)
{
    size_t n = strlen(prefix);
    return strncmp(path, prefix, n) == 0 && (path[n] == '\0' || path[n] == '/');
}

bool FixedPath(const char *path)
{
    static const char *const trees[] = {"/proc/vindral", "/proc/driver/vindral",
                                        "/proc/driver/tsv240", "/proc/tsv240", "/opt/tavlo"};
    for (const char *t : trees)
        if (Under(path, t))
            return true;
    // The lock that runs of the profile loader take turns on, and the
    // profiles' folder itself, which a program flushes after replacing a
    // profile file.
    if (strcmp(path, "/run/ostrel.lock") == 0 || strcmp(path, "/etc") == 0)
        return true;
    // "/etc/" NAME with ".cfg" in NAME and no '/': the profile files and the
    // files kept beside them (eth0.cfg.damaged, the temporary eth0.cfg.new-...).
    if (strncmp(path, "/etc/", 5) == 0) {
        const char *name = path + 5;
        return !strchr(name, '/') && strstr(name, ".cfg");
    }
    return false;
}

// The path to use: path itself, or its sandbox copy in buf. nullptr (errno
// ENAMETOOLONG) when the sandbox path does not fit: never fall back to the
// real file.
const char *Map(const char *path, char (&buf)[PATH_MAX])
{
    if (!path)
        return path;
    const char *root = Root();
    if (!root || !FixedPath(path))
        return path;
    size_t rn = strlen(root), pn = strlen(path);
    if (rn + pn + 1 > sizeof buf) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    memcpy(buf, root, rn);
    memcpy(buf + rn, path, pn + 1);
    return buf;
}

bool NeedsMode(int flags) { return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE; }

// An open that may change the file: what a read-only file system refuses.
bool WriteIntent(int flags)
{
    return (flags & O_ACCMODE) != O_RDONLY || (flags & (O_CREAT | O_TRUNC));
}

// ---- file faults ----
//
// A file lies in the sandbox when its path, as the program gave it and after
// the mapping above, starts with the sandbox folder. Only such files are
// looked at; every other call passes straight through.

// The part of path below the sandbox folder root, nullptr for a path outside
// it and for the stand-in's own files. *root_len receives the length of the
// folder's name without trailing slashes.
const char *SandboxRel(const char *path, const char *root, size_t *root_len)
{
    if (!path || !root)
        return nullptr;
    size_t n = strlen(root);
    while (n > 0 && root[n - 1] == '/')
        --n;
    if (n == 0 || strncmp(path, root, n) != 0 || path[n] != '/')
        return nullptr;
    const char *rel = path + n + 1;
    while (*rel == '/')
        ++rel;
    if (!*rel || sim::OwnSandboxFile(rel))
        return nullptr;
    *root_len = n;
    return rel;
}

// The rule for rel and op of the sandbox whose folder is the first root_len
// bytes of root. The rules file is read on every call that needs it, with
// plain system calls: no allocation, no descriptor of the program's, and
// errno left as it was.
bool FindRule(const char *root, size_t root_len, const char *rel, sim::FileOp op, int *err,
              long *after)
{
    static const char name[] = "/filefaults";
    char path[PATH_MAX];
    if (root_len + sizeof name > sizeof path)
        return false;
    memcpy(path, root, root_len);
    memcpy(path + root_len, name, sizeof name);
    const int saved = errno;
    const int fd = int(syscall(SYS_openat, AT_FDCWD, path, O_RDONLY | O_CLOEXEC));
    if (fd < 0) {
        errno = saved;
        return false;
    }
    char text[sim::kMaxFileFaults];
    size_t n = 0;
    while (n < sizeof text) {
        const long r = syscall(SYS_read, fd, text + n, sizeof text - n);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        n += size_t(r);
    }
    syscall(SYS_close, fd);
    errno = saved;
    return sim::MatchFileFault(text, n, rel, op, err, after);
}

// A call that would change path (the mapped one) fails when an "open" rule
// names it; errno is set then.
bool ChangeRefused(const char *path)
{
    const char *root = Root();
    size_t root_len = 0;
    const char *rel = SandboxRel(path, root, &root_len);
    int err = 0;
    long after = 0;
    if (!rel || !FindRule(root, root_len, rel, sim::FileOp::Open, &err, &after))
        return false;
    errno = err;
    return true;
}

// The descriptors opened on files in a sandbox, indexed by descriptor; higher
// descriptors and longer paths are not followed. An entry is changed only
// under its sequence number (odd while changing), so that a reader on another
// thread takes a consistent copy without a lock.
constexpr int kTrackedFds = 4096;
constexpr size_t kTrackedPath = 512;

struct TrackedFd {
    std::atomic<unsigned> seq;
    std::atomic<bool> used;
    std::atomic<long long> written;  // bytes written through it since its open
    dev_t dev;
    ino_t ino;
    size_t root_len;
    size_t rel_off;
    char path[kTrackedPath];
};
TrackedFd tracked[kTrackedFds];

// A copy of an entry: the file's sandbox folder is path[0, root_len), its
// name in the rules path + rel_off.
struct FileRef {
    dev_t dev;
    ino_t ino;
    size_t root_len;
    size_t rel_off;
    char path[kTrackedPath];
    const char *rel() const { return path + rel_off; }
};

// The cost of a call on any other descriptor: one load.
inline bool MaybeTracked(int fd)
{
    return fd >= 0 && fd < kTrackedFds && tracked[fd].used.load(std::memory_order_acquire);
}

unsigned BeginChange(TrackedFd &t)
{
    for (;;) {
        unsigned s = t.seq.load(std::memory_order_relaxed);
        if (!(s & 1) && t.seq.compare_exchange_weak(s, s + 1, std::memory_order_acquire))
            return s;
    }
}

void EndChange(TrackedFd &t, unsigned s) { t.seq.store(s + 2, std::memory_order_release); }

void Forget(int fd)
{
    if (!MaybeTracked(fd))
        return;
    TrackedFd &t = tracked[fd];
    unsigned s = BeginChange(t);
    t.used.store(false, std::memory_order_relaxed);
    EndChange(t, s);
}

void TrackRef(int fd, const FileRef &ref)
{
    if (fd < 0 || fd >= kTrackedFds)
        return;
    TrackedFd &t = tracked[fd];
    unsigned s = BeginChange(t);
    t.dev = ref.dev;
    t.ino = ref.ino;
    t.root_len = ref.root_len;
    t.rel_off = ref.rel_off;
    memcpy(t.path, ref.path, sizeof t.path);
    t.written.store(0, std::memory_order_relaxed);
    t.used.store(true, std::memory_order_relaxed);
    EndChange(t, s);
}

// Follows fd, just opened on path (the mapped one), when the file lies in
// the sandbox; otherwise makes sure that nothing of an earlier file whose
// close went unseen (fclose, close_range) sticks to the number.
void Track(int fd, const char *path)
{
    if (fd < 0 || fd >= kTrackedFds)
        return;
    const char *root = Root();
    size_t root_len = 0;
    const char *rel = SandboxRel(path, root, &root_len);
    struct stat st;
    const int saved = errno;
    if (!rel || strlen(path) >= kTrackedPath || fstat(fd, &st) != 0) {
        errno = saved;
        Forget(fd);
        return;
    }
    FileRef ref;
    ref.dev = st.st_dev;
    ref.ino = st.st_ino;
    ref.root_len = root_len;
    ref.rel_off = size_t(rel - path);
    strcpy(ref.path, path);
    TrackRef(fd, ref);
}

// A consistent copy of fd's entry, when fd is followed and still refers to
// the file it was opened on.
bool Snapshot(int fd, FileRef &out)
{
    if (!MaybeTracked(fd))
        return false;
    TrackedFd &t = tracked[fd];
    for (int tries = 0; tries < 1000; ++tries) {
        const unsigned s = t.seq.load(std::memory_order_acquire);
        if (s & 1)
            continue;
        if (!t.used.load(std::memory_order_relaxed))
            return false;
        out.dev = t.dev;
        out.ino = t.ino;
        out.root_len = t.root_len;
        out.rel_off = t.rel_off;
        memcpy(out.path, t.path, sizeof out.path);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (t.seq.load(std::memory_order_relaxed) != s)
            continue;
        out.path[sizeof out.path - 1] = '\0';
        struct stat st;
        const int saved = errno;
        const bool same = fstat(fd, &st) == 0 && st.st_dev == out.dev && st.st_ino == out.ino;
        errno = saved;
        if (!same)
            Forget(fd);
        return same;
    }
    return false;
}

bool RefRule(const FileRef &ref, sim::FileOp op, int *err, long *after)
{
    return FindRule(ref.path, ref.root_len, ref.rel(), op, err, after);
}

// The rule of op for the file behind fd; false for an untracked descriptor.
bool FdRule(int fd, sim::FileOp op, int *err, long *after)
{
    FileRef ref;
    return Snapshot(fd, ref) && RefRule(ref, op, err, after);
}

// How many of n bytes a write to fd may carry: n, fewer when the write
// crosses the rule's byte count, or -1 (errno set) when it must fail.
// *entry receives the entry that counts the bytes written, if any.
ssize_t WriteAllowance(int fd, size_t n, TrackedFd **entry)
{
    *entry = nullptr;
    FileRef ref;
    if (!Snapshot(fd, ref))
        return ssize_t(n);
    *entry = &tracked[fd];
    int err = 0;
    long after = 0;
    if (!RefRule(ref, sim::FileOp::Write, &err, &after))
        return ssize_t(n);
    const long long written = (*entry)->written.load(std::memory_order_relaxed);
    if (written >= after) {
        errno = err;
        return -1;
    }
    const unsigned long long room = (unsigned long long)(after - written);
    return room < n ? ssize_t(room) : ssize_t(n);
}

void Count(TrackedFd *entry, ssize_t written)
{
    if (entry && written > 0)
        entry->written.fetch_add(written, std::memory_order_relaxed);
}

// A growth of fd to length fails as a write would once the descriptor's
// writes fail (at once with a byte count of 0); errno is set then.
bool GrowthRefused(int fd, long long length)
{
    FileRef ref;
    if (!Snapshot(fd, ref))
        return false;
    int err = 0;
    long after = 0;
    if (!RefRule(ref, sim::FileOp::Write, &err, &after) ||
        tracked[fd].written.load(std::memory_order_relaxed) < after)
        return false;
    struct stat st;
    const int saved = errno;
    if (fstat(fd, &st) != 0 || length <= st.st_size) {
        errno = saved;
        return false;
    }
    errno = err;
    return true;
}

// The mappings of followed files, for msync: a few, under a spin lock that
// only calls on such mappings take.
constexpr int kTrackedMaps = 64;
struct TrackedMap {
    uintptr_t start, end;
    FileRef ref;
};
TrackedMap maps[kTrackedMaps];
int map_count;
std::atomic<int> maps_used{0};
std::atomic_flag maps_lock = ATOMIC_FLAG_INIT;

struct MapsGuard {
    MapsGuard()
    {
        while (maps_lock.test_and_set(std::memory_order_acquire))
            sched_yield();
    }
    ~MapsGuard() { maps_lock.clear(std::memory_order_release); }
};

void ForgetMaps(const void *addr, size_t len)
{
    if (!maps_used.load(std::memory_order_acquire))
        return;
    const uintptr_t start = uintptr_t(addr), end = start + len;
    MapsGuard guard;
    for (int i = 0; i < map_count;) {
        if (maps[i].start < end && start < maps[i].end)
            maps[i] = maps[--map_count];
        else
            ++i;
    }
    maps_used.store(map_count, std::memory_order_release);
}

void TrackMap(void *addr, size_t len, int fd)
{
    FileRef ref;
    if (!Snapshot(fd, ref))
        return;
    MapsGuard guard;
    if (map_count == kTrackedMaps)
        return;
    maps[map_count].start = uintptr_t(addr);
    maps[map_count].end = uintptr_t(addr) + len;
    maps[map_count].ref = ref;
    ++map_count;
    maps_used.store(map_count, std::memory_order_release);
}

// The file mapped over [addr, addr + len), if it is followed.
bool MappedFile(const void *addr, size_t len, FileRef &out)
{
    if (!maps_used.load(std::memory_order_acquire))
        return false;
    const uintptr_t start = uintptr_t(addr), end = start + (len ? len : 1);
    MapsGuard guard;
    for (int i = 0; i < map_count; ++i)
        if (maps[i].start < end && start < maps[i].end) {
            out = maps[i].ref;
            return true;
        }
    return false;
}

} // namespace

// One wrapper per entry point: map the path argument, call libc.
#define REAL(ret, name, params)                                          \
    static std::atomic<void *> real_slot{nullptr};                       \
    auto real = reinterpret_cast<ret(*) params>(Resolve(real_slot, #name))

#define PATH_WRAPPER(ret, fail, name, params, path, args)                \
    extern "C" ret name params                                           \
    {                                                                    \
        REAL(ret, name, params);                                         \
        char buf[PATH_MAX];                                              \
        const char *p = Map(path, buf);                                  \
        if (!real) {                                                     \
            errno = ENOSYS;                                              \
            return fail;                                                 \
        }                                                                \
        if (path && !p)                                                  \
            return fail;                                                 \
        return real args;                                                \
    }

// The same for a call that changes the file at path: refused by an "open"
// file fault when changes is true.
#define CHANGE_WRAPPER(ret, fail, name, params, path, changes, args)     \
    extern "C" ret name params                                           \
    {                                                                    \
        REAL(ret, name, params);                                         \
        char buf[PATH_MAX];                                              \
        const char *p = Map(path, buf);                                  \
        if (!real) {                                                     \
            errno = ENOSYS;                                              \
            return fail;                                                 \
        }                                                                \
        if (path && !p)                                                  \
            return fail;                                                 \
        if ((changes) && ChangeRefused(p))                               \
            return fail;                                                 \
        return real args;                                                \
    }

// Opens that return a descriptor: refused by an "open" fault when they may
// change the file, followed for the other file faults when they succeed.
#define OPEN_FD_WRAPPER(name, params, path, flags, args)                 \
    extern "C" int name params                                           \
    {                                                                    \
        REAL(int, name, params);                                         \
        char buf[PATH_MAX];                                              \
        const char *p = Map(path, buf);                                  \
        if (!real) {                                                     \
            errno = ENOSYS;                                              \
            return -1;                                                   \
        }                                                                \
        if (path && !p)                                                  \
            return -1;                                                   \
        if (WriteIntent(flags) && ChangeRefused(p))                      \
            return -1;                                                   \
        int fd = real args;                                              \
        Track(fd, p);                                                    \
        return fd;                                                       \
    }

// open and openat take a mode only with O_CREAT or O_TMPFILE.
#define OPEN_WRAPPER(name)                                               \
    static int name##_mapped(const char *path, int flags, mode_t mode)   \
    {                                                                    \
        REAL(int, name, (const char *, int, ...));                       \
        char buf[PATH_MAX];                                              \
        const char *p = Map(path, buf);                                  \
        if (!real) {                                                     \
            errno = ENOSYS;                                              \
            return -1;                                                   \
        }                                                                \
        if (path && !p)                                                  \
            return -1;                                                   \
        if (WriteIntent(flags) && ChangeRefused(p))                      \
            return -1;                                                   \
        int fd = real(p, flags, mode);                                   \
        Track(fd, p);                                                    \
        return fd;                                                       \
    }                                                                    \
    extern "C" int name(const char *path, int flags, ...)                \
    {                                                                    \
        mode_t mode = 0;                                                 \
        if (NeedsMode(flags)) {                                          \
            va_list ap;                                                  \
            va_start(ap, flags);                                         \
            mode = mode_t(va_arg(ap, int));                              \
            va_end(ap);                                                  \
        }                                                                \
        return name##_mapped(path, flags, mode);                         \
    }

#define OPENAT_WRAPPER(name)                                             \
    static int name##_mapped(int dirfd, const char *path, int flags, mode_t mode) \
    {                                                                    \
        REAL(int, name, (int, const char *, int, ...));                  \
        char buf[PATH_MAX];                                              \
        const char *p = Map(path, buf);                                  \
        if (!real) {                                                     \
            errno = ENOSYS;                                              \
            return -1;                                                   \
        }                                                                \
        if (path && !p)                                                  \
            return -1;                                                   \
        if (WriteIntent(flags) && ChangeRefused(p))                      \
            return -1;                                                   \
        int fd = real(dirfd, p, flags, mode);                            \
        Track(fd, p);                                                    \
        return fd;                                                       \
    }                                                                    \
    extern "C" int name(int dirfd, const char *path, int flags, ...)     \
    {                                                                    \
        mode_t mode = 0;                                                 \
        if (NeedsMode(flags)) {                                          \
            va_list ap;                                                  \
            va_start(ap, flags);                                         \
            mode = mode_t(va_arg(ap, int));                              \
            va_end(ap);                                                  \
        }                                                                \
        return name##_mapped(dirfd, path, flags, mode);                  \
    }

OPEN_WRAPPER(open)
OPEN_WRAPPER(open64)
OPENAT_WRAPPER(openat)
OPENAT_WRAPPER(openat64)

OPEN_FD_WRAPPER(__open_2, (const char *path, int flags), path, flags, (p, flags))
OPEN_FD_WRAPPER(__open64_2, (const char *path, int flags), path, flags, (p, flags))
OPEN_FD_WRAPPER(__openat_2, (int dirfd, const char *path, int flags), path, flags,
                (dirfd, p, flags))
OPEN_FD_WRAPPER(__openat64_2, (int dirfd, const char *path, int flags), path, flags,
                (dirfd, p, flags))
OPEN_FD_WRAPPER(creat, (const char *path, mode_t mode), path, O_CREAT | O_WRONLY, (p, mode))
OPEN_FD_WRAPPER(creat64, (const char *path, mode_t mode), path, O_CREAT | O_WRONLY, (p, mode))

PATH_WRAPPER(int, -1, stat, (const char *path, struct stat *buf_), path, (p, buf_))
PATH_WRAPPER(int, -1, stat64, (const char *path, struct stat64 *buf_), path, (p, buf_))
PATH_WRAPPER(int, -1, lstat, (const char *path, struct stat *buf_), path, (p, buf_))
PATH_WRAPPER(int, -1, lstat64, (const char *path, struct stat64 *buf_), path, (p, buf_))
PATH_WRAPPER(int, -1, fstatat, (int dirfd, const char *path, struct stat *buf_, int flags), path,
             (dirfd, p, buf_, flags))
PATH_WRAPPER(int, -1, fstatat64, (int dirfd, const char *path, struct stat64 *buf_, int flags),
             path, (dirfd, p, buf_, flags))
PATH_WRAPPER(int, -1, __xstat, (int ver, const char *path, struct stat *buf_), path,
             (ver, p, buf_))
PATH_WRAPPER(int, -1, __xstat64, (int ver, const char *path, struct stat64 *buf_), path,
             (ver, p, buf_))
PATH_WRAPPER(int, -1, __lxstat, (int ver, const char *path, struct stat *buf_), path,
             (ver, p, buf_))
PATH_WRAPPER(int, -1, __lxstat64, (int ver, const char *path, struct stat64 *buf_), path,
             (ver, p, buf_))
PATH_WRAPPER(int, -1, __fxstatat,
             (int ver, int dirfd, const char *path, struct stat *buf_, int flags), path,
             (ver, dirfd, p, buf_, flags))
PATH_WRAPPER(int, -1, __fxstatat64,
             (int ver, int dirfd, const char *path, struct stat64 *buf_, int flags), path,
             (ver, dirfd, p, buf_, flags))
PATH_WRAPPER(int, -1, statx,
             (int dirfd, const char *path, int flags, unsigned int mask, struct statx *buf_),
             path, (dirfd, p, flags, mask, buf_))

PATH_WRAPPER(int, -1, access, (const char *path, int mode), path, (p, mode))
PATH_WRAPPER(int, -1, faccessat, (int dirfd, const char *path, int mode, int flags), path,
             (dirfd, p, mode, flags))
PATH_WRAPPER(int, -1, euidaccess, (const char *path, int mode), path, (p, mode))

PATH_WRAPPER(ssize_t, -1, readlink, (const char *path, char *out, size_t len), path,
             (p, out, len))
PATH_WRAPPER(ssize_t, -1, readlinkat, (int dirfd, const char *path, char *out, size_t len), path,
             (dirfd, p, out, len))
PATH_WRAPPER(ssize_t, -1, __readlink_chk, (const char *path, char *out, size_t len, size_t outlen),
             path, (p, out, len, outlen))
PATH_WRAPPER(ssize_t, -1, __readlinkat_chk,
             (int dirfd, const char *path, char *out, size_t len, size_t outlen), path,
             (dirfd, p, out, len, outlen))

namespace {

// fopen's mode names a change when it writes, appends or updates.
bool ModeChanges(const char *mode) { return mode && strpbrk(mode, "wa+"); }

} // namespace

// Streams are not followed for the other file faults: glibc writes and closes
// them with its own internal calls, which no wrapper sees.
CHANGE_WRAPPER(FILE *, nullptr, fopen, (const char *path, const char *mode), path,
               ModeChanges(mode), (p, mode))
CHANGE_WRAPPER(FILE *, nullptr, fopen64, (const char *path, const char *mode), path,
               ModeChanges(mode), (p, mode))
CHANGE_WRAPPER(FILE *, nullptr, freopen, (const char *path, const char *mode, FILE *stream), path,
               ModeChanges(mode), (p, mode, stream))
CHANGE_WRAPPER(FILE *, nullptr, freopen64, (const char *path, const char *mode, FILE *stream),
               path, ModeChanges(mode), (p, mode, stream))
PATH_WRAPPER(DIR *, nullptr, opendir, (const char *path), path, (p))

CHANGE_WRAPPER(int, -1, mkdir, (const char *path, mode_t mode), path, true, (p, mode))
CHANGE_WRAPPER(int, -1, mkdirat, (int dirfd, const char *path, mode_t mode), path, true,
               (dirfd, p, mode))
CHANGE_WRAPPER(int, -1, rmdir, (const char *path), path, true, (p))
CHANGE_WRAPPER(int, -1, unlink, (const char *path), path, true, (p))
CHANGE_WRAPPER(int, -1, unlinkat, (int dirfd, const char *path, int flags), path, true,
               (dirfd, p, flags))
CHANGE_WRAPPER(int, -1, remove, (const char *path), path, true, (p))
CHANGE_WRAPPER(int, -1, chmod, (const char *path, mode_t mode), path, true, (p, mode))
CHANGE_WRAPPER(int, -1, fchmodat, (int dirfd, const char *path, mode_t mode, int flags), path,
               true, (dirfd, p, mode, flags))
CHANGE_WRAPPER(int, -1, chown, (const char *path, uid_t uid, gid_t gid), path, true,
               (p, uid, gid))
CHANGE_WRAPPER(int, -1, lchown, (const char *path, uid_t uid, gid_t gid), path, true,
               (p, uid, gid))
CHANGE_WRAPPER(int, -1, fchownat, (int dirfd, const char *path, uid_t uid, gid_t gid, int flags),
               path, true, (dirfd, p, uid, gid, flags))
// A null path changes the times of dirfd itself.
CHANGE_WRAPPER(int, -1, utimensat,
               (int dirfd, const char *path, const struct timespec times[2], int flags), path,
               path != nullptr, (dirfd, p, times, flags))
CHANGE_WRAPPER(int, -1, truncate, (const char *path, off_t length), path, true, (p, length))
CHANGE_WRAPPER(int, -1, truncate64, (const char *path, off64_t length), path, true, (p, length))
// The link's text is not a path that the program opens here: it stays as
// given, and the kernel resolves it when the link is followed.
CHANGE_WRAPPER(int, -1, symlink, (const char *target, const char *path), path, true,
               (target, p))
CHANGE_WRAPPER(int, -1, symlinkat, (const char *target, int dirfd, const char *path), path, true,
               (target, dirfd, p))
PATH_WRAPPER(char *, nullptr, realpath, (const char *path, char *resolved), path, (p, resolved))
// What realpath becomes in a program built with _FORTIFY_SOURCE.
PATH_WRAPPER(char *, nullptr, __realpath_chk, (const char *path, char *resolved, size_t size), path,
             (p, resolved, size))

// Calls with two paths: both are mapped. A rename changes both names, a link
// only the new one.
#define TWO_PATH_WRAPPER(name, params, from, to, from_changes, args)     \
    extern "C" int name params                                           \
    {                                                                    \
        REAL(int, name, params);                                         \
        char fbuf[PATH_MAX], tbuf[PATH_MAX];                             \
        const char *f = Map(from, fbuf);                                 \
        const char *t = Map(to, tbuf);                                   \
        if (!real) {                                                     \
            errno = ENOSYS;                                              \
            return -1;                                                   \
        }                                                                \
        if ((from && !f) || (to && !t))                                  \
            return -1;                                                   \
        if ((from_changes && ChangeRefused(f)) || ChangeRefused(t))      \
            return -1;                                                   \
        return real args;                                                \
    }

TWO_PATH_WRAPPER(rename, (const char *from, const char *to), from, to, true, (f, t))
TWO_PATH_WRAPPER(renameat, (int fromfd, const char *from, int tofd, const char *to), from, to,
                 true, (fromfd, f, tofd, t))
TWO_PATH_WRAPPER(renameat2,
                 (int fromfd, const char *from, int tofd, const char *to, unsigned int flags),
                 from, to, true, (fromfd, f, tofd, t, flags))
TWO_PATH_WRAPPER(link, (const char *from, const char *to), from, to, false, (f, t))
TWO_PATH_WRAPPER(linkat, (int fromfd, const char *from, int tofd, const char *to, int flags), from,
                 to, false, (fromfd, f, tofd, t, flags))

// mkstemp and its kin open through glibc's internal open, which no wrapper
// sees: the name is made in the sandbox and its random part copied back.
namespace {

template <class Make>
int MakeTemp(char *tmpl, Make make)
{
    char buf[PATH_MAX];
    const char *p = Map(tmpl, buf);
    if (!tmpl) {
        errno = EINVAL;
        return -1;
    }
    if (!p)
        return -1;
    if (ChangeRefused(p))
        return -1;
    if (p == tmpl) {
        const int fd = make(tmpl);
        Track(fd, tmpl);
        return fd;
    }
    const int fd = make(buf);
    if (fd >= 0) {
        const size_t n = strlen(tmpl);
        memcpy(tmpl, buf + strlen(buf) - n, n);
        Track(fd, buf);
    }
    return fd;
}

} // namespace

#define MKSTEMP_WRAPPER(name, params, types, args)                      \
    extern "C" int name params                                           \
    {                                                                    \
        REAL(int, name, types);                                          \
        if (!real) {                                                     \
            errno = ENOSYS;                                              \
            return -1;                                                   \
        }                                                                \
        return MakeTemp(tmpl, [&](char *t) { return real args; });       \
    }

MKSTEMP_WRAPPER(mkstemp, (char *tmpl), (char *), (t))
MKSTEMP_WRAPPER(mkstemp64, (char *tmpl), (char *), (t))
MKSTEMP_WRAPPER(mkostemp, (char *tmpl, int flags), (char *, int), (t, flags))
MKSTEMP_WRAPPER(mkostemp64, (char *tmpl, int flags), (char *, int), (t, flags))
MKSTEMP_WRAPPER(mkstemps, (char *tmpl, int suffixlen), (char *, int), (t, suffixlen))
MKSTEMP_WRAPPER(mkstemps64, (char *tmpl, int suffixlen), (char *, int), (t, suffixlen))
MKSTEMP_WRAPPER(mkostemps, (char *tmpl, int suffixlen, int flags), (char *, int, int),
                (t, suffixlen, flags))
MKSTEMP_WRAPPER(mkostemps64, (char *tmpl, int suffixlen, int flags), (char *, int, int),
                (t, suffixlen, flags))

// ---- calls on descriptors: the write, sync and close faults ----
//
// Each starts with the one check of MaybeTracked, so that a descriptor
// outside the sandbox costs nothing more.

extern "C" ssize_t write(int fd, const void *data, size_t n)
{
    REAL(ssize_t, write, (int, const void *, size_t));
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    if (!MaybeTracked(fd))
        return real(fd, data, n);
    TrackedFd *entry;
    const ssize_t allowed = WriteAllowance(fd, n, &entry);
    if (allowed < 0)
        return -1;
    const ssize_t r = real(fd, data, size_t(allowed));
    Count(entry, r);
    return r;
}

#define PWRITE_WRAPPER(name, off_type)                                   \
    extern "C" ssize_t name(int fd, const void *data, size_t n, off_type off) \
    {                                                                    \
        REAL(ssize_t, name, (int, const void *, size_t, off_type));      \
        if (!real) {                                                     \
            errno = ENOSYS;                                              \
            return -1;                                                   \
        }                                                                \
        if (!MaybeTracked(fd))                                           \
            return real(fd, data, n, off);                               \
        TrackedFd *entry;                                                \
        const ssize_t allowed = WriteAllowance(fd, n, &entry);           \
        if (allowed < 0)                                                 \
            return -1;                                                   \
        const ssize_t r = real(fd, data, size_t(allowed), off);          \
        Count(entry, r);                                                 \
        return r;                                                        \
    }

PWRITE_WRAPPER(pwrite, off_t)
PWRITE_WRAPPER(pwrite64, off64_t)

namespace {

// A vector write through a followed descriptor: cut to the bytes that the
// write faults let through. write_iov does the real call on (iov, count).
template <class WriteIov>
ssize_t VectorWrite(int fd, const iovec *iov, int count, WriteIov write_iov)
{
    size_t total = 0;
    for (int i = 0; i < count && iov; ++i)
        total += iov[i].iov_len;  // an overflow is the kernel's EINVAL below
    TrackedFd *entry;
    const ssize_t allowed = WriteAllowance(fd, total, &entry);
    if (allowed < 0)
        return -1;
    if (size_t(allowed) == total) {
        const ssize_t r = write_iov(iov, count);
        Count(entry, r);
        return r;
    }
    // The write that crosses the byte count: as many whole vectors as fit,
    // and the part of the next one. Made only once per descriptor and rule.
    iovec *cut = static_cast<iovec *>(malloc(sizeof(iovec) * size_t(count)));
    if (!cut) {
        errno = ENOMEM;
        return -1;
    }
    size_t left = size_t(allowed);
    int used = 0;
    for (; used < count && left; ++used) {
        cut[used] = iov[used];
        if (cut[used].iov_len > left)
            cut[used].iov_len = left;
        left -= cut[used].iov_len;
    }
    const ssize_t r = write_iov(cut, used);
    const int saved = errno;
    free(cut);
    errno = saved;
    Count(entry, r);
    return r;
}

} // namespace

extern "C" ssize_t writev(int fd, const struct iovec *iov, int count)
{
    REAL(ssize_t, writev, (int, const struct iovec *, int));
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    if (!MaybeTracked(fd) || count < 0)
        return real(fd, iov, count);
    return VectorWrite(fd, iov, count, [&](const iovec *v, int c) { return real(fd, v, c); });
}

#define PWRITEV_WRAPPER(name, off_type)                                  \
    extern "C" ssize_t name(int fd, const struct iovec *iov, int count, off_type off) \
    {                                                                    \
        REAL(ssize_t, name, (int, const struct iovec *, int, off_type)); \
        if (!real) {                                                     \
            errno = ENOSYS;                                              \
            return -1;                                                   \
        }                                                                \
        if (!MaybeTracked(fd) || count < 0)                              \
            return real(fd, iov, count, off);                            \
        return VectorWrite(fd, iov, count,                               \
                           [&](const iovec *v, int c) { return real(fd, v, c, off); }); \
    }

#define PWRITEV2_WRAPPER(name, off_type)                                 \
    extern "C" ssize_t name(int fd, const struct iovec *iov, int count, off_type off, int flags) \
    {                                                                    \
        REAL(ssize_t, name, (int, const struct iovec *, int, off_type, int)); \
        if (!real) {                                                     \
            errno = ENOSYS;                                              \
            return -1;                                                   \
        }                                                                \
        if (!MaybeTracked(fd) || count < 0)                              \
            return real(fd, iov, count, off, flags);                     \
        return VectorWrite(fd, iov, count,                               \
                           [&](const iovec *v, int c) { return real(fd, v, c, off, flags); }); \
    }

PWRITEV_WRAPPER(pwritev, off_t)
PWRITEV_WRAPPER(pwritev64, off64_t)
PWRITEV2_WRAPPER(pwritev2, off_t)
PWRITEV2_WRAPPER(pwritev64v2, off64_t)

// Growing a file whose writes fail fails too.
#define FTRUNCATE_WRAPPER(name, off_type)                                \
    extern "C" int name(int fd, off_type length)                         \
    {                                                                    \
        REAL(int, name, (int, off_type));                                \
        if (!real) {                                                     \
            errno = ENOSYS;                                              \
            return -1;                                                   \
        }                                                                \
        if (MaybeTracked(fd) && GrowthRefused(fd, length))               \
            return -1;                                                   \
        return real(fd, length);                                         \
    }

FTRUNCATE_WRAPPER(ftruncate, off_t)
FTRUNCATE_WRAPPER(ftruncate64, off64_t)

#define FALLOCATE_WRAPPER(name, off_type)                                \
    extern "C" int name(int fd, int mode, off_type off, off_type len)    \
    {                                                                    \
        REAL(int, name, (int, int, off_type, off_type));                 \
        if (!real) {                                                     \
            errno = ENOSYS;                                              \
            return -1;                                                   \
        }                                                                \
        if (MaybeTracked(fd) && !(mode & FALLOC_FL_PUNCH_HOLE) &&        \
            GrowthRefused(fd, (long long)off + (long long)len))          \
            return -1;                                                   \
        return real(fd, mode, off, len);                                 \
    }

FALLOCATE_WRAPPER(fallocate, off_t)
FALLOCATE_WRAPPER(fallocate64, off64_t)

// posix_fallocate returns its error instead of setting errno.
#define POSIX_FALLOCATE_WRAPPER(name, off_type)                          \
    extern "C" int name(int fd, off_type off, off_type len)              \
    {                                                                    \
        REAL(int, name, (int, off_type, off_type));                      \
        if (!real)                                                       \
            return ENOSYS;                                               \
        const int saved = errno;                                         \
        if (MaybeTracked(fd) && GrowthRefused(fd, (long long)off + (long long)len)) { \
            const int err = errno;                                       \
            errno = saved;                                               \
            return err;                                                  \
        }                                                                \
        return real(fd, off, len);                                       \
    }

POSIX_FALLOCATE_WRAPPER(posix_fallocate, off_t)
POSIX_FALLOCATE_WRAPPER(posix_fallocate64, off64_t)

#define SYNC_WRAPPER(name)                                               \
    extern "C" int name(int fd)                                          \
    {                                                                    \
        REAL(int, name, (int));                                          \
        if (!real) {                                                     \
            errno = ENOSYS;                                              \
            return -1;                                                   \
        }                                                                \
        int err = 0;                                                     \
        long after = 0;                                                  \
        if (MaybeTracked(fd) && FdRule(fd, sim::FileOp::Sync, &err, &after)) { \
            errno = err;                                                 \
            return -1;                                                   \
        }                                                                \
        return real(fd);                                                 \
    }

SYNC_WRAPPER(fsync)
SYNC_WRAPPER(fdatasync)

// A close fault is reported after the descriptor is gone, as NFS reports data
// that it could not write back.
extern "C" int close(int fd)
{
    REAL(int, close, (int));
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    if (!MaybeTracked(fd))
        return real(fd);
    int err = 0;
    long after = 0;
    const bool fails = FdRule(fd, sim::FileOp::Close, &err, &after);
    Forget(fd);
    const int r = real(fd);
    if (r == 0 && fails) {
        errno = err;
        return -1;
    }
    return r;
}

namespace {

// After a successful dup of from to to: to follows from's file (counting its
// own bytes), or nothing when from is not followed.
void TrackCopy(int from, int to)
{
    if (to < 0 || to == from)
        return;
    FileRef ref;
    if (Snapshot(from, ref))
        TrackRef(to, ref);
    else
        Forget(to);
}

} // namespace

extern "C" int dup(int fd)
{
    REAL(int, dup, (int));
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    const int r = real(fd);
    if (r >= 0 && (MaybeTracked(fd) || MaybeTracked(r)))
        TrackCopy(fd, r);
    return r;
}

extern "C" int dup2(int fd, int to)
{
    REAL(int, dup2, (int, int));
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    const int r = real(fd, to);
    if (r >= 0 && (MaybeTracked(fd) || MaybeTracked(r)))
        TrackCopy(fd, r);
    return r;
}

extern "C" int dup3(int fd, int to, int flags)
{
    REAL(int, dup3, (int, int, int));
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    const int r = real(fd, to, flags);
    if (r >= 0 && (MaybeTracked(fd) || MaybeTracked(r)))
        TrackCopy(fd, r);
    return r;
}

// Mappings of followed files, for msync's sync fault.
#define MMAP_WRAPPER(name, off_type)                                     \
    extern "C" void *name(void *addr, size_t len, int prot, int flags, int fd, off_type off) \
    {                                                                    \
        REAL(void *, name, (void *, size_t, int, int, int, off_type));   \
        if (!real) {                                                     \
            errno = ENOSYS;                                              \
            return MAP_FAILED;                                           \
        }                                                                \
        void *r = real(addr, len, prot, flags, fd, off);                 \
        if (r == MAP_FAILED)                                             \
            return r;                                                    \
        ForgetMaps(r, len); /* a mapping put over a followed one */      \
        if (!(flags & MAP_ANONYMOUS) && MaybeTracked(fd))                \
            TrackMap(r, len, fd);                                        \
        return r;                                                        \
    }

MMAP_WRAPPER(mmap, off_t)
MMAP_WRAPPER(mmap64, off64_t)

extern "C" int munmap(void *addr, size_t len)
{
    REAL(int, munmap, (void *, size_t));
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    // Forgotten first: once the range is free, another thread may map a
    // followed file there.
    ForgetMaps(addr, len);
    return real(addr, len);
}

extern "C" int msync(void *addr, size_t len, int flags)
{
    REAL(int, msync, (void *, size_t, int));
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    FileRef ref;
    int err = 0;
    long after = 0;
    if (MappedFile(addr, len, ref) && RefRule(ref, sim::FileOp::Sync, &err, &after)) {
        errno = err;
        return -1;
    }
    return real(addr, len, flags);
}

namespace {

// Notes a call in the sandbox's record of calls; never fails the call itself.
void Record(const char *root, const std::string &call)
{
    int saved = errno;
    try {
        sim::AppendCall(root, call);
    } catch (...) {
    }
    errno = saved;
}

} // namespace

// A program that names its own X display ("unix:0") is shown on the sandbox
// user's display instead, when SIMDRIVER_DISPLAY names one. What it asked for
// is recorded.
extern "C" int setenv(const char *name, const char *value, int overwrite)
{
    REAL(int, setenv, (const char *, const char *, int));
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    const char *root = Root();
    if (root && name && value && strcmp(name, "DISPLAY") == 0) {
        Record(root, std::string("setenv DISPLAY ") + value + " " + std::to_string(overwrite));
        if (const char *display = getenv("SIMDRIVER_DISPLAY"))
            value = display;
    }
    return real(name, value, overwrite);
}

// Waits a program makes in whole seconds (settling times of the adapter, a
// login's pause) shrink by the factor SIMDRIVER_SLEEP_SCALE (0: no wait).
// The wait asked for is recorded.
extern "C" unsigned int sleep(unsigned int seconds)
{
    REAL(unsigned int, sleep, (unsigned int));
    if (!real)
        return seconds;
    if (const char *root = Root())
        Record(root, "sleep " + std::to_string(seconds));
    if (Root())
        if (const char *scale = getenv("SIMDRIVER_SLEEP_SCALE")) {
            double f = strtod(scale, nullptr);
            seconds = f > 0 ? unsigned(seconds * f) : 0;
            if (seconds == 0)
                return 0;
        }
    return real(seconds);
}

extern "C" int ioctl(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);

    const char *root = Root();
    if (root && (request == SIOC_KDR770 || request == SIOC_KDR770_IDENT)) {
        int saved = errno;
        bool fd_valid = fcntl(fd, F_GETFD) != -1;
        int err = EIO;
        int rc = -1;
        try {
            rc = sim::ServeRequest(root, fd_valid, request, arg, sim::ProgramMemory, &err);
        } catch (...) {
            rc = -1;
            err = EIO;
        }
        errno = rc == -1 ? err : saved;
        return rc;
    }
    REAL(int, ioctl, (int, unsigned long, ...));
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    return real(fd, request, arg);
}
