// The help launcher against a fake browser written by the test, and the
// dialog that asks for the browser's path.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/keyctl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <glibmm/main.h>
#include <gtkmm/main.h>

#include "command_menus.h"
#include "error_window.h"
#include "globals.h"
#include "gui.h"
#include "help.h"
#include "statistics_window.h"
#include "status_window.h"

namespace {

std::string Slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

const char HelpUrl[] = "file:/opt/tavlo/helpml/";

// Runs the main loop until done() holds or ms have passed; false, silently,
// when it did not.
bool StepUntil(const std::function<bool()> &done, int ms = WaitSeconds * 1000)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        Step(5);
    }
    return true;
}

browse *FindBrowse() { return ShownWindow<browse>(); }

// Children of this process that have ended and were never collected.
std::vector<pid_t> Zombies()
{
    std::vector<pid_t> out;
    DIR *proc = opendir("/proc");
    if (!proc)
        return out;
    while (dirent *d = readdir(proc)) {
        pid_t pid = atoi(d->d_name);
        if (pid <= 0)
            continue;
        // A process may end while it is read: its file then reads as empty.
        std::string stat;
        if (FILE *f = fopen((std::string("/proc/") + d->d_name + "/stat").c_str(), "r")) {
            char buf[1024];
            stat.assign(buf, fread(buf, 1, sizeof buf, f));
            fclose(f);
        }
        auto close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(stat.substr(close + 1));
        char state = 0;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (state == 'Z' && ppid == getpid())
            out.push_back(pid);
    }
    closedir(proc);
    return out;
}

// A process that the test started itself and collects itself.
pid_t StartSleeper()
{
    pid_t pid = fork();
    if (pid == 0) {
        execlp("sleep", "sleep", "30", static_cast<char *>(nullptr));
        _exit(127);
    }
    return pid;
}

// What a browser that the test wrote saw of its start.
struct BrowserRun {
    pid_t pid = 0;
    uid_t uid = uid_t(-1);
    std::string cwd;
    std::vector<std::string> args;
    std::map<std::string, std::string> env;  // as the browser was started with
    std::map<int, std::string> fds;          // its open descriptors: number, target
    std::string keys;                        // the keys it can see (/proc/keys)
    std::string held;                        // what it read on descriptor HeldFd
};

// A descriptor that the test opens, unmarked, before asking for help; the
// browser reads it if it has it.
const int HeldFd = 60;

// Sets variables of this process's environment (a null value unsets one)
// and puts back what they were when it ends.
class ScopedEnv {
public:
    ScopedEnv(std::initializer_list<std::pair<const char *, const char *>> vars)
    {
        for (const auto &[name, value] : vars) {
            const char *old = std::getenv(name);
            saved.push_back({name, old != nullptr, old ? old : ""});
            if (value)
                setenv(name, value, 1);
            else
                unsetenv(name);
        }
    }
    ~ScopedEnv()
    {
        for (const Saved &s : saved) {
            if (s.set)
                setenv(s.name.c_str(), s.value.c_str(), 1);
            else
                unsetenv(s.name.c_str());
        }
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    struct Saved {
        std::string name;
        bool set;
        std::string value;
    };
    std::vector<Saved> saved;
};

// While it lives, this process (run by root) is an ordinary user: real and
// effective ids, group and groups that user's; only the saved ids stay
// root's, to come back with. A program it starts has none of root's.
class AsUser {
public:
    AsUser(uid_t uid, gid_t gid)
    {
        const int n = getgroups(0, nullptr);
        groups.resize(size_t(n > 0 ? n : 0));
        if (n > 0 && getgroups(n, groups.data()) != n)
            return;
        ok = setgroups(1, &gid) == 0 && setresgid(gid, gid, 0) == 0 &&
             setresuid(uid, uid, 0) == 0;
    }
    ~AsUser()
    {
        if (setresuid(0, 0, 0) != 0 || setresgid(0, 0, 0) != 0 ||
            setgroups(groups.size(), groups.data()) != 0)
            ADD_FAILURE() << "cannot become root again";
    }
    AsUser(const AsUser &) = delete;
    AsUser &operator=(const AsUser &) = delete;

    bool ok = false;

private:
    std::vector<gid_t> groups;
};

// Makes the preferences file this user's own (true) or writable by every
// user, as it is made (false). Run as root, a browser path from a file
// others can write is another user's choice.
void PrefsOwnedByMe(bool mine)
{
    ASSERT_EQ(chmod(PrefsPath, mine ? 0644 : 0666), 0);
}

class HelpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/helptest.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        // Browsers here may run as another user, who reads them from this
        // folder and writes their records into one of their own.
        chmod(dir.c_str(), 0755);
        records = dir + "/records";
        mkdir(records.c_str(), 0777);
        chmod(records.c_str(), 0777);
        PrefsOwnedByMe(true);
        ThePrefs.SetBrowser(nullptr);
        ThePrefs.SetBrowserPid(0);
        CurrentHelpPage = &HelpPages[7];
        HelpRemoteFlag = 0;
    }
    void TearDown() override
    {
        // Let the children of this test end and be collected.
        StepUntil([] { return HelpRemoteFlag == 0 && Zombies().empty(); }, 2000);
        for (Gtk::Window *w : Gtk::Window::list_toplevels())
            if (dynamic_cast<ErrWin *>(w))
                delete w;
        Step();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
        PrefsOwnedByMe(false);
    }

    // A browser that records its pid, user, folder, arguments, environment,
    // descriptors, the keys it can see and what it can read on HeldFd, then
    // runs tail.
    std::string Browser(const std::string &name, const std::string &tail = "exit 0")
    {
        std::string path = dir + "/" + name;
        std::ofstream out(path);
        const std::string r = records + "/";
        // bash: dash takes no descriptor above 9 in a redirection.
        out << "#!/bin/bash\n"
            << "{ echo $$; id -u; pwd; for a in \"$@\"; do echo \"$a\"; done; } > " << r
            << "rec.$$.tmp\n"
            << "cat /proc/$$/environ > " << r << "env.$$\n"
            << "ls -l /proc/$$/fd > " << r << "fds.$$\n"
            << "cat /proc/keys > " << r << "keys.$$\n"
            << "(cat <&" << HeldFd << ") > " << r << "held.$$ 2>/dev/null\n"
            << "mv " << r << "rec.$$.tmp " << r << "run.$$\n"
            << tail << "\n";
        out.close();
        chmod(path.c_str(), 0755);
        return path;
    }

    std::vector<BrowserRun> Runs() const
    {
        std::vector<BrowserRun> out;
        for (const auto &e : std::filesystem::directory_iterator(records)) {
            if (e.path().filename().string().rfind("run.", 0) != 0)
                continue;
            std::ifstream in(e.path());
            BrowserRun r;
            in >> r.pid >> r.uid;
            in.ignore();
            std::getline(in, r.cwd);
            for (std::string line; std::getline(in, line);)
                r.args.push_back(line);
            const std::string pid = std::to_string(r.pid);
            std::istringstream env(Slurp(records + "/env." + pid));
            for (std::string var; std::getline(env, var, '\0');) {
                const size_t eq = var.find('=');
                r.env[var.substr(0, eq)] = eq == std::string::npos ? "" : var.substr(eq + 1);
            }
            // "lr-x------ 1 root root 64 Jan  1 00:00 3 -> /path"
            std::istringstream fds(Slurp(records + "/fds." + pid));
            for (std::string line; std::getline(fds, line);) {
                const size_t arrow = line.find(" -> ");
                const size_t space = line.rfind(' ', arrow == std::string::npos ? 0 : arrow - 1);
                if (arrow != std::string::npos && space != std::string::npos)
                    r.fds[std::atoi(line.c_str() + space + 1)] = line.substr(arrow + 4);
            }
            r.keys = Slurp(records + "/keys." + pid);
            r.held = Slurp(records + "/held." + pid);
            for (const char *kind : {"env.", "fds.", "keys.", "held."})
                std::filesystem::remove(records + "/" + kind + pid);
            out.push_back(r);
            std::filesystem::remove(e.path());
        }
        return out;
    }

    // Asks for help and waits for the browser's record.
    BrowserRun HelpOnce()
    {
        ShowHelp();
        return WaitForRun();
    }

    BrowserRun WaitForRun()
    {
        std::vector<BrowserRun> runs;
        RunUntil(
            [&] {
                runs = Runs();
                return !runs.empty();
            },
            "the browser's record");
        EXPECT_EQ(runs.size(), 1u);
        return runs.empty() ? BrowserRun{} : runs[0];
    }

    ErrWin *WaitForError()
    {
        ErrWin *err = nullptr;
        RunUntil(
            [&] {
                err = dynamic_cast<ErrWin *>(FindWindow("Error message"));
                return err != nullptr;
            },
            "the error window");
        return err;
    }

    std::string dir;
    std::string records;
};

TEST_F(HelpTest, EachPageOpensItsUrlInANewBrowser)
{
    const char *names[8] = {"SystemParameters.htm", "NetworkSecurity.htm", "RFNetwork.htm",
                            "HomeNetworking.htm", "AdvancedInfrastructure.htm",
                            "AdvancedAdHoc.htm", "Statistics.htm", "Status.htm"};
    ThePrefs.SetBrowser(Browser("browser").c_str());
    for (int i = 0; i < 8; ++i) {
        CurrentHelpPage = &HelpPages[i];
        BrowserRun r = HelpOnce();
        EXPECT_EQ(r.args, std::vector<std::string>{HelpUrl + std::string(names[i])}) << i;
        EXPECT_EQ(r.cwd, "/") << i;
        EXPECT_EQ(r.uid, geteuid()) << i;
        EXPECT_EQ(ThePrefs.GetBrowserPid(), r.pid) << i;
        EXPECT_EQ(HelpRemoteFlag, 0);
    }
    RunUntil([] { return Zombies().empty(); }, "the browsers to be collected");
    EXPECT_EQ(FindWindow("Error message"), nullptr);
}

TEST_F(HelpTest, NetscapeWithRunningBrowserIsAskedRemotely)
{
    pid_t sleeper = StartSleeper();
    ASSERT_GT(sleeper, 0);
    ThePrefs.SetBrowser(Browser("netscape", "sleep 0.3").c_str());
    ThePrefs.SetBrowserPid(sleeper);
    ShowHelp();
    EXPECT_EQ(HelpRemoteFlag, 1);
    BrowserRun r = WaitForRun();
    EXPECT_EQ(r.args, (std::vector<std::string>{"-remote", std::string("openURL(") + HelpUrl +
                                                               "Status.htm)"}));
    EXPECT_NE(r.pid, sleeper);
    EXPECT_EQ(ThePrefs.GetBrowserPid(), sleeper);

    // A child that ShowHelp did not start, ending while the remote request
    // still runs, is left to its own parent.
    kill(sleeper, SIGKILL);
    RunUntil([] { return HelpRemoteFlag == 0; }, "the remote request to end");
    int status = 0;
    EXPECT_EQ(waitpid(sleeper, &status, WNOHANG), sleeper);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(FindWindow("Error message"), nullptr);
}

TEST_F(HelpTest, OtherwiseANewBrowserIsStarted)
{
    pid_t sleeper = StartSleeper();
    ASSERT_GT(sleeper, 0);
    pid_t ended = fork();
    if (ended == 0)
        _exit(0);
    ASSERT_EQ(waitpid(ended, nullptr, 0), ended);

    struct Case {
        std::string name;
        int32_t pid;
    } cases[] = {
        {"Netscape", sleeper},       // the name's case matters
        {"mozilla", sleeper},
        {"netscape", ended},         // stale
        {"netscape", 0},
        {"netscape", -1},            // never handed to kill
    };
    for (const auto &c : cases) {
        ThePrefs.SetBrowser(Browser(c.name).c_str());
        ThePrefs.SetBrowserPid(c.pid);
        BrowserRun r = HelpOnce();
        EXPECT_EQ(r.args, std::vector<std::string>{std::string(HelpUrl) + "Status.htm"})
            << c.name << " " << c.pid;
        EXPECT_EQ(ThePrefs.GetBrowserPid(), r.pid) << c.name << " " << c.pid;
        EXPECT_EQ(HelpRemoteFlag, 0);
    }
    kill(sleeper, SIGKILL);
    EXPECT_EQ(waitpid(sleeper, nullptr, 0), sleeper);
}

TEST_F(HelpTest, BrowserThatFailsIsReported)
{
    struct Case {
        std::string path;
        bool execFails;
    } cases[] = {
        {dir + "/nothing-here", true},
        {dir, true},
        {Browser("crasher", "kill -SEGV $$"), false},
        {Browser("failer", "exit 3"), false},
    };
    for (const auto &c : cases) {
        ThePrefs.SetBrowser(c.path.c_str());
        ThePrefs.SetBrowserPid(777);
        ShowHelp();
        ErrWin *err = WaitForError();
        ASSERT_NE(err, nullptr) << c.path;
        EXPECT_EQ(LabelTexts(*err), std::vector<std::string>{"Cannot execute browser!"});
        EXPECT_FALSE(err->exitconn.connected());
        if (c.execFails) {
            EXPECT_EQ(ThePrefs.GetBrowserPid(), 0) << c.path;
        } else {
            std::vector<BrowserRun> runs = Runs();
            ASSERT_EQ(runs.size(), 1u) << c.path;
            EXPECT_EQ(ThePrefs.GetBrowserPid(), runs[0].pid);
        }
        EXPECT_TRUE(Zombies().empty()) << c.path;
        err->okbutton->clicked();
        Step();
        EXPECT_EQ(FindWindow("Error message"), nullptr) << c.path;
    }
}

// Any user can write the preferences file, so a browser is run only from a
// regular executable file owned by root or by this user that no one else can
// change; a bare name is looked up on the search path and checked alike.
TEST_F(HelpTest, BrowserFileThatOthersCouldChangeIsNotRun)
{
    const std::string good = Browser("browser");
    const std::string bin = dir + "/bin";
    mkdir(bin.c_str(), 0755);
    const std::string onPath = bin + "/pathbrowser";
    std::filesystem::copy_file(good, onPath);
    chmod(onPath.c_str(), 0755);
    const std::string link = dir + "/link";
    ASSERT_EQ(symlink(good.c_str(), link.c_str()), 0);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (bin + ":" + oldPath).c_str(), 1);

    struct Case {
        std::string what;
        std::string stored;
        mode_t mode;  // given to the file that the path names; 0 leaves it
        uid_t owner;  // -1 leaves it
        bool runs;
    } cases[] = {
        {"own file 0755", good, 0755, uid_t(-1), true},
        {"own file 0700", good, 0700, uid_t(-1), true},
        {"symbolic link to it", link, 0, uid_t(-1), true},
        {"bare name on the search path", "pathbrowser", 0, uid_t(-1), true},
        {"group-writable", good, 0775, uid_t(-1), false},
        {"writable by others", good, 0757, uid_t(-1), false},
        {"not executable", good, 0644, uid_t(-1), false},
        {"bare name, group-writable", "pathbrowser", 0775, uid_t(-1), false},
        {"bare name not found", "no-such-browser", 0, uid_t(-1), false},
        {"owned by another user", good, 0755, uid_t(65534), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = c.stored.find('/') == std::string::npos ? onPath : c.stored;
        if (c.mode)
            chmod(file.c_str(), c.mode);
        if (c.owner != uid_t(-1)) {
            if (geteuid() != 0)
                continue;  // only root can hand a file to another user
            ASSERT_EQ(chown(file.c_str(), c.owner, gid_t(-1)), 0);
        }
        ThePrefs.SetBrowser(c.stored.c_str());
        ThePrefs.SetBrowserPid(777);
        if (c.runs) {
            BrowserRun r = HelpOnce();
            EXPECT_EQ(r.args, std::vector<std::string>{std::string(HelpUrl) + "Status.htm"});
            EXPECT_EQ(ThePrefs.GetBrowserPid(), r.pid);
            EXPECT_EQ(FindWindow("Error message"), nullptr);
            continue;
        }
        ShowHelp();
        ErrWin *err = WaitForError();
        ASSERT_NE(err, nullptr);
        EXPECT_EQ(LabelTexts(*err), std::vector<std::string>{"Cannot execute browser!"});
        EXPECT_EQ(ThePrefs.GetBrowserPid(), 0);
        Step(200);
        EXPECT_TRUE(Runs().empty());
        err->okbutton->clicked();
        Step();
        if (c.owner != uid_t(-1)) {
            EXPECT_EQ(chown(file.c_str(), geteuid(), gid_t(-1)), 0);
        }
    }
    setenv("PATH", oldPath.c_str(), 1);
}

// Run as root (through sudo, say) from a folder that a user owns, a program
// that any user may have stored must neither run that folder's files nor run
// as root: the URL is no file of the folder, and a choice from the shared
// file runs as the user who ran sudo or pkexec, or not at all.
TEST_F(HelpTest, RootRunsNoOtherUsersChoice)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    const uid_t nobody = 65534;
    // The folder oxu is started in, owned by a user, holding the URL as a
    // relative path: a script that leaves a mark when run.
    const std::string folder = dir + "/home";
    const std::string mark = records + "/script-ran";
    std::filesystem::create_directories(folder + "/file:/opt/tavlo/helpml");
    {
        std::ofstream out(folder + "/file:/opt/tavlo/helpml/Status.htm");
        out << "#!/bin/sh\nid -u > " << mark << "\n";
    }
    chmod((folder + "/file:/opt/tavlo/helpml/Status.htm").c_str(), 0755);
    for (const auto &e : std::filesystem::recursive_directory_iterator(folder))
        ASSERT_EQ(lchown(e.path().c_str(), nobody, nobody), 0);
    ASSERT_EQ(chown(folder.c_str(), nobody, nobody), 0);
    const std::string here = std::filesystem::current_path();
    ASSERT_EQ(chdir(folder.c_str()), 0);
    const std::string browser = Browser("browser");

    const char *const vars[] = {"SUDO_UID", "SUDO_GID", "PKEXEC_UID"};
    const std::string refusal = "Will not start a browser as root: any user can set its path";
    const std::string failed = "Cannot execute browser!";
    struct Case {
        std::string what;
        std::string stored;
        bool prefsMine;
        std::vector<std::string> env;  // NAME=VALUE
        std::string error;             // empty: the browser runs
        uid_t runsAs;
    } cases[] = {
        {"sh from the shared file", "/bin/sh", false, {}, refusal, 0},
        {"env from the shared file", "/usr/bin/env", false, {}, refusal, 0},
        {"sh as the user of sudo", "/bin/sh", false, {"SUDO_UID=65534", "SUDO_GID=65534"}, failed, 0},
        {"env as the user of pkexec", "/usr/bin/env", false, {"PKEXEC_UID=65534"}, failed, 0},
        {"sh from root's own file", "/bin/sh", true, {}, failed, 0},
        {"env from root's own file", "/usr/bin/env", true, {}, failed, 0},
        {"browser from the shared file", browser, false, {}, refusal, 0},
        {"browser as the user of sudo", browser, false, {"SUDO_UID=65534", "SUDO_GID=65534"}, "",
         nobody},
        {"browser as the user of sudo, no group given", browser, false, {"SUDO_UID=65534"}, "",
         nobody},
        {"browser as the user of pkexec", browser, false, {"PKEXEC_UID=65534"}, "", nobody},
        {"browser from root's own file", browser, true, {"SUDO_UID=65534"}, "", 0},
        {"sudo run by root itself", browser, false, {"SUDO_UID=0", "SUDO_GID=0"}, refusal, 0},
        {"no number", browser, false, {"SUDO_UID=65534x"}, refusal, 0},
        // Nothing to start the browser as: no name, home or groups.
        {"sudo user with no password entry", browser, false,
         {"SUDO_UID=4242", "SUDO_GID=4242"}, refusal, 0},
        {"pkexec user with no password entry", browser, false, {"PKEXEC_UID=4242"}, refusal, 0},
    };
    ASSERT_EQ(getpwuid(4242), nullptr);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        PrefsOwnedByMe(c.prefsMine);
        for (const char *v : vars)
            unsetenv(v);
        for (const std::string &e : c.env)
            putenv(const_cast<char *>(e.c_str()));
        ThePrefs.SetBrowser(c.stored.c_str());
        ThePrefs.SetBrowserPid(0);
        if (c.error.empty()) {
            BrowserRun r = HelpOnce();
            EXPECT_EQ(r.uid, c.runsAs);
            EXPECT_EQ(r.cwd, "/");
            EXPECT_EQ(r.args, std::vector<std::string>{std::string(HelpUrl) + "Status.htm"});
            EXPECT_EQ(ThePrefs.GetBrowserPid(), r.pid);
            RunUntil([] { return HelpRemoteFlag == 0 && Zombies().empty(); },
                     "the browser to end and be collected");
            EXPECT_EQ(FindWindow("Error message"), nullptr);
        } else {
            ShowHelp();
            ErrWin *err = WaitForError();
            ASSERT_NE(err, nullptr);
            EXPECT_EQ(LabelTexts(*err), std::vector<std::string>{c.error});
            EXPECT_FALSE(err->exitconn.connected());
            err->okbutton->clicked();
            Step();
        }
        Step(100);
        EXPECT_FALSE(std::filesystem::exists(mark));
        std::filesystem::remove(mark);
        if (c.stored == browser && !c.error.empty()) {
            EXPECT_TRUE(Runs().empty());
        }
    }
    for (const char *v : vars)
        unsetenv(v);
    EXPECT_EQ(chdir(here.c_str()), 0);
}

// Started for the user of sudo, the browser has nothing of root's: no
// variable but those that show its window, no descriptor above 2, no key of
// root's session keyring; its own HOME, USER, LOGNAME, SHELL and PATH. Root's
// own choice runs as root with root's environment, but no descriptor above 2.
TEST_F(HelpTest, BrowserOfTheUserOfSudoHasNothingOfRoots)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    const uid_t nobody = 65534;
    const struct passwd *pw = getpwuid(nobody);
    ASSERT_NE(pw, nullptr);
    const std::string name = pw->pw_name, home = pw->pw_dir,
                      shell = *pw->pw_shell ? pw->pw_shell : "/bin/sh";

    // A file only root may read, open on a descriptor above 2 ...
    const std::string secret = dir + "/root-only";
    {
        std::ofstream out(secret);
        out << "root-only-descriptor\n";
    }
    ASSERT_EQ(chmod(secret.c_str(), 0600), 0);
    ASSERT_EQ(fcntl(HeldFd, F_GETFD), -1) << "descriptor " << HeldFd << " in use";
    const int fd = open(secret.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(dup2(fd, HeldFd), HeldFd);
    close(fd);
    // ... a key in root's session keyring (a new one, this process's own) ...
    ASSERT_GE(syscall(SYS_keyctl, KEYCTL_JOIN_SESSION_KEYRING, nullptr), 0);
    const char keyName[] = "helptest-root-key";
    const long key = syscall(SYS_add_key, "user", keyName, "root-only-key", 13,
                             KEY_SPEC_SESSION_KEYRING);
    ASSERT_GT(key, 0);
    // ... and root's surroundings.
    ScopedEnv env({{"HELPTEST_SECRET", "root-only-variable"},
                   {"LD_LIBRARY_PATH", "/root/lib"},
                   {"KRB5CCNAME", "KEYRING:persistent:0"},
                   {"SSH_AUTH_SOCK", "/root/agent"},
                   {"HOME", "/root"},
                   {"USER", "root"},
                   {"LOGNAME", "root"},
                   {"SHELL", "/bin/bash"},
                   {"PATH", "/root/bin:/usr/sbin:/usr/bin:/sbin:/bin"},
                   // What shows its window on the same display goes with it.
                   {"XAUTHORITY", "/root/.Xauthority"},
                   {"WAYLAND_DISPLAY", "wayland-7"},
                   {"LANG", "C.UTF-8"},
                   {"LC_TIME", "C"},
                   {"SUDO_UID", nullptr},
                   {"SUDO_GID", nullptr},
                   {"PKEXEC_UID", nullptr}});
    const std::string userRun = dir + "/run-user", rootRun = dir + "/run-root";
    mkdir(userRun.c_str(), 0700);
    ASSERT_EQ(chown(userRun.c_str(), nobody, nobody), 0);
    mkdir(rootRun.c_str(), 0700);
    const std::string browser = Browser("browser");

    struct Case {
        std::string what;
        bool prefsMine;
        std::vector<std::string> ids;  // NAME=VALUE
        std::string runtime;           // XDG_RUNTIME_DIR
        bool runtimePassed;
    } cases[] = {
        {"sudo, the user's own runtime folder", false, {"SUDO_UID=65534", "SUDO_GID=65534"},
         userRun, true},
        {"pkexec, root's runtime folder", false, {"PKEXEC_UID=65534"}, rootRun, false},
        {"root's own choice", true, {"SUDO_UID=65534"}, rootRun, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        PrefsOwnedByMe(c.prefsMine);
        ScopedEnv runtime({{"XDG_RUNTIME_DIR", c.runtime.c_str()}});
        for (const std::string &e : c.ids)
            putenv(const_cast<char *>(e.c_str()));
        ThePrefs.SetBrowser(browser.c_str());
        BrowserRun r = HelpOnce();
        for (const std::string &e : c.ids)
            unsetenv(e.substr(0, e.find('=')).c_str());

        EXPECT_EQ(r.held, "");
        for (const auto &[number, target] : r.fds) {
            if (number > 2) {  // but the shell's own, on its script
                EXPECT_EQ(target, browser) << number;
            }
        }
        if (c.prefsMine) {
            EXPECT_EQ(r.uid, 0u);
            EXPECT_EQ(r.env["HELPTEST_SECRET"], "root-only-variable");
            continue;
        }
        EXPECT_EQ(r.uid, nobody);
        EXPECT_EQ(r.keys.find(keyName), std::string::npos) << r.keys;
        std::map<std::string, std::string> expected = {
            {"HOME", home},
            {"USER", name},
            {"LOGNAME", name},
            {"SHELL", shell},
            {"PATH", "/usr/local/bin:/usr/bin:/bin"},
            {"XAUTHORITY", "/root/.Xauthority"},
            {"WAYLAND_DISPLAY", "wayland-7"},
            {"LANG", "C.UTF-8"},
            {"LC_TIME", "C"},
        };
        if (const char *display = std::getenv("DISPLAY"))
            expected["DISPLAY"] = display;
        for (char **e = environ; *e; ++e)
            if (std::strncmp(*e, "LC_", 3) == 0) {
                const std::string var = *e;
                expected[var.substr(0, var.find('='))] = var.substr(var.find('=') + 1);
            }
        if (c.runtimePassed)
            expected["XDG_RUNTIME_DIR"] = c.runtime;
        EXPECT_EQ(r.env, expected);
    }
    syscall(SYS_keyctl, KEYCTL_REVOKE, key);
    close(HeldFd);
}

// A stored link runs under its target's own name, so that nothing of the
// folder the link is in decides what runs: here another user's Python
// environment beside a link to the system's python3, whose .pth file would
// run with the rights of whoever asks for help.
TEST_F(HelpTest, LinkedInterpreterRunsNothingOfTheLinksFolder)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    const std::string python = "/usr/bin/python3";
    if (access(python.c_str(), X_OK) != 0)
        GTEST_SKIP() << "no " << python;
    std::string version;
    if (FILE *p = popen((python + " -c 'import sys; print(\"%d.%d\" % sys.version_info[:2])'").c_str(),
                        "r")) {
        char line[32] = "";
        if (fgets(line, sizeof line, p))
            version = line;
        pclose(p);
    }
    version = version.substr(0, version.find('\n'));
    ASSERT_FALSE(version.empty());

    const uid_t other = 1, nobody = 65534;
    const std::string venv = dir + "/venv";
    const std::string site = venv + "/lib/python" + version + "/site-packages";
    const std::string link = venv + "/bin/python3";
    const std::string mark = records + "/pth-ran";
    std::filesystem::create_directories(site);
    std::filesystem::create_directories(venv + "/bin");
    {
        std::ofstream cfg(venv + "/pyvenv.cfg");
        cfg << "home = /usr/bin\ninclude-system-site-packages = false\n";
        std::ofstream pth(site + "/mark.pth");
        pth << "import os; open('" << mark << "', 'a').write('%d\\n' % os.getuid())\n";
    }
    ASSERT_EQ(symlink(python.c_str(), link.c_str()), 0);
    for (const auto &e : std::filesystem::recursive_directory_iterator(venv))
        ASSERT_EQ(lchown(e.path().c_str(), other, other), 0);
    ASSERT_EQ(chown(venv.c_str(), other, other), 0);
    // Run by the link's name, the folder does take over.
    ASSERT_EQ(std::system(("env -i " + link + " -c pass").c_str()), 0);
    ASSERT_TRUE(std::filesystem::exists(mark));
    std::filesystem::remove(mark);

    struct Case {
        std::string what;
        bool prefsMine;
        std::vector<std::string> ids;  // NAME=VALUE
        bool ordinaryUser;             // oxu run by nobody
    } cases[] = {
        {"root for the user of sudo", false, {"SUDO_UID=65534", "SUDO_GID=65534"}, false},
        {"root's own choice", true, {}, false},
        {"an ordinary user", false, {}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        PrefsOwnedByMe(c.prefsMine);
        for (const std::string &e : c.ids)
            putenv(const_cast<char *>(e.c_str()));
        ThePrefs.SetBrowser(link.c_str());
        ThePrefs.SetBrowserPid(0);
        {
            std::unique_ptr<AsUser> user;
            if (c.ordinaryUser) {
                user = std::make_unique<AsUser>(nobody, nobody);
                ASSERT_TRUE(user->ok);
            }
            ShowHelp();
            // python3 finds no script at the URL and says so with its status.
            ErrWin *err = WaitForError();
            ASSERT_NE(err, nullptr);
            EXPECT_EQ(LabelTexts(*err), std::vector<std::string>{"Cannot execute browser!"});
            err->okbutton->clicked();
            Step();
        }
        for (const std::string &e : c.ids)
            unsetenv(e.substr(0, e.find('=')).c_str());
        EXPECT_GT(ThePrefs.GetBrowserPid(), 0);  // started: no failed exec
        EXPECT_FALSE(std::filesystem::exists(mark)) << Slurp(mark);
        std::filesystem::remove(mark);
    }
}

// The program run is the file checked: no folder above it may be changeable
// by another user, and a link is followed once, when checked.
TEST_F(HelpTest, BrowserInAFolderOthersCanChangeIsNotRun)
{
    const std::string open = dir + "/open";
    mkdir(open.c_str(), 0755);
    const std::string inOpen = open + "/browser";
    std::filesystem::copy_file(Browser("browser"), inOpen);
    chmod(inOpen.c_str(), 0755);
    const std::string link = dir + "/link";
    ASSERT_EQ(symlink(inOpen.c_str(), link.c_str()), 0);
    struct Case {
        std::string what;
        std::string stored;
        mode_t folder;
        bool runs;
    } cases[] = {
        {"folder 0755", inOpen, 0755, true},
        {"folder writable by others", inOpen, 0777, false},
        {"folder writable by its group", inOpen, 0775, false},
        {"sticky folder writable by others", inOpen, 01777, true},
        {"link into a folder writable by others", link, 0777, false},
        {"link into a folder 0755", link, 0755, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        chmod(open.c_str(), c.folder);
        ThePrefs.SetBrowser(c.stored.c_str());
        if (c.runs) {
            BrowserRun r = HelpOnce();
            EXPECT_EQ(r.args, std::vector<std::string>{std::string(HelpUrl) + "Status.htm"});
            continue;
        }
        ShowHelp();
        ErrWin *err = WaitForError();
        ASSERT_NE(err, nullptr);
        EXPECT_EQ(LabelTexts(*err), std::vector<std::string>{"Cannot execute browser!"});
        err->okbutton->clicked();
        Step(200);
        EXPECT_TRUE(Runs().empty());
    }
    chmod(open.c_str(), 0755);
}

TEST_F(HelpTest, WithoutPathTheDialogAsksFirst)
{
    const std::string path = Browser("browser");
    // Cancelled: no path, nothing started.
    bool seen = false;
    ActOn<browse>("browser dialog", [&](browse &b) {
        seen = true;
        EXPECT_EQ(b.entry->get_text(), "");
        b.entry->set_text(path);
        FindButton(b, "Cancel")->clicked();
    });
    ShowHelp();
    EXPECT_TRUE(seen);
    EXPECT_EQ(ThePrefs.GetBrowser(), nullptr);
    Step(100);
    EXPECT_TRUE(Runs().empty());

    // Entered: the browser is started on the same request.
    ActOn<browse>("browser dialog", [&](browse &b) {
        b.entry->set_text(path);
        b.okbutton->clicked();
    });
    BrowserRun r = HelpOnce();
    ASSERT_NE(ThePrefs.GetBrowser(), nullptr);
    EXPECT_EQ(std::string(ThePrefs.GetBrowser()), path);
    EXPECT_EQ(r.args, std::vector<std::string>{std::string(HelpUrl) + "Status.htm"});

    // Stored: "Help" goes straight to the browser. A dialog would be up
    // when its loop first turns.
    sigc::connection trap = Glib::signal_timeout().connect(
        [] {
            if (browse *b = FindBrowse()) {
                ADD_FAILURE() << "dialog opened with a stored path";
                b->close();
            }
            return false;
        },
        0);
    HelpOnce();
    trap.disconnect();
}

TEST_F(HelpTest, DialogLooksAsItShould)
{
    ActOn<browse>("browser dialog", [](browse &b) {
        int w = 0, h = 0;
        b.get_size_request(w, h);
        EXPECT_EQ(w, 300);
        EXPECT_EQ(h, 100);
        EXPECT_FALSE(b.get_resizable());
        EXPECT_TRUE(b.get_modal());
        EXPECT_EQ(b.get_title(), "");
        EXPECT_EQ(LabelTexts(b), (std::vector<std::string>{
                                      "", "Please enter the pathname of your HTML browser"}));
        EXPECT_NE(FindButton(b, "Ok"), nullptr);
        EXPECT_NE(FindButton(b, "Cancel"), nullptr);
        // Centred on the 1280 x 1024 screen.
        int x = 0, y = 0;
        b.get_position(x, y);
        EXPECT_NEAR(x + b.get_width() / 2, 640, 2);
        EXPECT_NEAR(y + b.get_height() / 2, 512, 2);
        // The entry takes 128 characters; the stored field keeps 127.
        b.entry->set_text(std::string(200, 'p'));
        EXPECT_EQ(b.entry->get_text().size(), 128u);
        b.okbutton->clicked();
    });
    HelpBrowserPath();
    ASSERT_NE(ThePrefs.GetBrowser(), nullptr);
    EXPECT_EQ(std::string(ThePrefs.GetBrowser()), std::string(127, 'p'));
}

TEST_F(HelpTest, SelectHelpBrowserEditsTheStoredPath)
{
    struct Case {
        std::string how;
        std::string text;
        const char *stored;  // null: cleared
    } cases[] = {
        {"ok", "/usr/bin/firefox", "/usr/bin/firefox"},
        {"enter", "/usr/bin/lynx", "/usr/bin/lynx"},
        {"cancel", "/usr/bin/lynx", "/old/browser"},
        {"close", "/usr/bin/lynx", "/old/browser"},
        {"ok", "", nullptr},
    };
    for (const auto &c : cases) {
        ThePrefs.SetBrowser("/old/browser");
        bool seen = false;
        ActOn<browse>("browser dialog", [&](browse &b) {
            seen = true;
            EXPECT_EQ(b.entry->get_text(), "/old/browser");
            b.entry->set_text(c.text);
            if (c.how == "ok")
                b.okbutton->clicked();
            else if (c.how == "enter")
                b.entry->activate();
            else if (c.how == "cancel")
                FindButton(b, "Cancel")->clicked();
            else
                b.close();
        });
        OnCommandsMenu(ROW_HELP_BROWSER);  // returns when the dialog is gone
        EXPECT_TRUE(seen) << c.how;
        Step();
        EXPECT_EQ(FindBrowse(), nullptr) << c.how;
        const char *stored = ThePrefs.GetBrowser();
        if (c.stored) {
            ASSERT_NE(stored, nullptr) << c.how;
            EXPECT_EQ(std::string(stored), c.stored) << c.how;
        } else {
            EXPECT_EQ(stored, nullptr) << c.how;
        }
    }
    // Cleared: the next "Help" asks again.
    bool asked = false;
    ActOn<browse>("browser dialog", [&](browse &b) {
        asked = true;
        b.close();
    });
    ShowHelp();
    EXPECT_TRUE(asked);
}

// A path the file may not hold (its flush failed) holds for the run, and the
// error window says it was not saved; its Ok only closes.
TEST_F(HelpTest, BrowserPathNotSavedIsTold)
{
    ProcessSandbox sb;
    const struct {
        const char *text;  // "": the path cleared
        int err;
        const char *told;
    } cases[] = {
        {"/usr/bin/lynx", EIO, "Browser path not saved: Input/output error"},
        {"", ENOSPC, "Browser path not saved: No space left on device"},
    };
    for (const auto &c : cases) {
        ThePrefs.SetBrowser("/old/browser");
        sb.fileFail("opt/tavlo/OXU.PRFS", "sync", c.err);
        Later(50, [&] {
            browse *b = FindBrowse();
            ASSERT_NE(b, nullptr);
            b->entry->set_text(c.text);
            b->okbutton->clicked();
        });
        OnCommandsMenu(ROW_HELP_BROWSER);
        sb.fileFail("opt/tavlo/OXU.PRFS", "none", 0);
        ErrWin *err = WaitForError();
        ASSERT_NE(err, nullptr) << c.told;
        EXPECT_EQ(LabelTexts(*err), std::vector<std::string>{c.told});
        EXPECT_FALSE(err->exitconn.connected());
        EXPECT_EQ(FindBrowse(), nullptr);
        EXPECT_EQ(std::string(ThePrefs.GetBrowser() ? ThePrefs.GetBrowser() : ""), c.text);
        err->okbutton->clicked();
        Step();
        EXPECT_EQ(FindWindow("Error message"), nullptr);
    }
}

TEST_F(HelpTest, EachReportWindowOpensItsOwnPage)
{
    ProcessSandbox sb;
    sb.add("eth0");
    RescanRadios();
    CurrentRadio = Radios[0];
    ThePrefs.SetBrowser(Browser("browser").c_str());
    const std::vector<std::string> status = {HelpUrl + std::string("Status.htm")},
                                   statistics = {HelpUrl + std::string("Statistics.htm")};
    auto *statusWindow = new StatusWindow(CurrentRadio);
    OpenWindows.push_back(statusWindow);
    auto *statsWindow = new StatsWindow(CurrentRadio);
    OpenWindows.push_back(statsWindow);
    for (int round = 0; round < 2; ++round) {
        FindButton(*statusWindow, "Help")->clicked();
        EXPECT_EQ(WaitForRun().args, status);
        FindButton(*statsWindow, "Help")->clicked();
        EXPECT_EQ(WaitForRun().args, statistics);
    }
    // Closed, the statistics window leaves the status window's page current.
    FindButton(*statsWindow, "OK")->clicked();
    Gtk::Main::run();  // until its end ends this loop
    EXPECT_EQ(CurrentHelpPage, &HelpPages[7]);
    FindButton(*statusWindow, "Help")->clicked();
    EXPECT_EQ(WaitForRun().args, status);
    FindButton(*statusWindow, " Ok ")->clicked();
    Gtk::Main::run();
    EXPECT_TRUE(OpenWindows.empty());
}

TEST(HelpPagesTest, NotebookPageSelectsItsRow)
{
    CurrentHelpPage = nullptr;
    for (guint n = 0; n < 8; ++n) {
        SelectHelpPage(nullptr, n);
        EXPECT_EQ(CurrentHelpPage, &HelpPages[n]);
    }
    for (guint n : {8u, 1000u}) {
        SelectHelpPage(nullptr, n);
        EXPECT_EQ(CurrentHelpPage, &HelpPages[7]);
    }
}

TEST(HelpPagesTest, FindSubstring)
{
    struct Case {
        const char *text;
        const char *pattern;
        int at;
    } cases[] = {
        {"", "netscape", -1},
        {"", "", -1},
        {"/usr/bin/firefox", "netscape", -1},
        {"netscape", "netscape", 0},
        {"/opt/netscape/netscape", "netscape", 5},
        {"/usr/bin/Netscape", "netscape", -1},
        {"/usr/bin/netscap", "netscape", -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FindSubstring(c.text, c.pattern), c.at) << c.text << " / " << c.pattern;
}

} // namespace
