// How an emulated adapter answers each driver request: under the sandbox's
// lock, from its state file, with one journal line per request.
#include "emulated_adapter.h"

#include <net/if.h>
#include <pthread.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "adapter_state.h"
#include "journal.h"
#include "kdr770.h"
#include "sandbox_files.h"
#include "sandbox_lock.h"

namespace sim {

namespace {

// ---- the resident monitor's flash dialogue ----

enum class Ev { Get, Put, Block };
struct Step {
    Ev ev;
    uint8_t ch;  // character, or block number
    int prompt;  // prompt number for monitor_drop, -1 for the program's own steps
};
const Step kDialogue[] = {
    {Ev::Get, '*', 0},  {Ev::Put, 'L', -1},  {Ev::Put, '\r', -1}, {Ev::Get, 0x1b, 1},
    {Ev::Block, 0, -1}, {Ev::Get, 0x1b, 2},  {Ev::Block, 1, -1},  {Ev::Get, 0x1b, 3},
    {Ev::Block, 2, -1}, {Ev::Get, 0x1b, 4},  {Ev::Block, 3, -1},  {Ev::Get, 0x80, 5},
    {Ev::Get, '*', 6},  {Ev::Put, 'g', -1},  {Ev::Put, '\r', -1},
};
constexpr int kDialogueDone = int(sizeof kDialogue / sizeof kDialogue[0]);

const Step *NextStep(const AdapterState &s)
{
    if (s.mon_stage < 0 || s.mon_stage >= kDialogueDone)
        return nullptr;
    return &kDialogue[s.mon_stage];
}

int RecordSize(int command)
{
    switch (command) {
    case CMD_GET_CAPS: case CMD_SET_CAPS: return sizeof(_STCAPS);
    case CMD_GET_CONFIG: case CMD_SET_CONFIG: return sizeof(CFG_R770);
    case CMD_GET_SSID: case CMD_SET_SSID: return sizeof(_STSSID);
    case CMD_GET_APLIST: case CMD_SET_APLIST: return sizeof(_STAPLIST);
    case CMD_GET_FIRST_WEP: case CMD_GET_NEXT_WEP:
    case CMD_WEP_TEMP: case CMD_WEP_PERSIST: return sizeof(_RID_wep_key);
    case CMD_GET_STATUS: return sizeof(_STSTATUS);
    case CMD_GET_CSTATS: case CMD_GET_STATS: case CMD_RESET_STATS: return sizeof(_STSTATISTICS32);
    case CMD_GET_MIC: return sizeof(_STMIC);
    case CMD_GET_MICSTATS: return sizeof(_STMICSTATISTICS);
    case CMD_ZUNA_PASSWORD: return sizeof(tdsRidZunaPassword);
    case CMD_ZUNA_USER: return sizeof(tdsRidZunaUsername);
    case CMD_FLASH_RESET: case CMD_FLASH_MONITOR: case CMD_FLASH_RESTART: return 0;
    case CMD_FLASH_GETCHAR: case CMD_FLASH_PUTCHAR: return 4;
    case CMD_FLASH_BLOCK: return int(kFlashBlockSize);
    default: return -1;
    }
}

bool IsRead(int command)
{
    return (command >= CMD_GET_CAPS && command <= CMD_GET_APLIST) ||
           (command >= CMD_GET_FIRST_WEP && command <= CMD_GET_MICSTATS);
}

template <class R>
std::vector<uint8_t> Bytes(const R &rec)
{
    const auto *p = reinterpret_cast<const uint8_t *>(&rec);
    return std::vector<uint8_t>(p, p + sizeof(R));
}

template <class R>
void Store(R &rec, const std::vector<uint8_t> &sent)
{
    std::memcpy(&rec, sent.data(), sizeof(R));
}

// The records that commands 6 and 7 hand out, in order: a set readout, or
// the stored keys by index and then the selector.
std::vector<_RID_wep_key> WepReadout(const AdapterState &s)
{
    if (!s.wep_readout.empty())
        return s.wep_readout;
    std::vector<_RID_wep_key> out;
    for (int i = 0; i < 5; ++i)
        if (s.wep_stored[i])
            out.push_back(s.wep[i]);
    out.push_back(s.selector);
    return out;
}

// The status as the configuration makes a real adapter report it.
void StatusFromConfig(AdapterState &s)
{
    s.status.cur_channel = uint16_t(s.config.channel);
    std::memset(s.status.ssid, 0, sizeof s.status.ssid);
    s.status.ssid_len = 0;
    for (const SsidEntry &e : s.ssid.entry) {
        size_t n = std::min<size_t>(e.len, sizeof e.text);
        if (n) {
            std::memcpy(s.status.ssid, e.text, n);
            s.status.ssid_len = uint16_t(n);
            break;
        }
    }
    s.status.short_headers = (s.config.radio_flags & RADIO_SHORT_HEADERS) ? 1 : 0;
    UpdateLink(s, false);
}

void CredentialsWritten(AdapterState &s)
{
    s.status.status_word &= uint16_t(~STATUS_AUTHENTICATED);
    s.zuna_armed = false;
    if ((s.status.status_word & STATUS_RADIO_ENABLED) && s.user_set && s.password_set)
        UpdateLink(s, true);
}

// One record request of code 0x89F0. Returns the error number (0 = success).
int Execute(AdapterState &s, const std::string &dir, const DriverRequest &dr, bool sent_ok,
            const std::vector<uint8_t> &sent, const UserMemory &mem, bool &changed)
{
    const int cmd = dr.command;
    if (cmd == CMD_MAC_ON || cmd == CMD_MAC_OFF) {
        // Any length: the request carries whatever the previous one left.
        if (cmd == CMD_MAC_ON) {
            s.status.status_word |= STATUS_RADIO_ENABLED;
            UpdateLink(s, true);
        } else {
            s.status.status_word &=
                uint16_t(~(STATUS_RADIO_ENABLED | STATUS_ASSOCIATED | STATUS_AUTHENTICATED));
            s.zuna_armed = false;
        }
        changed = true;
        return 0;
    }
    int size = RecordSize(cmd);
    if (size < 0)
        return EOPNOTSUPP;
    if (dr.length != size)
        return EINVAL;

    if (IsRead(cmd)) {
        if (!dr.data)
            return EFAULT;
        std::vector<uint8_t> out;
        switch (cmd) {
        case CMD_GET_CAPS: out = Bytes(s.caps); break;
        case CMD_GET_CONFIG: out = Bytes(s.config); break;
        case CMD_GET_SSID: out = Bytes(s.ssid); break;
        case CMD_GET_APLIST: out = Bytes(s.aplist); break;
        case CMD_GET_FIRST_WEP:
        case CMD_GET_NEXT_WEP: {
            const std::vector<_RID_wep_key> readout = WepReadout(s);
            const int n = int(readout.size());
            int pos = cmd == CMD_GET_FIRST_WEP ? 0 : std::max(s.wep_cursor, 0);
            if (pos >= n) {
                if (s.wep_end == WepEnd::Fail)
                    return ENODATA;
                pos = s.wep_end == WepEnd::Wrap ? pos % n : n - 1;
            }
            out = Bytes(readout[size_t(pos)]);
            s.wep_cursor = pos + 1;  // at most the readout's length
            changed = true;
            break;
        }
        case CMD_GET_STATUS:
            if (s.zuna_armed) {
                if (s.auth_after >= 0 && s.zuna_reads >= s.auth_after &&
                    (s.status.status_word & STATUS_ASSOCIATED) &&
                    (s.config.auth_mode & AUTH_ZUNA)) {
                    s.status.status_word |= STATUS_AUTHENTICATED;
                    s.zuna_armed = false;
                } else if (s.zuna_reads < 1000000) {
                    ++s.zuna_reads;
                }
                changed = true;
            }
            out = Bytes(s.status);
            break;
        case CMD_GET_CSTATS: out = Bytes(CurrentStats(s, true, Now())); break;
        case CMD_GET_STATS: out = Bytes(CurrentStats(s, false, Now())); break;
        case CMD_GET_MIC: out = Bytes(s.mic); break;
        case CMD_GET_MICSTATS: out = Bytes(s.micstats); break;
        }
        size_t n = out.size();
        auto sh = s.short_reads.find(cmd);
        if (sh != s.short_reads.end() && sh->second >= 0 && size_t(sh->second) < n)
            n = size_t(sh->second);
        if (n && !mem.write(dr.data, out.data(), n))
            return EFAULT;
        return 0;
    }

    if (size > 0 && !sent_ok)
        return EFAULT;
    switch (cmd) {
    case CMD_SET_CAPS: Store(s.caps, sent); break;
    case CMD_SET_CONFIG:
        Store(s.config, sent);
        StatusFromConfig(s);
        break;
    case CMD_SET_SSID: Store(s.ssid, sent); break;
    case CMD_SET_APLIST: Store(s.aplist, sent); break;
    case CMD_RESET_STATS:
        FoldStats(s, Now());
        s.stats_base = _STSTATISTICS32{};
        break;
    case CMD_WEP_TEMP:
    case CMD_WEP_PERSIST: {
        _RID_wep_key k;
        Store(k, sent);
        bool persistent = cmd == CMD_WEP_PERSIST;
        if (k.key_index == WEP_SELECTOR_INDEX) {
            s.selector = k;
            s.selector_persistent = persistent;
        } else if (k.key_index <= 4) {
            s.wep[k.key_index] = k;
            s.wep_stored[k.key_index] = true;
            s.wep_persistent[k.key_index] = persistent;
        } else {
            return EINVAL;
        }
        break;
    }
    case CMD_ZUNA_PASSWORD:
        Store(s.password, sent);
        s.password_set = true;
        CredentialsWritten(s);
        break;
    case CMD_ZUNA_USER:
        Store(s.user, sent);
        s.user_set = true;
        CredentialsWritten(s);
        break;
    case CMD_FLASH_RESET:
        s.mon_active = false;
        s.mon_stage = 0;
        ClearFlash(dir, s.iface);
        break;
    case CMD_FLASH_MONITOR:
        if (s.monitor_refuse)
            return EIO;
        s.mon_active = true;
        s.mon_stage = 0;
        break;
    case CMD_FLASH_GETCHAR: {
        int32_t c;
        std::memcpy(&c, sent.data(), 4);
        const Step *st = NextStep(s);
        if (!s.mon_active || !st || st->ev != Ev::Get)
            return EIO;
        if (st->prompt == s.monitor_drop)
            return ETIMEDOUT;
        if (c != st->ch)
            return EIO;
        ++s.mon_stage;
        break;
    }
    case CMD_FLASH_PUTCHAR: {
        if (!s.mon_active)
            return EIO;
        // The monitor takes any character; only the expected one moves the
        // dialogue on.
        const Step *st = NextStep(s);
        if (st && st->ev == Ev::Put && sent[0] == st->ch)
            ++s.mon_stage;
        break;
    }
    case CMD_FLASH_BLOCK: {
        const Step *st = NextStep(s);
        if (!s.mon_active || !st || st->ev != Ev::Block || st->ch == s.monitor_fail_block)
            return EIO;
        AppendFlashBlock(dir, s.iface, sent.data());
        ++s.mon_stage;
        break;
    }
    case CMD_FLASH_RESTART:
        // Outside the monitor this is a plain card restart; inside it only
        // a completed dialogue (ending in "g", CR) may restart the card.
        if (s.mon_active && s.mon_stage != kDialogueDone)
            return EIO;
        s.mon_active = false;
        s.mon_stage = 0;
        break;
    }
    changed = true;
    return 0;
}

// Everything of one request but the lock and the journal line.
int Serve(SandboxLock &lock, const std::string &dir, bool fd_valid, unsigned long code, const void *ifr,
          const UserMemory &mem, JournalEntry &e, bool &hang)
{
    ifreq req{};
    bool ifr_ok = ifr && mem.read(ifr, &req, sizeof req);
    if (ifr_ok) {
        char name[IFNAMSIZ];
        std::memcpy(name, req.ifr_name, IFNAMSIZ);
        name[IFNAMSIZ - 1] = '\0';
        e.iface.assign(name, strnlen(name, IFNAMSIZ));
    }
    if (!fd_valid) {
        e.err = EBADF;
        return -1;
    }
    DriverRequest dr{};
    if (!ifr_ok || !req.ifr_data || !mem.read(req.ifr_data, &dr, sizeof dr)) {
        e.err = EFAULT;
        return -1;
    }
    e.command = dr.command;
    e.length = dr.length;

    std::vector<uint8_t> sent;
    bool sent_ok = true;
    if (CommandSends(code, dr.command) && dr.length > 0) {
        sent.resize(dr.length);
        if (!dr.data || !mem.read(dr.data, sent.data(), sent.size())) {
            sent_ok = false;
            sent.clear();
        }
    }
    e.sent = sent;

    AdapterState s;
    try {
        if (!ValidIfaceName(e.iface) || !LoadAdapter(lock, dir, e.iface, s) || !s.present) {
            e.err = ENODEV;
            return -1;
        }
    } catch (const std::exception &) {
        e.err = EIO;  // unreadable state: a broken adapter
        return -1;
    }

    bool changed = false;
    int key = code == SIOC_KDR770_IDENT ? kIdentCommand : dr.command;
    int err = 0;
    bool faulted = false;
    auto f = s.faults.find(key);
    if (f != s.faults.end()) {
        faulted = true;
        err = f->second.err;
        if (f->second.count > 0) {
            if (--f->second.count == 0)
                s.faults.erase(f);
            changed = true;
        }
    } else if (s.hangs.count(key)) {
        // Nothing is done: the request never comes back.
        hang = true;
        faulted = true;
        err = EINPROGRESS;
    } else if (code == SIOC_KDR770_IDENT) {
        // Any length; the answer word goes where data points.
        if (!s.ident_none && dr.data) {
            uint32_t word = s.ident;
            if (!mem.write(dr.data, &word, sizeof word))
                err = EFAULT;
        }
    } else {
        err = Execute(s, dir, dr, sent_ok, sent, mem, changed);
    }
    if (changed)
        SaveAdapter(lock, dir, s);
    e.err = err;
    return (faulted || err) ? -1 : 0;
}

} // namespace

namespace {

// getpid is a system call, and a request needs the process id for each copy
// and for its journal line: kept, and taken afresh in a forked child.
pid_t ProcessId()
{
    static std::atomic<pid_t> pid{0};
    static pthread_once_t once = PTHREAD_ONCE_INIT;
    pthread_once(&once, [] { pthread_atfork(nullptr, nullptr, [] { pid.store(0); }); });
    pid_t p = pid.load(std::memory_order_relaxed);
    if (p == 0) {
        p = getpid();
        pid.store(p, std::memory_order_relaxed);
    }
    return p;
}

bool CopyIn(const void *src, void *dst, size_t n)
{
    if (!n)
        return true;
    if (!src)
        return false;
    iovec local{dst, n}, remote{const_cast<void *>(src), n};
    ssize_t r = process_vm_readv(ProcessId(), &local, 1, &remote, 1, 0);
    if (r == ssize_t(n))
        return true;
    if (r < 0 && (errno == ENOSYS || errno == EPERM)) {  // not allowed here: trust the pointer
        std::memcpy(dst, src, n);
        return true;
    }
    return false;
}

bool CopyOut(void *dst, const void *src, size_t n)
{
    if (!n)
        return true;
    if (!dst)
        return false;
    iovec local{const_cast<void *>(src), n}, remote{dst, n};
    ssize_t r = process_vm_writev(ProcessId(), &local, 1, &remote, 1, 0);
    if (r == ssize_t(n))
        return true;
    if (r < 0 && (errno == ENOSYS || errno == EPERM)) {
        std::memcpy(dst, src, n);
        return true;
    }
    return false;
}

} // namespace

const UserMemory ProgramMemory = {CopyIn, CopyOut};

bool CommandSends(unsigned long code, int command)
{
    if (code != SIOC_KDR770)
        return false;
    switch (command) {
    case CMD_SET_CAPS: case CMD_SET_CONFIG: case CMD_SET_SSID: case CMD_SET_APLIST:
    case CMD_RESET_STATS: case CMD_WEP_TEMP: case CMD_WEP_PERSIST:
    case CMD_ZUNA_PASSWORD: case CMD_ZUNA_USER:
    case CMD_FLASH_GETCHAR: case CMD_FLASH_PUTCHAR: case CMD_FLASH_BLOCK:
        return true;
    default:
        return false;
    }
}

int ServeRequest(const char *root, bool fd_valid, unsigned long code, const void *ifr,
                 const UserMemory &mem, int *err, bool *hang)
{
    std::string dir = root;
    SandboxLock lock(dir);
    if (!lock.ok()) {  // not a sandbox: no adapter anywhere
        *err = ENODEV;
        return -1;
    }
    JournalEntry e;
    e.time = Now();
    e.pid = int(ProcessId());
    e.code = code;
    int rc;
    bool hangs = false;
    try {
        rc = Serve(lock, dir, fd_valid, code, ifr, mem, e, hangs);
    } catch (const std::exception &) {
        e.err = EIO;
        rc = -1;
    }
    e.result = rc;
    try {
        AppendJournal(dir, e);
    } catch (const std::exception &) {
    }
    *err = e.err;
    if (hang)
        *hang = hangs;
    return rc;
}

} // namespace sim
