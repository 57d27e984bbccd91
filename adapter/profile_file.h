// The profile file of one interface: "/etc/" + interface + ".cfg", holding the
// enterprise profile (record A), the home profile (record B) and a selector.
#pragma once

#include <cstdint>

#include "kdr770.h"
#include "records.h"

struct ProfileFileHeader {
    le32 checksum;   // byte sum of both records modulo 65536; upper half zero
    le32 magic;      // 343
    le32 selector;   // 0: record A current, else record B
    uint8_t reserved[124];
};

static_assert(sizeof(ProfileFileHeader) == 136 && alignof(ProfileFileHeader) == 1);
static_assert(offsetof(ProfileFileHeader, selector) == 8);

// The whole file as one image.
struct ProfileFile {
    ProfileFileHeader header;
    ProfileRecord a;
    ProfileRecord b;
};

static_assert(sizeof(ProfileFile) == 708 && offsetof(ProfileFile, a) == 136 &&
              offsetof(ProfileFile, b) == 422);

enum : uint32_t { PROFILE_MAGIC = 343 };

class Cfgio {
public:
    // name: the interface name followed by ".cfg".
    explicit Cfgio(const char *name);
    ~Cfgio();
    Cfgio(const Cfgio &) = delete;
    Cfgio &operator=(const Cfgio &) = delete;

    int rdcfg(ProfileRecord &a, ProfileRecord &b);
    int mkcfg(kdR770 &radio);
    int wrcfg(ProfileRecord &a, ProfileRecord &b, int selector);
    // Loads the current profile into the adapter. The selector; -1 when
    // nothing was sent (the adapter's configuration could not be read, or the
    // file shrank since it was checked); -2 when the adapter did not take the
    // profile (a write failed; its error text names the request).
    int ldcfg(kdR770 &radio, ProfileRecord &a, ProfileRecord &b);
    static uint32_t cksum(const ProfileRecord &a, const ProfileRecord &b);

    int fd = -1;
    char path[44] = {};
    uint32_t computed = 0;
    ProfileFileHeader header = {};
    uint8_t valid = 0;
    // Why the last save failed (an errno value), 0 after one that succeeded.
    int error = 0;

private:
    // Reads the file from offset 0 like rdcfg; returns the number of bytes read.
    size_t ReadAll(ProfileRecord &a, ProfileRecord &b);
    // Puts the header and both records in place of the file, whole or not at
    // all; false with error set.
    bool WriteImage(const ProfileRecord &a, const ProfileRecord &b);
    bool WriteInPlace(const ProfileFile &image);
    // Keeps a damaged file's bytes beside it before it is made anew.
    void KeepDamaged();

    // A file found present but not valid, open for reading, until its bytes
    // are kept.
    int damaged = -1;
};
