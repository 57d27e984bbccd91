// What the harnesses share. They run under the driver stand-in (scripts/fuzz
// makes the sandbox), so the suite's fixed paths lead into the sandbox and
// eth0 is an emulated adapter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A broken property: reported with its place, then abort(), which libFuzzer
// turns into a finding with the input saved.
#define FUZZ_CHECK(cond) \
    ((cond) ? (void)0 : FuzzCheckFailed(#cond, __FILE__, __LINE__))
[[noreturn]] void FuzzCheckFailed(const char *what, const char *file, int line);

// The sandbox folder (SIMDRIVER_ROOT); aborts when the harness runs without one.
const std::string &SandboxRoot();

class kdR770;
// The emulated adapter on eth0, set up once.
kdR770 &Eth0();

// Sends the programs' messages on standard output ("Checksum bad...") to
// /dev/null: libFuzzer reports on standard error.
void QuietStdout();

// Empties the stand-in's journal now and then, so that a long run does not
// fill the disk with it.
void TrimJournal();

void WriteWhole(const std::string &path, const uint8_t *data, size_t size);
std::vector<uint8_t> ReadWhole(const std::string &path);

// Little-endian words of a byte image.
uint16_t Le16(const uint8_t *p);
uint32_t Le32(const uint8_t *p);
