#include "sandbox.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

Sandbox::Sandbox(const std::vector<std::string> &ifaces, const std::string &family)
{
    char tmpl[] = "/tmp/simsandbox.XXXXXX";
    if (!mkdtemp(tmpl))
        throw std::runtime_error("mkdtemp failed");
    dir_ = tmpl;
    sim::InitSandbox(dir_, family, ifaces);
    setenv("SIMDRIVER_ROOT", dir_.c_str(), 1);
}

Sandbox::Sandbox(Current) : owned_(false)
{
    const char *root = std::getenv("SIMDRIVER_ROOT");
    if (!root)
        throw std::runtime_error("SIMDRIVER_ROOT is not set (run the tests through ctest)");
    dir_ = root;
}

Sandbox::~Sandbox()
{
    if (!owned_)
        return;
    unsetenv("SIMDRIVER_ROOT");
    // Rules left by the test would keep the files from being removed.
    try {
        sim::ClearFileFaults(dir_);
    } catch (const std::exception &) {
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::vector<int> Sandbox::commands(const std::string &iface) const
{
    std::vector<int> out;
    for (const auto &e : journal())
        if (iface.empty() || e.iface == iface)
            out.push_back(e.command);
    return out;
}

double Sandbox::shortestGap(int command) const
{
    double shortest = 86400, last = -1;
    for (const auto &e : journal())
        if (e.command == command) {
            if (last >= 0)
                shortest = std::min(shortest, e.time - last);
            last = e.time;
        }
    return shortest;
}

std::vector<uint8_t> ReadFileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

static std::string Slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

RunResult RunCommand(const std::string &cmdline)
{
    char tmpl[] = "/tmp/simrun.XXXXXX";
    if (!mkdtemp(tmpl))
        throw std::runtime_error("mkdtemp failed");
    std::string dir = tmpl;
    std::string full = "(" + cmdline + ") >" + dir + "/out 2>" + dir + "/err </dev/null";
    int st = std::system(full.c_str());
    RunResult r;
    if (WIFEXITED(st))
        r.status = WEXITSTATUS(st);
    else if (WIFSIGNALED(st))
        r.status = 128 + WTERMSIG(st);
    r.out = Slurp(dir + "/out");
    r.err = Slurp(dir + "/err");
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return r;
}

int OpenFds()
{
    int n = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd");
         it != std::filesystem::directory_iterator(); ++it)
        ++n;
    return n;
}

std::string EnvPath(const char *name)
{
    const char *v = std::getenv(name);
    if (!v)
        throw std::runtime_error(std::string(name) + " is not set (run the tests through ctest)");
    return v;
}
