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

// Runs the main loop until nothing is pending, then for ms milliseconds more.
void Step(int ms = 0);

// Runs fn from the main loop after ms milliseconds: the way to act while a
// handler under test sits in a nested main loop.
void Later(int ms, std::function<void()> fn);

// The size that a shown window has on the X server once the program's
// pending layout and requests have been dealt with.
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
// RESPONSE_OK, choosing path first) after ms milliseconds.
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
    int Wait(double seconds = 15);
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
