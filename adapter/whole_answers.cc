#include "whole_answers.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "kdr770.h"

namespace {

// No name holds a control character below 0x20; every byte above may be
// a character of some code page.
bool NameCharacter(uint8_t c)
{
    return c >= 0x20;
}

// The highest key index: 4, the home key.
constexpr unsigned LastKeyIndex = 4;

constexpr uint8_t FirstMark = 0xFF;
constexpr uint8_t SecondMark = 0x00;

} // namespace

bool UsableMac(const uint8_t (&mac)[6])
{
    const bool zero = std::all_of(std::begin(mac), std::end(mac), [](uint8_t b) { return b == 0; });
    return !zero && !(mac[0] & 0x01);
}

bool Plausible(const _STCAPS &caps)
{
    // A name of the whole field has no terminator; a careless driver's, but
    // still a name.
    const size_t n = strnlen(caps.product_name, sizeof caps.product_name);
    if (n == 0 || !std::all_of(caps.product_name, caps.product_name + n,
                               [](char c) { return NameCharacter(uint8_t(c)); }))
        return false;

    // Any rate and any level in the fields' ranges is one: only none at all
    // is no answer.
    const bool anyRate =
        std::any_of(std::begin(caps.supported_rates), std::end(caps.supported_rates),
                    [](uint8_t rate) { return (rate & 0x7F) != 0; });
    return anyRate && caps.power_levels[0] != 0;
}

bool Plausible(const CFG_R770 &cfg)
{
    return UsableMac(cfg.mac_addr);
}

bool Plausible(const _STSSID &)
{
    return true;
}

bool Plausible(const _STAPLIST &)
{
    return true;
}

bool Plausible(const _STSTATUS &status)
{
    return status.ssid_len <= sizeof status.ssid;
}

bool Plausible(const _RID_wep_key &key)
{
    // The selector's transmit index is read as 16 bits, as a driver may
    // write it; one above the last key names none. The bytes after it carry
    // nothing and are not looked at.
    const unsigned transmit = key.mac[0] | key.mac[1] << 8;
    const bool indexed = key.key_index <= LastKeyIndex ||
                         (key.key_index == WEP_SELECTOR_INDEX && transmit <= LastKeyIndex);
    // The pad at the end is zero in every record: the mark still there
    // means the answer stopped short of it.
    return indexed && key.key_len <= sizeof key.key && key.pad != KeyMark;
}

int ReadToTheEnd(const std::function<int()> &read, std::initializer_list<RecordBytes> records)
{
    for (const RecordBytes &r : records)
        std::memset(r.bytes, FirstMark, r.size);
    if (read() != 0)
        return -1;
    // Most answers end in another byte than the first mark: asked once.
    std::vector<bool> suspect;
    for (const RecordBytes &r : records)
        suspect.push_back(r.bytes[r.size - 1] == FirstMark);
    if (std::none_of(suspect.begin(), suspect.end(), [](bool s) { return s; }))
        return 0;
    for (const RecordBytes &r : records)
        std::memset(r.bytes, SecondMark, r.size);
    if (read() != 0)
        return -1;
    size_t i = 0;
    for (const RecordBytes &r : records)
        if (suspect[i++] && r.bytes[r.size - 1] == SecondMark)
            return -1;
    return 0;
}

int ReadWholeConfiguration(kdR770 &radio, CFG_R770 &cfg, _STAPLIST &aplist, _STSSID &ssid)
{
    return ReadWhole([&] { return radio.GetConfiguration(cfg, aplist, ssid); }, cfg, aplist, ssid);
}
