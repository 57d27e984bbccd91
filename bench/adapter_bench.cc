// The profile loader's cost over five emulated adapters, and the firmware
// flash's time beyond its fixed two-second wait.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "firmware_flash.h"
#include "kdr770.h"
#include "sim_state.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Runs argv to completion; returns its wall time in seconds.
double Run(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);
    auto start = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    double t = Seconds(Clock::now() - start);
    if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 1)) {
        std::fprintf(stderr, "%s failed\n", args.back().c_str());
        std::exit(1);
    }
    return t;
}

double Best(int runs, const std::vector<std::string> &args)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, Run(args));
    return best;
}

void BenchLoader(const std::string &dir)
{
    const std::vector<std::string> ifaces = {"eth0", "eth1", "eth2", "eth3", "eth4"};
    sim::InitSandbox(dir, "vindral", ifaces);
    std::vector<std::string> ostrel = {SIMCTL_PATH, "run", dir, "--", OSTREL_PATH};
    std::vector<std::string> baseline = {SIMCTL_PATH, "run", dir, "--", "/bin/true"};

    Run(ostrel);  // creates the five profile files
    sim::ClearJournal(dir);
    Run(ostrel);
    std::map<std::string, int> perAdapter;
    for (const auto &e : sim::ReadJournal(dir))
        perAdapter[e.iface]++;
    int total = 0;
    for (auto &[iface, n] : perAdapter)
        total += n;
    const double floor = 7.0;  // identification, three reads, three writes
    double perIface = double(total) / double(ifaces.size());

    const int runs = 20;
    double tOstrel = Best(runs, ostrel);
    double tTrue = Best(runs, baseline);
    std::printf("ostrel over 5 adapters: best of %d runs %.2f ms; an empty program under the stand-in %.2f ms; ratio %.2f\n",
                runs, tOstrel * 1e3, tTrue * 1e3, tOstrel / tTrue);
    std::printf("ostrel driver requests per adapter: %.1f against a floor of %.0f; ratio %.2f\n",
                perIface, floor, perIface / floor);
}

int FlashChild(const char *image)
{
    kdR770 radio;
    radio.InitCard("eth0");
    auto start = Clock::now();
    int rc = radio.FlashAdapter(image, nullptr);
    double t = Seconds(Clock::now() - start);
    std::printf("firmware flash: result %d, %.3f s against its 2 s wait; the rest is %.1f%% of the wait\n",
                rc, t, (t - 2.0) / 2.0 * 100.0);
    return rc == 0 ? 0 : 1;
}

void BenchFlash(const std::string &dir, const char *self)
{
    sim::InitSandbox(dir, "vindral", {"eth0"});
    std::vector<uint8_t> file(FIRMWARE_FILE_SIZE, 0);
    for (size_t i = FIRMWARE_HEADER_SIZE; i < file.size(); ++i)
        file[i] = uint8_t(i * 7);
    file[FIRMWARE_TYPE_OFFSET] = 0x90;
    uint16_t sum = FirmwareSum(file.data() + FIRMWARE_HEADER_SIZE, FIRMWARE_IMAGE_SIZE);
    file[FIRMWARE_SUM_OFFSET] = uint8_t(sum);
    file[FIRMWARE_SUM_OFFSET + 1] = uint8_t(sum >> 8);
    std::string image = dir + "/image.bin";
    FILE *f = std::fopen(image.c_str(), "wb");
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
    Run({SIMCTL_PATH, "run", dir, "--", self, "--flash", image});
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::string(argv[1]) == "--flash")
        return FlashChild(argv[2]);

    char tmpl[] = "/tmp/adapterbench.XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    std::string root = tmpl;
    BenchLoader(root + "/loader");
    std::string self = std::filesystem::canonical("/proc/self/exe");
    BenchFlash(root + "/flash", self.c_str());
    std::filesystem::remove_all(root);
    return 0;
}
