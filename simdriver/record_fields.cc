#include "record_fields.h"

#include <cinttypes>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <algorithm>

#include "kdr770.h"

namespace sim {

// ---- values ----

bool ParseNumber(const std::string &v, int64_t &out)
{
    size_t i = 0;
    bool neg = false;
    if (i < v.size() && v[i] == '-') {
        neg = true;
        ++i;
    }
    int base = 10;
    if (v.size() - i > 2 && v[i] == '0' && (v[i + 1] == 'x' || v[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == v.size())
        return false;
    int64_t n = 0;
    for (; i < v.size(); ++i) {
        char c = v[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        n = n * base + d;
        if (n > (int64_t(1) << 40))
            return false;
    }
    out = neg ? -n : n;
    return true;
}

namespace {

int64_t Number(const std::string &v, int64_t lo, int64_t hi)
{
    int64_t n;
    if (!ParseNumber(v, n))
        Bad("not a number: '" + v + "'");
    if (n < lo || n > hi)
        Bad("out of range " + std::to_string(lo) + ".." + std::to_string(hi) + ": " + v);
    return n;
}

} // namespace

std::vector<std::string> Split(const std::string &v, char sep)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t p = v.find(sep, start);
        parts.push_back(v.substr(start, p - start));
        if (p == std::string::npos)
            return parts;
        start = p + 1;
    }
}

namespace {

std::string Hex(uint64_t v, int digits)
{
    char b[24];
    std::snprintf(b, sizeof b, "0x%0*" PRIx64, digits, v);
    return b;
}

std::string FormatText(const uint8_t *p, size_t width)
{
    std::string out;
    for (size_t i = 0; i < width && p[i]; ++i) {
        if (p[i] >= 0x20 && p[i] < 0x7f && p[i] != '\\') {
            out += char(p[i]);
        } else {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02x", p[i]);
            out += b;
        }
    }
    return out;
}

// Text with \\ and \xNN escapes, copied up to the field width and NUL-padded.
size_t ParseText(const std::string &v, uint8_t *p, size_t width)
{
    std::string bytes;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '\\') {
            bytes += v[i];
            continue;
        }
        if (i + 1 < v.size() && v[i + 1] == '\\') {
            bytes += '\\';
            ++i;
            continue;
        }
        std::vector<uint8_t> b;
        if (i + 3 < v.size() && v[i + 1] == 'x' && FromHex(v.substr(i + 2, 2), b)) {
            bytes += char(b[0]);
            i += 3;
            continue;
        }
        Bad("bad escape in text: '" + v + "'");
    }
    size_t n = std::min(bytes.size(), width);
    std::memset(p, 0, width);
    std::memcpy(p, bytes.data(), n);
    return n;
}

void ParseMac(const std::string &v, uint8_t *p)
{
    auto parts = Split(v, ':');
    if (parts.size() != 6)
        Bad("not a MAC address aa:bb:cc:dd:ee:ff: '" + v + "'");
    for (int i = 0; i < 6; ++i) {
        int64_t n;
        if (parts[i].empty() || parts[i].size() > 2 || !ParseNumber("0x" + parts[i], n))
            Bad("not a MAC address aa:bb:cc:dd:ee:ff: '" + v + "'");
        p[i] = uint8_t(n);
    }
}

std::string FormatMac(const uint8_t *p)
{
    char b[24];
    std::snprintf(b, sizeof b, "%02x:%02x:%02x:%02x:%02x:%02x", p[0], p[1], p[2], p[3], p[4], p[5]);
    return b;
}

// Comma lists of bytes (elem 1) or le16 words (elem 2); missing entries are 0.
void ParseList(const std::string &v, uint8_t *p, size_t count, size_t elem)
{
    std::memset(p, 0, count * elem);
    if (v.empty())
        return;
    auto parts = Split(v, ',');
    if (parts.size() > count)
        Bad("more than " + std::to_string(count) + " entries: '" + v + "'");
    for (size_t i = 0; i < parts.size(); ++i) {
        int64_t n = Number(parts[i], 0, elem == 1 ? 0xFF : 0xFFFF);
        p[i * elem] = uint8_t(n);
        if (elem == 2)
            p[i * elem + 1] = uint8_t(n >> 8);
    }
}

std::string FormatList(const uint8_t *p, size_t count, size_t elem)
{
    size_t used = 0;
    for (size_t i = 0; i < count; ++i)
        if (p[i * elem] || (elem == 2 && p[i * elem + 1]))
            used = i + 1;
    std::string out;
    for (size_t i = 0; i < used; ++i) {
        unsigned v = p[i * elem] | (elem == 2 ? p[i * elem + 1] << 8 : 0);
        if (i)
            out += ',';
        out += std::to_string(v);
    }
    return out;
}

// ---- record fields ----

enum class Kind { U8, U16, U32, Text, Mac, Bytes, Words, Ip };
enum class Rec { Caps, Config, Ssid, Aplist, Status, Micstats, User, Password };

struct Field {
    std::string name;
    Rec rec;
    size_t off;
    Kind kind;
    size_t width;  // characters, or entries of a list
    bool hex;      // shown in hexadecimal (bit fields)
};

uint8_t *RecordBytes(AdapterState &s, Rec r)
{
    switch (r) {
    case Rec::Caps: return reinterpret_cast<uint8_t *>(&s.caps);
    case Rec::Config: return reinterpret_cast<uint8_t *>(&s.config);
    case Rec::Ssid: return reinterpret_cast<uint8_t *>(&s.ssid);
    case Rec::Aplist: return reinterpret_cast<uint8_t *>(&s.aplist);
    case Rec::Status: return reinterpret_cast<uint8_t *>(&s.status);
    case Rec::Micstats: return reinterpret_cast<uint8_t *>(&s.micstats);
    case Rec::User: return reinterpret_cast<uint8_t *>(&s.user);
    case Rec::Password: return reinterpret_cast<uint8_t *>(&s.password);
    }
    return nullptr;
}

const std::vector<Field> &Fields()
{
    static const std::vector<Field> table = [] {
        std::vector<Field> t;
        auto add = [&](const std::string &name, Rec rec, size_t off, Kind kind, size_t width = 0,
                       bool hex = false) { t.push_back(Field{name, rec, off, kind, width, hex}); };
#define F(prefix, rec, type, field, ...) \
    add(prefix "." #field, Rec::rec, offsetof(type, field), __VA_ARGS__)
        F("caps", Caps, _STCAPS, manufacturer, Kind::Text, 32);
        F("caps", Caps, _STCAPS, product_name, Kind::Text, 16);
        F("caps", Caps, _STCAPS, firmware_version, Kind::Text, 8);
        F("caps", Caps, _STCAPS, factory_mac, Kind::Mac);
        F("caps", Caps, _STCAPS, region, Kind::U16);
        F("caps", Caps, _STCAPS, supported_rates, Kind::Bytes, 8);
        F("caps", Caps, _STCAPS, power_levels, Kind::Words, 8);
        F("caps", Caps, _STCAPS, wep_caps, Kind::U16, 0, true);
        F("caps", Caps, _STCAPS, cap_flags, Kind::U16, 0, true);
        F("caps", Caps, _STCAPS, boot_version, Kind::U16, 0, true);

        F("config", Config, CFG_R770, net_type, Kind::U16);
        F("config", Config, CFG_R770, frag_threshold, Kind::U16);
        F("config", Config, CFG_R770, rts_threshold, Kind::U16);
        F("config", Config, CFG_R770, mac_addr, Kind::Mac);
        F("config", Config, CFG_R770, rates, Kind::Bytes, 8);
        F("config", Config, CFG_R770, short_retry, Kind::U16);
        F("config", Config, CFG_R770, long_retry, Kind::U16);
        F("config", Config, CFG_R770, clear_word1, Kind::U16, 0, true);
        F("config", Config, CFG_R770, auth_mode, Kind::U16, 0, true);
        F("config", Config, CFG_R770, world_mode, Kind::U16);
        F("config", Config, CFG_R770, power_save, Kind::U16);
        F("config", Config, CFG_R770, beacon_period, Kind::U16);
        F("config", Config, CFG_R770, wake_duration, Kind::U16);
        F("config", Config, CFG_R770, channel, Kind::U16);
        F("config", Config, CFG_R770, clear_word2, Kind::U16, 0, true);
        F("config", Config, CFG_R770, antenna, Kind::U16, 0, true);
        F("config", Config, CFG_R770, tx_power, Kind::U16);
        F("config", Config, CFG_R770, radio_flags, Kind::U16, 0, true);
        F("config", Config, CFG_R770, home_flags, Kind::U8, 0, true);
        F("config", Config, CFG_R770, client_name, Kind::Text, 16);

        add("ssid.header", Rec::Ssid, 0, Kind::U16, 0, true);
        for (int i = 0; i < 3; ++i) {
            // Text before length: setting the text sets the length, and an
            // explicit length after it (even an impossible one) wins.
            std::string n = "ssid." + std::to_string(i + 1);
            add(n + ".text", Rec::Ssid, 4 + 34 * size_t(i), Kind::Text, 32);
            add(n + ".len", Rec::Ssid, 2 + 34 * size_t(i), Kind::U16);
        }
        add("aplist.length", Rec::Aplist, 0, Kind::U16);
        for (int i = 0; i < 4; ++i)
            add("aplist." + std::to_string(i + 1), Rec::Aplist, 2 + 6 * size_t(i), Kind::Mac);

        F("status", Status, _STSTATUS, status_word, Kind::U16, 0, true);
        F("status", Status, _STSTATUS, ssid, Kind::Text, 32);
        F("status", Status, _STSTATUS, ssid_len, Kind::U16);
        F("status", Status, _STSTATUS, ap_name, Kind::Text, 16);
        F("status", Status, _STSTATUS, ap_mac, Kind::Mac);
        F("status", Status, _STSTATUS, cur_channel, Kind::U16);
        F("status", Status, _STSTATUS, cur_rate, Kind::U16);
        F("status", Status, _STSTATUS, signal_level, Kind::U16);
        F("status", Status, _STSTATUS, short_headers, Kind::U16);
        F("status", Status, _STSTATUS, ap_ip, Kind::Ip);

        F("micstats", Micstats, _STMICSTATISTICS, mic_enabled, Kind::U8);
        F("micstats", Micstats, _STMICSTATISTICS, packets_mic_ok, Kind::U32);
        F("micstats", Micstats, _STMICSTATISTICS, packets_incorrect_mic, Kind::U32);
        F("micstats", Micstats, _STMICSTATISTICS, packets_no_mic, Kind::U32);
        F("micstats", Micstats, _STMICSTATISTICS, packets_no_mic_seed, Kind::U32);
        F("micstats", Micstats, _STMICSTATISTICS, packets_wrong_sequence, Kind::U32);

        F("user", User, tdsRidZunaUsername, name, Kind::Text, 32);
        F("user", User, tdsRidZunaUsername, name_len, Kind::U16, 0, true);
        F("password", Password, tdsRidZunaPassword, hash, Kind::Bytes, 32);
        F("password", Password, tdsRidZunaPassword, hash_len, Kind::U16, 0, true);
#undef F
        return t;
    }();
    return table;
}

const Field *FindField(const std::string &name)
{
    for (const Field &f : Fields())
        if (f.name == name)
            return &f;
    return nullptr;
}

std::string FormatField(const uint8_t *p, const Field &f)
{
    switch (f.kind) {
    case Kind::U8: return f.hex ? Hex(p[0], 2) : std::to_string(p[0]);
    case Kind::U16: {
        unsigned v = p[0] | p[1] << 8;
        return f.hex ? Hex(v, 4) : std::to_string(v);
    }
    case Kind::U32: {
        uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        return f.hex ? Hex(v, 8) : std::to_string(v);
    }
    case Kind::Text: return FormatText(p, f.width);
    case Kind::Mac: return FormatMac(p);
    case Kind::Bytes: return FormatList(p, f.width, 1);
    case Kind::Words: return FormatList(p, f.width, 2);
    case Kind::Ip: return std::to_string(p[0]) + "." + std::to_string(p[1]) + "." +
                          std::to_string(p[2]) + "." + std::to_string(p[3]);
    }
    return "";
}

void ParseField(const std::string &v, uint8_t *p, const Field &f)
{
    switch (f.kind) {
    case Kind::U8: p[0] = uint8_t(Number(v, 0, 0xFF)); break;
    case Kind::U16: {
        int64_t n = Number(v, 0, 0xFFFF);
        p[0] = uint8_t(n);
        p[1] = uint8_t(n >> 8);
        break;
    }
    case Kind::U32: {
        int64_t n = Number(v, 0, 0xFFFFFFFFll);
        for (int i = 0; i < 4; ++i)
            p[i] = uint8_t(n >> (8 * i));
        break;
    }
    case Kind::Text: ParseText(v, p, f.width); break;
    case Kind::Mac: ParseMac(v, p); break;
    case Kind::Bytes: ParseList(v, p, f.width, 1); break;
    case Kind::Words: ParseList(v, p, f.width, 2); break;
    case Kind::Ip: {
        auto parts = Split(v, v.find(',') != std::string::npos ? ',' : '.');
        if (parts.size() != 4)
            Bad("not an IPv4 address a.b.c.d: '" + v + "'");
        for (int i = 0; i < 4; ++i)
            p[i] = uint8_t(Number(parts[i], 0, 255));
        break;
    }
    }
}

// ---- whole records ----

struct RecordRef {
    uint8_t *p;
    size_t size;
};

// Statistics images are the bases; callers fold first and read through
// CurrentStats.
bool FindRecord(AdapterState &s, const std::string &name, RecordRef &r)
{
    auto ref = [&](auto &rec) {
        r = RecordRef{reinterpret_cast<uint8_t *>(&rec), sizeof rec};
        return true;
    };
    if (name == "caps") return ref(s.caps);
    if (name == "config") return ref(s.config);
    if (name == "ssid") return ref(s.ssid);
    if (name == "aplist") return ref(s.aplist);
    if (name == "status") return ref(s.status);
    if (name == "stats") return ref(s.stats_base);
    if (name == "cstats") return ref(s.cstats_base);
    if (name == "mic") return ref(s.mic);
    if (name == "micstats") return ref(s.micstats);
    if (name == "user") return ref(s.user);
    if (name == "password") return ref(s.password);
    return false;
}

} // namespace

std::vector<uint8_t> RecordImage(const AdapterState &s, const std::string &name)
{
    double now = Now();
    _STSTATISTICS32 st{};
    const uint8_t *p = nullptr;
    size_t n = 0;
    if (name == "stats" || name == "cstats") {
        st = CurrentStats(s, name == "cstats", now);
        p = reinterpret_cast<const uint8_t *>(&st);
        n = sizeof st;
    } else {
        RecordRef r;
        if (!FindRecord(const_cast<AdapterState &>(s), name, r))
            Bad("no record '" + name + "'");
        p = r.p;
        n = r.size;
    }
    return std::vector<uint8_t>(p, p + n);
}

void StoreRecord(AdapterState &s, const std::string &name, const std::vector<uint8_t> &bytes)
{
    RecordRef r;
    if (!FindRecord(s, name, r))
        Bad("no record '" + name + "'");
    if (bytes.size() != r.size)
        Bad("record " + name + " is " + std::to_string(r.size) + " bytes, not " +
             std::to_string(bytes.size()));
    FoldStats(s, Now());
    std::memcpy(r.p, bytes.data(), r.size);
}

namespace {

// ---- special fields ----

int ReadRecordSize(int command)
{
    switch (command) {
    case 0: return sizeof(_STCAPS);
    case 1: return sizeof(CFG_R770);
    case 2: return sizeof(_STSSID);
    case 3: return sizeof(_STAPLIST);
    case 6: case 7: return sizeof(_RID_wep_key);
    case 8: return sizeof(_STSTATUS);
    case 9: case 10: return sizeof(_STSTATISTICS32);
    case 11: return sizeof(_STMIC);
    case 12: return sizeof(_STMICSTATISTICS);
    default: return -1;
    }
}

int CommandNumber(const std::string &v)
{
    if (v == "ident")
        return kIdentCommand;
    return int(Number(v, 0, 0xFFFF));
}

std::string CommandName(int c) { return c == kIdentCommand ? "ident" : std::to_string(c); }

bool StartsWith(const std::string &s, const char *prefix)
{
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// stats.0xNN / stats.uptime -> byte offset; -1 when the name is no counter.
int CounterOffset(const std::string &rest)
{
    if (rest == "uptime")
        return int(offsetof(_STSTATISTICS32, uptime));
    int64_t n;
    if (!ParseNumber(rest, n) || n < 0 || n % 4 || n + 4 > int64_t(sizeof(_STSTATISTICS32)))
        return -1;
    return int(n);
}

int WepIndex(const std::string &v)
{
    if (v.size() == 1 && v[0] >= '0' && v[0] <= '4')
        return v[0] - '0';
    return -1;
}

std::string Bool(bool b) { return b ? "1" : "0"; }

// Names of WepEnd's values, in its order.
const char *const WepEndNames[3] = {"repeat", "wrap", "fail"};

} // namespace

std::string GetField(const AdapterState &s, const std::string &name)
{
    if (const Field *f = FindField(name))
        return FormatField(RecordBytes(const_cast<AdapterState &>(s), f->rec) + f->off, *f);
    RecordRef r;
    if (FindRecord(const_cast<AdapterState &>(s), name, r)) {
        auto img = RecordImage(s, name);
        return "hex:" + ToHex(img.data(), img.size());
    }
    for (const char *set : {"stats.", "cstats."}) {
        if (StartsWith(name, set)) {
            int off = CounterOffset(name.substr(std::strlen(set)));
            if (off < 0)
                break;
            return std::to_string(CurrentStats(s, set[0] == 'c', Now()).Counter(size_t(off)));
        }
    }
    if (StartsWith(name, "wep.")) {
        auto parts = Split(name.substr(4), '.');
        int i = WepIndex(parts[0]);
        if (i >= 0 && parts.size() == 1) {
            if (!s.wep_stored[i])
                return "none";
            return ToHex(s.wep[i].key, std::min<size_t>(s.wep[i].key_len, sizeof s.wep[i].key));
        }
        if (i >= 0 && parts.size() == 2 && parts[1] == "persistent")
            return Bool(s.wep_persistent[i]);
        if (name == "wep.tx")
            return std::to_string(s.selector.mac[0] | s.selector.mac[1] << 8);
        if (name == "wep.tx.persistent")
            return Bool(s.selector_persistent);
        if (name == "wep.readout") {
            if (s.wep_readout.empty())
                return "none";
            std::string out;
            for (const _RID_wep_key &k : s.wep_readout)
                out += (out.empty() ? "" : ",") +
                       ToHex(reinterpret_cast<const uint8_t *>(&k), sizeof k);
            return out;
        }
        if (name == "wep.end")
            return WepEndNames[int(s.wep_end)];
        if (name == "wep.cursor")
            return std::to_string(s.wep_cursor);
    }
    if (name == "zuna.user_set") return Bool(s.user_set);
    if (name == "zuna.password_set") return Bool(s.password_set);
    if (name == "zuna.armed") return Bool(s.zuna_armed);
    if (name == "zuna.reads") return std::to_string(s.zuna_reads);
    if (name == "monitor.active") return Bool(s.mon_active);
    if (name == "monitor.stage") return std::to_string(s.mon_stage);
    if (name == "ident") return s.ident_none ? "none" : Hex(s.ident, 4);
    if (name == "present") return Bool(s.present);
    if (name == "ap") return Bool(s.ap);
    if (name == "auth_after") return std::to_string(s.auth_after);
    if (name == "stats_rate") return std::to_string(s.stats_rate);
    if (name == "monitor_refuse") return Bool(s.monitor_refuse);
    if (name == "monitor_drop") return std::to_string(s.monitor_drop);
    if (name == "monitor_fail_block") return std::to_string(s.monitor_fail_block);
    if (StartsWith(name, "short.")) {
        int c = CommandNumber(name.substr(6));
        auto it = s.short_reads.find(c);
        return it == s.short_reads.end() ? "none" : std::to_string(it->second);
    }
    if (StartsWith(name, "hang."))
        return s.hangs.count(CommandNumber(name.substr(5))) ? "1" : "none";
    if (StartsWith(name, "fail.")) {
        int c = CommandNumber(name.substr(5));
        auto it = s.faults.find(c);
        if (it == s.faults.end())
            return "none";
        return std::to_string(it->second.err) + "," + std::to_string(it->second.count);
    }
    Bad("unknown field '" + name + "'");
}

void SetField(AdapterState &s, const std::string &name, const std::string &v)
{
    if (const Field *f = FindField(name)) {
        uint8_t *rec = RecordBytes(s, f->rec);
        ParseField(v, rec + f->off, *f);
        // Setting a text sets its length word (the persistence bit of the
        // user record stays).
        if (f->kind == Kind::Text && f->rec == Rec::Ssid) {
            le16 &len = *reinterpret_cast<le16 *>(rec + f->off - 2);
            len = uint16_t(strnlen(reinterpret_cast<char *>(rec + f->off), f->width));
        } else if (name == "status.ssid") {
            s.status.ssid_len = uint16_t(strnlen(s.status.ssid, sizeof s.status.ssid));
        } else if (name == "user.name") {
            s.user.name_len = uint16_t((s.user.name_len & ZUNA_PERSIST_BIT) |
                                       strnlen(s.user.name, sizeof s.user.name));
        }
        return;
    }
    RecordRef r;
    if (FindRecord(s, name, r)) {
        std::vector<uint8_t> bytes;
        if (!StartsWith(v, "hex:") || !FromHex(v.substr(4), bytes))
            Bad("a record image is hex:<bytes>");
        StoreRecord(s, name, bytes);
        return;
    }
    for (const char *set : {"stats.", "cstats."}) {
        if (StartsWith(name, set)) {
            int off = CounterOffset(name.substr(std::strlen(set)));
            if (off < 0)
                break;
            FoldStats(s, Now());
            _STSTATISTICS32 &st = set[0] == 'c' ? s.cstats_base : s.stats_base;
            le32 w;
            w = uint32_t(Number(v, 0, 0xFFFFFFFFll));
            std::memcpy(reinterpret_cast<uint8_t *>(&st) + off, &w, 4);
            return;
        }
    }
    if (StartsWith(name, "wep.")) {
        auto parts = Split(name.substr(4), '.');
        int i = WepIndex(parts[0]);
        if (i >= 0 && parts.size() == 1) {
            if (v == "none") {
                s.wep_stored[i] = false;
                s.wep[i] = _RID_wep_key{};
                return;
            }
            std::vector<uint8_t> key;
            if (!FromHex(v, key) || key.size() > sizeof s.wep[i].key)
                Bad("a WEP key is up to 13 bytes of hex, or none: '" + v + "'");
            _RID_wep_key k{};
            k.length = 26;
            k.key_index = uint16_t(i);
            k.mac[0] = 1;
            k.key_len = uint16_t(key.size());
            std::memcpy(k.key, key.data(), key.size());
            if (!s.wep_stored[i])
                s.wep_persistent[i] = true;
            s.wep[i] = k;
            s.wep_stored[i] = true;
            return;
        }
        if (i >= 0 && parts.size() == 2 && parts[1] == "persistent") {
            s.wep_persistent[i] = Number(v, 0, 1);
            return;
        }
        if (name == "wep.tx") {
            // 16 bits, as a careless driver may fill both bytes.
            const auto tx = uint16_t(Number(v, 0, 0xFFFF));
            s.selector = _RID_wep_key{};
            s.selector.length = 26;
            s.selector.key_index = WEP_SELECTOR_INDEX;
            s.selector.mac[0] = uint8_t(tx);
            s.selector.mac[1] = uint8_t(tx >> 8);
            return;
        }
        if (name == "wep.tx.persistent") {
            s.selector_persistent = Number(v, 0, 1);
            return;
        }
        if (name == "wep.readout") {
            std::vector<_RID_wep_key> readout;
            if (v != "none") {
                for (const std::string &image : Split(v, ',')) {
                    std::vector<uint8_t> bytes;
                    if (!FromHex(image, bytes) || bytes.size() != sizeof(_RID_wep_key))
                        Bad("a WEP readout is none or 26-byte records in hex, comma-separated: '" +
                            image + "'");
                    readout.emplace_back();
                    std::memcpy(&readout.back(), bytes.data(), bytes.size());
                }
                if (readout.size() > kMaxWepReadout)
                    Bad("a WEP readout holds at most " + std::to_string(kMaxWepReadout) +
                        " records");
            }
            s.wep_readout = readout;
            return;
        }
        if (name == "wep.end") {
            for (int e = 0; e < 3; ++e)
                if (v == WepEndNames[e]) {
                    s.wep_end = WepEnd(e);
                    return;
                }
            Bad("wep.end is repeat, wrap or fail: '" + v + "'");
        }
        if (name == "wep.cursor") {
            s.wep_cursor = int(Number(v, 0, int64_t(kMaxWepReadout)));
            return;
        }
    }
    if (name == "zuna.user_set") { s.user_set = Number(v, 0, 1); return; }
    if (name == "zuna.password_set") { s.password_set = Number(v, 0, 1); return; }
    if (name == "zuna.armed") { s.zuna_armed = Number(v, 0, 1); return; }
    if (name == "zuna.reads") { s.zuna_reads = int(Number(v, 0, 1000000)); return; }
    if (name == "monitor.active") { s.mon_active = Number(v, 0, 1); return; }
    if (name == "monitor.stage") { s.mon_stage = int(Number(v, 0, 15)); return; }
    if (name == "ident") {
        s.ident_none = v == "none";
        if (!s.ident_none)
            s.ident = uint32_t(Number(v, 0, 0xFFFFFFFFll));
        return;
    }
    if (name == "present") { s.present = Number(v, 0, 1); return; }
    if (name == "ap") {
        s.ap = Number(v, 0, 1);
        UpdateLink(s, false);  // the access point comes or goes at once
        return;
    }
    if (name == "auth_after") { s.auth_after = int(Number(v, -1, 1000000)); return; }
    if (name == "stats_rate") {
        FoldStats(s, Now());
        s.stats_rate = uint32_t(Number(v, 0, 1000000000));
        return;
    }
    if (name == "monitor_refuse") { s.monitor_refuse = Number(v, 0, 1); return; }
    if (name == "monitor_drop") { s.monitor_drop = int(Number(v, -1, 6)); return; }
    if (name == "monitor_fail_block") { s.monitor_fail_block = int(Number(v, -1, 3)); return; }
    if (StartsWith(name, "short.")) {
        int c = CommandNumber(name.substr(6));
        int size = ReadRecordSize(c);
        if (size < 0)
            Bad("short applies to the read commands only: " + name);
        if (v == "none" || v == "-1")
            s.short_reads.erase(c);
        else
            s.short_reads[c] = int(Number(v, 0, size));
        return;
    }
    if (StartsWith(name, "hang.")) {
        int c = CommandNumber(name.substr(5));
        if (v == "none" || Number(v, 0, 1) == 0)
            s.hangs.erase(c);
        else
            s.hangs.insert(c);
        return;
    }
    if (StartsWith(name, "fail.")) {
        int c = CommandNumber(name.substr(5));
        if (v == "none") {
            s.faults.erase(c);
            return;
        }
        auto parts = Split(v, ',');
        if (parts.size() > 2)
            Bad("a failure is ERRNO[,COUNT] or none: '" + v + "'");
        int err = int(Number(parts[0], 0, 4095));
        int count = parts.size() == 2 ? int(Number(parts[1], -1, 1000000)) : 1;
        if (count == 0)
            s.faults.erase(c);
        else
            s.faults[c] = Fault{err, count};
        return;
    }
    Bad("unknown field '" + name + "'");
}

std::vector<std::string> ShowNames(const AdapterState &s)
{
    std::vector<std::string> names;
    auto table = [&](const char *prefix) {
        for (const Field &f : Fields())
            if (StartsWith(f.name, prefix))
                names.push_back(f.name);
    };
    table("caps.");
    table("config.");
    table("ssid.");
    table("aplist.");
    table("status.");
    for (const char *set : {"stats.", "cstats."}) {
        for (size_t off = 0; off < sizeof(_STSTATISTICS32); off += 4)
            if (ShownCounter(off))
                names.push_back(set + Hex(off, 2));
        names.push_back(std::string(set) + "uptime");
    }
    table("micstats.");
    names.push_back("mic");
    table("user.");
    table("password.");
    for (int i = 0; i < 5; ++i) {
        names.push_back("wep." + std::to_string(i));
        names.push_back("wep." + std::to_string(i) + ".persistent");
    }
    for (const char *n : {"wep.tx", "wep.tx.persistent", "wep.readout", "wep.end", "wep.cursor",
                          "zuna.user_set",
                          "zuna.password_set", "zuna.armed", "zuna.reads", "monitor.active",
                          "monitor.stage", "ident", "present", "ap", "auth_after", "stats_rate",
                          "monitor_refuse", "monitor_drop", "monitor_fail_block"})
        names.push_back(n);
    for (const auto &kv : s.short_reads)
        names.push_back("short." + CommandName(kv.first));
    for (const auto &kv : s.faults)
        names.push_back("fail." + CommandName(kv.first));
    for (int c : s.hangs)
        names.push_back("hang." + CommandName(c));
    return names;
}

} // namespace sim
