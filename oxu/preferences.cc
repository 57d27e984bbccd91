#include "preferences.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char PrefsPath[20] = "/opt/tavlo/OXU.PRFS";

uint8_t PrefsChecksum(const PrefsRecord *record)
{
    const auto *p = reinterpret_cast<const uint8_t *>(record);
    unsigned sum = 0;
    for (size_t i = 0; i < sizeof *record; ++i)
        sum += p[i];
    return uint8_t(sum);
}

PrefsRecord DefaultPrefs()
{
    PrefsRecord r{};
    std::memcpy(r.password, "Orvik", 6);
    r.flags = 1;
    r.magic = PREFS_MAGIC;
    r.checksum = PrefsChecksum(&r);
    return r;
}

namespace {

// Copies text into a zero-terminated field of n bytes, cutting what does not
// fit so that it never reaches the next field.
void CopyText(char *field, size_t n, const char *text)
{
    size_t len = strnlen(text, n - 1);
    std::memcpy(field, text, len);
    field[len] = '\0';
}

// Callers treat the texts as C strings; a record written elsewhere may have
// filled a field to its last byte. Whether one was cut.
bool CutTexts(PrefsRecord &r)
{
    char *last[] = {&r.browser_path[sizeof r.browser_path - 1], &r.note[sizeof r.note - 1],
                    &r.password[sizeof r.password - 1]};
    bool cut = false;
    for (char *c : last)
        if (*c) {
            *c = '\0';
            cut = true;
        }
    return cut;
}

} // namespace

void prefs::Unreadable(int err)
{
    errno = err;
    perror("prefs::prefs");
    exit(9);
}

int prefs::Fill(int descriptor, size_t from)
{
    struct stat st;
    const off_t before = fstat(descriptor, &st) == 0 ? st.st_size : -1;
    const auto *bytes = reinterpret_cast<const char *>(&copy);
    int err = 0;
    for (size_t at = from; at < sizeof copy && !err;) {
        const ssize_t put = pwrite(descriptor, bytes + at, sizeof copy - at, off_t(at));
        if (put > 0)
            at += size_t(put);
        else
            err = put < 0 ? errno : EIO;
    }
    if (!err && fdatasync(descriptor) != 0)
        err = errno;
    if (err && before >= 0 && before < off_t(sizeof copy))
        // Shortening takes no space; the first error is the one told.
        (void)!ftruncate(descriptor, before);
    return err;
}

prefs::prefs()
{
    fallback = DefaultPrefs();
    mapped = &fallback;
    unlocked = 0;

    struct stat st;
    if (stat(PrefsPath, &st) != 0) {
        // Exactly mode 0666, without changing the creation mask that later
        // children (the help browser) inherit.
        mode_t old = umask(0);
        // Made exclusively, to know that a file that cannot be filled is
        // this start's own to remove.
        int created = open(PrefsPath, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        const bool made = created >= 0;
        if (!made && errno == EEXIST)
            // Made meanwhile by another start, or a link to a file yet to be
            // made: filled all the same, but not removed.
            created = open(PrefsPath, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        umask(old);
        if (created < 0) {
            perror("No pref directory");
            return;
        }
        copy = DefaultPrefs();
        int err = Fill(created, 0);
        if (close(created) != 0 && !err)
            err = errno;
        if (err) {
            if (made)
                unlink(PrefsPath);
            Unreadable(err);
        }
    }

    // Not blocking: a pipe at the path would otherwise wait for ever in read.
    fd = open(PrefsPath, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ssize_t got = fd < 0 ? -1 : read(fd, &copy, sizeof copy);
    if (got < 0)
        Unreadable(errno);
    // A file that cannot be filled is not mapped: its missing pages would
    // kill the program (SIGBUS) at the first touch.
    if (int err = Repair(got))
        Unreadable(err);

    void *map = mmap(nullptr, sizeof(PrefsRecord), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        lost = errno;
        return;
    }
    mapped = static_cast<PrefsRecord *>(map);
    // Shortened by another process since the read: repaired or the end.
    if (int err = Guard())
        Unreadable(err);
    if (CutTexts(*mapped)) {
        Recheck();
        if (int err = Flush())
            Unreadable(err);
    }
}

int prefs::Repair(ssize_t got)
{
    PrefsRecord unsealed = copy;
    unsealed.checksum = 0;
    if (uint32_t(copy.checksum) != PrefsChecksum(&unsealed)) {
        // Written straight to the descriptor: a forked help browser may get
        // here between fork and exec.
        static const char message[] = "Checksum bad!!!!! invalidating preferances\n";
        (void)!write(STDOUT_FILENO, message, sizeof message - 1);
        copy.magic = 0;
    }
    if (copy.magic != PREFS_MAGIC) {
        copy = DefaultPrefs();
        return Fill(fd, 0);
    }
    if (got < ssize_t(sizeof copy))
        // A short record that still checks out is kept; the file must cover
        // the whole mapping so that changes reach it.
        return Fill(fd, size_t(got));
    return 0;
}

int prefs::Guard()
{
    if (!HasFile())
        return lost;
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_size >= off_t(sizeof(PrefsRecord)))
        return 0;
    // Shortened by someone else: repaired from what is left, as at start.
    copy = PrefsRecord{};
    ssize_t got = pread(fd, &copy, sizeof copy, 0);
    int err = Repair(got < 0 ? 0 : got);
    if (!err) {
        if (fstat(fd, &st) != 0)
            err = errno;
        else if (st.st_size >= off_t(sizeof(PrefsRecord)))
            return 0;
        else
            err = EIO;  // shortened again at once
    }
    // Not repaired (a full disk): the rest of the run keeps its record in
    // memory rather than touch pages the file no longer has.
    fallback = copy;
    CutTexts(fallback);
    munmap(mapped, sizeof *mapped);
    mapped = &fallback;
    lost = err;
    return err;
}

prefs::~prefs()
{
    int err = Flush();
    // The one instance ends with the process; a store made for a while (a
    // test, a fuzzing run) must not leave a mapping behind for each.
    if (HasFile())
        munmap(mapped, sizeof *mapped);
    if (fd >= 0 && close(fd) != 0 && !err)
        err = errno;
    if (err) {
        errno = err;
        perror("prefs::~prefs");
    }
}

void prefs::Recheck()
{
    mapped->checksum = 0;
    mapped->checksum = PrefsChecksum(mapped);
}

int prefs::Flush()
{
    if (int err = Guard())
        return err;
    if (!HasFile() || msync(mapped, sizeof *mapped, MS_SYNC) == 0)
        return 0;
    return errno;
}

const char *prefs::GetBrowser()
{
    Guard();
    return mapped->browser_path[0] ? mapped->browser_path : nullptr;
}

int prefs::SetBrowser(const char *path)
{
    // A file lost here is Flush's answer as well.
    Guard();
    if (!path)
        std::memset(mapped->browser_path, 0, sizeof mapped->browser_path);
    else
        CopyText(mapped->browser_path, sizeof mapped->browser_path, path);
    Recheck();
    return Flush();
}

const char *prefs::GetPassword()
{
    Guard();
    return mapped->password[0] ? mapped->password : nullptr;
}

int prefs::SetPassword(const char *password)
{
    Guard();
    std::memset(mapped->password, 0, sizeof mapped->password);
    if (password && password[0])
        CopyText(mapped->password, sizeof mapped->password, password);
    Recheck();
    return Flush();
}

int32_t prefs::GetBrowserPid()
{
    Guard();
    return int32_t(uint32_t(mapped->browser_pid));
}

void prefs::SetBrowserPid(int32_t pid)
{
    Guard();
    mapped->browser_pid = uint32_t(pid);
    Recheck();
}

bool prefs::WritableByOthers()
{
    Guard();
    if (!HasFile())
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0)
        return true;
    return st.st_uid != geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH));
}

uint8_t prefs::GetLoginByte()
{
    Guard();
    return mapped->login_persist;
}
