#include "about_window.h"

#include <gtkmm/main.h>

#include "window_util.h"

const char *const AboutLines[3] = {
    "Vindral Wireless LAN Diagnostic Utility for Linux",
    "Copyright (C) Vindral Networks. All rights reserved.",
    "Version 2.0.8",
};

About::About() : Gtk::Window(Gtk::WINDOW_TOPLEVEL)
{
    buttons = Gtk::manage(new Gtk::ButtonBox(Gtk::ORIENTATION_HORIZONTAL));
    buttons->set_layout(Gtk::BUTTONBOX_SPREAD);
    buttons->set_spacing(1);
    okbutton = Gtk::manage(new Gtk::Button("Ok"));
    buttons->add(*okbutton);
    okbutton->signal_clicked().connect([this] { DestroyWindow(this); });
    signal_delete_event().connect(sigc::mem_fun(*this, &About::OnDelete));

    outer = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    linebox = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    set_title("About OXU");
    set_size_request(400, 120);
    set_modal(true);
    set_resizable(false);
    for (int i = 0; i < 2; ++i)
        outer->pack_start(*Gtk::manage(new Gtk::Label("")), false, false, 0);
    for (int i = 0; i < 3; ++i) {
        lines[i] = Gtk::manage(new Gtk::Label(AboutLines[i]));
        linebox->pack_start(*lines[i], false, false, 0);
    }
    outer->pack_start(*linebox, false, false, 0);
    outer->pack_end(*buttons, false, false, 0);
    PlaceOverMain(*this, 54, 100);
    add(*outer);
    show_all();
}

About::~About()
{
    // The window's end is the end of the loop that the "About" command runs.
    Gtk::Main::quit();
}

bool About::OnDelete(GdkEventAny *)
{
    DestroyWindow(this);
    return true;
}
