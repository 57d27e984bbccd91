// The named fields of an emulated adapter's state, as simctl show and set,
// sim::Get and sim::Set name them: the table of record fields with their text
// forms (numbers, texts with escapes, MACs, lists, addresses), the behaviours,
// and whole record images.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "adapter_state.h"

namespace sim {

// A number in decimal or 0x hex, with an optional leading '-'.
bool ParseNumber(const std::string &v, int64_t &out);
std::vector<std::string> Split(const std::string &v, char sep);

// A field or behaviour in the form that SetField takes back; throws on an
// unknown name.
std::string GetField(const AdapterState &s, const std::string &name);
// Throws naming what is wrong; s may then be changed in part.
void SetField(AdapterState &s, const std::string &name, const std::string &v);
// The names that Show lists, in its order.
std::vector<std::string> ShowNames(const AdapterState &s);

// The byte image of a whole record ("caps", "stats", ...), the statistics as
// a read now returns them.
std::vector<uint8_t> RecordImage(const AdapterState &s, const std::string &name);
void StoreRecord(AdapterState &s, const std::string &name, const std::vector<uint8_t> &bytes);

} // namespace sim
