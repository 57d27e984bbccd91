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

void WriteRecord(int fd, const PrefsRecord &r)
{
    // Failures here are not fatal: the mapping still serves the run.
    if (pwrite(fd, &r, sizeof r, 0) == ssize_t(sizeof r))
        fdatasync(fd);
}

// Copies text into a zero-terminated field of n bytes, cutting what does not
// fit so that it never reaches the next field.
void CopyText(char *field, size_t n, const char *text)
{
    size_t len = strnlen(text, n - 1);
    std::memcpy(field, text, len);
    field[len] = '\0';
}

} // namespace

void prefs::WriteDefaults(int descriptor)
{
    copy = DefaultPrefs();
    WriteRecord(descriptor, copy);
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
        int created = open(PrefsPath, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        umask(old);
        if (created < 0) {
            perror("No pref directory");
            return;
        }
        WriteDefaults(created);
        close(created);
    }

    // Not blocking: a pipe at the path would otherwise wait for ever in read.
    fd = open(PrefsPath, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ssize_t got = fd < 0 ? -1 : read(fd, &copy, sizeof copy);
    if (got < 0) {
        perror("prefs::prefs");
        exit(9);
    }
    Repair(got);

    void *map = mmap(nullptr, sizeof(PrefsRecord), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED)
        return;
    mapped = static_cast<PrefsRecord *>(map);
    // Callers treat the texts as C strings; a record written elsewhere may
    // have filled a field to its last byte.
    char *last[] = {&mapped->browser_path[sizeof mapped->browser_path - 1],
                    &mapped->note[sizeof mapped->note - 1],
                    &mapped->password[sizeof mapped->password - 1]};
    bool cut = false;
    for (char *c : last)
        if (*c) {
            *c = '\0';
            cut = true;
        }
    if (cut) {
        Recheck();
        Flush();
    }
}

void prefs::Repair(ssize_t got)
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
    if (copy.magic != PREFS_MAGIC)
        WriteDefaults(fd);
    else if (got < ssize_t(sizeof copy))
        // A short record that still checks out is kept; the file must cover
        // the whole mapping so that changes reach it.
        (void)!ftruncate(fd, sizeof copy);
}

void prefs::Guard()
{
    if (!HasFile())
        return;
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_size >= off_t(sizeof(PrefsRecord)))
        return;
    // Shortened by someone else: repaired from what is left, as at start.
    copy = PrefsRecord{};
    ssize_t got = pread(fd, &copy, sizeof copy, 0);
    Repair(got < 0 ? 0 : got);
    if (fstat(fd, &st) == 0 && st.st_size >= off_t(sizeof(PrefsRecord)))
        return;
    // Not repaired (a full disk): the rest of the run keeps its record in
    // memory rather than touch pages the file no longer has.
    fallback = copy;
    munmap(mapped, sizeof *mapped);
    mapped = &fallback;
}

prefs::~prefs()
{
    Flush();
    // The one instance ends with the process; a store made for a while (a
    // test, a fuzzing run) must not leave a mapping behind for each.
    if (HasFile())
        munmap(mapped, sizeof *mapped);
    if (fd >= 0)
        close(fd);
}

void prefs::Recheck()
{
    mapped->checksum = 0;
    mapped->checksum = PrefsChecksum(mapped);
}

void prefs::Flush()
{
    Guard();
    if (HasFile())
        msync(mapped, sizeof *mapped, MS_SYNC);
}

const char *prefs::GetBrowser()
{
    Guard();
    return mapped->browser_path[0] ? mapped->browser_path : nullptr;
}

void prefs::SetBrowser(const char *path)
{
    Guard();
    if (!path)
        std::memset(mapped->browser_path, 0, sizeof mapped->browser_path);
    else
        CopyText(mapped->browser_path, sizeof mapped->browser_path, path);
    Recheck();
    Flush();
}

const char *prefs::GetPassword()
{
    Guard();
    return mapped->password[0] ? mapped->password : nullptr;
}

void prefs::SetPassword(const char *password)
{
    Guard();
    std::memset(mapped->password, 0, sizeof mapped->password);
    if (password && password[0])
        CopyText(mapped->password, sizeof mapped->password, password);
    Recheck();
    Flush();
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
