// The preload library: with SIMDRIVER_ROOT set, the driver's private ioctls
// are answered by the emulated adapters of that sandbox and the system's
// fixed paths lead into it; without it every call goes straight to libc.
//
// These functions can run before any constructor (other libraries' start-up
// code opens files), so they use no C++ statics that need initialising; the
// libc functions are looked up on first use.

// The fortified inline versions of open and friends would clash with the
// definitions below.
#undef _FORTIFY_SOURCE

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "emulated_adapter.h"
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
    // The lock that runs of the profile loader take turns on.
    if (strcmp(path, "/run/ostrel.lock") == 0)
        return true;
    // "/etc/" NAME ".cfg" with no '/' in NAME: the profile files.
    if (strncmp(path, "/etc/", 5) == 0) {
        const char *name = path + 5;
        size_t n = strlen(name);
        return n >= 4 && strcmp(name + n - 4, ".cfg") == 0 && !memchr(name, '/', n - 4);
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

// open and openat take a mode only with O_CREAT or O_TMPFILE.
#define OPEN_WRAPPER(name)                                               \
    extern "C" int name(const char *path, int flags, ...)                \
    {                                                                    \
        mode_t mode = 0;                                                 \
        if (NeedsMode(flags)) {                                          \
            va_list ap;                                                  \
            va_start(ap, flags);                                         \
            mode = mode_t(va_arg(ap, int));                              \
            va_end(ap);                                                  \
        }                                                                \
        REAL(int, name, (const char *, int, ...));                       \
        char buf[PATH_MAX];                                              \
        const char *p = Map(path, buf);                                  \
        if (!real) {                                                     \
            errno = ENOSYS;                                              \
            return -1;                                                   \
        }                                                                \
        if (path && !p)                                                  \
            return -1;                                                   \
        return real(p, flags, mode);                                     \
    }

#define OPENAT_WRAPPER(name)                                             \
    extern "C" int name(int dirfd, const char *path, int flags, ...)     \
    {                                                                    \
        mode_t mode = 0;                                                 \
        if (NeedsMode(flags)) {                                          \
            va_list ap;                                                  \
            va_start(ap, flags);                                         \
            mode = mode_t(va_arg(ap, int));                              \
            va_end(ap);                                                  \
        }                                                                \
        REAL(int, name, (int, const char *, int, ...));                  \
        char buf[PATH_MAX];                                              \
        const char *p = Map(path, buf);                                  \
        if (!real) {                                                     \
            errno = ENOSYS;                                              \
            return -1;                                                   \
        }                                                                \
        if (path && !p)                                                  \
            return -1;                                                   \
        return real(dirfd, p, flags, mode);                              \
    }

OPEN_WRAPPER(open)
OPEN_WRAPPER(open64)
OPENAT_WRAPPER(openat)
OPENAT_WRAPPER(openat64)

PATH_WRAPPER(int, -1, __open_2, (const char *path, int flags), path, (p, flags))
PATH_WRAPPER(int, -1, __open64_2, (const char *path, int flags), path, (p, flags))
PATH_WRAPPER(int, -1, __openat_2, (int dirfd, const char *path, int flags), path, (dirfd, p, flags))
PATH_WRAPPER(int, -1, __openat64_2, (int dirfd, const char *path, int flags), path,
             (dirfd, p, flags))
PATH_WRAPPER(int, -1, creat, (const char *path, mode_t mode), path, (p, mode))
PATH_WRAPPER(int, -1, creat64, (const char *path, mode_t mode), path, (p, mode))

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

PATH_WRAPPER(FILE *, nullptr, fopen, (const char *path, const char *mode), path, (p, mode))
PATH_WRAPPER(FILE *, nullptr, fopen64, (const char *path, const char *mode), path, (p, mode))
PATH_WRAPPER(FILE *, nullptr, freopen, (const char *path, const char *mode, FILE *stream), path,
             (p, mode, stream))
PATH_WRAPPER(FILE *, nullptr, freopen64, (const char *path, const char *mode, FILE *stream),
             path, (p, mode, stream))
PATH_WRAPPER(DIR *, nullptr, opendir, (const char *path), path, (p))

PATH_WRAPPER(int, -1, mkdir, (const char *path, mode_t mode), path, (p, mode))
PATH_WRAPPER(int, -1, unlink, (const char *path), path, (p))
PATH_WRAPPER(int, -1, chmod, (const char *path, mode_t mode), path, (p, mode))
PATH_WRAPPER(int, -1, truncate, (const char *path, off_t length), path, (p, length))
PATH_WRAPPER(int, -1, truncate64, (const char *path, off64_t length), path, (p, length))
PATH_WRAPPER(int, -1, remove, (const char *path), path, (p))
PATH_WRAPPER(char *, nullptr, realpath, (const char *path, char *resolved), path, (p, resolved))
// What realpath becomes in a program built with _FORTIFY_SOURCE.
PATH_WRAPPER(char *, nullptr, __realpath_chk, (const char *path, char *resolved, size_t size), path,
             (p, resolved, size))

extern "C" int rename(const char *from, const char *to)
{
    REAL(int, rename, (const char *, const char *));
    char fbuf[PATH_MAX], tbuf[PATH_MAX];
    const char *f = Map(from, fbuf);
    const char *t = Map(to, tbuf);
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    if ((from && !f) || (to && !t))
        return -1;
    return real(f, t);
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
