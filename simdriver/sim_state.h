// The driver stand-in's sandbox: emulated adapters whose state lives in files
// under a sandbox folder, shared by the preload library, simctl and the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Makes a new sandbox in dir (created when missing): the driver directory of
// family "vindral", "tsv240" or "none", the folders that the redirected fixed
// paths lead to, and one emulated adapter per interface in its default state.
// Throws std::runtime_error on a bad family or when the folder cannot be made.
void InitSandbox(const std::string &dir, const std::string &family,
                 const std::vector<std::string> &ifaces);

// Adds an emulated adapter in its default state (or resets an existing one).
void AddAdapter(const std::string &dir, const std::string &iface);

// Removes an emulated adapter: its interface then answers ENODEV.
void RemoveAdapter(const std::string &dir, const std::string &iface);

// The interfaces that have an emulated adapter, in name order.
std::vector<std::string> Adapters(const std::string &dir);

// The adapter's state as text, one "field=value" line per record field and
// behaviour, in the form that Set accepts back.
std::string Show(const std::string &dir, const std::string &iface);

// The value of one field or behaviour, in Show's form.
std::string Get(const std::string &dir, const std::string &iface, const std::string &field);

// Applies "field=value" assignments in order (record fields by their names,
// such as "status.status_word=0x22" or "caps.product_name=PC Card", and the
// behaviours). Throws std::runtime_error naming the first bad assignment;
// nothing is changed then.
void Set(const std::string &dir, const std::string &iface,
         const std::vector<std::string> &assignments);

// The whole byte image of one record ("caps", "config", "ssid", "aplist",
// "status", "stats", "cstats", "mic", "micstats", "user", "password").
std::vector<uint8_t> GetRecord(const std::string &dir, const std::string &iface,
                               const std::string &record);
void SetRecord(const std::string &dir, const std::string &iface, const std::string &record,
               const std::vector<uint8_t> &bytes);

// The next count requests of this command number fail with err (0 included:
// the ioctl returns -1 and leaves errno 0). count -1: every request from now on;
// count 0 removes the fault.
void Fail(const std::string &dir, const std::string &iface, int command, int err, int count = 1);

// A file-system fault for the files whose path relative to dir starts with
// rel ("etc/eth0.cfg" also names etc/eth0.cfg.damaged and the temporary
// etc/eth0.cfg.new-Xy12Ab; "etc" the folder and all in it). op:
//   "write": through each descriptor at most after bytes are written; the
//            write that crosses after writes up to it, each later one fails
//            with err
//   "sync":  fsync, fdatasync and msync fail with err
//   "close": close closes and then fails with err
//   "open":  every call that would change a matching path fails with err
//   "none":  removes every rule of rel
// One rule per rel and op; a new one replaces the old. Programs under the
// stand-in see a change at their next call. Throws std::runtime_error on a
// bad rule or when dir is no sandbox.
void FileFail(const std::string &dir, const std::string &rel, const std::string &op, int err,
              long after = 0);
void ClearFileFaults(const std::string &dir);

// One request as the stand-in received it.
struct JournalEntry {
    double time = 0;            // seconds since the epoch
    int pid = 0;
    std::string iface;
    unsigned long code = 0;     // ioctl request code (0x89F0 or 0x89F1)
    int command = 0;            // DriverRequest command
    int length = 0;             // DriverRequest length
    int result = 0;             // what the ioctl returned
    int err = 0;                // errno left by a failure
    std::vector<uint8_t> sent;  // bytes sent to the driver by a writing command
};

std::vector<JournalEntry> ReadJournal(const std::string &dir);
// The journal file as it is: one tab-separated line per request (README.md).
std::string JournalText(const std::string &dir);
void ClearJournal(const std::string &dir);

// What a program under the stand-in did to its surroundings besides driver
// requests: each wait it asked for ("sleep 8", as asked, before any scaling)
// and each DISPLAY it set ("setenv DISPLAY unix:0 1": the value it gave and
// its overwrite flag), one entry per call in order.
struct CallEntry {
    double time = 0;  // seconds since the epoch
    int pid = 0;
    std::string call;
};

// Records a call (the preload library does, for a process in this sandbox).
void AppendCall(const std::string &dir, const std::string &call);
std::vector<CallEntry> ReadCalls(const std::string &dir);

// The firmware image blocks that the resident monitor has received since the
// last reset (command 100), in block order; each 32768 bytes.
std::vector<std::vector<uint8_t>> FlashBlocks(const std::string &dir, const std::string &iface);

} // namespace sim
