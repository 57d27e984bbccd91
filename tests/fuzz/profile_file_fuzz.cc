// The profile file as the loader and oxu use it, from arbitrary file contents:
// read and checked, kept aside and recreated from the adapter when it does
// not check out, loaded into the adapter and saved again.
#include <cstring>

#include "fuzz_support.h"
#include "kdr770.h"
#include "profile_file.h"
#include "sim_state.h"

namespace {

constexpr size_t kFile = 708, kHeader = 136, kRecord = 286;

// A file as the format defines it valid: its first 708 bytes hold the 16-bit
// byte sum of both records in the first word (upper half zero) and magic 343.
// Bytes after them are no part of it (a file is rewritten, never truncated).
bool Sound(const std::vector<uint8_t> &f)
{
    if (f.size() < kFile)
        return false;
    uint32_t sum = 0;
    for (size_t i = kHeader; i < kFile; ++i)
        sum += f[i];
    return Le32(&f[0]) == (sum & 0xFFFF) && Le32(&f[4]) == 343;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QuietStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    kdR770 *radio = &Eth0();
    // The same adapter for every input, so that a finding replays alone.
    sim::AddAdapter(SandboxRoot(), "eth0");
    TrimJournal();

    const std::string path = SandboxRoot() + "/etc/eth0.cfg";
    WriteWhole(path, data, size);
    const std::vector<uint8_t> input(data, data + size);
    const bool sound = Sound(input);

    Cfgio io("eth0.cfg");
    FUZZ_CHECK(bool(io.valid) == sound);
    if (!io.valid) {
        FUZZ_CHECK(io.mkcfg(*radio) == 0);
        // What did not check out is kept whole before it is made anew.
        FUZZ_CHECK(ReadWhole(path + ".damaged") == input);
        const auto made = ReadWhole(path);
        FUZZ_CHECK(Sound(made));
        FUZZ_CHECK(std::memcmp(&made[kHeader], &made[kHeader + kRecord], kRecord) == 0);
        FUZZ_CHECK(Le32(&made[8]) == 0);
    }
    ProfileRecord a{}, b{};
    const int selector = io.ldcfg(*radio, a, b);
    FUZZ_CHECK(selector == 0 || selector == 1);
    if (sound) {
        FUZZ_CHECK(selector == (Le32(&input[8]) != 0));
        // Loading changes nothing in the file.
        FUZZ_CHECK(ReadWhole(path) == input);
    }

    // What was loaded saves back into a sound file that keeps the header's
    // reserved bytes.
    const std::vector<uint8_t> before = ReadWhole(path);
    FUZZ_CHECK(io.wrcfg(a, b, selector) == 0);
    const auto saved = ReadWhole(path);
    FUZZ_CHECK(Sound(saved));
    FUZZ_CHECK(std::memcmp(&saved[12], &before[12], kHeader - 12) == 0);
    FUZZ_CHECK(Le32(&saved[8]) == uint32_t(selector));
    FUZZ_CHECK(std::memcmp(&saved[kHeader], &a, kRecord) == 0);
    FUZZ_CHECK(std::memcmp(&saved[kHeader + kRecord], &b, kRecord) == 0);
    return 0;
}
