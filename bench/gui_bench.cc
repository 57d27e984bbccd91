// oxu against minimal gtkmm-3 programs, side by side on one private X server:
// time until the main window is mapped, resident memory once shown, and the
// CPU time spent per second while only the status line refreshes and while a
// status and a statistics window refresh beside it. The idle figures are
// taken twice: under the driver stand-in (simdriver) and under a minimal
// stand-in that answers from memory as a real driver does, so that oxu's own
// share shows apart from the stand-in's.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
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

#include "kdr770.h"
#include "sim_state.h"

namespace {

using Clock = std::chrono::steady_clock;

// The preload libraries that answer the driver requests.
enum Driver { SIMDRIVER, MEMORY };
const char *const DriverNames[2] = {"simdriver", "minimal stand-in"};

std::string Preload(Driver d)
{
    // The minimal stand-in goes first so that its ioctl answers; simdriver
    // still leads the fixed paths into the sandbox.
    return d == MEMORY ? std::string(MEMORY_DRIVER_PATH) + ":" + SIMDRIVER_PATH : SIMDRIVER_PATH;
}

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
    double xCpuPerSec = -1;    // the X server's, when it can be read
    double requestsPerSec = 0; // journaled driver requests per second over that period
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

// Seconds the process has run on a CPU; -1 when that cannot be read.
double CpuSeconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/schedstat");
    double ns = -1;
    if (!(in >> ns))
        return -1;
    return ns / 1e9;
}

// Starts argv under a driver stand-in of the sandbox.
pid_t Start(const std::vector<std::string> &argv, const std::string &sandbox, Driver driver,
            int out = -1)
{
    std::vector<char *> args;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    const std::string preload = Preload(driver);
    pid_t pid = fork();
    if (pid == 0) {
        setenv("SIMDRIVER_ROOT", sandbox.c_str(), 1);
        setenv("LD_PRELOAD", preload.c_str(), 1);
        if (out >= 0)
            dup2(out, 1);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

Run Measure(Display *dpy, pid_t xserver, const std::vector<std::string> &argv, const char *title,
            double idle, const std::string &sandbox, Driver driver,
            const std::function<void()> &prepare = {})
{
    XSelectInput(dpy, DefaultRootWindow(dpy), SubstructureNotifyMask);
    XSync(dpy, True);
    auto start = Clock::now();
    pid_t pid = Start(argv, sandbox, driver);
    Run r;
    WaitMapped(dpy, title);
    r.startup = std::chrono::duration<double>(Clock::now() - start).count();
    if (prepare)
        prepare();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    r.rssKiB = Rss(pid);
    sim::ClearJournal(sandbox);
    double c0 = CpuSeconds(pid), x0 = CpuSeconds(xserver);
    auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(idle));
    double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
    r.cpuPerSec = (CpuSeconds(pid) - c0) / elapsed;
    double x1 = CpuSeconds(xserver);
    if (x0 >= 0 && x1 >= 0)
        r.xCpuPerSec = (x1 - x0) / elapsed;
    r.requestsPerSec = double(sim::ReadJournal(sandbox).size()) / elapsed;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    XSelectInput(dpy, DefaultRootWindow(dpy), NoEventMask);
    return r;
}

// The CPU microseconds that one status read costs under a stand-in: this
// program run again under it, reading the status n times.
double RequestCost(const std::string &self, const std::string &sandbox, Driver driver, int n)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    pid_t pid = Start({self, "--requests", std::to_string(n)}, sandbox, driver, fds[1]);
    close(fds[1]);
    std::string text;
    char buf[64];
    for (ssize_t got; (got = read(fds[0], buf, sizeof buf)) > 0;)
        text.append(buf, size_t(got));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    sim::ClearJournal(sandbox);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return std::atof(text.c_str());
}

double CpuNow()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// The status read made the way kdR770 makes it: one private ioctl.
int RequestsChild(int n)
{
    int sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    _STSTATUS status{};
    DriverRequest dr{CMD_GET_STATUS, sizeof status, &status};
    ifreq ifr{};
    std::snprintf(ifr.ifr_name, sizeof ifr.ifr_name, "%s", "eth0");
    ifr.ifr_data = reinterpret_cast<char *>(&dr);
    for (int i = 0; i < 100; ++i)
        if (ioctl(sock, SIOC_KDR770, &ifr) != 0)
            return 1;
    const double c0 = CpuNow();
    for (int i = 0; i < n; ++i)
        ioctl(sock, SIOC_KDR770, &ifr);
    std::printf("%.3f\n", (CpuNow() - c0) / n * 1e6);
    return 0;
}

double Percent(double cpuPerSec) { return cpuPerSec * 100; }

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::string(argv[1]) == "--requests")
        return RequestsChild(std::atoi(argv[2]));

    char tmpl[] = "/tmp/guibench.XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const std::string dir = tmpl;
    const std::string sandbox = dir + "/sb";
    sim::InitSandbox(sandbox, "vindral", {"eth0"});
    sim::Set(sandbox, "eth0", {"stats_rate=0"});
    const std::string self = std::filesystem::canonical("/proc/self/exe");

    // Per request: the stand-ins alone, without a window or an X server.
    double cost[2] = {1e9, 1e9};
    const int requests[2] = {5000, 100000};
    for (int round = 0; round < 3; ++round)
        for (Driver d : {SIMDRIVER, MEMORY}) {
            double c = RequestCost(self, sandbox, d, requests[d]);
            if (c >= 0 && c < cost[d])
                cost[d] = c;
        }
    std::printf("CPU per driver request (a status read, least of 3 runs): simdriver %.2f us, "
                "minimal stand-in %.2f us; ratio %.2f\n",
                cost[SIMDRIVER], cost[MEMORY], cost[SIMDRIVER] / cost[MEMORY]);

    std::string displayFile = dir + "/display";
    pid_t xvfb = fork();
    if (xvfb == 0) {
        int fd = open(displayFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 3);
        (void)!freopen("/dev/null", "w", stderr);
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

    // Start-up and memory: oxu under either stand-in against the two
    // yardsticks (run under simdriver, whose library they then carry too).
    enum { EMPTY, LABEL, OXU, OXU_MEMORY, PROGRAMS };
    const char *const oxuTitle = "Vindral Client Utility";
    const char *titles[PROGRAMS] = {"Minimal window", "Minimal label window", oxuTitle, oxuTitle};
    const std::vector<std::string> programs[PROGRAMS] = {
        {MINIMAL_PATH}, {LABEL_PATH}, {OXU_PATH}, {OXU_PATH}};
    const Driver drivers[PROGRAMS] = {SIMDRIVER, SIMDRIVER, SIMDRIVER, MEMORY};
    const int rounds = 5;
    Run best[PROGRAMS];
    for (int round = 0; round < rounds; ++round)
        for (int p = 0; p < PROGRAMS; ++p) {
            Run r = Measure(dpy, xvfb, programs[p], titles[p], 0.2, sandbox, drivers[p]);
            if (round == 0 || r.startup < best[p].startup)
                best[p].startup = r.startup;
            if (round == 0 || r.rssKiB < best[p].rssKiB)
                best[p].rssKiB = r.rssKiB;
        }
    std::printf("start-up to the main window shown (best of %d): oxu %.1f ms (%.1f ms under the minimal "
                "stand-in), one-label window %.1f ms, empty window %.1f ms; oxu against the one-label "
                "window %.2f, against the empty window %.2f\n",
                rounds, best[OXU].startup * 1e3, best[OXU_MEMORY].startup * 1e3, best[LABEL].startup * 1e3,
                best[EMPTY].startup * 1e3, best[OXU].startup / best[LABEL].startup,
                best[OXU].startup / best[EMPTY].startup);
    std::printf("resident memory once shown (least of %d): oxu %ld KiB, one-label window %ld KiB, empty "
                "window %ld KiB; oxu against the one-label window %.3f, against the empty window %.3f\n",
                rounds, best[OXU].rssKiB, best[LABEL].rssKiB, best[EMPTY].rssKiB,
                double(best[OXU].rssKiB) / double(best[LABEL].rssKiB),
                double(best[OXU].rssKiB) / double(best[EMPTY].rssKiB));

    // Idle: the status line alone, then with the two report windows open
    // beside it. From the end of "Commands": Exit, Select help browser,
    // Toggle radio, Status, Statistics.
    const double idle = 10.0;
    const auto openReports = [dpy] {
        Key("Vindral Client Utility", "F10 Up Up Up Up Return");
        WaitMapped(dpy, "Tavlo VX1100 Status");
        Key("Vindral Client Utility", "F10 Up Up Up Up Up Return");
        WaitMapped(dpy, "TAVLO VX1100 Statistics");
    };
    Run line[2], reports[2];
    for (Driver d : {MEMORY, SIMDRIVER}) {
        line[d] = Measure(dpy, xvfb, {OXU_PATH}, oxuTitle, idle, sandbox, d);
        reports[d] = Measure(dpy, xvfb, {OXU_PATH}, oxuTitle, idle, sandbox, d, openReports);
    }
    // Only simdriver journals its requests; the minimal stand-in serves the
    // same ones.
    const double rate[2] = {line[SIMDRIVER].requestsPerSec, reports[SIMDRIVER].requestsPerSec};
    std::printf("idle CPU in %% of a core over %.0f s; oxu's own share is its total less the requests' "
                "cost measured above:\n", idle);
    for (int w = 0; w < 2; ++w) {
        const Run *runs = w ? reports : line;
        for (Driver d : {MEMORY, SIMDRIVER}) {
            const double own = runs[d].cpuPerSec - rate[w] * cost[d] * 1e-6;
            char x[32] = "cannot be read";
            if (runs[d].xCpuPerSec >= 0)
                std::snprintf(x, sizeof x, "%.3f%%", Percent(runs[d].xCpuPerSec));
            std::printf("  %-36s under the %-16s oxu total %.3f%%, own %.3f%%; X server %s\n",
                        w ? "status and statistics windows open," : "status line alone,", DriverNames[d],
                        Percent(runs[d].cpuPerSec), Percent(own), x);
        }
    }
    // Reads per tick: status line 5 (configuration 3, capabilities, status),
    // status window 7 (MIC statistics, status, configuration 3, capabilities,
    // statistics), statistics window 4 (MIC statistics, statistics twice, status).
    std::printf("driver requests per second: status line alone %.1f against 5 reads per tick (ratio %.2f); "
                "with both windows %.1f against 16 (ratio %.2f)\n",
                rate[0], rate[0] / 5, rate[1], rate[1] / 16);

    XCloseDisplay(dpy);
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
    std::filesystem::remove_all(dir);
    return 0;
}
