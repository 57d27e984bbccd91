#include "help.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/keyctl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <glibmm/main.h>
#include <gtkmm/label.h>
#include <gtkmm/main.h>

#include "error_window.h"
#include "globals.h"
#include "window_util.h"

const char *const HelpPages[8] = {
    "SystemParameters.htm",
    "NetworkSecurity.htm",
    "RFNetwork.htm",
    "HomeNetworking.htm",
    "AdvancedInfrastructure.htm",
    "AdvancedAdHoc.htm",
    "Statistics.htm",
    "Status.htm",
};

const char *const *CurrentHelpPage = nullptr;
int HelpRemoteFlag = 0;

namespace {

#ifndef CLOSE_RANGE_CLOEXEC
#define CLOSE_RANGE_CLOEXEC (1U << 2)
#endif

const char HelpDir[] = "file:/opt/tavlo/helpml/";

// Self-pipe from the SIGCHLD handler to the main loop.
int ChildPipe[2] = {-1, -1};
// The children that ShowHelp started and that have not been collected yet;
// other children of the process are left to whoever started them.
std::vector<pid_t> HelpChildren;

bool CollectHelpChildren(Glib::IOCondition)
{
    char drain[64];
    while (read(ChildPipe[0], drain, sizeof drain) > 0) {
    }
    for (auto it = HelpChildren.begin(); it != HelpChildren.end();) {
        int status = 0;
        pid_t got;
        do
            got = waitpid(*it, &status, WNOHANG);
        while (got < 0 && errno == EINTR);
        if (got == 0) {
            ++it;
            continue;
        }
        it = HelpChildren.erase(it);
        if (got < 0)  // already collected elsewhere: nothing is known of it
            continue;
        HelpRemoteFlag = 0;
        if (status != 0)
            (new ErrWin)->Show("Cannot execute browser!");
    }
    return true;
}

void WatchHelpChildren()
{
    if (ChildPipe[0] < 0) {
        if (pipe2(ChildPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            ChildPipe[0] = ChildPipe[1] = -1;
            return;
        }
        Glib::signal_io().connect(sigc::ptr_fun(&CollectHelpChildren), ChildPipe[0],
                                  Glib::IO_IN);
    }
    struct sigaction sa = {};
    sa.sa_handler = HelpChildExited;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigaction(SIGCHLD, &sa, nullptr);
}

// The file that a browser path names: the path itself when it holds a '/',
// otherwise the first executable file of that name on the search path, where
// execlp would find it. Empty when there is none.
std::string BrowserFile(const char *path)
{
    if (!*path)
        return {};
    if (std::strchr(path, '/'))
        return path;
    const char *env = std::getenv("PATH");
    const std::string dirs = env ? env : "/bin:/usr/bin";
    for (size_t start = 0; start <= dirs.size();) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
        const std::string file = dir + "/" + path;
        struct stat st;
        if (stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(file.c_str(), X_OK) == 0)
            return file;
        start = end + 1;
    }
    return {};
}

// Owned by root or by the user the browser runs as, and changeable by no one
// else: a folder that others may write only when it is sticky, since then
// they cannot replace what they do not own.
bool OwnedSafely(const struct stat &st, uid_t user)
{
    if (st.st_uid != 0 && st.st_uid != user)
        return false;
    if (S_ISDIR(st.st_mode))
        return !(st.st_mode & (S_IWGRP | S_IWOTH)) || (st.st_mode & S_ISVTX);
    return !(st.st_mode & (S_IWGRP | S_IWOTH));
}

// The preferences file is writable by every user, so the path stored there
// must not decide alone what runs as whoever asks for help: only a regular
// executable file that neither it nor any folder above it can be changed by
// another user. The result is the file's own path, free of symbolic links,
// which is what is run, so that no link can be turned elsewhere between this
// check and the start; empty when the file is not to be run.
std::string TrustedBrowser(const std::string &file, uid_t user)
{
    if (file.empty())
        return {};
    char *resolved = realpath(file.c_str(), nullptr);
    if (!resolved)
        return {};
    const std::string real = resolved;
    std::free(resolved);

    struct stat st;
    if (stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        !(st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) || !OwnedSafely(st, user))
        return {};
    // Every folder above it, up to and with "/".
    for (size_t slash = real.rfind('/'); slash != std::string::npos;
         slash = slash ? real.rfind('/', slash - 1) : std::string::npos) {
        const std::string folder = slash ? real.substr(0, slash) : "/";
        if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || !OwnedSafely(st, user))
            return {};
    }
    return real;
}

// A user id handed on by sudo or pkexec: a whole decimal number, not root's.
bool ParseId(const char *text, unsigned long &id)
{
    if (!text || !*text || std::strlen(text) > 10)
        return false;
    for (const char *c = text; *c; ++c)
        if (*c < '0' || *c > '9')
            return false;
    id = std::strtoul(text, nullptr, 10);
    return id != 0 && id < 0xFFFFFFFFul;
}

// The runtime folder named is that user's own, not root's or another's.
bool OwnRuntimeFolder(const char *path, uid_t user)
{
    struct stat st;
    return path[0] == '/' && lstat(path, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == user;
}

// Whom the browser runs as. With root's rights and a path from a file that
// other users can write, not as root: as the user who ran sudo or pkexec,
// with that user's groups, or not at all.
struct BrowserUser {
    bool refused = false;
    bool other = false;  // the ids below are taken in the child
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
    // For another user only: what that user's own session would hand a
    // program, and what it needs to show its window on oxu's display.
    std::vector<std::string> environment;
};

BrowserUser ChooseBrowserUser()
{
    BrowserUser user;
    user.uid = geteuid();
    if (user.uid != 0 || !ThePrefs.WritableByOthers())
        return user;

    unsigned long uid = 0, gid = 0;
    bool haveGid = false;
    if (ParseId(std::getenv("SUDO_UID"), uid)) {
        haveGid = ParseId(std::getenv("SUDO_GID"), gid);
    } else if (!ParseId(std::getenv("PKEXEC_UID"), uid)) {
        user.refused = true;
        return user;
    }
    // A user the password file does not know has no name, home or groups to
    // start the browser with.
    const struct passwd *pw = getpwuid(uid_t(uid));
    if (!pw) {
        user.refused = true;
        return user;
    }
    const std::string name = pw->pw_name, home = pw->pw_dir,
                      shell = *pw->pw_shell ? pw->pw_shell : "/bin/sh";
    if (!haveGid)
        gid = pw->pw_gid;
    user.other = true;
    user.uid = uid_t(uid);
    user.gid = gid_t(gid);
    user.groups = {user.gid};
    int n = 0;
    getgrouplist(name.c_str(), user.gid, nullptr, &n);
    if (n > 0) {
        std::vector<gid_t> groups(static_cast<size_t>(n));
        if (getgrouplist(name.c_str(), user.gid, groups.data(), &n) >= 0) {
            groups.resize(size_t(n));
            user.groups = groups;
        }
    }

    // Nothing else of root's: its variables may hold secrets, name its
    // sockets and credential caches, or load code (LD_PRELOAD), and the user
    // reads them in /proc. XAUTHORITY is only a file's name: the user can
    // use it only when it is the user's own file, as under sudo it mostly is.
    user.environment = {"HOME=" + home, "USER=" + name, "LOGNAME=" + name, "SHELL=" + shell,
                        "PATH=/usr/local/bin:/usr/bin:/bin"};
    std::vector<std::string> seen;
    for (char **e = environ; *e; ++e) {
        const char *eq = std::strchr(*e, '=');
        if (!eq)
            continue;
        const std::string var(*e, size_t(eq - *e));
        // The first of a name, as getenv sees it.
        if (std::find(seen.begin(), seen.end(), var) != seen.end())
            continue;
        seen.push_back(var);
        if (var == "DISPLAY" || var == "XAUTHORITY" || var == "WAYLAND_DISPLAY" ||
            var == "LANG" || var.rfind("LC_", 0) == 0 ||
            (var == "XDG_RUNTIME_DIR" && OwnRuntimeFolder(eq + 1, user.uid)))
            user.environment.push_back(*e);
    }
    return user;
}

// Has exec close every descriptor above 2. They are not closed before it:
// the child still records a failed exec in the preferences, whose checks use
// their own descriptor. limit: where to stop without close_range.
bool CloseAboveStderrOnExec(int limit)
{
#ifdef SYS_close_range
    if (syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC) == 0)
        return true;
#endif
    for (int fd = 3; fd < limit; ++fd)
        if (fcntl(fd, F_SETFD, FD_CLOEXEC) != 0 && errno != EBADF)
            return false;
    return true;
}

// A stored pid names a running browser only when it is a real process id
// (0 or a negative one would make kill address a whole group).
bool BrowserRunning(int32_t pid)
{
    return pid > 0 && kill(pid, 0) == 0;
}

} // namespace

void HelpChildExited(int)
{
    int saved = errno;
    if (ChildPipe[1] >= 0) {
        char byte = 0;
        (void)!write(ChildPipe[1], &byte, 1);
    }
    errno = saved;
}

int FindSubstring(const char *text, const char *pattern)
{
    if (!text || !*text || !pattern)
        return -1;
    const char *at = std::strstr(text, pattern);
    return at ? int(at - text) : -1;
}

void SelectHelpPage(Gtk::Widget *, guint number)
{
    if (number < sizeof HelpPages / sizeof HelpPages[0])
        CurrentHelpPage = &HelpPages[number];
}

void QuitMainLoop()
{
    Gtk::Main::quit();
}

const char *HelpBrowserPath()
{
    if (!ThePrefs.GetBrowser()) {
        new browse;
        Gtk::Main::run();
    }
    return ThePrefs.GetBrowser();
}

void ShowHelp()
{
    const char *stored = HelpBrowserPath();
    if (!stored)
        return;
    WatchHelpChildren();

    // Everything the child needs is made here: between fork and exec it may
    // only make async-signal-safe calls.
    char path[128];
    std::snprintf(path, sizeof path, "%s", stored);
    char url[128];
    std::snprintf(url, sizeof url, "%s%s", HelpDir, CurrentHelpPage ? *CurrentHelpPage : "");
    char remote[160];
    std::snprintf(remote, sizeof remote, "openURL(%s)", url);

    const bool useRemote =
        FindSubstring(path, "netscape") >= 0 && BrowserRunning(ThePrefs.GetBrowserPid());
    HelpRemoteFlag = useRemote ? 1 : 0;

    const BrowserUser user = ChooseBrowserUser();
    if (user.refused) {
        HelpRemoteFlag = 0;
        (new ErrWin)->Show("Will not start a browser as root: any user can set its path");
        return;
    }
    const std::string file = TrustedBrowser(BrowserFile(path), user.uid);
    if (file.empty()) {
        // As after a browser that could not be executed.
        ThePrefs.SetBrowserPid(0);
        HelpRemoteFlag = 0;
        (new ErrWin)->Show("Cannot execute browser!");
        return;
    }
    // The file is run under its own name: an interpreter finds its
    // surroundings through argv[0], and the stored path may be a link in a
    // folder of another user's, beside files that would take it over.
    char *const program = const_cast<char *>(file.c_str());
    char *const remoteArgs[] = {program, const_cast<char *>("-remote"), remote, nullptr};
    char *const urlArgs[] = {program, url, nullptr};
    std::vector<char *> environment;
    for (const std::string &var : user.environment)
        environment.push_back(const_cast<char *>(var.c_str()));
    environment.push_back(nullptr);
    char *const *env = user.other ? environment.data() : environ;
    // No descriptor is open at or above the soft limit unless the limit was
    // lowered after it was opened.
    struct rlimit files = {};
    const int fdLimit = getrlimit(RLIMIT_NOFILE, &files) != 0 ? 1024
                        : files.rlim_cur > rlim_t(INT_MAX)     ? INT_MAX
                                                               : int(files.rlim_cur);

    pid_t child = fork();
    if (child < 0)
        return;
    if (child == 0) {
        if (!useRemote)
            // The shared record shows the browser's pid to the program at once.
            ThePrefs.SetBrowserPid(getpid());
        // Nothing that oxu was started with or opened reaches the browser.
        bool ready = CloseAboveStderrOnExec(fdLimit);
        // The URL is no file of the folder oxu was started in, whatever
        // the browser makes of it.
        ready = ready && chdir("/") == 0;
        // Root's session keyring may hold root's keys and credential caches:
        // the user's browser gets a new one, joined as the user so that it
        // is the user's own, or does not start.
        if (ready && user.other)
            ready = setgroups(user.groups.size(), user.groups.data()) == 0 &&
                    setgid(user.gid) == 0 && setuid(user.uid) == 0 &&
                    syscall(SYS_keyctl, KEYCTL_JOIN_SESSION_KEYRING, nullptr) >= 0;
        if (ready)
            execve(program, useRemote ? remoteArgs : urlArgs, env);
        ThePrefs.SetBrowserPid(0);
        raise(SIGTERM);
        _exit(127);  // SIGTERM ignored by inheritance
    }
    HelpChildren.push_back(child);
}

browse::browse() : Gtk::Window(Gtk::WINDOW_TOPLEVEL)
{
    signal_delete_event().connect(sigc::mem_fun(*this, &browse::OnDelete));

    buttons = Gtk::manage(new Gtk::ButtonBox(Gtk::ORIENTATION_HORIZONTAL));
    buttons->set_layout(Gtk::BUTTONBOX_END);
    buttons->set_spacing(3);
    okbutton = Gtk::manage(new Gtk::Button("Ok"));
    auto *cancel = Gtk::manage(new Gtk::Button("Cancel"));
    buttons->add(*okbutton);
    buttons->add(*cancel);

    set_size_request(300, 100);
    set_position(Gtk::WIN_POS_CENTER);
    set_resizable(false);
    set_modal(true);
    set_title("");

    outer = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    promptbox = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0));
    promptbox->pack_start(
        *Gtk::manage(new Gtk::Label("Please enter the pathname of your HTML browser")), true,
        true, 0);
    entry = Gtk::manage(new Gtk::Entry);
    entry->set_max_length(128);
    if (const char *path = CurrentBrowser())
        entry->set_text(path);

    outer->pack_start(*Gtk::manage(new Gtk::Label("")), false, false, 0);
    outer->pack_start(*promptbox, false, false, 0);
    outer->pack_start(*entry, false, false, 0);
    outer->pack_end(*buttons, false, false, 0);
    add(*outer);

    okbutton->signal_clicked().connect(sigc::mem_fun(*this, &browse::OnOk));
    cancel->signal_clicked().connect(sigc::mem_fun(*this, &browse::Close));
    entry->signal_activate().connect(sigc::mem_fun(*this, &browse::OnOk));
    show_all();
}

browse::~browse()
{
    // The dialog's end is the end of the loop that its opener runs for it.
    Gtk::Main::quit();
}

bool browse::OnDelete(GdkEventAny *)
{
    Close();
    return true;
}

void browse::Close()
{
    // Ok and Enter can both arrive before the deferred delete has run.
    if (closing)
        return;
    closing = true;
    DestroyWindow(this);
}

const char *browse::CurrentBrowser()
{
    return ThePrefs.GetBrowser();
}

void browse::OnOk()
{
    if (closing)
        return;
    Glib::ustring text = entry->get_text();
    int err = 0;
    if (text.empty()) {
        err = ThePrefs.SetBrowser(nullptr);
    } else {
        // The stored field holds 127 bytes; cut whole characters, never a
        // part of one.
        while (text.bytes() > 127)
            text.erase(text.size() - 1);
        err = ThePrefs.SetBrowser(text.c_str());
    }
    // The path holds for this run either way.
    Close();
    if (err)
        (new ErrWin)->Show((std::string("Browser path not saved: ") + std::strerror(err)).c_str());
}
