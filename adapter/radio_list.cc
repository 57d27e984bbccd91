#include "radio_list.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

const char *const DriverDirectories[4] = {
    "/proc/vindral", "/proc/driver/vindral", "/proc/driver/tsv240", "/proc/tsv240"};

RadioList::RadioList()
{
    Scan();
}

RadioList::~RadioList() = default;

int RadioList::Scan()
{
    entries.clear();
    candidate = std::make_unique<kdR770>();

    int found = -1;
    for (int i = 0; i < 4 && found < 0; ++i) {
        int fd = open(DriverDirectories[i], O_RDONLY);
        if (fd >= 0) {
            close(fd);
            found = i;
        }
    }
    if (found < 0) {
        candidate.reset();
        return 0;
    }
    const uint8_t kind = found >= 2 ? CARDKIND_TSV240 : 0;

    for (int i = 0; i < 5; ++i) {
        std::snprintf(candidate_name, sizeof candidate_name, "eth%d", i);
        candidate->InitCard(candidate_name);
        if (candidate->isradio()) {
            candidate->cardkind = kind;
            entries.push_back(std::move(candidate));
            candidate = std::make_unique<kdR770>();
        }
    }
    // The last candidate answered nothing; its socket is of no further use.
    candidate.reset();
    return Count();
}
