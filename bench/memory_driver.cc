// A driver stand-in that costs what a driver's ioctl costs: it checks the
// descriptor, copies the request in and the record out with the same checked
// copies as simdriver (a kernel's copy_from_user and copy_to_user), and
// answers from records held in memory. Each adapter's records are taken once
// from the sandbox on its first request; nothing is journaled and nothing is
// written back. Preloaded in front of libsimdriver.so, which still leads the
// fixed paths into the sandbox and passes every other ioctl on to libc.
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "adapter_state.h"
#include "emulated_adapter.h"
#include "kdr770.h"
#include "sandbox_files.h"
#include "sandbox_lock.h"

namespace {

std::mutex lock;

// Made on first use and never freed: a request may still come while the
// program's static objects are being destroyed.
std::map<std::string, std::unique_ptr<sim::AdapterState>> &Adapters()
{
    static auto *adapters = new std::map<std::string, std::unique_ptr<sim::AdapterState>>;
    return *adapters;
}

// The adapter's records, read from the sandbox the first time; null when the
// sandbox has no such adapter.
sim::AdapterState *Find(const char *root, const std::string &iface)
{
    auto &adapters = Adapters();
    auto it = adapters.find(iface);
    if (it != adapters.end())
        return it->second.get();
    std::unique_ptr<sim::AdapterState> s(new sim::AdapterState);
    try {
        sim::SandboxLock sandbox(root);
        if (!sim::ValidIfaceName(iface) || !sim::LoadAdapter(sandbox, root, iface, *s) || !s->present)
            s.reset();
    } catch (const std::exception &) {
        s.reset();
    }
    return (adapters[iface] = std::move(s)).get();
}

// Copies between the program's memory and a record of the exact length.
template <class R>
int Read(const R &rec, const DriverRequest &dr)
{
    if (dr.length != sizeof rec)
        return EINVAL;
    return sim::ProgramMemory.write(dr.data, &rec, sizeof rec) ? 0 : EFAULT;
}

template <class R>
int Write(R &rec, const DriverRequest &dr)
{
    if (dr.length != sizeof rec)
        return EINVAL;
    return sim::ProgramMemory.read(dr.data, &rec, sizeof rec) ? 0 : EFAULT;
}

int Answer(sim::AdapterState &s, unsigned long code, const DriverRequest &dr)
{
    if (code == SIOC_KDR770_IDENT) {
        const uint32_t word = s.ident;
        if (!s.ident_none && dr.data && !sim::ProgramMemory.write(dr.data, &word, sizeof word))
            return EFAULT;
        return 0;
    }
    switch (dr.command) {
    case CMD_GET_CAPS: return Read(s.caps, dr);
    case CMD_GET_CONFIG: return Read(s.config, dr);
    case CMD_GET_SSID: return Read(s.ssid, dr);
    case CMD_GET_APLIST: return Read(s.aplist, dr);
    case CMD_GET_STATUS: return Read(s.status, dr);
    case CMD_GET_CSTATS: return Read(s.cstats_base, dr);
    case CMD_GET_STATS: return Read(s.stats_base, dr);
    case CMD_GET_MIC: return Read(s.mic, dr);
    case CMD_GET_MICSTATS: return Read(s.micstats, dr);
    case CMD_SET_CAPS: return Write(s.caps, dr);
    case CMD_SET_CONFIG: return Write(s.config, dr);
    case CMD_SET_SSID: return Write(s.ssid, dr);
    case CMD_SET_APLIST: return Write(s.aplist, dr);
    case CMD_MAC_ON: case CMD_MAC_OFF: case CMD_RESET_STATS:
        return 0;
    default:
        return EOPNOTSUPP;
    }
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);

    const char *root = getenv("SIMDRIVER_ROOT");
    if (root && *root && (request == SIOC_KDR770 || request == SIOC_KDR770_IDENT)) {
        ifreq ifr{};
        DriverRequest dr{};
        int err = ENODEV;
        if (fcntl(fd, F_GETFD) == -1)
            err = EBADF;
        else if (!sim::ProgramMemory.read(arg, &ifr, sizeof ifr) ||
                 !sim::ProgramMemory.read(ifr.ifr_data, &dr, sizeof dr))
            err = EFAULT;
        else {
            std::lock_guard<std::mutex> guard(lock);
            const std::string iface(ifr.ifr_name, strnlen(ifr.ifr_name, IFNAMSIZ - 1));
            if (sim::AdapterState *s = Find(root, iface))
                err = Answer(*s, request, dr);
        }
        if (err) {
            errno = err;
            return -1;
        }
        return 0;
    }
    static auto next = reinterpret_cast<int (*)(int, unsigned long, ...)>(dlsym(RTLD_NEXT, "ioctl"));
    if (!next) {
        errno = ENOSYS;
        return -1;
    }
    return next(fd, request, arg);
}
