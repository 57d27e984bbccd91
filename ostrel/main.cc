// ostrel: writes every adapter's stored profile into it, creating a missing or
// damaged profile file from the adapter's present configuration first.
#include <cstdio>
#include <cstring>

#include "profile_file.h"
#include "radio_list.h"

// Built, and so scanned, before main runs.
RadioList Radios;
// Reused for each adapter in turn.
ProfileRecord EnterpriseProfile;
ProfileRecord HomeProfile;

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "-v") == 0) {
        std::printf("ostrel 1.5.1\n");
        return 0;
    }
    if (Radios.Count() == 0)
        return 1;
    int notLoaded = 0;
    for (int i = 0; i < Radios.Count(); ++i) {
        kdR770 &radio = *Radios[i];
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
