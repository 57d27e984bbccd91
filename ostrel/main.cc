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
    for (int i = 0; i < Radios.Count(); ++i) {
        kdR770 &radio = *Radios[i];
        char ifname[6] = {};
        radio.GetIfName(ifname);
        char filename[16];
        std::snprintf(filename, sizeof filename, "%s.cfg", ifname);
        Cfgio cfg(filename);
        if (!cfg.valid)
            cfg.mkcfg(radio);
        cfg.ldcfg(radio, EnterpriseProfile, HomeProfile);
    }
    return 0;
}
