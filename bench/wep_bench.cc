// The driver requests of the WEP key window, counted from the stand-in's
// journal: opening it, and applying one changed key. Runs in-process under
// tests/run-gui (a private X display and an empty sandbox), see bench/run.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <glibmm/main.h>
#include <gtkmm/main.h>

#include "kdr770.h"
#include "sim_state.h"
#include "styles.h"
#include "wep_key_window.h"

namespace {

struct Counts {
    int open = 0;   // every request while the window was built
    int keys = 0;   // of them, key reads (commands 6 and 7)
    int apply = 0;  // every request of one Apply with one changed key
};

Counts Measure(const std::string &root, kdR770 &radio)
{
    Counts c;
    Glib::signal_idle().connect_once([&] {
        sim::ClearJournal(root);
        auto *window = new WepKeyEntry(&radio);
        for (const auto &e : sim::ReadJournal(root)) {
            ++c.open;
            c.keys += e.command == CMD_GET_FIRST_WEP || e.command == CMD_GET_NEXT_WEP;
        }
        sim::ClearJournal(root);
        window->entries[0]->set_text("0102030405");
        window->size40[0]->set_active(true);
        window->okbutton->clicked();  // the window goes, and the loop with it
        c.apply = int(sim::ReadJournal(root).size());
    });
    Gtk::Main::run();
    return c;
}

// Key reads of a readout that reads one more record after a selector that
// ended fewer than five keys.
int ReadsPastSelector(int keys)
{
    return keys == 0 ? 1 : keys < 5 ? keys + 2 : 6;
}

} // namespace

int main(int argc, char **argv)
{
    const char *root = std::getenv("SIMDRIVER_ROOT");
    if (!root) {
        std::fprintf(stderr, "wep_bench: run it under tests/run-gui\n");
        return 2;
    }
    Gtk::Main kit(argc, argv);
    InstallStyles();
    sim::AddAdapter(root, "eth0");
    kdR770 radio("eth0");
    if (radio.InitCard() != 0) {
        std::fprintf(stderr, "wep_bench: no adapter\n");
        return 1;
    }
    const std::vector<std::vector<std::string>> stores = {
        {"wep.0=none", "wep.1=none"},
        {},
        {"wep.2=0102030405", "wep.3=0102030405"},
        {"wep.2=0102030405", "wep.3=0102030405", "wep.4=0102030405"},
    };
    const int stored[] = {0, 2, 4, 5};
    for (size_t i = 0; i < stores.size(); ++i) {
        sim::AddAdapter(root, "eth0");  // the default store: keys 0 and 1
        if (!stores[i].empty())
            sim::Set(root, "eth0", stores[i]);
        const Counts c = Measure(root, radio);
        // Configuration (3 requests) and capabilities come before the keys.
        const int before = 4 + ReadsPastSelector(stored[i]);
        std::printf("WEP key window with %d stored keys: opening it %d requests (%d key reads) "
                    "against %d when one more record is read after the selector, ratio %.2f; "
                    "applying one changed key %d requests against 2 writes (key, selector), "
                    "ratio %.2f\n",
                    stored[i], c.open, c.keys, before, double(c.open) / before, c.apply,
                    c.apply / 2.0);
    }
    return 0;
}
