// The modal "Error message" window: a picture and lines of text. Filled with
// AddLines its "Ok" ends the program with status 1; shown with Show it only
// closes.
#pragma once

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/window.h>
#include <sigc++/connection.h>

class ErrWin : public Gtk::Window {
public:
    ErrWin();

    // Adds one line per string of a null-terminated array and shows the window.
    void AddLines(const char *const *lines);
    // Makes "Ok" only close the window, adds one line and shows the window.
    void Show(const char *text);
    // Ends the program with status 1: the end after a failed adapter.
    static void ExitWithError();

    sigc::connection exitconn;
    Gtk::Button *okbutton;
    Gtk::Box *picrow;
    Gtk::Box *column;
    int originx = 0;
    int originy = 0;

private:
    void AddLine(const char *text);
    bool OnDelete(GdkEventAny *);
};
