// The "About OXU" window; its destruction ends the nested loop run for it.
#pragma once

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/buttonbox.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>

extern const char *const AboutLines[3];

class About : public Gtk::Window {
public:
    About();
    ~About() override;

    Gtk::ButtonBox *buttons;
    Gtk::Box *outer;
    Gtk::Box *linebox;
    Gtk::Label *lines[3];
    Gtk::Button *okbutton;

private:
    bool OnDelete(GdkEventAny *);
};
