// The client utility's preferences: one 360-byte record in "/opt/tavlo/OXU.PRFS",
// kept mapped shared for the whole run so that a forked help browser's pid
// reaches the program and the file at once.
#pragma once

#include <sys/types.h>

#include <cstdint>

#include "records.h"

struct PrefsRecord {
    le32 checksum;          // low 8 bits of the byte sum with this word 0
    le32 magic;             // 343
    le32 browser_pid;       // help browser started last, 0 = none
    char browser_path[128];
    char note[128];
    char password[80];      // " " = no password set
    uint8_t reserved[4];
    le32 flags;
    uint8_t login_persist;  // copied into the adapter's persist flag
    uint8_t pad[3];
};

static_assert(sizeof(PrefsRecord) == 360 && alignof(PrefsRecord) == 1);
static_assert(offsetof(PrefsRecord, browser_pid) == 8);
static_assert(offsetof(PrefsRecord, browser_path) == 12);
static_assert(offsetof(PrefsRecord, note) == 140);
static_assert(offsetof(PrefsRecord, password) == 268);
static_assert(offsetof(PrefsRecord, reserved) == 348);
static_assert(offsetof(PrefsRecord, flags) == 352);
static_assert(offsetof(PrefsRecord, login_persist) == 356);

enum : uint32_t { PREFS_MAGIC = 343 };

uint8_t PrefsChecksum(const PrefsRecord *record);

// The record every reset writes.
PrefsRecord DefaultPrefs();

class prefs {
public:
    prefs();
    ~prefs();
    prefs(const prefs &) = delete;
    prefs &operator=(const prefs &) = delete;

    // The setters return 0 once the file holds the change, else the error
    // number of why it may not: the change still holds for the rest of the
    // run. Without a file at all ("No pref directory") nothing is kept by
    // design, and they return 0.
    const char *GetBrowser();
    int SetBrowser(const char *path);
    const char *GetPassword();
    int SetPassword(const char *password);
    int32_t GetBrowserPid();
    void SetBrowserPid(int32_t pid);
    uint8_t GetLoginByte();
    void SetUnlocked(uint8_t value) { unlocked = value; }
    uint8_t IsUnlocked() { return unlocked; }

    // Whether the record is backed by the file (false: the folder is missing or
    // the file could not be mapped; the defaults then serve this run only).
    bool HasFile() const { return mapped != &fallback; }
    // Whether someone other than this process's user can change the file,
    // so that what it holds may be another user's choice.
    bool WritableByOthers();

private:
    void Recheck();
    // 0 or the error number; for a store that has lost its file, why.
    int Flush();
    // Writes the copy from byte from to the record's end and flushes it: 0
    // or the error number. A failed write that made the file longer is taken
    // back, so that no half record is left behind.
    int Fill(int descriptor, size_t from);
    // Checks the record read into the copy (got bytes of it) and repairs the
    // file: a bad checksum or mark resets it to the defaults, a short record
    // that checks out is extended to the record's size with written bytes (a
    // sparse end could still lack space when its page is first written).
    // 0 or the error number.
    int Repair(ssize_t got);
    // Another process may shorten the file while it is mapped, and a page
    // past its end cannot be touched (SIGBUS): checked, and the file
    // repaired, before each access to the record. A file that cannot be
    // repaired is let go: 0 or the error number.
    int Guard();
    // Ends the start with status 9 and the reason.
    [[noreturn]] static void Unreadable(int err);

    PrefsRecord copy = {};
    PrefsRecord *mapped = nullptr;
    int fd = -1;
    uint8_t unlocked = 0;
    PrefsRecord fallback = {};
    // Why the record is no longer backed by the file, 0 while it is (or
    // while there never was one).
    int lost = 0;
};

extern const char PrefsPath[20];
