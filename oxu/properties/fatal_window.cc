#include "fatal_window.h"

#include <gdkmm/pixbuf.h>
#include <gtkmm/box.h>
#include <gtkmm/image.h>

#include "error_window.h"
#include "globals.h"
#include "pictures.h"

FatalIoWindow::FatalIoWindow() : Gtk::Window(Gtk::WINDOW_TOPLEVEL)
{
    set_title("");
    set_size_request(200, 100);
    set_resizable(false);
    // Nothing else may be done with an adapter that is gone: the window
    // stands over every other one until the program ends.
    set_modal(true);
    if (MainWindow) {
        set_transient_for(*MainWindow);
        set_position(Gtk::WIN_POS_CENTER_ON_PARENT);
    }

    auto *picture = Gtk::manage(new Gtk::Image(Gdk::Pixbuf::create_from_xpm_data(ErrorPicture)));
    message = Gtk::manage(new Gtk::Label("Fatal I/O error. Exiting"));
    // Two short lines keep the window at its size.
    message->set_line_wrap(true);
    message->set_max_width_chars(10);
    okbutton = Gtk::manage(new Gtk::Button("Ok"));

    auto *column = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    auto *actions = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0));
    actions->pack_start(*picture, true, true, 0);
    actions->pack_start(*message, true, true, 0);
    actions->pack_start(*okbutton, true, true, 0);
    column->pack_end(*actions, false, false, 0);
    add(*column);

    okbutton->signal_clicked().connect(sigc::ptr_fun(&ErrWin::ExitWithError));
    signal_delete_event().connect([](GdkEventAny *) {
        ErrWin::ExitWithError();
        return true;
    });
    show_all();
}
