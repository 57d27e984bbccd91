// ostrel: writes the stored profile of every adapter, or of the one adapter
// that OSTREL_INTERFACE names, into it, creating a missing or damaged profile
// file from the adapter's present configuration first.
#include <fcntl.h>
#include <net/if.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "profile_file.h"
#include "radio_list.h"

// Reused for each adapter in turn.
ProfileRecord EnterpriseProfile;
ProfileRecord HomeProfile;

namespace {

// Runs take turns on this lock, the units' and those by hand alike: two runs
// loading one adapter would interleave their writes and their creation of its
// profile file.
const char LockPath[] = "/run/ostrel.lock";

// A run that hangs in the driver must not hold up every later load: a run
// waits this long for its turn, then gives up.
constexpr unsigned kTurnWait = 60;

volatile sig_atomic_t turnWaitOver = 0;

void OnTurnWaitOver(int) { turnWaitOver = 1; }

// Returns once this run holds the lock, which it keeps until it ends; false
// when its turn did not come within kTurnWait seconds. Where the lock cannot
// be had (not root, no /run) the run loads without waiting rather than not
// at all.
bool WaitForTurn()
{
    // For root alone, also when someone else made the file: whoever can open
    // it can hold the lock and so stop every load.
    const int fd = open(LockPath, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return true;
    fchmod(fd, 0600);
    if (flock(fd, LOCK_EX | LOCK_NB) == 0)
        return true;
    struct sigaction wake {}, before {};
    wake.sa_handler = OnTurnWaitOver;  // without SA_RESTART: the wait ends
    sigemptyset(&wake.sa_mask);
    sigaction(SIGALRM, &wake, &before);
    alarm(kTurnWait);
    int locked = -1;
    while (!turnWaitOver && (locked = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    alarm(0);
    sigaction(SIGALRM, &before, nullptr);
    return locked == 0 || !turnWaitOver;
}

// Whether this run loads the adapter on interface ifname: every adapter, or
// the one that OSTREL_INTERFACE names. The value comes from outside; one too
// long for an interface name names none.
bool Wanted(const char *ifname)
{
    const char *only = std::getenv("OSTREL_INTERFACE");
    if (!only)
        return true;
    return strnlen(only, IFNAMSIZ) < IFNAMSIZ && std::strcmp(ifname, only) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "-v") == 0) {
        std::printf("ostrel 1.5.1\n");
        return 0;
    }
    if (!WaitForTurn()) {
        std::fprintf(stderr, "ostrel: another run of ostrel has held %s for %u seconds: nothing loaded\n",
                     LockPath, kTurnWait);
        return 3;
    }
    // Looked for only once the lock is held, so that a run that waited finds
    // the adapters as they are now: an interface that went away while it
    // waited, or came back as another kind of device, is not written to.
    static RadioList Radios;

    std::vector<kdR770 *> radios;
    for (int i = 0; i < Radios.Count(); ++i)
        if (Wanted(Radios[i]->ifr.ifr_name))
            radios.push_back(Radios[i]);
    // For the unit of an interface that appeared, one of another kind (or gone
    // again) is no failure: there was nothing to load.
    if (radios.empty())
        return std::getenv("OSTREL_INTERFACE") ? 0 : 1;

    int notLoaded = 0;
    for (kdR770 *entry : radios) {
        kdR770 &radio = *entry;
        char ifname[6] = {};
        radio.GetIfName(ifname);
        char filename[16];
        std::snprintf(filename, sizeof filename, "%s.cfg", ifname);
        Cfgio cfg(filename);
        if (!cfg.valid)
            cfg.mkcfg(radio);
        // Only a failure of this load may speak below.
        radio.lasterr = 0;
        radio.errmsg[0] = '\0';
        const int loaded = cfg.ldcfg(radio, EnterpriseProfile, HomeProfile);
        if (loaded >= 0)
            continue;
        // A boot script must learn that an adapter kept other settings than
        // its profile; the next adapters are still loaded.
        ++notLoaded;
        char why[96];
        if (radio.lasterr != 0)
            std::snprintf(why, sizeof why, "%s", radio.errmsg);
        else if (loaded == -2)
            std::snprintf(why, sizeof why, "request %d failed", int(radio.req.command));
        else
            std::snprintf(why, sizeof why, "configuration not read");
        std::fprintf(stderr, "ostrel: %.5s: profile not loaded: %s\n", ifname, why);
    }
    return notLoaded ? 2 : 0;
}
