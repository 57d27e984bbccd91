#include "zuner.h"

#include <cstdlib>
#include <cstring>

#include <glibmm/main.h>
#include <gtkmm/box.h>
#include <gtkmm/buttonbox.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/main.h>
#include <gtkmm/stylecontext.h>

#include "latin1_text.h"
#include "zuna_login.h"

const char *const ZunaLabels[3] = {"       UserName:", "       Password:", "Verify Password:"};

namespace {

const char *const Title = "Set ZUNA Username  and Password";
const char *const Heading = "Set ZUNA Username and Password:";
const char *const Filler = "     ";
const char *const FixedClass = "fixed";

// The X font "fixed" of the original look, as a style class of our own.
void InstallFixedStyle()
{
    static Glib::RefPtr<Gtk::CssProvider> provider;
    if (provider)
        return;
    provider = Gtk::CssProvider::create();
    provider->load_from_data(".fixed { font-family: monospace; font-size: 10pt; }\n");
    Gtk::StyleContext::add_provider_for_screen(Gdk::Screen::get_default(), provider,
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

Gtk::Label *NewLabel(const char *text)
{
    return Gtk::manage(new Gtk::Label(text));
}

template <size_t N>
void CopyText(char (&to)[N], const Glib::ustring &from)
{
    std::strncpy(to, from.c_str(), sizeof to - 1);
    to[sizeof to - 1] = '\0';
}

} // namespace

Zuner::Zuner() : msgtimeout(30000), password{}, username{}
{
    set_position(Gtk::WIN_POS_CENTER);
    set_resizable(false);

    InstallFixedStyle();

    auto *buttons = Gtk::manage(new Gtk::ButtonBox(Gtk::ORIENTATION_HORIZONTAL));
    buttons->set_layout(Gtk::BUTTONBOX_END);
    buttons->set_spacing(5);
    cancel = Gtk::manage(new Gtk::Button("Cancel"));
    ok = Gtk::manage(new Gtk::Button("Ok"));
    buttons->pack_start(*cancel);
    buttons->pack_start(*ok);

    userentry = Gtk::manage(new Gtk::Entry);
    passentry = Gtk::manage(new Gtk::Entry);
    // The user record holds 32 Latin-1 characters; the password is hashed
    // from whatever 32 characters are typed.
    LimitToLatin1(*userentry, 32);
    passentry->set_max_length(32);
    passentry->set_visibility(false);
    userentry->get_style_context()->add_class(FixedClass);

    userlabel = NewLabel(ZunaLabels[0]);
    passlabel = NewLabel(ZunaLabels[1]);
    for (Gtk::Label *l : {userlabel, passlabel}) {
        l->get_style_context()->add_class(FixedClass);
        l->set_xalign(0);
        l->set_yalign(0);
    }

    set_size_request(320, 200);
    set_title(Title);

    signal_delete_event().connect(sigc::ptr_fun(&QuitOnDelete));
    cancel->signal_clicked().connect(sigc::ptr_fun(&bibi));
    ok->signal_clicked().connect(sigc::mem_fun(*this, &Zuner::SetZuna));

    for (auto *&f : fillers)
        f = NewLabel(Filler);
    heading = NewLabel(Heading);
    blanks = NewLabel("   ");

    auto *vbox = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL));
    vbox->pack_start(*fillers[0]);
    vbox->pack_start(*fillers[1]);
    vbox->pack_start(*heading);
    vbox->pack_start(*fillers[2]);
    vbox->pack_start(*fillers[3]);
    struct Row {
        Gtk::Label *filler, *label;
        Gtk::Entry *entry;
    } rows[] = {{fillers[4], userlabel, userentry}, {fillers[5], passlabel, passentry}};
    for (const Row &r : rows) {
        auto *hbox = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL));
        hbox->pack_start(*r.filler, false, false);
        hbox->pack_start(*r.label, false, false);
        hbox->pack_start(*r.entry);
        vbox->pack_start(*hbox);
    }
    auto *bottom = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL));
    bottom->pack_end(*buttons, false, false, 20);
    bottom->pack_end(*blanks, false, false, 40);
    vbox->pack_start(*bottom);
    add(*vbox);
    vbox->show_all();
}

void Zuner::SetZuna()
{
    CopyText(password, passentry->get_text());
    CopyText(username, userentry->get_text());
    if (!username[0]) {
        heading->set_text("Username is empty, Please try again");
        return;
    }
    if (!password[0]) {
        heading->set_text("Password is empty, Please try again");
        return;
    }
    heading->set_text("Attempting user authentication");
    // Blocks, without redrawing, while the adapter is asked (up to AuthWait s).
    if (kdR770Authuser(username, password) < 0) {
        heading->set_text("Could not authenticate");
        return;
    }
    Message("User Authenticated");
    // The object belongs to main; hiding is what destroying it looked like.
    hide();
}

void Zuner::Message(const char *text)
{
    timeout_.connection.disconnect();
    timeout_.connection = Glib::signal_timeout().connect(sigc::ptr_fun(&QuitOnTimeout), msgtimeout);

    result_ = std::make_unique<Gtk::Window>();
    Gtk::Window &w = *result_;
    w.set_size_request(200, 45);
    w.set_modal(true);
    w.set_position(Gtk::WIN_POS_CENTER);
    w.set_resizable(false);

    auto *vbox = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 5));
    vbox->pack_start(*NewLabel(text));
    auto *row = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL));
    auto *button = Gtk::manage(new Gtk::Button("Ok"));
    // Acknowledging keeps the credentials just accepted: it only ends the loop.
    button->signal_clicked().connect(sigc::ptr_fun(&Gtk::Main::quit));
    // Closed, it ends the program as "Ok" does, rather than leave it waiting
    // with nothing shown until the time-out.
    w.signal_delete_event().connect([](GdkEventAny *) {
        Gtk::Main::quit();
        return true;
    });
    row->pack_start(*button, true, true);
    vbox->pack_start(*row);
    w.add(*vbox);
    w.show_all();
}

void bibi()
{
    kdR770Nulluser();
    Gtk::Main::quit();
}

bool QuitOnDelete(GdkEventAny *)
{
    Gtk::Main::quit();
    return false;
}

bool QuitOnTimeout()
{
    Gtk::Main::quit();
    return false;
}

bool ExitOnDelete(GdkEventAny *)
{
    Gtk::Main::quit();
    Gtk::Main::quit();
    std::exit(0);
}
