// The adapters that the driver serves, found once when the list is built.
#pragma once

#include <memory>
#include <vector>

#include "kdr770.h"

class RadioList {
public:
    RadioList();
    // Releases the adapters with the list; the programs keep the list for
    // their whole run, so the adapters live until the program ends.
    ~RadioList();
    RadioList(const RadioList &) = delete;
    RadioList &operator=(const RadioList &) = delete;

    int Count() const { return int(entries.size()); }
    int Scan();
    // Entry i in the order found (eth0 first); null outside the list.
    kdR770 *operator[](int i) const
    {
        return i >= 0 && i < Count() ? entries[size_t(i)].get() : nullptr;
    }

    char candidate_name[20] = {};
    std::unique_ptr<kdR770> candidate;
    std::vector<std::unique_ptr<kdR770>> entries;
};

// The driver directories, in the order they are looked for; the last two
// belong to the second model family.
extern const char *const DriverDirectories[4];
