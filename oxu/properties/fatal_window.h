// "Fatal I/O error. Exiting": shown when the adapter stopped answering while
// the properties were applied. Its "Ok", and closing it, end the program.
#pragma once

#include <gtkmm/button.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>

class FatalIoWindow : public Gtk::Window {
public:
    FatalIoWindow();

    Gtk::Label *message;
    Gtk::Button *okbutton;
};
