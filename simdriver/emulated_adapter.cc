// How an emulated adapter behaves: its default records, the growth of its
// counters, and its answer to each driver request.
#include "emulated_adapter.h"

#include <net/if.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "kdr770.h"

namespace sim {

namespace {

using json = nlohmann::json;

// Reserved bytes get a pattern that no field default has, so that tests can
// see whether a program carries them.
template <class R>
void FillPattern(R &rec)
{
    auto *p = reinterpret_cast<uint8_t *>(&rec);
    for (size_t i = 0; i < sizeof(R); ++i)
        p[i] = uint8_t(0x80 | (i & 0x7F));
}

template <size_t N>
void PutText(char (&field)[N], const char *text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text, strnlen(text, N));
}

void PutMac(uint8_t *out, const uint8_t (&mac)[6]) { std::memcpy(out, mac, 6); }

// Statistics counters that the programs display; they grow with time.
const uint16_t kShownCounters[] = {
    0x04, 0x08, 0x0c, 0x10, 0x14, 0x24, 0x28, 0x2c, 0x30, 0x34, 0x38, 0x3c, 0x40, 0x44,
    0x48, 0x4c, 0x50, 0x58, 0x5c, 0x60, 0x64, 0x68, 0x6c, 0x70, 0x74, 0x78, 0x7c, 0x80,
    0x84, 0xb0, 0xb4, 0xb8, 0xe0, 0xe4, 0xe8, 0xec, 0xf0, 0xf4, 0xf8, 0xfc, 0x170, 0x174,
};

} // namespace

bool ShownCounter(size_t off)
{
    for (uint16_t s : kShownCounters)
        if (s == off)
            return true;
    return false;
}

namespace {

uint32_t CounterAt(const _STSTATISTICS32 &st, size_t off) { return st.Counter(off); }

void SetCounterAt(_STSTATISTICS32 &st, size_t off, uint32_t v)
{
    le32 w;
    w = v;
    std::memcpy(reinterpret_cast<uint8_t *>(&st) + off, &w, 4);
}

_RID_wep_key MakeKey(uint16_t index, const std::vector<uint8_t> &key)
{
    _RID_wep_key k{};
    k.length = 26;
    k.key_index = index;
    k.mac[0] = 1;
    k.key_len = uint16_t(key.size());
    std::memcpy(k.key, key.data(), std::min(key.size(), sizeof k.key));
    return k;
}

_RID_wep_key MakeSelector(uint8_t tx)
{
    _RID_wep_key k{};
    k.length = 26;
    k.key_index = WEP_SELECTOR_INDEX;
    k.mac[0] = tx;
    return k;
}

// ---- state file form ----

template <class R>
std::string Image(const R &rec)
{
    return ToHex(reinterpret_cast<const uint8_t *>(&rec), sizeof(R));
}

template <class R>
void FromImage(const json &j, const char *name, R &rec)
{
    std::vector<uint8_t> bytes;
    if (!j.is_string() || !FromHex(j.get<std::string>(), bytes) || bytes.size() != sizeof(R))
        throw std::runtime_error(std::string("bad record image ") + name);
    std::memcpy(&rec, bytes.data(), sizeof(R));
}

} // namespace

std::string ToHex(const uint8_t *p, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

bool FromHex(const std::string &text, std::vector<uint8_t> &out)
{
    auto nibble = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    if (text.size() % 2)
        return false;
    out.clear();
    out.reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        int hi = nibble(text[i]), lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out.push_back(uint8_t(hi << 4 | lo));
    }
    return true;
}

double Now()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

AdapterState DefaultAdapter(const std::string &iface)
{
    AdapterState s;
    s.iface = iface;

    // Distinct factory address per interface: a hash of the name, ending in
    // the interface's digit when it has one (eth3 -> ...:03).
    uint32_t h = 2166136261u;
    for (unsigned char c : iface)
        h = (h ^ c) * 16777619u;
    uint8_t last = uint8_t(h >> 16);
    if (!iface.empty() && iface.back() >= '0' && iface.back() <= '9')
        last = uint8_t(iface.back() - '0');
    const uint8_t mac[6] = {0x00, 0x40, 0x96, uint8_t(h), uint8_t(h >> 8), last};

    FillPattern(s.caps);
    PutText(s.caps.manufacturer, "Vindral Networks");
    PutText(s.caps.product_name, "PC4800");
    PutText(s.caps.firmware_version, "4.25");
    PutMac(s.caps.factory_mac, mac);
    s.caps.region = 0;
    const uint8_t rates[8] = {2, 4, 11, 22, 0, 0, 0, 0};
    std::memcpy(s.caps.supported_rates, rates, 8);
    const uint16_t levels[8] = {1, 5, 20, 30, 50, 0, 0, 0};
    for (int i = 0; i < 8; ++i)
        s.caps.power_levels[i] = levels[i];
    s.caps.wep_caps = 0x0014;
    s.caps.cap_flags = 0x1102;
    s.caps.boot_version = 0x0104;

    FillPattern(s.config);
    s.config.net_type = 1;
    s.config.frag_threshold = 2312;
    s.config.rts_threshold = 2312;
    PutMac(s.config.mac_addr, mac);
    std::memcpy(s.config.rates, rates, 8);
    s.config.short_retry = 16;
    s.config.long_retry = 16;
    s.config.clear_word1 = 0xC1C1;  // non-zero: profile files must clear it
    s.config.auth_mode = AUTH_OPEN;
    s.config.world_mode = 1;
    s.config.power_save = 0;
    s.config.beacon_period = 100;
    s.config.wake_duration = 5;
    s.config.channel = 6;
    s.config.clear_word2 = 0xC2C2;
    s.config.antenna = 0x0303;
    s.config.tx_power = 50;
    s.config.radio_flags = 0;
    s.config.home_flags = 0;
    PutText(s.config.client_name, "");

    s.ssid.entry[0].len = 7;
    PutText(s.ssid.entry[0].text, "vindral");
    s.aplist.length = 26;

    FillPattern(s.status);
    s.status.status_word = STATUS_RADIO_ENABLED | STATUS_ASSOCIATED;
    s.status.ssid_len = 7;
    PutText(s.status.ssid, "vindral");
    PutText(s.status.ap_name, "AP-1");
    const uint8_t ap_mac[6] = {0x00, 0x40, 0x96, 0xaa, 0x00, 0x01};
    PutMac(s.status.ap_mac, ap_mac);
    s.status.cur_channel = 6;
    s.status.cur_rate = 22;
    s.status.signal_level = 70;
    s.status.short_headers = 0;
    const uint8_t ap_ip[4] = {10, 0, 0, 1};
    std::memcpy(s.status.ap_ip, ap_ip, 4);

    FillPattern(s.mic);
    FillPattern(s.micstats);
    s.micstats.mic_enabled = 1;
    s.micstats.packets_mic_ok = 1200;
    s.micstats.packets_incorrect_mic = 3;
    s.micstats.packets_no_mic = 7;
    s.micstats.packets_no_mic_seed = 1;
    s.micstats.packets_wrong_sequence = 2;

    for (size_t off = 0; off < sizeof(_STSTATISTICS32); off += 4) {
        uint32_t carried = 0x5A000000u | uint32_t(off);
        SetCounterAt(s.cstats_base, off, ShownCounter(off) ? 5000 + uint32_t(off) : carried);
        SetCounterAt(s.stats_base, off, ShownCounter(off) ? 100 + uint32_t(off / 4) : carried);
    }
    s.cstats_base.uptime = 3725;
    s.stats_base.uptime = 605;
    s.stats_t0 = Now();

    s.wep_stored[0] = s.wep_stored[1] = true;
    s.wep[0] = MakeKey(0, {0x11, 0x22, 0x33, 0x44, 0x55});
    s.wep[1] = MakeKey(1, {0xa1, 0xb2, 0xc3, 0xd4, 0xe5});
    s.wep_persistent[0] = s.wep_persistent[1] = true;
    s.selector = MakeSelector(0);
    return s;
}

std::string ToJson(const AdapterState &s)
{
    json j;
    j["version"] = 1;
    j["iface"] = s.iface;
    j["records"] = {
        {"caps", Image(s.caps)},         {"config", Image(s.config)},
        {"ssid", Image(s.ssid)},         {"aplist", Image(s.aplist)},
        {"status", Image(s.status)},     {"mic", Image(s.mic)},
        {"micstats", Image(s.micstats)}, {"user", Image(s.user)},
        {"password", Image(s.password)}, {"stats", Image(s.stats_base)},
        {"cstats", Image(s.cstats_base)},
    };
    j["stats_t0"] = s.stats_t0;
    json keys = json::array();
    json persistent = json::array();
    for (int i = 0; i < 5; ++i) {
        keys.push_back(s.wep_stored[i] ? json(Image(s.wep[i])) : json(nullptr));
        persistent.push_back(s.wep_persistent[i]);
    }
    j["wep"] = {{"keys", keys},
                {"persistent", persistent},
                {"selector", Image(s.selector)},
                {"selector_persistent", s.selector_persistent},
                {"cursor", s.wep_cursor}};
    if (!s.wep_readout.empty()) {
        json readout = json::array();
        for (const _RID_wep_key &k : s.wep_readout)
            readout.push_back(Image(k));
        j["wep"]["readout"] = readout;
    }
    j["wep"]["end"] = int(s.wep_end);
    j["zuna"] = {{"user_set", s.user_set},
                 {"password_set", s.password_set},
                 {"armed", s.zuna_armed},
                 {"reads", s.zuna_reads}};
    j["monitor"] = {{"active", s.mon_active}, {"stage", s.mon_stage}};
    json shorts = json::object();
    for (const auto &kv : s.short_reads)
        shorts[std::to_string(kv.first)] = kv.second;
    json faults = json::object();
    for (const auto &kv : s.faults)
        faults[std::to_string(kv.first)] = {{"err", kv.second.err}, {"count", kv.second.count}};
    j["behaviours"] = {
        {"ident", s.ident_none ? json("none") : json(s.ident)},
        {"present", s.present},
        {"ap", s.ap},
        {"auth_after", s.auth_after},
        {"stats_rate", s.stats_rate},
        {"monitor_refuse", s.monitor_refuse},
        {"monitor_drop", s.monitor_drop},
        {"monitor_fail_block", s.monitor_fail_block},
        {"short", shorts},
    };
    j["faults"] = faults;
    return j.dump(1) + "\n";
}

AdapterState FromJson(const std::string &text)
{
    try {
        json j = json::parse(text);
        AdapterState s;
        s.iface = j.at("iface").get<std::string>();
        const json &r = j.at("records");
        FromImage(r.at("caps"), "caps", s.caps);
        FromImage(r.at("config"), "config", s.config);
        FromImage(r.at("ssid"), "ssid", s.ssid);
        FromImage(r.at("aplist"), "aplist", s.aplist);
        FromImage(r.at("status"), "status", s.status);
        FromImage(r.at("mic"), "mic", s.mic);
        FromImage(r.at("micstats"), "micstats", s.micstats);
        FromImage(r.at("user"), "user", s.user);
        FromImage(r.at("password"), "password", s.password);
        FromImage(r.at("stats"), "stats", s.stats_base);
        FromImage(r.at("cstats"), "cstats", s.cstats_base);
        s.stats_t0 = j.at("stats_t0").get<double>();

        const json &w = j.at("wep");
        const json &keys = w.at("keys");
        const json &persistent = w.at("persistent");
        if (keys.size() != 5 || persistent.size() != 5)
            throw std::runtime_error("bad WEP key store");
        for (size_t i = 0; i < 5; ++i) {
            s.wep_stored[i] = !keys[i].is_null();
            if (s.wep_stored[i])
                FromImage(keys[i], "wep", s.wep[i]);
            s.wep_persistent[i] = persistent[i].get<bool>();
        }
        FromImage(w.at("selector"), "selector", s.selector);
        s.selector_persistent = w.at("selector_persistent").get<bool>();
        s.wep_cursor = std::min(std::max(w.at("cursor").get<int>(), 0), int(kMaxWepReadout));
        if (w.contains("readout")) {
            const json &readout = w.at("readout");
            if (!readout.is_array() || readout.size() > kMaxWepReadout)
                throw std::runtime_error("bad WEP readout");
            s.wep_readout.resize(readout.size());
            for (size_t i = 0; i < readout.size(); ++i)
                FromImage(readout[i], "wep readout", s.wep_readout[i]);
        }
        if (w.contains("end")) {
            const int end = w.at("end").get<int>();
            if (end < int(WepEnd::Repeat) || end > int(WepEnd::Fail))
                throw std::runtime_error("bad WEP readout end");
            s.wep_end = WepEnd(end);
        }

        const json &z = j.at("zuna");
        s.user_set = z.at("user_set").get<bool>();
        s.password_set = z.at("password_set").get<bool>();
        s.zuna_armed = z.at("armed").get<bool>();
        s.zuna_reads = std::min(std::max(z.at("reads").get<int>(), 0), 1000000);

        const json &m = j.at("monitor");
        s.mon_active = m.at("active").get<bool>();
        s.mon_stage = m.at("stage").get<int>();

        const json &b = j.at("behaviours");
        const json &ident = b.at("ident");
        s.ident_none = ident.is_string();
        if (s.ident_none) {
            if (ident.get<std::string>() != "none")
                throw std::runtime_error("bad ident");
        } else {
            s.ident = ident.get<uint32_t>();
        }
        s.present = b.at("present").get<bool>();
        s.ap = b.at("ap").get<bool>();
        s.auth_after = b.at("auth_after").get<int>();
        s.stats_rate = b.at("stats_rate").get<uint32_t>();
        s.monitor_refuse = b.at("monitor_refuse").get<bool>();
        s.monitor_drop = b.at("monitor_drop").get<int>();
        s.monitor_fail_block = b.at("monitor_fail_block").get<int>();
        for (const auto &kv : b.at("short").items())
            s.short_reads[std::stoi(kv.key())] = kv.value().get<int>();
        for (const auto &kv : j.at("faults").items())
            s.faults[std::stoi(kv.key())] = Fault{kv.value().at("err").get<int>(),
                                                   kv.value().at("count").get<int>()};
        return s;
    } catch (const json::exception &e) {
        throw std::runtime_error(std::string("corrupt adapter state: ") + e.what());
    } catch (const std::logic_error &e) {  // stoi
        throw std::runtime_error(std::string("corrupt adapter state: ") + e.what());
    }
}

_STSTATISTICS32 CurrentStats(const AdapterState &s, bool cumulative, double now)
{
    _STSTATISTICS32 st = cumulative ? s.cstats_base : s.stats_base;
    if (s.stats_rate == 0 || now <= s.stats_t0)
        return st;
    // Whole seconds only, like a driver that updates its counters once a second.
    uint64_t secs = uint64_t(std::floor(now - s.stats_t0));
    uint32_t growth = uint32_t(secs * s.stats_rate);
    for (uint16_t off : kShownCounters)
        SetCounterAt(st, off, CounterAt(st, off) + growth);
    st.uptime = uint32_t(st.uptime + secs);
    return st;
}

void FoldStats(AdapterState &s, double now)
{
    if (s.stats_rate == 0 || now < s.stats_t0) {
        s.stats_t0 = now;
        return;
    }
    double secs = std::floor(now - s.stats_t0);
    s.stats_base = CurrentStats(s, false, now);
    s.cstats_base = CurrentStats(s, true, now);
    s.stats_t0 += secs;
}

void UpdateLink(AdapterState &s, bool restart_auth)
{
    uint16_t sw = s.status.status_word;
    bool radio = sw & STATUS_RADIO_ENABLED;
    // Infrastructure needs an access point in range; an ad hoc station is
    // always a member of its own cell.
    bool infrastructure = s.config.net_type & 1;
    bool assoc = radio && (!infrastructure || s.ap);
    bool was = sw & STATUS_ASSOCIATED;
    if (assoc) {
        sw |= STATUS_ASSOCIATED;
    } else {
        sw &= uint16_t(~(STATUS_ASSOCIATED | STATUS_AUTHENTICATED));
        s.zuna_armed = false;
    }
    // A ZUNA login needs the ZUNA bit in the configuration as well as the
    // credentials: without it the adapter never authenticates.
    if (assoc && (!was || restart_auth) && s.user_set && s.password_set &&
        (s.config.auth_mode & AUTH_ZUNA)) {
        sw &= uint16_t(~STATUS_AUTHENTICATED);
        s.zuna_armed = true;
        s.zuna_reads = 0;
    }
    s.status.status_word = sw;
}

namespace {

// ---- the resident monitor's flash dialogue ----

enum class Ev { Get, Put, Block };
struct Step {
    Ev ev;
    uint8_t ch;  // character, or block number
    int prompt;  // prompt number for monitor_drop, -1 for the program's own steps
};
const Step kDialogue[] = {
    {Ev::Get, '*', 0},  {Ev::Put, 'L', -1},  {Ev::Put, '\r', -1}, {Ev::Get, 0x1b, 1},
    {Ev::Block, 0, -1}, {Ev::Get, 0x1b, 2},  {Ev::Block, 1, -1},  {Ev::Get, 0x1b, 3},
    {Ev::Block, 2, -1}, {Ev::Get, 0x1b, 4},  {Ev::Block, 3, -1},  {Ev::Get, 0x80, 5},
    {Ev::Get, '*', 6},  {Ev::Put, 'g', -1},  {Ev::Put, '\r', -1},
};
constexpr int kDialogueDone = int(sizeof kDialogue / sizeof kDialogue[0]);

const Step *NextStep(const AdapterState &s)
{
    if (s.mon_stage < 0 || s.mon_stage >= kDialogueDone)
        return nullptr;
    return &kDialogue[s.mon_stage];
}

int RecordSize(int command)
{
    switch (command) {
    case CMD_GET_CAPS: case CMD_SET_CAPS: return sizeof(_STCAPS);
    case CMD_GET_CONFIG: case CMD_SET_CONFIG: return sizeof(CFG_R770);
    case CMD_GET_SSID: case CMD_SET_SSID: return sizeof(_STSSID);
    case CMD_GET_APLIST: case CMD_SET_APLIST: return sizeof(_STAPLIST);
    case CMD_GET_FIRST_WEP: case CMD_GET_NEXT_WEP:
    case CMD_WEP_TEMP: case CMD_WEP_PERSIST: return sizeof(_RID_wep_key);
    case CMD_GET_STATUS: return sizeof(_STSTATUS);
    case CMD_GET_CSTATS: case CMD_GET_STATS: case CMD_RESET_STATS: return sizeof(_STSTATISTICS32);
    case CMD_GET_MIC: return sizeof(_STMIC);
    case CMD_GET_MICSTATS: return sizeof(_STMICSTATISTICS);
    case CMD_ZUNA_PASSWORD: return sizeof(tdsRidZunaPassword);
    case CMD_ZUNA_USER: return sizeof(tdsRidZunaUsername);
    case CMD_FLASH_RESET: case CMD_FLASH_MONITOR: case CMD_FLASH_RESTART: return 0;
    case CMD_FLASH_GETCHAR: case CMD_FLASH_PUTCHAR: return 4;
    case CMD_FLASH_BLOCK: return int(kFlashBlockSize);
    default: return -1;
    }
}

bool IsRead(int command)
{
    return (command >= CMD_GET_CAPS && command <= CMD_GET_APLIST) ||
           (command >= CMD_GET_FIRST_WEP && command <= CMD_GET_MICSTATS);
}

template <class R>
std::vector<uint8_t> Bytes(const R &rec)
{
    const auto *p = reinterpret_cast<const uint8_t *>(&rec);
    return std::vector<uint8_t>(p, p + sizeof(R));
}

template <class R>
void Store(R &rec, const std::vector<uint8_t> &sent)
{
    std::memcpy(&rec, sent.data(), sizeof(R));
}

// The records that commands 6 and 7 hand out, in order: a set readout, or
// the stored keys by index and then the selector.
std::vector<_RID_wep_key> WepReadout(const AdapterState &s)
{
    if (!s.wep_readout.empty())
        return s.wep_readout;
    std::vector<_RID_wep_key> out;
    for (int i = 0; i < 5; ++i)
        if (s.wep_stored[i])
            out.push_back(s.wep[i]);
    out.push_back(s.selector);
    return out;
}

// The status as the configuration makes a real adapter report it.
void StatusFromConfig(AdapterState &s)
{
    s.status.cur_channel = uint16_t(s.config.channel);
    std::memset(s.status.ssid, 0, sizeof s.status.ssid);
    s.status.ssid_len = 0;
    for (const SsidEntry &e : s.ssid.entry) {
        size_t n = std::min<size_t>(e.len, sizeof e.text);
        if (n) {
            std::memcpy(s.status.ssid, e.text, n);
            s.status.ssid_len = uint16_t(n);
            break;
        }
    }
    s.status.short_headers = (s.config.radio_flags & RADIO_SHORT_HEADERS) ? 1 : 0;
    UpdateLink(s, false);
}

void CredentialsWritten(AdapterState &s)
{
    s.status.status_word &= uint16_t(~STATUS_AUTHENTICATED);
    s.zuna_armed = false;
    if ((s.status.status_word & STATUS_RADIO_ENABLED) && s.user_set && s.password_set)
        UpdateLink(s, true);
}

// One record request of code 0x89F0. Returns the error number (0 = success).
int Execute(AdapterState &s, const std::string &dir, const DriverRequest &dr, bool sent_ok,
            const std::vector<uint8_t> &sent, const UserMemory &mem, bool &changed)
{
    const int cmd = dr.command;
    if (cmd == CMD_MAC_ON || cmd == CMD_MAC_OFF) {
        // Any length: the request carries whatever the previous one left.
        if (cmd == CMD_MAC_ON) {
            s.status.status_word |= STATUS_RADIO_ENABLED;
            UpdateLink(s, true);
        } else {
            s.status.status_word &=
                uint16_t(~(STATUS_RADIO_ENABLED | STATUS_ASSOCIATED | STATUS_AUTHENTICATED));
            s.zuna_armed = false;
        }
        changed = true;
        return 0;
    }
    int size = RecordSize(cmd);
    if (size < 0)
        return EOPNOTSUPP;
    if (dr.length != size)
        return EINVAL;

    if (IsRead(cmd)) {
        if (!dr.data)
            return EFAULT;
        std::vector<uint8_t> out;
        switch (cmd) {
        case CMD_GET_CAPS: out = Bytes(s.caps); break;
        case CMD_GET_CONFIG: out = Bytes(s.config); break;
        case CMD_GET_SSID: out = Bytes(s.ssid); break;
        case CMD_GET_APLIST: out = Bytes(s.aplist); break;
        case CMD_GET_FIRST_WEP:
        case CMD_GET_NEXT_WEP: {
            const std::vector<_RID_wep_key> readout = WepReadout(s);
            const int n = int(readout.size());
            int pos = cmd == CMD_GET_FIRST_WEP ? 0 : std::max(s.wep_cursor, 0);
            if (pos >= n) {
                if (s.wep_end == WepEnd::Fail)
                    return ENODATA;
                pos = s.wep_end == WepEnd::Wrap ? pos % n : n - 1;
            }
            out = Bytes(readout[size_t(pos)]);
            s.wep_cursor = pos + 1;  // at most the readout's length
            changed = true;
            break;
        }
        case CMD_GET_STATUS:
            if (s.zuna_armed) {
                if (s.auth_after >= 0 && s.zuna_reads >= s.auth_after &&
                    (s.status.status_word & STATUS_ASSOCIATED) &&
                    (s.config.auth_mode & AUTH_ZUNA)) {
                    s.status.status_word |= STATUS_AUTHENTICATED;
                    s.zuna_armed = false;
                } else if (s.zuna_reads < 1000000) {
                    ++s.zuna_reads;
                }
                changed = true;
            }
            out = Bytes(s.status);
            break;
        case CMD_GET_CSTATS: out = Bytes(CurrentStats(s, true, Now())); break;
        case CMD_GET_STATS: out = Bytes(CurrentStats(s, false, Now())); break;
        case CMD_GET_MIC: out = Bytes(s.mic); break;
        case CMD_GET_MICSTATS: out = Bytes(s.micstats); break;
        }
        size_t n = out.size();
        auto sh = s.short_reads.find(cmd);
        if (sh != s.short_reads.end() && sh->second >= 0 && size_t(sh->second) < n)
            n = size_t(sh->second);
        if (n && !mem.write(dr.data, out.data(), n))
            return EFAULT;
        return 0;
    }

    if (size > 0 && !sent_ok)
        return EFAULT;
    switch (cmd) {
    case CMD_SET_CAPS: Store(s.caps, sent); break;
    case CMD_SET_CONFIG:
        Store(s.config, sent);
        StatusFromConfig(s);
        break;
    case CMD_SET_SSID: Store(s.ssid, sent); break;
    case CMD_SET_APLIST: Store(s.aplist, sent); break;
    case CMD_RESET_STATS:
        FoldStats(s, Now());
        s.stats_base = _STSTATISTICS32{};
        break;
    case CMD_WEP_TEMP:
    case CMD_WEP_PERSIST: {
        _RID_wep_key k;
        Store(k, sent);
        bool persistent = cmd == CMD_WEP_PERSIST;
        if (k.key_index == WEP_SELECTOR_INDEX) {
            s.selector = k;
            s.selector_persistent = persistent;
        } else if (k.key_index <= 4) {
            s.wep[k.key_index] = k;
            s.wep_stored[k.key_index] = true;
            s.wep_persistent[k.key_index] = persistent;
        } else {
            return EINVAL;
        }
        break;
    }
    case CMD_ZUNA_PASSWORD:
        Store(s.password, sent);
        s.password_set = true;
        CredentialsWritten(s);
        break;
    case CMD_ZUNA_USER:
        Store(s.user, sent);
        s.user_set = true;
        CredentialsWritten(s);
        break;
    case CMD_FLASH_RESET:
        s.mon_active = false;
        s.mon_stage = 0;
        ClearFlash(dir, s.iface);
        break;
    case CMD_FLASH_MONITOR:
        if (s.monitor_refuse)
            return EIO;
        s.mon_active = true;
        s.mon_stage = 0;
        break;
    case CMD_FLASH_GETCHAR: {
        int32_t c;
        std::memcpy(&c, sent.data(), 4);
        const Step *st = NextStep(s);
        if (!s.mon_active || !st || st->ev != Ev::Get)
            return EIO;
        if (st->prompt == s.monitor_drop)
            return ETIMEDOUT;
        if (c != st->ch)
            return EIO;
        ++s.mon_stage;
        break;
    }
    case CMD_FLASH_PUTCHAR: {
        if (!s.mon_active)
            return EIO;
        // The monitor takes any character; only the expected one moves the
        // dialogue on.
        const Step *st = NextStep(s);
        if (st && st->ev == Ev::Put && sent[0] == st->ch)
            ++s.mon_stage;
        break;
    }
    case CMD_FLASH_BLOCK: {
        const Step *st = NextStep(s);
        if (!s.mon_active || !st || st->ev != Ev::Block || st->ch == s.monitor_fail_block)
            return EIO;
        AppendFlashBlock(dir, s.iface, sent.data());
        ++s.mon_stage;
        break;
    }
    case CMD_FLASH_RESTART:
        // Outside the monitor this is a plain card restart; inside it only
        // a completed dialogue (ending in "g", CR) may restart the card.
        if (s.mon_active && s.mon_stage != kDialogueDone)
            return EIO;
        s.mon_active = false;
        s.mon_stage = 0;
        break;
    }
    changed = true;
    return 0;
}

// Everything of one request but the lock and the journal line.
int Serve(const std::string &dir, bool fd_valid, unsigned long code, const void *ifr,
          const UserMemory &mem, JournalEntry &e)
{
    ifreq req{};
    bool ifr_ok = ifr && mem.read(ifr, &req, sizeof req);
    if (ifr_ok) {
        char name[IFNAMSIZ];
        std::memcpy(name, req.ifr_name, IFNAMSIZ);
        name[IFNAMSIZ - 1] = '\0';
        e.iface.assign(name, strnlen(name, IFNAMSIZ));
    }
    if (!fd_valid) {
        e.err = EBADF;
        return -1;
    }
    DriverRequest dr{};
    if (!ifr_ok || !req.ifr_data || !mem.read(req.ifr_data, &dr, sizeof dr)) {
        e.err = EFAULT;
        return -1;
    }
    e.command = dr.command;
    e.length = dr.length;

    std::vector<uint8_t> sent;
    bool sent_ok = true;
    if (CommandSends(code, dr.command) && dr.length > 0) {
        sent.resize(dr.length);
        if (!dr.data || !mem.read(dr.data, sent.data(), sent.size())) {
            sent_ok = false;
            sent.clear();
        }
    }
    e.sent = sent;

    AdapterState s;
    try {
        if (!ValidIfaceName(e.iface) || !LoadAdapter(dir, e.iface, s) || !s.present) {
            e.err = ENODEV;
            return -1;
        }
    } catch (const std::exception &) {
        e.err = EIO;  // unreadable state: a broken adapter
        return -1;
    }

    bool changed = false;
    int key = code == SIOC_KDR770_IDENT ? kIdentCommand : dr.command;
    int err = 0;
    bool faulted = false;
    auto f = s.faults.find(key);
    if (f != s.faults.end()) {
        faulted = true;
        err = f->second.err;
        if (f->second.count > 0) {
            if (--f->second.count == 0)
                s.faults.erase(f);
            changed = true;
        }
    } else if (code == SIOC_KDR770_IDENT) {
        // Any length; the answer word goes where data points.
        if (!s.ident_none && dr.data) {
            uint32_t word = s.ident;
            if (!mem.write(dr.data, &word, sizeof word))
                err = EFAULT;
        }
    } else {
        err = Execute(s, dir, dr, sent_ok, sent, mem, changed);
    }
    if (changed)
        SaveAdapter(dir, s);
    e.err = err;
    return (faulted || err) ? -1 : 0;
}

} // namespace

namespace {

bool CopyIn(const void *src, void *dst, size_t n)
{
    if (!n)
        return true;
    if (!src)
        return false;
    iovec local{dst, n}, remote{const_cast<void *>(src), n};
    ssize_t r = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
    if (r == ssize_t(n))
        return true;
    if (r < 0 && (errno == ENOSYS || errno == EPERM)) {  // not allowed here: trust the pointer
        std::memcpy(dst, src, n);
        return true;
    }
    return false;
}

bool CopyOut(void *dst, const void *src, size_t n)
{
    if (!n)
        return true;
    if (!dst)
        return false;
    iovec local{const_cast<void *>(src), n}, remote{dst, n};
    ssize_t r = process_vm_writev(getpid(), &local, 1, &remote, 1, 0);
    if (r == ssize_t(n))
        return true;
    if (r < 0 && (errno == ENOSYS || errno == EPERM)) {
        std::memcpy(dst, src, n);
        return true;
    }
    return false;
}

} // namespace

const UserMemory ProgramMemory = {CopyIn, CopyOut};

bool CommandSends(unsigned long code, int command)
{
    if (code != SIOC_KDR770)
        return false;
    switch (command) {
    case CMD_SET_CAPS: case CMD_SET_CONFIG: case CMD_SET_SSID: case CMD_SET_APLIST:
    case CMD_RESET_STATS: case CMD_WEP_TEMP: case CMD_WEP_PERSIST:
    case CMD_ZUNA_PASSWORD: case CMD_ZUNA_USER:
    case CMD_FLASH_GETCHAR: case CMD_FLASH_PUTCHAR: case CMD_FLASH_BLOCK:
        return true;
    default:
        return false;
    }
}

int ServeRequest(const char *root, bool fd_valid, unsigned long code, const void *ifr,
                 const UserMemory &mem, int *err)
{
    std::string dir = root;
    SandboxLock lock(dir);
    if (!lock.ok()) {  // not a sandbox: no adapter anywhere
        *err = ENODEV;
        return -1;
    }
    JournalEntry e;
    e.time = Now();
    e.pid = int(getpid());
    e.code = code;
    int rc;
    try {
        rc = Serve(dir, fd_valid, code, ifr, mem, e);
    } catch (const std::exception &) {
        e.err = EIO;
        rc = -1;
    }
    e.result = rc;
    try {
        AppendJournal(dir, e);
    } catch (const std::exception &) {
    }
    *err = e.err;
    return rc;
}

} // namespace sim
