// Driver records: fixed-size little-endian byte images, exchanged with the
// adapter's driver by address and length. Every type here has alignment 1 and
// no padding, so a record is exactly its wire image on any host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Little-endian 16-bit field stored as two bytes.
struct le16 {
    uint8_t b[2];

    constexpr operator uint16_t() const { return uint16_t(b[0] | (b[1] << 8)); }
    le16 &operator=(uint16_t v)
    {
        b[0] = uint8_t(v);
        b[1] = uint8_t(v >> 8);
        return *this;
    }
    le16 &operator|=(uint16_t v) { return *this = uint16_t(*this | v); }
    le16 &operator&=(uint16_t v) { return *this = uint16_t(*this & v); }
};

// Little-endian 32-bit field stored as four bytes.
struct le32 {
    uint8_t b[4];

    constexpr operator uint32_t() const
    {
        return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    }
    le32 &operator=(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b[i] = uint8_t(v >> (8 * i));
        return *this;
    }
};

static_assert(sizeof(le16) == 2 && alignof(le16) == 1);
static_assert(sizeof(le32) == 4 && alignof(le32) == 1);

// Configuration record, command 1 (read) and 53 (write).
struct CFG_R770 {
    uint8_t reserved_00[2];
    le16 net_type;        // 1 infrastructure, 0 ad hoc
    uint8_t reserved_04[2];
    le16 frag_threshold;
    le16 rts_threshold;
    uint8_t mac_addr[6];
    uint8_t rates[8];     // units of 500 kbit/s, bit 0x80 ignored
    le16 short_retry;
    le16 long_retry;
    uint8_t reserved_1c[8];
    le16 clear_word1;     // zeroed before the record is stored in a profile file
    uint8_t reserved_26[24];
    le16 auth_mode;
    uint8_t reserved_40[14];
    le16 world_mode;      // 2 on, 1 off
    le16 power_save;      // 0 CAM, 1 PSP, 2 Fast PSP
    uint8_t reserved_52[14];
    le16 beacon_period;
    le16 wake_duration;
    uint8_t reserved_64[2];
    le16 channel;
    uint8_t reserved_68[6];
    le16 clear_word2;     // zeroed before the record is stored in a profile file
    uint8_t reserved_70[2];
    le16 antenna;         // low byte receive, high byte transmit
    le16 tx_power;        // mW
    uint8_t reserved_76[4];
    le16 radio_flags;
    uint8_t home_flags;   // bit 0: home profile
    uint8_t reserved_7d[3];
    char client_name[16];
    uint8_t reserved_90[12];
};

enum : uint16_t {
    AUTH_OPEN = 0x0001,
    AUTH_SHARED_KEY = 0x0002,
    AUTH_WEP = 0x0100,
    AUTH_MIXED_CELLS = 0x0200,
    AUTH_ZUNA = 0x1000,
    RADIO_SHORT_HEADERS = 0x0002,
};

struct SsidEntry {
    le16 len;            // 0..32, 0 = unused
    char text[32];       // not NUL-terminated
};

// SSID list, command 2 (read) and 54 (write).
struct _STSSID {
    le16 header;
    SsidEntry entry[3];
};

// Preferred access point list, command 3 (read) and 55 (write).
struct _STAPLIST {
    le16 length;         // 26
    uint8_t mac[4][6];
};

// The profile file's composite of the three configuration records.
struct ProfileRecord {
    CFG_R770 cfg;
    _STSSID ssid;
    _STAPLIST aplist;
};

// Status record, command 8.
struct _STSTATUS {
    uint8_t reserved_00[8];
    le16 status_word;
    uint8_t reserved_0a[4];
    le16 ssid_len;
    char ssid[32];       // not NUL-terminated
    char ap_name[16];    // NUL-terminated when the driver behaves
    uint8_t ap_mac[6];
    uint8_t reserved_46[26];
    le16 cur_channel;
    uint8_t reserved_62[12];
    le16 cur_rate;       // units of 500 kbit/s
    uint8_t reserved_70[2];
    le16 signal_level;
    le16 short_headers;
    uint8_t ap_ip[4];
    uint8_t reserved_7a[12];
};

enum : uint16_t {
    STATUS_RADIO_ENABLED = 0x0002,
    STATUS_ASSOCIATED = 0x0020,
    STATUS_AUTHENTICATED = 0x0040,
};

// Capabilities record, command 0 (read) and 50 (write).
struct _STCAPS {
    uint8_t reserved_00[8];
    char manufacturer[32];
    char product_name[16];
    char firmware_version[8];
    uint8_t factory_mac[6];
    uint8_t reserved_46[8];
    le16 region;
    uint8_t reserved_50[6];
    uint8_t supported_rates[8];
    uint8_t reserved_5e[2];
    le16 power_levels[8];  // the first 0 ends the list
    uint8_t reserved_70[2];
    le16 wep_caps;
    uint8_t reserved_74[8];
    le16 cap_flags;
    le16 boot_version;
    uint8_t reserved_80[2];
};

enum : uint16_t {
    WEPCAP_ALL_RATES = 0x0004,
    WEPCAP_128 = 0x0010,
    CAP_WEP = 0x0002,
    CAP_128BIT = 0x0100,
    CAP_ZUNA = 0x1000,
};

// Statistics record, commands 9 (cumulative), 10 (since the last clear), 58 (clear).
struct _STSTATISTICS32 {
    le32 counters_lo[95];  // 0x000 .. 0x178
    le32 uptime;           // 0x17c, seconds
    le32 counters_hi[40];  // 0x180 .. 0x21c

    // Counter at a byte offset (a multiple of 4 below 544); 0 for any other offset.
    uint32_t Counter(size_t offset) const
    {
        if (offset % 4 != 0 || offset + 4 > sizeof(*this))
            return 0;
        le32 v;
        std::memcpy(&v, reinterpret_cast<const uint8_t *>(this) + offset, 4);
        return v;
    }
};

// Message-integrity statistics, command 12.
struct _STMICSTATISTICS {
    uint8_t reserved_00[4];
    uint8_t mic_enabled;
    uint8_t reserved_05[3];
    le32 packets_mic_ok;
    le32 packets_incorrect_mic;
    le32 packets_no_mic;
    le32 packets_no_mic_seed;
    le32 packets_wrong_sequence;
    uint8_t reserved_1c[128];
};

// Message-integrity record, command 11; opaque to the system.
struct _STMIC {
    uint8_t reserved[40];
};

// WEP key record, commands 6, 7 (read) and 59, 60 (write).
struct _RID_wep_key {
    le16 length;         // 26
    le16 key_index;      // 0..4 (4 = home key); 0xFFFF = transmit-key selector
    uint8_t mac[6];
    le16 key_len;        // 5 or 13; 0 in the selector
    uint8_t key[13];
    uint8_t pad;
};

enum : uint16_t { WEP_SELECTOR_INDEX = 0xFFFF };

// The transmit-key selector record naming key index (0..4), as it is
// written; every byte not given is zero.
inline _RID_wep_key TransmitKeySelector(uint8_t index)
{
    _RID_wep_key selector{};
    selector.length = sizeof selector;
    selector.key_index = WEP_SELECTOR_INDEX;
    selector.mac[0] = index;
    return selector;
}

// ZUNA credentials, commands 62 (user) and 61 (password).
struct tdsRidZunaUsername {
    uint8_t reserved_00[2];
    le16 name_len;       // bits 0-14 length, bit 15 persistent
    char name[32];       // not NUL-terminated
};

struct tdsRidZunaPassword {
    uint8_t reserved_00[2];
    le16 hash_len;       // 32, bit 15 persistent
    uint8_t hash[32];    // MD4 of the password, then MD4 of that digest
};

enum : uint16_t { ZUNA_PERSIST_BIT = 0x8000 };

// Every record is a gapless byte image of its documented size and offsets.
#define RECORD_AT(type, field, off) static_assert(offsetof(type, field) == (off), #type "." #field)

static_assert(sizeof(CFG_R770) == 156 && alignof(CFG_R770) == 1);
RECORD_AT(CFG_R770, net_type, 0x02);
RECORD_AT(CFG_R770, frag_threshold, 0x06);
RECORD_AT(CFG_R770, rts_threshold, 0x08);
RECORD_AT(CFG_R770, mac_addr, 0x0a);
RECORD_AT(CFG_R770, rates, 0x10);
RECORD_AT(CFG_R770, short_retry, 0x18);
RECORD_AT(CFG_R770, long_retry, 0x1a);
RECORD_AT(CFG_R770, clear_word1, 0x24);
RECORD_AT(CFG_R770, auth_mode, 0x3e);
RECORD_AT(CFG_R770, world_mode, 0x4e);
RECORD_AT(CFG_R770, power_save, 0x50);
RECORD_AT(CFG_R770, beacon_period, 0x60);
RECORD_AT(CFG_R770, wake_duration, 0x62);
RECORD_AT(CFG_R770, channel, 0x66);
RECORD_AT(CFG_R770, clear_word2, 0x6e);
RECORD_AT(CFG_R770, antenna, 0x72);
RECORD_AT(CFG_R770, tx_power, 0x74);
RECORD_AT(CFG_R770, radio_flags, 0x7a);
RECORD_AT(CFG_R770, home_flags, 0x7c);
RECORD_AT(CFG_R770, client_name, 0x80);
RECORD_AT(CFG_R770, reserved_90, 0x90);

static_assert(sizeof(SsidEntry) == 34);
static_assert(sizeof(_STSSID) == 104 && alignof(_STSSID) == 1);
RECORD_AT(_STSSID, entry, 2);
RECORD_AT(_STSSID, entry[1].len, 36);
RECORD_AT(_STSSID, entry[2].text, 72);

static_assert(sizeof(_STAPLIST) == 26 && alignof(_STAPLIST) == 1);
RECORD_AT(_STAPLIST, mac, 2);
RECORD_AT(_STAPLIST, mac[3], 20);

static_assert(sizeof(ProfileRecord) == 286 && alignof(ProfileRecord) == 1);
RECORD_AT(ProfileRecord, ssid, 156);
RECORD_AT(ProfileRecord, aplist, 260);

static_assert(sizeof(_STSTATUS) == 134 && alignof(_STSTATUS) == 1);
RECORD_AT(_STSTATUS, status_word, 0x08);
RECORD_AT(_STSTATUS, ssid_len, 0x0e);
RECORD_AT(_STSTATUS, ssid, 0x10);
RECORD_AT(_STSTATUS, ap_name, 0x30);
RECORD_AT(_STSTATUS, ap_mac, 0x40);
RECORD_AT(_STSTATUS, cur_channel, 0x60);
RECORD_AT(_STSTATUS, cur_rate, 0x6e);
RECORD_AT(_STSTATUS, signal_level, 0x72);
RECORD_AT(_STSTATUS, short_headers, 0x74);
RECORD_AT(_STSTATUS, ap_ip, 0x76);
RECORD_AT(_STSTATUS, reserved_7a, 0x7a);

static_assert(sizeof(_STCAPS) == 130 && alignof(_STCAPS) == 1);
RECORD_AT(_STCAPS, manufacturer, 0x08);
RECORD_AT(_STCAPS, product_name, 0x28);
RECORD_AT(_STCAPS, firmware_version, 0x38);
RECORD_AT(_STCAPS, factory_mac, 0x40);
RECORD_AT(_STCAPS, region, 0x4e);
RECORD_AT(_STCAPS, supported_rates, 0x56);
RECORD_AT(_STCAPS, power_levels, 0x60);
RECORD_AT(_STCAPS, wep_caps, 0x72);
RECORD_AT(_STCAPS, cap_flags, 0x7c);
RECORD_AT(_STCAPS, boot_version, 0x7e);
RECORD_AT(_STCAPS, reserved_80, 0x80);

static_assert(sizeof(_STSTATISTICS32) == 544 && alignof(_STSTATISTICS32) == 1);
RECORD_AT(_STSTATISTICS32, uptime, 0x17c);
RECORD_AT(_STSTATISTICS32, counters_hi, 0x180);

static_assert(sizeof(_STMICSTATISTICS) == 156 && alignof(_STMICSTATISTICS) == 1);
RECORD_AT(_STMICSTATISTICS, mic_enabled, 0x04);
RECORD_AT(_STMICSTATISTICS, packets_mic_ok, 0x08);
RECORD_AT(_STMICSTATISTICS, packets_incorrect_mic, 0x0c);
RECORD_AT(_STMICSTATISTICS, packets_no_mic, 0x10);
RECORD_AT(_STMICSTATISTICS, packets_no_mic_seed, 0x14);
RECORD_AT(_STMICSTATISTICS, packets_wrong_sequence, 0x18);
RECORD_AT(_STMICSTATISTICS, reserved_1c, 0x1c);

static_assert(sizeof(_STMIC) == 40);

static_assert(sizeof(_RID_wep_key) == 26 && alignof(_RID_wep_key) == 1);
RECORD_AT(_RID_wep_key, key_index, 2);
RECORD_AT(_RID_wep_key, mac, 4);
RECORD_AT(_RID_wep_key, key_len, 10);
RECORD_AT(_RID_wep_key, key, 12);
RECORD_AT(_RID_wep_key, pad, 25);

static_assert(sizeof(tdsRidZunaUsername) == 36 && alignof(tdsRidZunaUsername) == 1);
RECORD_AT(tdsRidZunaUsername, name_len, 2);
RECORD_AT(tdsRidZunaUsername, name, 4);
static_assert(sizeof(tdsRidZunaPassword) == 36 && alignof(tdsRidZunaPassword) == 1);
RECORD_AT(tdsRidZunaPassword, hash_len, 2);
RECORD_AT(tdsRidZunaPassword, hash, 4);

#undef RECORD_AT

// Copies a driver text field that may lack its terminator into a NUL-terminated
// buffer of N bytes, never reading past the field.
template <size_t F, size_t N>
inline void FieldText(char (&out)[N], const char (&field)[F])
{
    static_assert(N > 0);
    size_t n = strnlen(field, F);
    if (n > N - 1)
        n = N - 1;
    std::memcpy(out, field, n);
    out[n] = '\0';
}
