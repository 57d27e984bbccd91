// The "Set Zuna Information" dialog: logs a ZUNA user in on the current
// adapter and watches the adapter's status until it says authenticated.
#pragma once

#include <gtkmm/button.h>
#include <gtkmm/entry.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>
#include <sigc++/connection.h>

#include "kdr770.h"

// Title, heading, filler, and the three field labels.
extern const char *const ZunaTexts[6];

class Zuner : public Gtk::Window {
public:
    explicit Zuner(kdR770 *radio);
    ~Zuner() override;

    void SetZuna();
    bool PollAuth();
    void Message(const char *text);

    // The entries' texts as typed: 32 characters of up to 4 UTF-8 bytes.
    char username[129] = {};
    char password[129] = {};
    int ticks = 0;
    int blink = 0;
    Gtk::Entry *passentry;
    Gtk::Entry *verifyentry;
    Gtk::Entry *userentry;
    kdR770 *radio;
    sigc::connection poll;
    Gtk::Label *fieldlabels[3];
    Gtk::Label *statuslabel;
    Gtk::Button *cancel;
    Gtk::Button *ok;

    // The longest wait for the authenticated bit, in polls of one second.
    static constexpr int MaxTicks = 40;

private:
    // Ends the poll and destroys the dialog, once whatever asks for it:
    // Cancel, a close and the last poll may come in one main-loop turn.
    void Close();
    bool closing = false;
};

// The dialog's delete event: lets the toolkit close it.
int ZeroSlot();
