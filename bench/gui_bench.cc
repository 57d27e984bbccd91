// oxu against a minimal gtkmm-3 program, side by side on one private X server:
// time until the main window is mapped, resident memory once shown, and the
// CPU time spent per second while only the status line refreshes.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fcntl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "sim_state.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Title(Display *dpy, Window w)
{
    char *name = nullptr;
    std::string t;
    if (XFetchName(dpy, w, &name) && name) {
        t = name;
        XFree(name);
    }
    return t;
}

struct Run {
    double startup = 0;        // seconds until the window was mapped
    long rssKiB = 0;           // resident memory one second later
    double cpuPerSec = 0;      // CPU seconds per second over the idle period
    double requestsPerSec = 0; // driver requests per second over that period
};

// Waits until a window with this title is mapped.
void WaitMapped(Display *dpy, const char *title)
{
    for (;;) {
        XEvent ev;
        XNextEvent(dpy, &ev);
        if (ev.type == MapNotify && Title(dpy, ev.xmap.window) == title)
            return;
    }
}

void Key(const char *title, const char *keys)
{
    std::string cmd = std::string(XDRIVE_PATH) + " key '" + title + "' " + keys;
    if (std::system(cmd.c_str()) != 0)
        std::fprintf(stderr, "xdrive failed: %s\n", cmd.c_str());
}

long Rss(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long value = 0;
    while (in >> key) {
        if (key == "VmRSS:") {
            in >> value;
            return value;
        }
        in.ignore(1 << 16, '\n');
    }
    return 0;
}

// Nanoseconds the process has run on a CPU.
double CpuSeconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/schedstat");
    double ns = 0;
    in >> ns;
    return ns / 1e9;
}

Run Measure(Display *dpy, const std::vector<std::string> &argv, const char *title, double idle,
            const std::string &sandbox, const std::function<void()> &prepare = {})
{
    XSelectInput(dpy, DefaultRootWindow(dpy), SubstructureNotifyMask);
    XSync(dpy, True);
    std::vector<char *> args;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);

    auto start = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        execv(args[0], args.data());
        _exit(127);
    }
    Run r;
    WaitMapped(dpy, title);
    r.startup = std::chrono::duration<double>(Clock::now() - start).count();
    if (prepare)
        prepare();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    r.rssKiB = Rss(pid);
    sim::ClearJournal(sandbox);
    double c0 = CpuSeconds(pid);
    auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(idle));
    double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
    r.cpuPerSec = (CpuSeconds(pid) - c0) / elapsed;
    r.requestsPerSec = double(sim::ReadJournal(sandbox).size()) / elapsed;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    XSelectInput(dpy, DefaultRootWindow(dpy), NoEventMask);
    return r;
}

} // namespace

int main()
{
    char tmpl[] = "/tmp/guibench.XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const std::string dir = tmpl;
    const std::string sandbox = dir + "/sb";
    sim::InitSandbox(sandbox, "vindral", {"eth0"});
    sim::Set(sandbox, "eth0", {"stats_rate=0"});

    std::string displayFile = dir + "/display";
    pid_t xvfb = fork();
    if (xvfb == 0) {
        int fd = open(displayFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 3);
        freopen("/dev/null", "w", stderr);
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               static_cast<char *>(nullptr));
        _exit(127);
    }
    std::string number;
    for (int i = 0; i < 100 && number.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::ifstream in(displayFile);
        std::getline(in, number);
    }
    const std::string display = ":" + number;
    setenv("DISPLAY", display.c_str(), 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    Display *dpy = XOpenDisplay(display.c_str());
    if (!dpy) {
        std::fprintf(stderr, "cannot open the display\n");
        return 1;
    }

    const int rounds = 5;
    const double idle = 5.0;
    Run best[2];
    const char *titles[2] = {"Minimal window", "Vindral Client Utility"};
    std::vector<std::string> programs[2] = {
        {SIMCTL_PATH, "run", sandbox, "--", MINIMAL_PATH},
        {SIMCTL_PATH, "run", sandbox, "--", OXU_PATH},
    };
    for (int round = 0; round < rounds; ++round)
        for (int p = 0; p < 2; ++p) {
            Run r = Measure(dpy, programs[p], titles[p], round == 0 ? idle : 0.2, sandbox);
            if (round == 0 || r.startup < best[p].startup)
                best[p].startup = r.startup;
            if (round == 0 || r.rssKiB < best[p].rssKiB)
                best[p].rssKiB = r.rssKiB;
            if (round == 0) {
                best[p].cpuPerSec = r.cpuPerSec;
                best[p].requestsPerSec = r.requestsPerSec;
            }
        }

    std::printf("start-up to the main window shown (best of %d): oxu %.0f ms, minimal gtkmm window %.0f ms; ratio %.2f\n",
                rounds, best[1].startup * 1e3, best[0].startup * 1e3, best[1].startup / best[0].startup);
    std::printf("resident memory once shown (least of %d): oxu %ld KiB, minimal gtkmm window %ld KiB; ratio %.2f\n",
                rounds, best[1].rssKiB, best[0].rssKiB, double(best[1].rssKiB) / double(best[0].rssKiB));
    std::printf("CPU time per second with only the status line refreshing: oxu %.3f ms/s, minimal window %.3f ms/s\n",
                best[1].cpuPerSec * 1e3, best[0].cpuPerSec * 1e3);

    // The two report windows open beside the status line. From the end of
    // "Commands": Exit, Select help browser, Toggle radio, Status, Statistics.
    Run reports = Measure(dpy, programs[1], titles[1], idle, sandbox, [dpy] {
        Key("Vindral Client Utility", "F10 Up Up Up Up Return");
        WaitMapped(dpy, "Tavlo PC4800 Status");
        Key("Vindral Client Utility", "F10 Up Up Up Up Up Return");
        WaitMapped(dpy, "TAVLO PC4800 Statistics");
    });
    std::printf("CPU time per second with a status and a statistics window open: %.3f ms/s; ratio to the status line alone %.2f\n",
                reports.cpuPerSec * 1e3, reports.cpuPerSec / best[1].cpuPerSec);
    // Reads per tick: status line 5 (configuration 3, capabilities, status),
    // status window 7 (MIC statistics, status, configuration 3, capabilities,
    // statistics), statistics window 4 (MIC statistics, statistics twice, status).
    std::printf("driver requests per second: status line alone %.1f against 5 reads per tick (ratio %.2f); "
                "with both windows %.1f against 16 (ratio %.2f)\n",
                best[1].requestsPerSec, best[1].requestsPerSec / 5, reports.requestsPerSec,
                reports.requestsPerSec / 16);

    XCloseDisplay(dpy);
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
    std::filesystem::remove_all(dir);
    return 0;
}
