// Reads whose answer must be whole. A driver can report success while it
// wrote only the start of a record, or nonsense; taken as values, such
// answers become settings nobody chose (an all-zero MAC address sent and
// saved, WEP switched off, a transmit power of 58030 mW). These reads count
// them as failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>

#include "records.h"

class kdR770;

// A station's own address: not all zero and not a group address.
bool UsableMac(const uint8_t (&mac)[6]);

// What every answer of the kind fills, filled plausibly. A value within the
// records' documented ranges always passes: only what no adapter reports
// fails. The configuration and its lists hold what was last written into
// the adapter (a profile, whatever it stores), so only the adapter's own MAC
// address, which every write keeps, is checked there: anything else could
// lock a stored profile out for good.
bool Plausible(const _STCAPS &caps);     // a product name, a rate and a power level
bool Plausible(const CFG_R770 &cfg);     // the adapter's own MAC address
bool Plausible(const _STSSID &ssid);     // nothing to check
bool Plausible(const _STAPLIST &aplist); // nothing to check
bool Plausible(const _STSTATUS &status); // an SSID length the field can hold
bool Plausible(const _RID_wep_key &key); // a key, or the selector naming one, of a key length the record holds, its pad written

struct RecordBytes {
    uint8_t *bytes;
    size_t size;
};

// Makes read() (the request or requests that fill the records) with every
// record marked first, and again with another mark when a record's last byte
// still shows the first one: a byte that shows both marks was never written.
// 0 when read() succeeded and filled every record to its end; -1 otherwise.
int ReadToTheEnd(const std::function<int()> &read, std::initializer_list<RecordBytes> records);

template <class Record>
RecordBytes BytesOf(Record &r)
{
    return {reinterpret_cast<uint8_t *>(&r), sizeof r};
}

// A read of records that can be asked twice: 0 only for an answer that
// reached every record's end and is plausible.
template <class Read, class... Records>
int ReadWhole(Read read, Records &...records)
{
    if (ReadToTheEnd(read, {BytesOf(records)...}) != 0)
        return -1;
    return (Plausible(records) && ...) ? 0 : -1;
}

// A read of one key record, which is not asked twice (each read of a
// readout hands out the next record): the record is marked, and the mark's
// key length and pad are ones no record has.
inline constexpr uint8_t KeyMark = 0xFF;

template <class Read>
int ReadWholeKey(Read read, _RID_wep_key &key)
{
    std::memset(&key, KeyMark, sizeof key);
    if (read() != 0)
        return -1;
    return Plausible(key) ? 0 : -1;
}

// The adapter's configuration with its lists, read whole (no retry).
int ReadWholeConfiguration(kdR770 &radio, CFG_R770 &cfg, _STAPLIST &aplist, _STSSID &ssid);
