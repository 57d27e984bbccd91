// The preferences record from arbitrary file contents: checked and repaired
// at start, its texts bounded, and the file shortened under the mapping and
// repaired again at the next access.
#include <unistd.h>

#include <cstring>

#include "fuzz_support.h"
#include "preferences.h"

namespace {

constexpr size_t kRecord = 360;
constexpr size_t kBrowserAt = 12, kPasswordAt = 268, kNoteAt = 140;

// A file whose record the format defines valid: its first 360 bytes hold the
// low 8 bits of their byte sum (with the first word taken as 0) in the first
// word, and magic 343. Bytes after the record are no part of it.
bool Sound(const std::vector<uint8_t> &r)
{
    if (r.size() < kRecord)
        return false;
    unsigned sum = 0;
    for (size_t i = 4; i < kRecord; ++i)
        sum += r[i];
    return Le32(&r[0]) == (sum & 0xFF) && Le32(&r[4]) == 343;
}

// The store ends every text field with a zero byte (a text that fills its
// field loses its last character).
bool EndsInZero(const uint8_t *field, size_t n)
{
    return field[n - 1] == 0;
}

// A text accessor's answer: null, or a text that ends inside its field.
bool Bounded(const char *text, size_t n)
{
    return !text || strnlen(text, n) < n;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QuietStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string path = SandboxRoot() + "/opt/tavlo/OXU.PRFS";
    WriteWhole(path, data, size);
    const std::vector<uint8_t> input(data, data + size);

    prefs store;
    FUZZ_CHECK(store.HasFile());
    const auto opened = ReadWhole(path);
    FUZZ_CHECK(Sound(opened));
    // A valid record whose text fields end in zero is kept as it is.
    if (Sound(input) && EndsInZero(&input[kBrowserAt], 128) && EndsInZero(&input[kNoteAt], 128) &&
        EndsInZero(&input[kPasswordAt], 80))
        FUZZ_CHECK(opened == input);
    FUZZ_CHECK(Bounded(store.GetBrowser(), 128));
    FUZZ_CHECK(Bounded(store.GetPassword(), 80));

    // Another process cuts the file while it is mapped: the next accesses
    // find it whole again.
    FUZZ_CHECK(truncate(path.c_str(), off_t(size % (kRecord + 1))) == 0);
    FUZZ_CHECK(Bounded(store.GetPassword(), 80));
    store.SetBrowserPid(int32_t(size));
    FUZZ_CHECK(store.GetBrowserPid() == int32_t(size));
    FUZZ_CHECK(Sound(ReadWhole(path)));
    return 0;
}
