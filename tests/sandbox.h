// A fresh driver stand-in sandbox for each test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "sim_state.h"

// Makes a temporary sandbox, points the stand-in at it for this process
// (SIMDRIVER_ROOT) and removes it afterwards.
class Sandbox {
public:
    explicit Sandbox(const std::vector<std::string> &ifaces = {"eth0"},
                     const std::string &family = "vindral");
    // The sandbox that this process was started in (SIMDRIVER_ROOT); it is
    // left in place afterwards.
    struct Current {};
    explicit Sandbox(Current);
    ~Sandbox();
    Sandbox(const Sandbox &) = delete;
    Sandbox &operator=(const Sandbox &) = delete;

    const std::string &dir() const { return dir_; }
    void add(const std::string &iface) const { sim::AddAdapter(dir_, iface); }
    // A path inside the sandbox ("etc/eth0.cfg").
    std::string path(const std::string &rel) const { return dir_ + "/" + rel; }

    void set(const std::string &iface, const std::vector<std::string> &assignments) const
    {
        sim::Set(dir_, iface, assignments);
    }
    std::string get(const std::string &iface, const std::string &field) const
    {
        return sim::Get(dir_, iface, field);
    }
    void fail(const std::string &iface, int command, int err, int count = 1) const
    {
        sim::Fail(dir_, iface, command, err, count);
    }
    // A file-system fault for the files at rel and below (sim::FileFail):
    // op "write", "sync", "close", "open" or "none".
    void fileFail(const std::string &rel, const std::string &op, int err, long after = 0) const
    {
        sim::FileFail(dir_, rel, op, err, after);
    }
    void clearFileFaults() const { sim::ClearFileFaults(dir_); }
    std::vector<sim::JournalEntry> journal() const { return sim::ReadJournal(dir_); }
    void clearJournal() const { sim::ClearJournal(dir_); }

    // The journal's commands in order, optionally for one interface only.
    std::vector<int> commands(const std::string &iface = "") const;
    // The shortest time in seconds between two journaled requests of this
    // command; a day when there are fewer than two.
    double shortestGap(int command) const;

private:
    std::string dir_;
    bool owned_ = true;
};

// Reads a whole file; empty when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::string &path);
void WriteFileBytes(const std::string &path, const std::vector<uint8_t> &bytes);

// Runs a command line through /bin/sh with stdout and stderr captured.
struct RunResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};
RunResult RunCommand(const std::string &cmdline);

// The number of descriptors this process has open: a leak shows as a change.
int OpenFds();

// The value of an environment variable that CTest sets (SIMCTL, OSTREL, ...).
std::string EnvPath(const char *name);

template <class T>
std::vector<uint8_t> Bytes(const T &record)
{
    const auto *p = reinterpret_cast<const uint8_t *>(&record);
    return std::vector<uint8_t>(p, p + sizeof(T));
}

// A record's bytes in hex, the form in which the stand-in takes record images.
template <class T>
std::string HexImage(const T &record)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : Bytes(record)) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

template <class T>
T FromBytes(const std::vector<uint8_t> &bytes)
{
    T record{};
    EXPECT_EQ(bytes.size(), sizeof(T));
    std::memcpy(&record, bytes.data(), std::min(bytes.size(), sizeof(T)));
    return record;
}
