// The status line and the status window's rows built from arbitrary driver
// records: every text ends inside its buffer and reaches the widgets as valid
// UTF-8 that converts back to the same Latin-1 bytes.
#include <cstring>
#include <string>

#include <glib.h>

#include "fuzz_support.h"
#include "latin1_text.h"
#include "status_window.h"
#include "updater.h"

namespace {

void CheckText(const char *text, size_t size)
{
    FUZZ_CHECK(std::memchr(text, 0, size) != nullptr);
    const std::string shown = Latin1ToUtf8(text, size);
    FUZZ_CHECK(g_utf8_validate(shown.data(), gssize(shown.size()), nullptr));
    std::string back;
    FUZZ_CHECK(Utf8ToLatin1(shown, back));
    FUZZ_CHECK(back == text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    StatusReading in{};
    std::memcpy(&in, data, std::min(size, sizeof in));
    // The interface name is the program's own: five characters at most.
    in.ifname[sizeof in.ifname - 1] = '\0';

    char rows[27][80];
    std::memset(rows, 0x5A, sizeof rows);
    FormatStatusRows(in, rows);
    for (const auto &row : rows)
        CheckText(row, sizeof row);

    char line[256];
    std::memset(line, 0x5A, sizeof line);
    FormatStatusLine(line, sizeof line, in.cfg, in.caps, in.status);
    CheckText(line, sizeof line);
    return 0;
}
