// Firmware image files of arbitrary contents handed to the flash sequence:
// anything but a well-formed image is refused before the adapter is asked
// anything, and a well-formed one goes on to the adapter's monitor (which the
// emulated adapter refuses here, so that each input stays quick).
#include <cstring>

#include "firmware_flash.h"
#include "fuzz_support.h"
#include "kdr770.h"
#include "sim_state.h"

namespace {

constexpr size_t kFile = 131328, kHeader = 0x100;

// The result the checks must give, from the file format alone: 2 for a wrong
// size or type (the second model family takes 0xD0 only), 3 for a wrong sum,
// otherwise 0.
int Expected(const uint8_t *data, size_t size, bool tsv240)
{
    if (size != kFile)
        return 2;
    static const uint8_t types[] = {0x90, 0x91, 0xB0, 0xB1, 0xC0, 0xC1, 0xD0};
    const uint8_t type = data[0x81];
    if (!std::memchr(types, type, sizeof types) || (tsv240 && type != 0xD0))
        return 2;
    uint16_t sum = 0;
    for (size_t i = kHeader; i < kFile; ++i)
        sum = uint16_t(sum + data[i]);
    return sum == Le16(&data[0x8A]) ? 0 : 3;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QuietStdout();
    sim::Set(SandboxRoot(), "eth0", {"monitor_refuse=1"});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t length)
{
    kdR770 *radio = &Eth0();
    TrimJournal();
    // An input up to the file's size is the start of a file of that size
    // (the rest zero), so that mutations land in the header and the first
    // image bytes; an empty or a longer input is the file as it is.
    std::vector<uint8_t> file(input, input + length);
    if (length > 0 && length < kFile)
        file.resize(kFile, 0);
    const std::string path = SandboxRoot() + "/image.bin";
    WriteWhole(path, file.data(), file.size());
    // The first header byte, which no check reads, chooses the model family.
    const bool tsv240 = length > 0 && (input[0] & 1);
    radio->cardkind = tsv240 ? CARDKIND_TSV240 : 0;

    const size_t before = sim::ReadJournal(SandboxRoot()).size();
    const int result = radio->FlashAdapter(path.c_str(), nullptr);
    const int expected = Expected(file.data(), file.size(), tsv240);
    const auto journal = sim::ReadJournal(SandboxRoot());
    if (expected != 0) {
        FUZZ_CHECK(result == expected);
        FUZZ_CHECK(journal.size() == before);
        return 0;
    }
    // Accepted: the monitor is reset and asked for, and refuses.
    FUZZ_CHECK(result == FLASH_NO_MONITOR);
    FUZZ_CHECK(journal.size() == before + 2);
    FUZZ_CHECK(journal[before].command == 100 && journal[before + 1].command == 102);
    return 0;
}
