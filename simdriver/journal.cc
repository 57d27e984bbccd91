#include "journal.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "adapter_state.h"
#include "record_fields.h"
#include "sandbox_files.h"
#include "sandbox_lock.h"

namespace sim {

namespace {

// Interface names in the journal are the program's bytes: escaped so that a
// line always has its nine fields.
std::string EscapeName(const std::string &s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c > 0x20 && c < 0x7f && c != '\\') {
            out += char(c);
        } else {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02x", c);
            out += b;
        }
    }
    return out;
}

std::string UnescapeName(const std::string &s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
            std::vector<uint8_t> b;
            if (FromHex(s.substr(i + 2, 2), b)) {
                out += char(b[0]);
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

// The tab-separated fields of each whole line of a sandbox log; a last line
// still being written is left out.
std::vector<std::vector<std::string>> ReadLogLines(const std::string &dir, const std::string &path)
{
    std::string text;
    {
        LockedSandbox lock(dir);
        if (!ReadBounded(path, kMaxJournal, text))
            return {};
    }
    std::vector<std::vector<std::string>> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(Split(text.substr(start, end - start), '\t'));
    return lines;
}

} // namespace

void AppendJournal(const std::string &dir, const JournalEntry &e)
{
    char head[160];
    std::snprintf(head, sizeof head, "%.6f\t%d\t", e.time, e.pid);
    char tail[128];
    std::snprintf(tail, sizeof tail, "\t0x%lx\t%d\t%d\t%d\t%d\t", e.code, e.command, e.length,
                  e.result, e.err);
    std::string line = head + EscapeName(e.iface) + tail +
                       (e.sent.empty() ? std::string("-") : ToHex(e.sent.data(), e.sent.size())) +
                       "\n";
    AppendFile(JournalPath(dir), line.data(), line.size());
}

std::vector<JournalEntry> ReadJournal(const std::string &dir)
{
    std::vector<JournalEntry> out;
    for (const auto &f : ReadLogLines(dir, JournalPath(dir))) {
        if (f.size() != 9)
            continue;
        JournalEntry e;
        int64_t n;
        char *stop = nullptr;
        e.time = std::strtod(f[0].c_str(), &stop);
        e.iface = UnescapeName(f[2]);
        bool ok = stop && *stop == '\0';
        ok = ok && ParseNumber(f[1], n) && ((e.pid = int(n)), true);
        ok = ok && ParseNumber(f[3], n) && ((e.code = (unsigned long)n), true);
        ok = ok && ParseNumber(f[4], n) && ((e.command = int(n)), true);
        ok = ok && ParseNumber(f[5], n) && ((e.length = int(n)), true);
        ok = ok && ParseNumber(f[6], n) && ((e.result = int(n)), true);
        ok = ok && ParseNumber(f[7], n) && ((e.err = int(n)), true);
        ok = ok && (f[8] == "-" || FromHex(f[8], e.sent));
        if (ok)
            out.push_back(std::move(e));
    }
    return out;
}

std::string JournalText(const std::string &dir)
{
    LockedSandbox lock(dir);
    std::string text;
    ReadBounded(JournalPath(dir), kMaxJournal, text);
    return text;
}

void ClearJournal(const std::string &dir)
{
    LockedSandbox lock(dir);
    TruncateFile(JournalPath(dir));
}

void AppendCall(const std::string &dir, const std::string &call)
{
    char head[64];
    std::snprintf(head, sizeof head, "%.6f\t%d\t", Now(), int(getpid()));
    std::string line = head;
    // One line per call whatever the program handed over.
    for (char c : call)
        line += (c == '\n' || c == '\t') ? ' ' : c;
    line += '\n';
    LockedSandbox lock(dir);
    AppendFile(CallsPath(dir), line.data(), line.size());
}

std::vector<CallEntry> ReadCalls(const std::string &dir)
{
    std::vector<CallEntry> out;
    for (const auto &f : ReadLogLines(dir, CallsPath(dir))) {
        int64_t pid;
        char *stop = nullptr;
        CallEntry e;
        e.time = f.size() == 3 ? std::strtod(f[0].c_str(), &stop) : 0;
        if (f.size() != 3 || !stop || *stop != '\0' || !ParseNumber(f[1], pid))
            continue;
        e.pid = int(pid);
        e.call = f[2];
        out.push_back(std::move(e));
    }
    return out;
}

} // namespace sim
