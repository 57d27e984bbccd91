// The credentials window of pilvor and the plain handlers around it.
#pragma once

#include <memory>

#include <gtkmm/button.h>
#include <gtkmm/entry.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>
#include <sigc++/connection.h>

// The field labels; the window shows the first two.
extern const char *const ZunaLabels[3];

class Zuner : public Gtk::Window {
public:
    Zuner();

    // Ok: takes the entries and logs the user in.
    void SetZuna();
    // Opens the modal result window; it ends the main loop after
    // msgtimeout milliseconds or when its Ok is pressed.
    void Message(const char *text);

    Gtk::Entry *passentry;
    Gtk::Entry *userentry;
    int msgtimeout;
    // The entries' texts as typed: 32 characters of up to 4 UTF-8 bytes.
    char password[129];
    char username[129];
    Gtk::Label *fillers[6];
    Gtk::Label *heading;  // also the status label
    Gtk::Label *userlabel;
    Gtk::Label *passlabel;
    Gtk::Label *blanks;
    Gtk::Button *cancel;
    Gtk::Button *ok;

private:
    // Ends the result window's time-out with the window that set it, so that
    // it cannot end a later main loop.
    struct Timeout {
        sigc::connection connection;
        ~Timeout() { connection.disconnect(); }
    };
    // The result window lives as long as this one, so that it does not
    // outlive the toolkit.
    std::unique_ptr<Gtk::Window> result_;
    Timeout timeout_;
};

// Cancel: writes empty credentials into the first adapter, leaves the loop.
void bibi();
// The credentials window's delete event: leaves the main loop.
bool QuitOnDelete(GdkEventAny *);
// The result window's time-out: leaves the main loop, ends the time-out.
bool QuitOnTimeout();
// The delete event that main connects: leaves the loop twice, exits with 0.
bool ExitOnDelete(GdkEventAny *);
