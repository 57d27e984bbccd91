// The journal of the requests that reached the sandbox, and the record of
// the waits and the DISPLAY that programs asked for: one tab-separated line
// each, appended under the sandbox's lock (README.md gives the fields).
// Reading them is part of the public API (sim_state.h).
#pragma once

#include <string>

#include "sim_state.h"

namespace sim {

// Appends one request's line; the caller holds the sandbox's lock.
void AppendJournal(const std::string &dir, const JournalEntry &e);

} // namespace sim
