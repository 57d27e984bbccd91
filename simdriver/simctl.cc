// simctl: makes and drives a driver stand-in sandbox (see README.md).
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim_state.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: simctl init DIR [--family vindral|tsv240|none] [--adapters eth0,eth3,...]\n"
    "       simctl show DIR [IFACE]\n"
    "       simctl set DIR IFACE FIELD=VALUE...\n"
    "       simctl fail DIR IFACE COMMAND ERRNO [COUNT]\n"
    "       simctl filefail DIR REL write|sync|close|open ERRNO [AFTER]\n"
    "       simctl filefail DIR REL none\n"
    "       simctl filefail DIR --clear\n"
    "       simctl journal DIR [--clear]\n"
    "       simctl add DIR IFACE\n"
    "       simctl remove DIR IFACE\n"
    "       simctl run DIR -- PROGRAM ARGS...\n";

[[noreturn]] void Usage(const std::string &why)
{
    std::cerr << "simctl: " << why << "\n" << kUsage;
    std::exit(2);
}

// Whole-string integer, decimal or 0x hex.
bool ToInt(const std::string &s, long lo, long hi, long &out)
{
    if (s.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    long v = std::strtol(s.c_str(), &end, 0);
    if (errno || *end || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

std::vector<std::string> SplitList(const std::string &s)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= s.size()) {
        size_t p = s.find(',', start);
        if (p == std::string::npos)
            p = s.size();
        if (p > start)
            out.push_back(s.substr(start, p - start));
        start = p + 1;
    }
    return out;
}

int Init(const std::vector<std::string> &a)
{
    if (a.size() < 1)
        Usage("init needs DIR");
    std::string family = "vindral";
    std::vector<std::string> ifaces = {"eth0"};
    for (size_t i = 1; i < a.size(); ++i) {
        if (a[i] == "--family" && i + 1 < a.size())
            family = a[++i];
        else if (a[i] == "--adapters" && i + 1 < a.size())
            ifaces = SplitList(a[++i]);
        else
            Usage("init: unexpected '" + a[i] + "'");
    }
    if (family != "vindral" && family != "tsv240" && family != "none")
        Usage("init: family is vindral, tsv240 or none");
    sim::InitSandbox(a[0], family, ifaces);
    return 0;
}

int Show(const std::vector<std::string> &a)
{
    if (a.size() == 2) {
        std::cout << sim::Show(a[0], a[1]);
        return 0;
    }
    if (a.size() != 1)
        Usage("show takes DIR [IFACE]");
    bool first = true;
    for (const auto &iface : sim::Adapters(a[0])) {
        std::cout << (first ? "" : "\n") << "[" << iface << "]\n" << sim::Show(a[0], iface);
        first = false;
    }
    return 0;
}

int Fail(const std::vector<std::string> &a)
{
    if (a.size() != 4 && a.size() != 5)
        Usage("fail takes DIR IFACE COMMAND ERRNO [COUNT]");
    long command, err, count = 1;
    if (a[2] == "ident")
        command = 0x89F1;
    else if (!ToInt(a[2], 0, 0xFFFF, command))
        Usage("fail: COMMAND is a command number or ident");
    if (!ToInt(a[3], 0, 4095, err))
        Usage("fail: ERRNO is a number 0..4095");
    if (a.size() == 5 && !ToInt(a[4], -1, 1000000, count))
        Usage("fail: COUNT is a number, -1 for ever, 0 to remove");
    sim::Fail(a[0], a[1], int(command), int(err), int(count));
    return 0;
}

int FileFail(const std::vector<std::string> &a)
{
    if (a.size() == 2 && a[1] == "--clear") {
        sim::ClearFileFaults(a[0]);
        return 0;
    }
    if (a.size() < 3 || a.size() > 5)
        Usage("filefail takes DIR REL OP [ERRNO [AFTER]] or DIR --clear");
    const std::string &op = a[2];
    if (op != "write" && op != "sync" && op != "close" && op != "open" && op != "none")
        Usage("filefail: OP is write, sync, close, open or none");
    if (op == "none" && a.size() != 3)
        Usage("filefail: none takes no ERRNO");
    if (op != "none" && a.size() == 3)
        Usage("filefail: " + op + " needs ERRNO");
    if (a.size() == 5 && op != "write")
        Usage("filefail: only write takes AFTER");
    long err = 0, after = 0;
    if (a.size() >= 4 && !ToInt(a[3], 0, 4095, err))
        Usage("filefail: ERRNO is a number 0..4095");
    if (a.size() == 5 && !ToInt(a[4], 0, 999999999999, after))
        Usage("filefail: AFTER is a byte count, 0 or more");
    sim::FileFail(a[0], a[1], op, int(err), after);
    return 0;
}

int Journal(const std::vector<std::string> &a)
{
    if (a.size() == 2 && a[1] == "--clear") {
        sim::ClearJournal(a[0]);
        return 0;
    }
    if (a.size() != 1)
        Usage("journal takes DIR [--clear]");
    std::cout << sim::JournalText(a[0]);
    return 0;
}

// Exit statuses of run before the program starts: 125 for simctl's own
// failure, 126 and 127 as a shell gives them, so that they stand apart from
// the program's own statuses.
int Run(const std::vector<std::string> &a, char **argv_program)
{
    if (a.size() < 3 || a[1] != "--")
        Usage("run takes DIR -- PROGRAM ARGS...");
    std::error_code ec;
    fs::path dir = fs::absolute(a[0], ec);
    if (ec || !fs::exists(dir / "lock", ec)) {
        std::cerr << "simctl: " << a[0] << " is not a sandbox (simctl init makes one)\n";
        return 125;
    }
    std::string lib;
    if (const char *env = std::getenv("SIMDRIVER_LIB"); env && *env) {
        lib = env;
    } else {
        fs::path exe = fs::read_symlink("/proc/self/exe", ec);
        if (ec) {
            std::cerr << "simctl: cannot find my own path: " << ec.message() << "\n";
            return 125;
        }
        lib = fs::weakly_canonical(exe.parent_path() / ".." / "lib" / "libsimdriver.so", ec)
                  .string();
    }
    if (access(lib.c_str(), R_OK) != 0) {
        std::cerr << "simctl: cannot read the preload library " << lib
                  << " (set SIMDRIVER_LIB)\n";
        return 125;
    }
    const char *old = std::getenv("LD_PRELOAD");
    std::string preload = lib + (old && *old ? std::string(":") + old : std::string());
    setenv("SIMDRIVER_ROOT", dir.lexically_normal().string().c_str(), 1);
    setenv("LD_PRELOAD", preload.c_str(), 1);
    execvp(argv_program[0], argv_program);
    int e = errno;
    std::cerr << "simctl: cannot run " << argv_program[0] << ": " << std::strerror(e) << "\n";
    return e == ENOENT ? 127 : 126;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        Usage("no command");
    std::string verb = argv[1];
    std::vector<std::string> a(argv + 2, argv + argc);
    const char *verbs[] = {"init", "show", "set", "fail", "filefail", "journal", "add", "remove", "run"};
    if (std::find(std::begin(verbs), std::end(verbs), verb) == std::end(verbs))
        Usage("unknown command '" + verb + "'");
    if (a.empty())
        Usage(verb + " needs DIR");
    try {
        if (verb == "init")
            return Init(a);
        if (verb == "show")
            return Show(a);
        if (verb == "set") {
            if (a.size() < 3)
                Usage("set takes DIR IFACE FIELD=VALUE...");
            sim::Set(a[0], a[1], std::vector<std::string>(a.begin() + 2, a.end()));
            return 0;
        }
        if (verb == "fail")
            return Fail(a);
        if (verb == "filefail")
            return FileFail(a);
        if (verb == "journal")
            return Journal(a);
        if (verb == "add" || verb == "remove") {
            if (a.size() != 2)
                Usage(verb + " takes DIR IFACE");
            if (verb == "add")
                sim::AddAdapter(a[0], a[1]);
            else
                sim::RemoveAdapter(a[0], a[1]);
            return 0;
        }
        if (verb == "run")
            return Run(a, argv + 4);
    } catch (const std::exception &e) {
        std::cerr << "simctl: " << e.what() << "\n";
        return 1;
    }
    return 2;
}
