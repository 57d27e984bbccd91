// The sandbox's public operations (sim_state.h): making a sandbox, adding and
// removing adapters, reading and changing their fields, faults and firmware
// blocks. The journal's own operations are in journal.cc.
#include "sim_state.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "adapter_state.h"
#include "file_faults.h"
#include "record_fields.h"
#include "sandbox_files.h"
#include "sandbox_lock.h"

namespace fs = std::filesystem;

namespace sim {

namespace {

AdapterState LoadOrThrow(const SandboxLock &lock, const std::string &dir, const std::string &iface)
{
    AdapterState s;
    if (!ValidIfaceName(iface) || !LoadAdapter(lock, dir, iface, s))
        Bad("no emulated adapter " + iface + " in " + dir);
    return s;
}

} // namespace

void InitSandbox(const std::string &dir, const std::string &family,
                 const std::vector<std::string> &ifaces)
{
    const char *driver_dir = nullptr;
    if (family == "vindral")
        driver_dir = "proc/vindral";
    else if (family == "tsv240")
        driver_dir = "proc/driver/tsv240";
    else if (family != "none")
        Bad("unknown adapter family '" + family + "' (vindral, tsv240 or none)");
    for (const auto &iface : ifaces)
        if (!ValidIfaceName(iface))
            Bad("bad interface name '" + iface + "'");

    // First, so that rules left in the folder cannot stand in the way.
    if (unlink(FileFaultsPath(dir).c_str()) != 0 && errno != ENOENT && errno != ENOTDIR)
        Bad("cannot remove " + FileFaultsPath(dir) + ": " + std::strerror(errno));
    std::error_code ec;
    for (const char *sub : {"proc", "etc", "opt/tavlo/helpml", "run", "adapters"}) {
        fs::create_directories(fs::path(dir) / sub, ec);
        if (ec)
            Bad("cannot make " + dir + "/" + sub + ": " + ec.message());
    }
    SandboxLock lock(dir, true);
    if (!lock.ok())
        Bad("cannot make " + dir + "/lock: " + std::strerror(errno));
    for (const char *d : {"proc/vindral", "proc/driver/vindral", "proc/driver/tsv240", "proc/tsv240"})
        fs::remove_all(fs::path(dir) / d, ec);
    if (driver_dir) {
        fs::create_directories(fs::path(dir) / driver_dir, ec);
        if (ec)
            Bad("cannot make " + dir + "/" + driver_dir + ": " + ec.message());
    }
    // The earlier adapters go: a change that every process must see.
    lock.NextGeneration();
    for (const auto &entry : fs::directory_iterator(fs::path(dir) / "adapters", ec))
        fs::remove(entry.path(), ec);
    TruncateFile(JournalPath(dir));
    TruncateFile(CallsPath(dir));
    for (const auto &iface : ifaces)
        SaveAdapter(lock, dir, DefaultAdapter(iface));
}

void AddAdapter(const std::string &dir, const std::string &iface)
{
    if (!ValidIfaceName(iface))
        Bad("bad interface name '" + iface + "'");
    LockedSandbox lock(dir);
    SaveAdapter(lock, dir, DefaultAdapter(iface));
    ClearFlash(dir, iface);
}

void RemoveAdapter(const std::string &dir, const std::string &iface)
{
    LockedSandbox lock(dir);
    LoadOrThrow(lock, dir, iface);
    RemoveAdapterFile(lock, dir, iface);
    ClearFlash(dir, iface);
}

std::vector<std::string> Adapters(const std::string &dir)
{
    LockedSandbox lock(dir);
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(fs::path(dir) / "adapters", ec)) {
        const fs::path &p = entry.path();
        if (p.extension() == ".json" && ValidIfaceName(p.stem().string()))
            out.push_back(p.stem().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string Show(const std::string &dir, const std::string &iface)
{
    LockedSandbox lock(dir);
    AdapterState s = LoadOrThrow(lock, dir, iface);
    std::string out;
    for (const auto &name : ShowNames(s))
        out += name + "=" + GetField(s, name) + "\n";
    return out;
}

std::string Get(const std::string &dir, const std::string &iface, const std::string &field)
{
    LockedSandbox lock(dir);
    return GetField(LoadOrThrow(lock, dir, iface), field);
}

void Set(const std::string &dir, const std::string &iface,
         const std::vector<std::string> &assignments)
{
    LockedSandbox lock(dir);
    AdapterState s = LoadOrThrow(lock, dir, iface);
    for (const auto &a : assignments) {
        size_t eq = a.find('=');
        if (eq == std::string::npos)
            Bad("bad assignment '" + a + "': not FIELD=VALUE");
        try {
            SetField(s, a.substr(0, eq), a.substr(eq + 1));
        } catch (const std::runtime_error &e) {
            Bad("bad assignment '" + a + "': " + e.what());
        }
    }
    SaveAdapter(lock, dir, s);
}

std::vector<uint8_t> GetRecord(const std::string &dir, const std::string &iface,
                               const std::string &record)
{
    LockedSandbox lock(dir);
    return RecordImage(LoadOrThrow(lock, dir, iface), record);
}

void SetRecord(const std::string &dir, const std::string &iface, const std::string &record,
               const std::vector<uint8_t> &bytes)
{
    LockedSandbox lock(dir);
    AdapterState s = LoadOrThrow(lock, dir, iface);
    StoreRecord(s, record, bytes);
    SaveAdapter(lock, dir, s);
}

void Fail(const std::string &dir, const std::string &iface, int command, int err, int count)
{
    if (command < 0 || command > 0xFFFF || err < 0 || count < -1)
        Bad("bad failure: command " + std::to_string(command) + " errno " + std::to_string(err) +
             " count " + std::to_string(count));
    LockedSandbox lock(dir);
    AdapterState s = LoadOrThrow(lock, dir, iface);
    if (count == 0)
        s.faults.erase(command);
    else
        s.faults[command] = Fault{err, count};
    SaveAdapter(lock, dir, s);
}

void FileFail(const std::string &dir, const std::string &rel, const std::string &op, int err,
              long after)
{
    bool known = op == "none";
    for (FileOp o : {FileOp::Write, FileOp::Sync, FileOp::Close, FileOp::Open})
        known = known || op == FileOpName(o);
    if (!known)
        Bad("unknown file operation '" + op + "' (write, sync, close, open or none)");
    if (rel.empty() || rel.size() > kMaxFaultRel || rel[0] == '/' ||
        rel.find_first_of(std::string("\t\n\0", 3)) != std::string::npos)
        Bad("bad file fault path '" + rel + "': relative to the sandbox, 1.." +
            std::to_string(kMaxFaultRel) + " bytes, no tab or newline");
    if (OwnSandboxFile(rel.c_str()))
        Bad("the sandbox's own file " + rel + " gets no faults");
    if (op != "none" && (err < 0 || err > 4095))
        Bad("bad file fault errno " + std::to_string(err));
    if (after < 0 || after > 999999999999 || (after && op != "write"))
        Bad("bad file fault: only write takes a byte count (0.., got " + std::to_string(after) +
            ")");

    LockedSandbox lock(dir);
    std::string text, kept;
    ReadBounded(FileFaultsPath(dir), kMaxFileFaults, text);
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = text.substr(start, end - start + 1);
        auto f = Split(line.substr(0, line.size() - 1), '\t');
        if (f.size() == 4 && f[0] == rel && (op == "none" || f[1] == op))
            continue;
        kept += line;
    }
    if (op != "none")
        kept += rel + "\t" + op + "\t" + std::to_string(err) + "\t" + std::to_string(after) + "\n";
    if (kept.size() > kMaxFileFaults)
        Bad("too many file faults in " + dir);
    ReplaceFile(FileFaultsPath(dir), kept);
}

void ClearFileFaults(const std::string &dir)
{
    LockedSandbox lock(dir);
    if (unlink(FileFaultsPath(dir).c_str()) != 0 && errno != ENOENT)
        Bad("cannot remove " + FileFaultsPath(dir) + ": " + std::strerror(errno));
}

std::vector<std::vector<uint8_t>> FlashBlocks(const std::string &dir, const std::string &iface)
{
    std::string data;
    {
        LockedSandbox lock(dir);
        LoadOrThrow(lock, dir, iface);
        if (!ReadBounded(FlashPath(dir, iface), kMaxFlash, data))
            return {};
    }
    std::vector<std::vector<uint8_t>> blocks;
    for (size_t off = 0; off + kFlashBlockSize <= data.size(); off += kFlashBlockSize)
        blocks.emplace_back(data.begin() + long(off), data.begin() + long(off + kFlashBlockSize));
    return blocks;
}

} // namespace sim
