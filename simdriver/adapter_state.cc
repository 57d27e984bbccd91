// An emulated adapter's default records, its state file form and the growth
// of its counters.
#include "adapter_state.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "kdr770.h"

namespace sim {

void Bad(const std::string &what) { throw std::runtime_error(what); }

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
    PutText(s.caps.product_name, "VX1100");
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
        {"hang", s.hangs},
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
        if (b.contains("hang"))  // missing in state files made before hangs were known
            for (const json &c : b.at("hang"))
                s.hangs.insert(c.get<int>());
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

} // namespace sim
