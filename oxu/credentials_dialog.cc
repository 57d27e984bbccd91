#include "credentials_dialog.h"

#include <cstdio>
#include <cstring>

#include <glibmm/main.h>
#include <gtkmm/box.h>
#include <gtkmm/main.h>

#include "globals.h"
#include "latin1_text.h"
#include "styles.h"
#include "window_util.h"

const char *const ZunaTexts[6] = {
    "Set ZUNA Username  and Password", "Set ZUNA Username and Password:", "     ",
    "       UserName:", "       Password:", "Verify Password:",
};

namespace {

enum { TITLE, HEADING, FILLER, USER_LABEL, PASSWORD_LABEL, VERIFY_LABEL };

Gtk::Label *Filler(const char *text = ZunaTexts[FILLER])
{
    return Gtk::manage(new Gtk::Label(text));
}

// Copies an entry's text into a field of N bytes, cut to fit.
template <size_t N>
void TakeText(char (&field)[N], Gtk::Entry &entry)
{
    std::snprintf(field, N, "%s", entry.get_text().c_str());
}

} // namespace

int ZeroSlot()
{
    return 0;
}

Zuner::Zuner(kdR770 *adapter) : Gtk::Window(Gtk::WINDOW_TOPLEVEL), radio(adapter)
{
    set_resizable(false);
    ticks = 0;
    blink = 0;
    radio->persist = ThePrefs.GetLoginByte();

    userentry = Gtk::manage(new Gtk::Entry);
    // The user record holds 32 Latin-1 characters.
    LimitToLatin1(*userentry, 32);
    UseStyle(*userentry, FIXED_FONT);
    verifyentry = HiddenEntry(32);
    passentry = HiddenEntry(32);
    auto *buttons = CancelOkButtons(cancel, ok);
    for (int i = 0; i < 3; ++i)
        fieldlabels[i] = FixedLabel(ZunaTexts[USER_LABEL + i]);

    PlaceOverMain(*this, 94, 80);
    set_size_request(320, 200);
    set_title(ZunaTexts[TITLE]);
    // Closed by the window manager like by "Cancel": the dialog goes.
    signal_delete_event().connect([this](GdkEventAny *) {
        Close();
        return ZeroSlot() != 0;
    });
    cancel->signal_clicked().connect(sigc::mem_fun(*this, &Zuner::Close));

    auto *column = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    column->pack_start(*Filler(), false, false, 0);
    statuslabel = Gtk::manage(new Gtk::Label(ZunaTexts[HEADING]));
    column->pack_start(*statuslabel, false, false, 0);
    column->pack_start(*Filler(), false, false, 0);
    Gtk::Entry *entries[3] = {userentry, passentry, verifyentry};
    for (int i = 0; i < 3; ++i) {
        auto *row = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0));
        row->pack_start(*Filler(), false, false, 0);
        row->pack_start(*fieldlabels[i], false, false, 0);
        row->pack_start(*entries[i], true, true, 0);
        column->pack_start(*row, false, false, 0);
    }
    auto *bottom = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0));
    bottom->pack_end(*buttons, false, false, 20);
    bottom->pack_end(*Filler("   "), false, false, 40);
    column->pack_end(*bottom, false, false, 0);
    add(*column);

    ok->signal_clicked().connect(sigc::mem_fun(*this, &Zuner::SetZuna));
    show_all();
}

void Zuner::Close()
{
    if (closing)
        return;
    closing = true;
    if (poll.connected())
        poll.disconnect();
    DestroyWindow(this);
}

Zuner::~Zuner()
{
    if (poll.connected())
        poll.disconnect();
    // The dialog's end is the end of the loop that the menu command runs.
    Gtk::Main::quit();
}

void Zuner::SetZuna()
{
    char verify[sizeof password];
    TakeText(password, *passentry);
    TakeText(verify, *verifyentry);
    TakeText(username, *userentry);
    if (!username[0]) {
        statuslabel->set_text("Username is empty, Please try again");
        return;
    }
    if (!password[0] && !verify[0]) {
        statuslabel->set_text("Password or verify password is empty, Please try again");
        return;
    }
    if (std::strcmp(password, verify) != 0) {
        statuslabel->set_text("Passwords don't match, please try again");
        return;
    }
    statuslabel->set_text("Attempting user authentication");
    radio->AuthUser(username, password);
    if (!PollAuth())
        return;
    poll = Glib::signal_timeout().connect(sigc::mem_fun(*this, &Zuner::PollAuth), 1000);
    ok->set_sensitive(false);
}

bool Zuner::PollAuth()
{
    auto context = statuslabel->get_style_context();
    context->remove_class("red");
    context->remove_class("blue");
    context->add_class(blink == 1 ? "blue" : "red");
    ++ticks;
    blink = 1 - blink;

    _STSTATUS status{};
    const bool authenticated =
        radio->GetStatus(status) == 0 && (status.status_word & STATUS_AUTHENTICATED);
    if (authenticated || ticks == MaxTicks) {
        Message(authenticated ? "User Authenticated" : "Authentication pending");
        // Closed: no time-out follows.
        Close();
        return false;
    }
    // The colour's class redraws the label, the one thing that changed.
    return true;
}

void Zuner::Message(const char *text)
{
    auto *window = new Gtk::Window(Gtk::WINDOW_TOPLEVEL);
    window->set_modal(true);
    window->set_resizable(false);
    PlaceOverMain(*window, 94, 80);
    window->set_size_request(320, 200);
    window->set_title("Authentication");
    auto *column = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    for (int i = 0; i < 3; ++i)
        column->pack_start(*Filler(), false, false, 0);
    column->pack_start(*Gtk::manage(new Gtk::Label(text)), false, false, 0);
    for (int i = 0; i < 4; ++i)
        column->pack_start(*Filler(), false, false, 0);
    auto *row = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0));
    auto *okbutton = Gtk::manage(new Gtk::Button("Ok"));
    row->pack_start(*okbutton, true, true, 0);
    column->pack_start(*row, false, false, 0);
    window->add(*column);
    okbutton->signal_clicked().connect([window] { DestroyWindow(window); });
    window->signal_delete_event().connect([window](GdkEventAny *) {
        DestroyWindow(window);
        return true;
    });
    window->show_all();
}
