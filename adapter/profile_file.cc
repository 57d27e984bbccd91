#include "profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "whole_answers.h"

namespace {

// Reads up to n bytes, resuming after interruptions and partial reads. A read
// error ends the program: the callers cannot go on without the file's data.
size_t ReadPart(int fd, void *buf, size_t n)
{
    size_t got = 0;
    while (got < n) {
        ssize_t r = read(fd, static_cast<uint8_t *>(buf) + got, n - got);
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

// Opens the profile file only when it is a regular file (or is created as
// one): a pipe or device at the path would block or swallow the profiles.
int OpenRegular(const char *path, int flags)
{
    int fd = open(path, flags | O_NONBLOCK | O_CLOEXEC, 0666);
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

void ClearStoredWords(ProfileRecord &r)
{
    r.cfg.clear_word1 = 0;
    r.cfg.clear_word2 = 0;
}

} // namespace

Cfgio::Cfgio(const char *name)
{
    std::snprintf(path, sizeof path, "/etc/%s", name ? name : "");
    fd = OpenRegular(path, O_RDWR);
    if (fd < 0)
        return;
    ProfileRecord a{}, b{};
    // A file shorter than its image cannot hold both profiles, whatever its sum says.
    bool complete = ReadAll(a, b) == sizeof(ProfileFile);
    computed = cksum(a, b);
    if (complete && header.checksum == computed && header.magic == PROFILE_MAGIC) {
        valid = 1;
    } else {
        close(fd);
        fd = -1;
    }
}

Cfgio::~Cfgio()
{
    if (fd >= 0)
        close(fd);
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

size_t Cfgio::ReadAll(ProfileRecord &a, ProfileRecord &b)
{
    if (lseek(fd, 0, SEEK_SET) < 0) {
        perror("Cfgio::rdcfg");
        exit(9);
    }
    size_t got = ReadPart(fd, &header, sizeof header);
    if (got < sizeof header)
        return got;
    got += ReadPart(fd, &a, sizeof a);
    if (got < sizeof header + sizeof a)
        return got;
    return got + ReadPart(fd, &b, sizeof b);
}

int Cfgio::rdcfg(ProfileRecord &a, ProfileRecord &b)
{
    ReadAll(a, b);
    return header.selector != 0 ? 1 : 0;
}

int Cfgio::OpenForWriting()
{
    if (fd >= 0)
        return fd;
    // Exactly mode 0666, without leaving the process's creation mask changed for
    // the files its children make later.
    mode_t old = umask(0);
    fd = OpenRegular(path, O_RDWR | O_CREAT);
    umask(old);
    return fd;
}

int Cfgio::WriteImage(const ProfileRecord &a, const ProfileRecord &b)
{
    ProfileFile image;
    image.header = header;
    image.a = a;
    image.b = b;
    const auto *p = reinterpret_cast<const uint8_t *>(&image);
    size_t done = 0;
    while (done < sizeof image) {
        ssize_t w = pwrite(fd, p + done, sizeof image - done, off_t(done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return -1;
        done += size_t(w);
    }
    return fdatasync(fd) == 0 ? 0 : -1;
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

    if (OpenForWriting() < 0) {
        perror("Cant open config CFGIO");
        exit(1);
    }
    valid = 1;
    std::memset(&header, 0, sizeof header);
    header.checksum = cksum(a, b);
    header.magic = PROFILE_MAGIC;
    header.selector = 0;
    return WriteImage(a, b);
}

int Cfgio::wrcfg(ProfileRecord &a, ProfileRecord &b, int selector)
{
    ClearStoredWords(a);
    ClearStoredWords(b);
    // A missing or damaged file is written anew rather than silently skipped,
    // so that the profiles being saved are not lost.
    if (OpenForWriting() < 0)
        return -1;
    header.checksum = cksum(a, b);
    header.magic = PROFILE_MAGIC;
    header.selector = uint32_t(selector);
    if (WriteImage(a, b) != 0)
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
