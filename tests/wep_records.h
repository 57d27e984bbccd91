// WEP key records as the adapter stores and hands them out, for tests that
// read what was written or play a careless driver's readout.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "records.h"
#include "sandbox.h"

// A key record as the programs write it; len other than 0xFFFF overrides the
// key's length.
inline _RID_wep_key Record(uint16_t index, std::vector<uint8_t> key = {}, uint16_t len = 0xFFFF)
{
    _RID_wep_key k{};
    k.length = 26;
    k.key_index = index;
    k.mac[0] = 1;
    k.key_len = len == 0xFFFF ? uint16_t(key.size()) : len;
    std::copy(key.begin(), key.begin() + std::min<size_t>(key.size(), 13), k.key);
    return k;
}

// The transmit-key selector naming key tx.
inline _RID_wep_key Selector(uint16_t tx)
{
    _RID_wep_key k{};
    k.length = 26;
    k.key_index = 0xFFFF;
    k.mac[0] = uint8_t(tx);
    k.mac[1] = uint8_t(tx >> 8);
    return k;
}

// The stand-in setting that hands out these records in place of the store.
inline std::string Readout(const std::vector<_RID_wep_key> &records)
{
    std::string out;
    for (const auto &r : records)
        out += (out.empty() ? "" : ",") + HexImage(r);
    return "wep.readout=" + out;
}
