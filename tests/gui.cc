#include "gui.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <cstdlib>
#include <stdexcept>

#include <glibmm/main.h>
#include <gtk/gtk.h>
#include <gtkmm/bin.h>
#include <gtkmm/container.h>
#include <gtkmm/main.h>

#include "globals.h"

void Step(int ms)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        while (Gtk::Main::events_pending())
            Gtk::Main::iteration(false);
        if (ms > 0)
            g_usleep(2000);
    } while (std::chrono::steady_clock::now() < until);
}

bool RunUntil(const std::function<bool()> &done, const std::string &what, int seconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until) {
            ADD_FAILURE() << "waited " << seconds << " s in vain for " << what;
            return false;
        }
        if (Gtk::Main::events_pending())
            Gtk::Main::iteration(false);
        else
            g_usleep(5000);
    }
    return true;
}

void Later(int ms, std::function<void()> fn)
{
    Glib::signal_timeout().connect_once(std::move(fn), unsigned(ms));
}

sigc::connection ActOnWindow(const std::string &what, std::function<Gtk::Window *()> find,
                             std::function<void(Gtk::Window &)> act, int seconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    // Polled without holding the loop: the window may be made by it.
    return Glib::signal_timeout().connect(
        [what, find, act, until, seconds] {
            Gtk::Window *window = find();
            if (!window) {
                if (std::chrono::steady_clock::now() < until)
                    return true;
                ADD_FAILURE() << "no " << what << " came"
                              << (seconds ? " within " + std::to_string(seconds) + " s" : "");
                if (Gtk::Main::level() > 0)
                    Gtk::Main::quit();
                return false;
            }
            act(*window);
            // An ASSERT in act returned early, maybe before the window's end:
            // a window left shown would hold its loop.
            if (::testing::Test::HasFatalFailure())
                if (Gtk::Window *left = find())
                    left->close();
            return false;
        },
        10);
}

bool WaitForFrame(Gtk::Window &window)
{
    GdkFrameClock *clock = gtk_widget_get_frame_clock(GTK_WIDGET(window.gobj()));
    if (!clock) {
        ADD_FAILURE() << "window '" << window.get_title() << "' has no frame clock: not shown";
        return false;
    }
    bool painted = false;
    const gulong handler = g_signal_connect_swapped(
        clock, "after-paint", G_CALLBACK(+[](bool *done) { *done = true; }), &painted);
    gdk_frame_clock_request_phase(clock, GDK_FRAME_CLOCK_PHASE_PAINT);
    const bool done = RunUntil([&] { return painted; }, "a frame of window '" + window.get_title() + "'");
    g_signal_handler_disconnect(clock, handler);
    return done;
}

void Settle(Gtk::Window &window)
{
    // A new size is laid out at the next frame, asked of the server, then
    // confirmed by it, and laid out again: give each step its turn.
    for (int i = 0; i < 3; ++i) {
        WaitForFrame(window);
        window.get_display()->sync();
        Step();
    }
}

void ShownSize(Gtk::Window &window, int &width, int &height)
{
    Settle(window);
    int x = 0, y = 0;
    width = height = -1;
    if (auto gdk = window.get_window())
        gdk->get_geometry(x, y, width, height);
}

void DeleteInOwnLoop(Gtk::Window *window)
{
    Later(0, [window] { delete window; });
    Gtk::Main::run();
}

RedrawCounter::RedrawCounter(Gtk::Window &window, const std::vector<Gtk::Widget *> &widgets)
    : draws_(widgets.size(), 0)
{
    connections_.push_back(window.signal_size_allocate().connect([this](Gtk::Allocation &) { ++allocations_; }));
    for (size_t i = 0; i < widgets.size(); ++i)
        connections_.push_back(widgets[i]->signal_draw().connect(
            [this, i](const Cairo::RefPtr<Cairo::Context> &) {
                ++draws_[i];
                return false;
            },
            false));
}

RedrawCounter::~RedrawCounter()
{
    for (auto &c : connections_)
        c.disconnect();
}

Gtk::Window *FindWindow(const std::string &title)
{
    for (Gtk::Window *w : Gtk::Window::list_toplevels())
        if (w->get_visible() && w->get_title() == title)
            return w;
    return nullptr;
}

namespace {

void Walk(Gtk::Widget &w, const std::function<void(Gtk::Widget &)> &visit, bool intoButtons = true)
{
    visit(w);
    if (!intoButtons && dynamic_cast<Gtk::Button *>(&w))
        return;
    if (auto *c = dynamic_cast<Gtk::Container *>(&w))
        for (Gtk::Widget *child : c->get_children())
            Walk(*child, visit, intoButtons);
}

} // namespace

std::vector<std::string> LabelTexts(Gtk::Widget &root)
{
    std::vector<std::string> out;
    Walk(root, [&](Gtk::Widget &w) {
        if (auto *l = dynamic_cast<Gtk::Label *>(&w))
            out.push_back(l->get_text());
    }, false);
    return out;
}

Gtk::Button *FindButton(Gtk::Widget &root, const std::string &text)
{
    Gtk::Button *found = nullptr;
    Walk(root, [&](Gtk::Widget &w) {
        auto *b = dynamic_cast<Gtk::Button *>(&w);
        if (!found && b && b->get_label() == text)
            found = b;
    });
    return found;
}

void RescanRadios()
{
    Radios.Scan();
}


Program::Program(const Sandbox &sb, const std::string &program, const std::vector<std::string> &args,
                 const std::vector<std::string> &env)
    : out_(sb.path(program + ".out")), err_(sb.path(program + ".err"))
{
    const std::string simctl = EnvPath("SIMCTL"), path = EnvPath(program.c_str());
    std::vector<std::string> argv = {simctl, "run", sb.dir(), "--", path};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_ = fork();
    if (pid_ == 0) {
        if (!freopen(out_.c_str(), "w", stdout) || !freopen(err_.c_str(), "w", stderr))
            _exit(125);
        for (const auto &e : env)
            putenv(const_cast<char *>(e.c_str()));
        std::vector<char *> cargv;
        for (auto &a : argv)
            cargv.push_back(a.data());
        cargv.push_back(nullptr);
        execv(simctl.c_str(), cargv.data());
        _exit(127);
    }
}

Program::~Program()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

int Program::Wait(double seconds)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) {
        int st = 0;
        if (waitpid(pid_, &st, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

static std::string ReadText(const std::string &path)
{
    auto bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::string Program::Out() const { return ReadText(out_); }
std::string Program::Err() const { return ReadText(err_); }

bool Drive(const std::string &args)
{
    return RunCommand(EnvPath("XDRIVE") + " " + args).status == 0;
}

std::string Q(const std::string &title) { return "'" + title + "'"; }
