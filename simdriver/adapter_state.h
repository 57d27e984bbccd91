// One emulated adapter's state: its records and behaviours, its state as a
// new adapter, the form in which the sandbox keeps it, and the growth of its
// counters with time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "records.h"

namespace sim {

// What the sandbox refuses (a bad field, a corrupt state, a missing adapter)
// is thrown as std::runtime_error naming it.
[[noreturn]] void Bad(const std::string &what);

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
    std::set<int> hangs;             // commands whose requests never return
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

} // namespace sim
