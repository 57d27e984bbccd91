#include "profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "file_replacement.h"
#include "whole_answers.h"

namespace {

// Opens the profile file only when it is a regular file: a pipe or device at
// the path would block or swallow the profiles.
int OpenRegular(const char *path, int flags)
{
    int fd = open(path, flags | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

// Reads up to n bytes from offset 0, resuming after interruptions. A read
// error ends the program: the callers cannot go on without the file's data.
size_t ReadImage(int fd, void *buf, size_t n)
{
    size_t got = 0;
    while (got < n) {
        ssize_t r = pread(fd, static_cast<uint8_t *>(buf) + got, n - got, off_t(got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            perror("Cfgio::rdcfg");
            exit(9);
        }
        if (r == 0)
            break;
        got += size_t(r);
    }
    return got;
}

// Copies the part of [from, from + n) of the image that was read.
void Take(void *to, const uint8_t *image, size_t got, size_t from, size_t n)
{
    if (got > from)
        std::memcpy(to, image + from, std::min(n, got - from));
}

void ClearStoredWords(ProfileRecord &r)
{
    r.cfg.clear_word1 = 0;
    r.cfg.clear_word2 = 0;
}

[[noreturn]] void CannotCreate(int err)
{
    errno = err;
    perror("Cant open config CFGIO");
    exit(1);
}

} // namespace

Cfgio::Cfgio(const char *name)
{
    std::snprintf(path, sizeof path, "/etc/%s", name ? name : "");
    // Read-only: a valid file is loaded also where /etc cannot be written.
    fd = OpenRegular(path, O_RDONLY);
    if (fd < 0)
        return;
    ProfileRecord a{}, b{};
    // A file shorter than its image cannot hold both profiles, whatever its sum says.
    bool complete = ReadAll(a, b) == sizeof(ProfileFile);
    computed = cksum(a, b);
    if (complete && header.checksum == computed && header.magic == PROFILE_MAGIC) {
        valid = 1;
    } else {
        damaged = fd;
        fd = -1;
    }
}

Cfgio::~Cfgio()
{
    if (fd >= 0)
        close(fd);
    if (damaged >= 0)
        close(damaged);
}

uint32_t Cfgio::cksum(const ProfileRecord &a, const ProfileRecord &b)
{
    uint32_t sum = 0;
    for (const ProfileRecord *r : {&a, &b}) {
        const auto *p = reinterpret_cast<const uint8_t *>(r);
        for (size_t i = 0; i < sizeof *r; ++i)
            sum += p[i];
    }
    return sum & 0xFFFF;
}

// The whole image in one read: a file is only ever replaced whole, so one
// read sees one version of it.
size_t Cfgio::ReadAll(ProfileRecord &a, ProfileRecord &b)
{
    if (fd < 0) {
        errno = EBADF;
        perror("Cfgio::rdcfg");
        exit(9);
    }
    uint8_t image[sizeof(ProfileFile)];
    const size_t got = ReadImage(fd, image, sizeof image);
    Take(&header, image, got, offsetof(ProfileFile, header), sizeof header);
    Take(&a, image, got, offsetof(ProfileFile, a), sizeof a);
    Take(&b, image, got, offsetof(ProfileFile, b), sizeof b);
    return got;
}

int Cfgio::rdcfg(ProfileRecord &a, ProfileRecord &b)
{
    ReadAll(a, b);
    return header.selector != 0 ? 1 : 0;
}

bool Cfgio::WriteImage(const ProfileRecord &a, const ProfileRecord &b)
{
    ProfileFile image;
    image.header = header;
    image.a = a;
    image.b = b;
    FileReplacement file(path, 0666);
    // oxu run by a user who may write the file but not make one in /etc:
    // rewritten in place, the only way left to that user.
    if (!file.ok() && (file.error() == EACCES || file.error() == EPERM) && file.existed())
        return WriteInPlace(image);
    if (!file.Write(&image, sizeof image) || !file.Commit()) {
        error = file.error();
        return false;
    }
    error = 0;
    return true;
}

bool Cfgio::WriteInPlace(const ProfileFile &image)
{
    const int out = OpenRegular(path, O_WRONLY);
    if (out < 0) {
        error = errno;
        return false;
    }
    // Freshly opened: its position is the file's start.
    error = WriteAll(out, &image, sizeof image);
    if (!error && fdatasync(out) != 0)
        error = errno;
    if (close(out) != 0 && !error)
        error = errno;
    return error == 0;
}

void Cfgio::KeepDamaged()
{
    if (damaged < 0)
        return;
    std::string target;
    struct stat st;
    if (!FollowLinks(path, target) || fstat(damaged, &st) != 0)
        CannotCreate(errno);
    const std::string kept = target + ".damaged";
    FileReplacement copy(kept.c_str(), st.st_mode & 07777);
    if (!copy.CopyFrom(damaged) || !copy.Commit())
        CannotCreate(copy.error());
    close(damaged);
    damaged = -1;
    std::fprintf(stderr, "%s: %s is damaged: its bytes are kept in %s, and it is made anew from the adapter\n",
                 program_invocation_short_name, path, kept.c_str());
}

int Cfgio::mkcfg(kdR770 &radio)
{
    CFG_R770 cfg{};
    _STAPLIST aplist{};
    _STSSID ssid{};
    // Profiles made of an answer cut short would hold the marks of the read.
    if (ReadWholeConfiguration(radio, cfg, aplist, ssid) != 0)
        return -1;
    cfg.clear_word1 = 0;
    cfg.clear_word2 = 0;
    cfg.home_flags &= uint8_t(~1u);

    ProfileRecord a{cfg, ssid, aplist};
    ProfileRecord b = a;

    KeepDamaged();
    std::memset(&header, 0, sizeof header);
    header.checksum = cksum(a, b);
    header.magic = PROFILE_MAGIC;
    header.selector = 0;
    // A file not written whole is no file: nothing is left of it, and
    // nothing is loaded.
    if (!WriteImage(a, b))
        CannotCreate(error);
    if (fd >= 0)
        close(fd);
    fd = OpenRegular(path, O_RDONLY);
    if (fd < 0)
        CannotCreate(errno);
    valid = 1;
    return 0;
}

int Cfgio::wrcfg(ProfileRecord &a, ProfileRecord &b, int selector)
{
    ClearStoredWords(a);
    ClearStoredWords(b);
    // A missing or damaged file is written anew rather than silently skipped,
    // so that the profiles being saved are not lost.
    header.checksum = cksum(a, b);
    header.magic = PROFILE_MAGIC;
    header.selector = uint32_t(selector);
    if (!WriteImage(a, b))
        return -1;
    valid = 1;
    return 0;
}

int Cfgio::ldcfg(kdR770 &radio, ProfileRecord &a, ProfileRecord &b)
{
    // A file that shrank since it was checked would leave stale bytes in the
    // records; such a file is not loaded.
    if (ReadAll(a, b) != sizeof(ProfileFile))
        return -1;
    int selector = header.selector != 0 ? 1 : 0;

    CFG_R770 cfg{};
    _STAPLIST aplist{};
    _STSSID ssid{};
    // Only an address read whole is the adapter's own.
    if (ReadWholeConfiguration(radio, cfg, aplist, ssid) != 0)
        return -1;

    ProfileRecord &current = selector ? b : a;
    if (std::memcmp(current.cfg.mac_addr, cfg.mac_addr, sizeof cfg.mac_addr) != 0)
        std::memcpy(current.cfg.mac_addr, cfg.mac_addr, sizeof cfg.mac_addr);
    if (radio.SetConfiguration(current.cfg, current.aplist, current.ssid) != 0)
        return -2;
    return selector;
}
