#include "password_dialog.h"

#include <cstring>
#include <string>

#include <gtkmm/box.h>
#include <gtkmm/main.h>

#include "error_window.h"
#include "globals.h"
#include "latin1_text.h"
#include "styles.h"
#include "window_util.h"

namespace {

const char *const RowTexts[4] = {"   Old password:", "   New Password:", "Verify Password:",
                                 "       Password:"};
enum { OLD_ROW, NEW_ROW, VERIFY_ROW, PASSWORD_ROW };

// What is typed must be what is stored, or the password could never be
// entered again: the stored field holds 79 Latin-1 characters, and the
// entries take no character that Latin-1 lacks.
constexpr int MaxPassword = 79;

// The stored password, empty when there is none at all.
std::string Stored()
{
    const char *stored = ThePrefs.GetPassword();
    return stored ? stored : "";
}

// An entry's text as the Latin-1 bytes it is stored and compared as.
bool Typed(Gtk::Entry &entry, std::string &bytes)
{
    return Utf8ToLatin1(entry.get_text().raw(), bytes);
}

} // namespace

cempass::cempass(uint8_t how) : Gtk::Window(Gtk::WINDOW_TOPLEVEL), mode(how)
{
    PlaceOverMain(*this, 108, 121);
    set_resizable(false);
    set_modal(true);

    newentry = HiddenEntry(MaxPassword);
    verifyentry = HiddenEntry(MaxPassword);
    oldentry = HiddenEntry(MaxPassword);
    for (Gtk::Entry *entry : {newentry, verifyentry, oldentry}) {
        LimitToLatin1(*entry, MaxPassword);
        UseStyle(*entry, FIXED_FONT);
    }
    auto *buttons = CancelOkButtons(cancel, ok);
    for (int i = 0; i < 4; ++i)
        rowlabels[i] = FixedLabel(RowTexts[i]);
    const bool change = mode == CHANGE;
    set_title(change ? "Change CEM Password" : "Enter CEM Password");
    heading = Gtk::manage(new Gtk::Label(change ? "Set CEM Password" : "Enter CEM  Password"));
    signal_delete_event().connect([this](GdkEventAny *) {
        DestroyWindow(this);
        return true;
    });
    cancel->signal_clicked().connect([this] { DestroyWindow(this); });

    auto *column = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    auto newSpacer = [this] { return spacer = Gtk::manage(new Gtk::Label("     ")); };
    auto addRow = [&](int row, Gtk::Entry *entry) {
        auto *box = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0));
        box->pack_start(*newSpacer(), false, false, 0);
        box->pack_start(*rowlabels[row], false, false, 0);
        box->pack_start(*entry, true, true, 0);
        endlabel = Gtk::manage(new Gtk::Label(""));
        box->pack_end(*endlabel, true, true, 0);
        column->pack_start(*box, false, false, 0);
    };
    column->pack_start(*heading, false, false, 0);
    column->pack_start(*newSpacer(), false, false, 0);
    if (change) {
        addRow(OLD_ROW, oldentry);
        addRow(NEW_ROW, newentry);
        addRow(VERIFY_ROW, verifyentry);
    } else {
        addRow(PASSWORD_ROW, newentry);
    }
    column->pack_start(*newSpacer(), false, false, 0);

    if (change) {
        ok->signal_clicked().connect(sigc::mem_fun(*this, &cempass::OnChangeOk));
    } else {
        ok->signal_clicked().connect(sigc::mem_fun(*this, &cempass::OnEnterOk));
        newentry->signal_activate().connect(sigc::mem_fun(*this, &cempass::OnEnterOk));
    }

    auto *bottom = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0));
    bottom->pack_start(*Gtk::manage(new Gtk::Label("   ")), false, false, 0);
    bottom->pack_end(*buttons, true, true, 20);
    column->pack_end(*bottom, false, false, 0);
    column->pack_end(*newSpacer(), false, false, 0);
    add(*column);

    set_size_request(300, change ? 125 : 90);
    show_all();
}

cempass::~cempass()
{
    // The dialog's end is the end of the loop that the menu command runs.
    Gtk::Main::quit();
}

void cempass::OnChangeOk()
{
    ThePrefs.SetUnlocked(0);
    std::string old, fresh, verify;
    if (!Typed(*oldentry, old) || old != Stored()) {
        heading->set_text("Original password incorrect, Please try again");
        return;
    }
    if (!Typed(*newentry, fresh) || !Typed(*verifyentry, verify)) {
        heading->set_text("New Passwords donot match , Please try again");
        return;
    }
    if (fresh.empty()) {
        // A single blank marks that no password is set.
        Save(" ");
    } else if (fresh == verify) {
        Save(fresh.c_str());
    } else {
        heading->set_text("New Passwords donot match , Please try again");
    }
}

void cempass::Save(const char *password)
{
    const int err = ThePrefs.SetPassword(password);
    // The new password holds for this run either way; asking again would
    // want it as the old one.
    DestroyWindow(this);
    if (err)
        (new ErrWin)->Show((std::string("Password not saved: ") + std::strerror(err)).c_str());
}

void cempass::OnEnterOk()
{
    ThePrefs.SetUnlocked(0);
    std::string typed;
    if (!Typed(*newentry, typed) || typed.empty())
        return;
    if (typed == Stored()) {
        ThePrefs.SetUnlocked(1);
        DestroyWindow(this);
    } else {
        heading->set_text("Password incorrect , Please try again");
    }
}
