// The properties window in-process, on a private X display under the driver
// stand-in (run it through tests/run-gui, as bench/run does): the driver
// requests made to open it with its six pages and to apply it with the
// enterprise profile and with the home profile, against what the pages' own
// reads and writes come to, and the time from the menu row to the window
// mapped, against the status and statistics windows.
#include <glib-object.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <glibmm/main.h>
#include <gtkmm/main.h>
#include <gtkmm/window.h>

#include "command_menus.h"
#include "globals.h"
#include "home_page.h"
#include "main_window.h"
#include "properties_window.h"
#include "sim_state.h"
#include "styles.h"
#include "system_page.h"
#include "updater.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the next mapped window with this title sets off.
struct Probe {
    std::string title;
    Clock::time_point mapped;
    std::function<void(Gtk::Window &)> then;
} TheProbe;

gboolean OnMapEvent(GSignalInvocationHint *, guint, const GValue *params, gpointer)
{
    GObject *object = static_cast<GObject *>(g_value_get_object(&params[0]));
    if (!GTK_IS_WINDOW(object) || !TheProbe.then)
        return TRUE;
    const char *title = gtk_window_get_title(GTK_WINDOW(object));
    if (!title || TheProbe.title != title)
        return TRUE;
    TheProbe.mapped = Clock::now();
    auto then = std::move(TheProbe.then);
    TheProbe.then = nullptr;
    Gtk::Window *window = Glib::wrap(GTK_WINDOW(object));
    // Acted on once the map event has been handled.
    Glib::signal_idle().connect_once([then, window] { then(*window); });
    return TRUE;
}

// Chooses a "Commands" row from the main loop, as the menu does, and returns
// once its nested loop has ended; then gives the window that was mapped.
void RunRow(int row, const std::string &title, std::function<void(Gtk::Window &)> then)
{
    TheProbe.title = title;
    TheProbe.then = std::move(then);
    Glib::signal_idle().connect_once([row] {
        OnCommandsMenu(row);
        Gtk::Main::quit();
    });
    Gtk::Main::run();
}

double MapMillis(int row, const std::string &title, const std::function<void(Gtk::Window &)> &close)
{
    Clock::time_point start;
    Glib::signal_idle().connect_once([&] { start = Clock::now(); }, Glib::PRIORITY_HIGH);
    RunRow(row, title, close);
    return std::chrono::duration<double, std::milli>(TheProbe.mapped - start).count();
}

std::string Breakdown(const std::vector<sim::JournalEntry> &journal)
{
    std::map<int, int> counts;
    for (const auto &e : journal)
        ++counts[e.command];
    std::string out;
    for (const auto &[command, n] : counts)
        out += (out.empty() ? "" : ", ") + std::to_string(n) + " x " + std::to_string(command);
    return out;
}

void PressButton(Gtk::Window &window, int which)
{
    if (auto *props = dynamic_cast<PropWindow *>(&window))
        props->buttons[which]->clicked();
}

} // namespace

int main(int argc, char **argv)
{
    Gtk::Main kit(argc, argv);
    const char *root = std::getenv("SIMDRIVER_ROOT");
    if (!root) {
        std::fprintf(stderr, "run it through tests/run-gui: no driver sandbox\n");
        return 1;
    }
    InstallStyles();
    sim::AddAdapter(root, "eth0");
    sim::Set(root, "eth0", {"stats_rate=0"});
    Radios.Scan();
    BuildMainWindow();
    ChooseAdapter();
    while (Gtk::Main::events_pending())
        Gtk::Main::iteration(false);
    g_signal_add_emission_hook(g_signal_lookup("map-event", GTK_TYPE_WIDGET), 0, OnMapEvent,
                               nullptr, nullptr);
    const std::string props = "VX1100 Properties";

    // Requests: the refresher stops while the window is open and its next
    // tick comes a second after the window has gone.
    TheUpdater->Stop();
    sim::ClearJournal(root);
    std::vector<sim::JournalEntry> opened, applied, appliedHome;
    RunRow(ROW_PROPERTIES, props, [&](Gtk::Window &window) {
        opened = sim::ReadJournal(root);
        sim::ClearJournal(root);
        PressButton(window, PropWindow::OK);
    });
    applied = sim::ReadJournal(root);
    TheUpdater->Stop();
    sim::ClearJournal(root);
    RunRow(ROW_PROPERTIES, props, [&](Gtk::Window &window) {
        auto &w = dynamic_cast<PropWindow &>(window);
        w.system_page->groups[SystemParams::CURRENT_PROFILE]->GetButton(1)->clicked();
        w.home_page->key_entry->set_text("abcde");
        sim::ClearJournal(root);
        PressButton(window, PropWindow::OK);
    });
    appliedHome = sim::ReadJournal(root);
    TheUpdater->Stop();
    // For the default adapter (keys 0 and 1, then the transmit-key selector):
    // opening reads the capabilities three times (title, System Parameters,
    // Home Networking), the status twice (System Parameters, Home Networking)
    // and the WEP key records four times for Network Security, 3 records
    // each, and once for the home key, up to five records: the selector
    // repeats, so 5 by the page's rule, here 3 since the selector ends the
    // keys; the RF and advanced pages
    // read only the System Parameters page's records. Applying with the
    // enterprise profile reads the status and sends the SSID list, the access
    // point list and the configuration (System Parameters) and reads the
    // capabilities (Home Networking); with the home profile the home page
    // writes the home key and its selector and sends the home profile in
    // place of the enterprise one. The other pages only fill the working
    // profile.
    const int partOpen = 3 + 2 + 4 * 3 + 5, partApply = 1 + 3 + 1, partApplyHome = 1 + 1 + 2 + 3;
    const double span = opened.empty() ? 0 : (opened.back().time - opened.front().time) * 1e3;
    std::printf("driver requests to open the properties window: %zu (%s) against %d from the pages' "
                "reads; ratio %.2f; %.1f ms from the first to the last\n",
                opened.size(), Breakdown(opened).c_str(), partOpen, double(opened.size()) / partOpen,
                span);
    std::printf("driver requests to apply it with the enterprise profile: %zu (%s) against %d; ratio "
                "%.2f (the configuration read, 3 requests, fetches the adapter's own MAC address)\n",
                applied.size(), Breakdown(applied).c_str(), partApply,
                double(applied.size()) / partApply);
    std::printf("driver requests to apply it with the home profile and a home key: %zu (%s) against "
                "%d; ratio %.2f (the same 3 for the MAC address)\n",
                appliedHome.size(), Breakdown(appliedHome).c_str(), partApplyHome,
                double(appliedHome.size()) / partApplyHome);

    const int rounds = 15;
    struct Row {
        const char *name;
        int row;
        std::string title;
        std::function<void(Gtk::Window &)> close;
        std::vector<double> ms;
    } rows[] = {
        {"properties", ROW_PROPERTIES, props,
         [](Gtk::Window &w) { PressButton(w, PropWindow::CANCEL); }, {}},
        {"status", ROW_STATUS, "Tavlo VX1100 Status", [](Gtk::Window &w) { w.close(); }, {}},
        {"statistics", ROW_STATISTICS, "TAVLO VX1100 Statistics", [](Gtk::Window &w) { w.close(); },
         {}},
    };
    for (int round = 0; round < rounds; ++round)
        for (auto &r : rows) {
            r.ms.push_back(MapMillis(r.row, r.title, r.close));
            TheUpdater->Stop();
        }
    double median[3];
    for (int i = 0; i < 3; ++i) {
        std::sort(rows[i].ms.begin(), rows[i].ms.end());
        median[i] = rows[i].ms[rounds / 2];
    }
    std::printf("menu row to window mapped (median of %d): properties %.1f ms, status %.1f ms, "
                "statistics %.1f ms; ratio to status %.2f, to statistics %.2f\n",
                rounds, median[0], median[1], median[2], median[0] / median[1], median[0] / median[2]);
    return 0;
}
