#include "help.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

// The preferences file is writable by every user, so the path stored there
// must not decide alone what runs as whoever asks for help: only a regular
// executable file owned by root or by this user, and writable by no one else.
bool TrustedBrowser(const std::string &file)
{
    struct stat st;
    if (file.empty() || stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (!(st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)))
        return false;
    if (st.st_uid != 0 && st.st_uid != getuid() && st.st_uid != geteuid())
        return false;
    return !(st.st_mode & (S_IWGRP | S_IWOTH));
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

    // The file checked is the file run: no second search after the check.
    const std::string file = BrowserFile(path);
    if (!TrustedBrowser(file)) {
        // As after a browser that could not be executed.
        ThePrefs.SetBrowserPid(0);
        HelpRemoteFlag = 0;
        (new ErrWin)->Show("Cannot execute browser!");
        return;
    }
    char *const remoteArgs[] = {path, const_cast<char *>("-remote"), remote, nullptr};
    char *const urlArgs[] = {path, url, nullptr};

    pid_t child = fork();
    if (child < 0)
        return;
    if (child == 0) {
        if (useRemote) {
            execvp(file.c_str(), remoteArgs);
        } else {
            // The shared record shows the browser's pid to the program at once.
            ThePrefs.SetBrowserPid(getpid());
            execvp(file.c_str(), urlArgs);
        }
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
    if (text.empty()) {
        ThePrefs.SetBrowser(nullptr);
    } else {
        // The stored field holds 127 bytes; cut whole characters, never a
        // part of one.
        while (text.bytes() > 127)
            text.erase(text.size() - 1);
        ThePrefs.SetBrowser(text.c_str());
    }
    Close();
}
