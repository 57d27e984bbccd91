#include "window_util.h"

#include <cstring>
#include <set>

#include <cairomm/region.h>
#include <gdkmm/drawingcontext.h>
#include <glibmm/main.h>

#include "globals.h"
#include "styles.h"

void DestroyWindow(Gtk::Window *window)
{
    // A second close can arrive before the first is carried out (a delete
    // event queued behind a click): the window is deleted once.
    static std::set<Gtk::Window *> doomed;
    if (!doomed.insert(window).second)
        return;
    window->hide();
    Glib::signal_idle().connect_once([window] {
        doomed.erase(window);
        delete window;
    });
}

void DrawNow(Gtk::Widget &widget)
{
    Gtk::Widget *top = widget.get_toplevel();
    Glib::RefPtr<Gdk::Window> window = top->get_window();
    if (!window || !widget.get_is_drawable())
        return;
    int x = 0, y = 0;
    widget.translate_coordinates(*top, 0, 0, x, y);
    const Cairo::RectangleInt area = {x, y, widget.get_allocated_width(), widget.get_allocated_height()};
    auto frame = window->begin_draw_frame(Cairo::Region::create(area));
    auto cr = frame->get_cairo_context();
    cr->translate(x, y);
    gtk_widget_draw(widget.gobj(), cr->cobj());
    window->end_draw_frame(frame);
    window->get_display()->flush();
}

void PlaceOverMain(Gtk::Window &window, int dx, int dy)
{
    int x = 0, y = 0;
    if (MainWindow) {
        window.set_transient_for(*MainWindow);
        MainWindow->get_position(x, y);
    }
    window.move(x + dx, y + dy);
}

Gtk::ButtonBox *CancelOkButtons(Gtk::Button *&cancel, Gtk::Button *&ok)
{
    auto *buttons = Gtk::manage(new Gtk::ButtonBox(Gtk::ORIENTATION_HORIZONTAL));
    buttons->set_layout(Gtk::BUTTONBOX_END);
    buttons->set_spacing(5);
    cancel = Gtk::manage(new Gtk::Button("Cancel"));
    ok = Gtk::manage(new Gtk::Button("Ok"));
    buttons->add(*cancel);
    buttons->add(*ok);
    return buttons;
}

Gtk::Entry *HiddenEntry(int max)
{
    auto *entry = Gtk::manage(new Gtk::Entry);
    entry->set_max_length(max);
    entry->set_visibility(false);
    return entry;
}

Gtk::Label *FixedLabel(const char *text)
{
    auto *label = Gtk::manage(new Gtk::Label(text));
    UseStyle(*label, FIXED_FONT);
    label->set_xalign(0);
    label->set_yalign(0);
    return label;
}

bool SetTextIfChanged(Gtk::Label &label, const Glib::ustring &text)
{
    const char *shown = gtk_label_get_text(label.gobj());
    if (shown && std::strcmp(shown, text.c_str()) == 0)
        return false;
    label.set_text(text);
    return true;
}

void RedrawOnlyWhatChanges(Gtk::Window &window)
{
    // Within the size allocation, before GTK compares the old extent with
    // the new one.
    window.signal_size_allocate().connect([&window](Gtk::Allocation &allocation) {
        window.set_clip(allocation);
    });
}
