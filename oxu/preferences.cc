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

    uint32_t stored = copy.checksum;
    copy.checksum = 0;
    if (stored != PrefsChecksum(&copy)) {
        std::printf("Checksum bad!!!!! invalidating preferances\n");
        std::fflush(stdout);
        copy.magic = 0;
    }
    if (copy.magic != PREFS_MAGIC)
        WriteDefaults(fd);
    else if (got < ssize_t(sizeof copy))
        // A short record that still checks out is kept; the file must cover
        // the whole mapping so that changes reach it.
        (void)!ftruncate(fd, sizeof copy);

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

prefs::~prefs()
{
    Flush();
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
    if (HasFile())
        msync(mapped, sizeof *mapped, MS_SYNC);
}

const char *prefs::GetBrowser()
{
    return mapped->browser_path[0] ? mapped->browser_path : nullptr;
}

void prefs::SetBrowser(const char *path)
{
    if (!path)
        std::memset(mapped->browser_path, 0, sizeof mapped->browser_path);
    else
        CopyText(mapped->browser_path, sizeof mapped->browser_path, path);
    Recheck();
    Flush();
}

const char *prefs::GetPassword()
{
    return mapped->password[0] ? mapped->password : nullptr;
}

void prefs::SetPassword(const char *password)
{
    std::memset(mapped->password, 0, sizeof mapped->password);
    if (password && password[0])
        CopyText(mapped->password, sizeof mapped->password, password);
    Recheck();
    Flush();
}

int32_t prefs::GetBrowserPid()
{
    return int32_t(uint32_t(mapped->browser_pid));
}

void prefs::SetBrowserPid(int32_t pid)
{
    mapped->browser_pid = uint32_t(pid);
    Recheck();
}

uint8_t prefs::GetLoginByte()
{
    return mapped->login_persist;
}
