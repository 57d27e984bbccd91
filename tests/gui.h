// In-process tests of the client utility's windows: the test program runs on
// its own X display and driver sandbox (tests/run-gui), so the program's
// global objects are built against that sandbox before main.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <gtkmm/button.h>
#include <gtkmm/dialog.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>

#include "sandbox.h"

// The sandbox that this process was started in.
class ProcessSandbox : public Sandbox {
public:
    ProcessSandbox() : Sandbox(Sandbox::Current{}) {}
};

// How long a test waits for what takes a second or less on an idle machine
// (a window to come, a dialog to read its folder, a child to write its
// record): enough for a sanitized build on a loaded machine, and far below
// CTest's limit, so that a wait in vain ends the case with a message.
constexpr int WaitSeconds = 60;

// Runs the main loop until nothing is pending, then for ms milliseconds more.
void Step(int ms = 0);

// Runs the main loop until done() holds. When it does not within seconds,
// the case fails with a message naming what was waited for, and the result
// is false.
bool RunUntil(const std::function<bool()> &done, const std::string &what, int seconds = WaitSeconds);

// Runs fn from the main loop after ms milliseconds: the way to act while a
// handler under test sits in a nested main loop. Every nested main loop runs
// under a guard (gui_main.cc): one that has not ended after WaitSeconds fails
// the case and is ended.
void Later(int ms, std::function<void()> fn);

// Runs a function when the scope ends, whichever way it is left: an ASSERT
// returns early from the function it is in.
class ScopeExit {
public:
    explicit ScopeExit(std::function<void()> fn) : fn_(std::move(fn)) {}
    ~ScopeExit()
    {
        if (fn_)
            fn_();
    }
    ScopeExit(const ScopeExit &) = delete;
    ScopeExit &operator=(const ScopeExit &) = delete;
    // Left as planned: nothing to run.
    void Dismiss() { fn_ = nullptr; }

private:
    std::function<void()> fn_;
};

// Calls act with a window from inside the nested main loop that the caller
// runs next (a menu command's, a dialog's), once find() gives one. act is to
// end the window (or arrange its end). Should it fail an assertion and
// return early, a window still shown is closed as a window manager would
// close it, which ends the loop waiting for it; when no window comes within
// seconds (0: at the loop's first turn), the case fails naming what and the
// innermost loop is ended. The connection polls for the window until act
// has run.
sigc::connection ActOnWindow(const std::string &what, std::function<Gtk::Window *()> find,
                             std::function<void(Gtk::Window &)> act, int seconds = WaitSeconds);

// The shown top-level window of class W, or null.
template <class W>
W *ShownWindow()
{
    for (Gtk::Window *w : Gtk::Window::list_toplevels())
        if (auto *found = dynamic_cast<W *>(w); found && found->get_visible())
            return found;
    return nullptr;
}

// ActOnWindow for the shown window of class W.
template <class W>
sigc::connection ActOn(const std::string &what, std::function<void(W &)> act)
{
    return ActOnWindow(
        what, [] { return static_cast<Gtk::Window *>(ShownWindow<W>()); },
        [act](Gtk::Window &w) { act(dynamic_cast<W &>(w)); });
}

// Runs the main loop until a shown window has been through one more frame
// of its frame clock: what the program laid out or queued for drawing
// before the call has then been done. False, the case failed, when none came.
bool WaitForFrame(Gtk::Window &window);

// Runs the main loop until the program's pending layout of a shown window,
// and what it asked of the X server for it, have been dealt with.
void Settle(Gtk::Window &window);

// The size that a shown window has on the X server once settled.
void ShownSize(Gtk::Window &window, int &width, int &height);

// Deletes a window whose destructor ends the innermost main loop (a report
// window) inside a loop that exists for that alone.
void DeleteInOwnLoop(Gtk::Window *window);

// Counts, from its making to its end, the size allocations of a window and
// the draws of some of its widgets: what a refresh costs on the screen.
class RedrawCounter {
public:
    RedrawCounter(Gtk::Window &window, const std::vector<Gtk::Widget *> &widgets);
    ~RedrawCounter();
    RedrawCounter(const RedrawCounter &) = delete;
    RedrawCounter &operator=(const RedrawCounter &) = delete;

    int allocations() const { return allocations_; }
    // One count per widget, in the order given.
    const std::vector<int> &draws() const { return draws_; }

private:
    int allocations_ = 0;
    std::vector<int> draws_;
    std::vector<sigc::connection> connections_;
};

// The shown top-level window with this title, or null.
Gtk::Window *FindWindow(const std::string &title);

// Every label text under a widget, in tree order, buttons' own labels left out.
std::vector<std::string> LabelTexts(Gtk::Widget &root);

// The first button under a widget whose label is text, or null.
Gtk::Button *FindButton(Gtk::Widget &root, const std::string &text);

// Answers the firmware command's file dialog (Gtk::RESPONSE_CANCEL or
// RESPONSE_OK, choosing path first) after ms milliseconds. When it fails,
// it still answers: Cancel, which ends the command.
void AnswerFileDialogLater(int ms, int response, const std::string &path = "");

// Rescans the global adapter list after the test has made its adapters.
void RescanRadios();

// Makes the adapters, rescans and builds the main window as oxu's main does,
// taking up the adapter (or opening the "Radio" window).
void StartMainWindow(const Sandbox &sb, const std::vector<std::string> &ifaces);

// A whole program run in the background under the stand-in of a sandbox,
// with its output kept; killed when the object ends.
class Program {
public:
    // env: NAME=VALUE pairs set for the program only.
    Program(const Sandbox &sb, const std::string &program, const std::vector<std::string> &args = {},
            const std::vector<std::string> &env = {});
    ~Program();
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    // The exit status, or -1 when the program is still running after seconds.
    int Wait(double seconds = WaitSeconds);
    std::string Out() const;
    std::string Err() const;

private:
    pid_t pid_ = -1;
    std::string out_, err_;
};

// Runs xdrive with its arguments; true when it succeeded.
bool Drive(const std::string &args);
// A window title quoted for Drive's command line.
std::string Q(const std::string &title);
