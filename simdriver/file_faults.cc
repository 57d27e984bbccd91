#include "file_faults.h"

#include <cstring>

namespace sim {

namespace {

// A decimal number of [p, end); false on anything else or an absurd value.
bool Decimal(const char *p, const char *end, long *out)
{
    if (p == end || end - p > 12)
        return false;
    long v = 0;
    for (; p < end; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        v = v * 10 + (*p - '0');
    }
    *out = v;
    return true;
}

} // namespace

const char *FileOpName(FileOp op)
{
    switch (op) {
    case FileOp::Write: return "write";
    case FileOp::Sync: return "sync";
    case FileOp::Close: return "close";
    case FileOp::Open: return "open";
    }
    return "";
}

bool OwnSandboxFile(const char *rel)
{
    static const char *const own[] = {"lock", "journal", "calls", "adapters", "filefaults"};
    for (const char *o : own) {
        size_t n = std::strlen(o);
        // The name itself, what lies below it, and its temporary copies
        // ("filefaults.tmp123").
        if (std::strncmp(rel, o, n) == 0 && (rel[n] == '\0' || rel[n] == '/' || rel[n] == '.'))
            return true;
    }
    return false;
}

bool MatchFileFault(const char *text, size_t n, const char *rel, FileOp op, int *err, long *after)
{
    const char *name = FileOpName(op);
    const size_t name_len = std::strlen(name);
    const size_t rel_len = std::strlen(rel);
    size_t best = 0;
    bool found = false;
    const char *end = text + n;
    for (const char *line = text; line < end;) {
        const char *eol = static_cast<const char *>(std::memchr(line, '\n', size_t(end - line)));
        if (!eol)
            break;  // a line still being written counts for nothing
        const char *f[4];
        const char *fend[4];
        int k = 0;
        const char *p = line;
        while (k < 4 && p <= eol) {
            const char *tab = static_cast<const char *>(std::memchr(p, '\t', size_t(eol - p)));
            f[k] = p;
            fend[k] = tab ? tab : eol;
            ++k;
            p = tab ? tab + 1 : eol + 1;
        }
        line = eol + 1;
        if (k != 4 || p != eol + 1)
            continue;
        const size_t len = size_t(fend[0] - f[0]);
        long e, a;
        if (len == 0 || len > rel_len || std::memcmp(f[0], rel, len) != 0 ||
            size_t(fend[1] - f[1]) != name_len || std::memcmp(f[1], name, name_len) != 0 ||
            !Decimal(f[2], fend[2], &e) || !Decimal(f[3], fend[3], &a) || e > 4095)
            continue;
        if (!found || len > best) {
            found = true;
            best = len;
            *err = int(e);
            *after = a;
        }
    }
    return found;
}

} // namespace sim
