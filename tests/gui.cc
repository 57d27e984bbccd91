#include "gui.h"

#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include <glibmm/main.h>
#include <gtkmm/bin.h>
#include <gtkmm/container.h>
#include <gtkmm/main.h>

#include "firmware_window.h"
#include "globals.h"

void Step(int ms)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        while (Gtk::Main::events_pending())
            Gtk::Main::iteration(false);
        if (ms > 0)
            g_usleep(2000);
    } while (std::chrono::steady_clock::now() < until);
}

void Later(int ms, std::function<void()> fn)
{
    Glib::signal_timeout().connect_once(std::move(fn), unsigned(ms));
}

Gtk::Window *FindWindow(const std::string &title)
{
    for (Gtk::Window *w : Gtk::Window::list_toplevels())
        if (w->get_visible() && w->get_title() == title)
            return w;
    return nullptr;
}

namespace {

void Walk(Gtk::Widget &w, const std::function<void(Gtk::Widget &)> &visit, bool intoButtons = true)
{
    visit(w);
    if (!intoButtons && dynamic_cast<Gtk::Button *>(&w))
        return;
    if (auto *c = dynamic_cast<Gtk::Container *>(&w))
        for (Gtk::Widget *child : c->get_children())
            Walk(*child, visit, intoButtons);
}

} // namespace

std::vector<std::string> LabelTexts(Gtk::Widget &root)
{
    std::vector<std::string> out;
    Walk(root, [&](Gtk::Widget &w) {
        if (auto *l = dynamic_cast<Gtk::Label *>(&w))
            out.push_back(l->get_text());
    }, false);
    return out;
}

Gtk::Button *FindButton(Gtk::Widget &root, const std::string &text)
{
    Gtk::Button *found = nullptr;
    Walk(root, [&](Gtk::Widget &w) {
        auto *b = dynamic_cast<Gtk::Button *>(&w);
        if (!found && b && b->get_label() == text)
            found = b;
    });
    return found;
}

void RescanRadios()
{
    Radios.Scan();
}

void AnswerFileDialogLater(int ms, int response, const std::string &path)
{
    Later(ms, [response, path] {
        auto *dialog = dynamic_cast<Filesel *>(FindWindow("File selection"));
        ASSERT_NE(dialog, nullptr);
        if (!path.empty()) {
            ASSERT_TRUE(dialog->set_filename(path));
            // The dialog selects the file once it has read the folder; it
            // accepts only a selected file.
            auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (dialog->get_filename() != path && std::chrono::steady_clock::now() < until)
                Step(10);
            ASSERT_EQ(dialog->get_filename(), path);
        }
        dialog->response(response);
    });
}
