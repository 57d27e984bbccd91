// Inside of the driver stand-in: one emulated adapter's state, how it answers
// a driver request, and how the state is kept in the sandbox folder.
// Shared by sim_state.cc, emulated_adapter.cc and the preload library; the
// tests use sim_state.h only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "records.h"
#include "sim_state.h"

namespace sim {

// Byte sizes of the record images kept for an adapter.
constexpr size_t kFlashBlockSize = 32768;
constexpr int kIdentCommand = 0x89F1;  // key of the identification request in fault and short lists
constexpr size_t kMaxWepReadout = 16;   // records in a set readout

// What a command 7 gives past the end of the WEP readout.
enum class WepEnd { Repeat, Wrap, Fail };

struct Fault {
    int err = 0;
    int count = 1;  // -1: for ever
};

struct AdapterState {
    std::string iface;

    _STCAPS caps{};
    CFG_R770 config{};
    _STSSID ssid{};
    _STAPLIST aplist{};
    _STSTATUS status{};
    _STMIC mic{};
    _STMICSTATISTICS micstats{};
    tdsRidZunaUsername user{};
    tdsRidZunaPassword password{};

    // Statistics as of stats_t0; what a read returns adds the growth since.
    _STSTATISTICS32 stats_base{};   // since the last clear (command 10)
    _STSTATISTICS32 cstats_base{};  // since the adapter was made (command 9)
    double stats_t0 = 0;

    // WEP key store: key records by index, then the transmit-key selector.
    bool wep_stored[5] = {};
    _RID_wep_key wep[5]{};
    bool wep_persistent[5] = {};
    _RID_wep_key selector{};
    bool selector_persistent = true;
    int wep_cursor = 0;  // position of the next command 7 in the readout
    // A careless driver's readout: when not empty, commands 6 and 7 hand out
    // these records as they are, in place of the store's keys and selector.
    std::vector<_RID_wep_key> wep_readout;
    WepEnd wep_end = WepEnd::Repeat;

    bool user_set = false;
    bool password_set = false;
    bool zuna_armed = false;  // counting status reads towards the authenticated bit
    int zuna_reads = 0;

    bool mon_active = false;  // in the resident monitor
    int mon_stage = 0;        // next step of the flash dialogue

    // Behaviours.
    bool ident_none = false;
    uint32_t ident = 0xA55A;
    bool present = true;
    bool ap = true;
    int auth_after = 2;
    uint32_t stats_rate = 3;
    bool monitor_refuse = false;
    int monitor_drop = -1;
    int monitor_fail_block = -1;
    std::map<int, int> short_reads;  // read command -> bytes written
    std::map<int, Fault> faults;     // command -> pending failure
};

AdapterState DefaultAdapter(const std::string &iface);

// State file form. FromJson throws std::runtime_error on anything malformed.
std::string ToJson(const AdapterState &s);
AdapterState FromJson(const std::string &text);

std::string ToHex(const uint8_t *p, size_t n);
// False on an odd length or a character that is not a hex digit.
bool FromHex(const std::string &text, std::vector<uint8_t> &out);

// Wall time in seconds.
double Now();

// Statistics as a read at time now returns them.
_STSTATISTICS32 CurrentStats(const AdapterState &s, bool cumulative, double now);
// The counters that the programs display (they grow with time).
bool ShownCounter(size_t offset);
// Moves the growth up to now into the bases, so that a change of the rate or
// of a counter applies from now on.
void FoldStats(AdapterState &s, double now);

// Recomputes association from radio, network type and access point;
// restart_auth starts a new ZUNA wait when credentials are there.
void UpdateLink(AdapterState &s, bool restart_auth);

// Whether this command sends data to the driver (its bytes are journaled).
bool CommandSends(unsigned long code, int command);

// Access to the requesting program's memory; false when the range is not
// accessible (the request then fails with EFAULT, as copy_from_user would).
struct UserMemory {
    bool (*read)(const void *src, void *dst, size_t n);
    bool (*write)(void *dst, const void *src, size_t n);
};
// The calling process's own memory, checked address by address as the
// kernel's copy_from_user and copy_to_user do.
extern const UserMemory ProgramMemory;

// Answers one private ioctl for the sandbox at root. ifr is the program's
// struct ifreq pointer. Returns the ioctl result and sets *err.
int ServeRequest(const char *root, bool fd_valid, unsigned long code, const void *ifr,
                 const UserMemory &mem, int *err);

// ---- Sandbox storage (sim_state.cc) ----

bool ValidIfaceName(const std::string &iface);

// Exclusive flock on DIR/lock for the life of the object.
class SandboxLock {
public:
    // create: make the lock file when missing (sandbox set-up only).
    explicit SandboxLock(const std::string &dir, bool create = false);
    ~SandboxLock();
    SandboxLock(const SandboxLock &) = delete;
    SandboxLock &operator=(const SandboxLock &) = delete;
    bool ok() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// False when the adapter has no state file; throws when the file is corrupt.
bool LoadAdapter(const std::string &dir, const std::string &iface, AdapterState &s);
void SaveAdapter(const std::string &dir, const AdapterState &s);

std::string FlashPath(const std::string &dir, const std::string &iface);
void AppendFlashBlock(const std::string &dir, const std::string &iface, const uint8_t *block);
void ClearFlash(const std::string &dir, const std::string &iface);

void AppendJournal(const std::string &dir, const JournalEntry &e);

} // namespace sim
