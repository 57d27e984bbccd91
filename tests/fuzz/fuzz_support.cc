#include "fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "kdr770.h"
#include "sim_state.h"

void FuzzCheckFailed(const char *what, const char *file, int line)
{
    std::fprintf(stderr, "broken: %s (%s:%d)\n", what, file, line);
    std::abort();
}

const std::string &SandboxRoot()
{
    static const std::string root = [] {
        const char *r = std::getenv("SIMDRIVER_ROOT");
        if (!r || !*r) {
            std::fprintf(stderr, "no SIMDRIVER_ROOT: run the harnesses through scripts/fuzz\n");
            std::abort();
        }
        return std::string(r);
    }();
    return root;
}

kdR770 &Eth0()
{
    static kdR770 *radio = [] {
        auto *r = new kdR770("eth0");
        FUZZ_CHECK(r->InitCard("eth0") == 0);
        return r;
    }();
    return *radio;
}

void QuietStdout()
{
    int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
}

void TrimJournal()
{
    static unsigned runs = 0;
    if (++runs % 256 == 0)
        sim::ClearJournal(SandboxRoot());
}

void WriteWhole(const std::string &path, const uint8_t *data, size_t size)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    FUZZ_CHECK(fd >= 0);
    size_t done = 0;
    while (done < size) {
        ssize_t w = write(fd, data + done, size - done);
        FUZZ_CHECK(w > 0);
        done += size_t(w);
    }
    close(fd);
}

std::vector<uint8_t> ReadWhole(const std::string &path)
{
    std::vector<uint8_t> out;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return out;
    uint8_t buf[4096];
    for (ssize_t r; (r = read(fd, buf, sizeof buf)) > 0;)
        out.insert(out.end(), buf, buf + r);
    close(fd);
    return out;
}

uint16_t Le16(const uint8_t *p)
{
    return uint16_t(p[0] | p[1] << 8);
}

uint32_t Le32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
