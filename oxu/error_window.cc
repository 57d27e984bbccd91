#include "error_window.h"

#include <cstdlib>

#include <gdkmm/pixbuf.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>

#include "globals.h"
#include "pictures.h"
#include "window_util.h"

ErrWin::ErrWin() : Gtk::Window(Gtk::WINDOW_TOPLEVEL)
{
    auto *picture = Gtk::manage(new Gtk::Image(Gdk::Pixbuf::create_from_xpm_data(ErrorPicture)));
    set_title("Error message");
    if (MainWindow) {
        set_transient_for(*MainWindow);
        MainWindow->get_position(originx, originy);
    }
    move(originx, originy - 15);
    set_size_request(515, 330);
    okbutton = Gtk::manage(new Gtk::Button("Ok"));
    set_modal(true);
    exitconn = okbutton->signal_clicked().connect(sigc::ptr_fun(&ErrWin::ExitWithError));

    column = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 5));
    picrow = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 5));
    picrow->pack_start(*picture, true, false, 0);
    column->pack_start(*picrow, false, false, 0);
    auto *buttonrow = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 5));
    buttonrow->pack_end(*okbutton, false, false, 0);
    column->pack_end(*buttonrow, false, false, 0);
    add(*column);
    signal_delete_event().connect(sigc::mem_fun(*this, &ErrWin::OnDelete));
}

bool ErrWin::OnDelete(GdkEventAny *)
{
    // Closed by the window manager: only this window goes; the program stays.
    DestroyWindow(this);
    return true;
}

void ErrWin::AddLine(const char *text)
{
    column->pack_start(*Gtk::manage(new Gtk::Label(text ? text : "")), false, false, 0);
}

void ErrWin::AddLines(const char *const *lines)
{
    for (; lines && *lines; ++lines)
        AddLine(*lines);
    show_all();
}

void ErrWin::Show(const char *text)
{
    if (exitconn.connected())
        exitconn.disconnect();
    okbutton->signal_clicked().connect([this] { DestroyWindow(this); });
    AddLine(text);
    show_all();
}

void ErrWin::ExitWithError()
{
    exit(1);
}
