#include "properties_window.h"

#include <cstdio>
#include <cstring>
#include <string>

#include <gtkmm/box.h>
#include <gtkmm/grid.h>
#include <gtkmm/label.h>
#include <gtkmm/main.h>

#include "adhoc_page.h"
#include "busy_retry.h"
#include "error_window.h"
#include "fatal_window.h"
#include "globals.h"
#include "help.h"
#include "home_page.h"
#include "infrastructure_page.h"
#include "latin1_text.h"
#include "main_window.h"
#include "profile_file.h"
#include "rf_page.h"
#include "security_page.h"
#include "styles.h"
#include "system_page.h"
#include "window_util.h"

Book::Book() = default;

namespace {

// A tab label in the fixed font; the buttons keep the default one.
Gtk::Label *TabLabel(const char *text)
{
    auto *label = Gtk::manage(new Gtk::Label(text));
    UseStyle(*label, FIXED_FONT);
    return label;
}

} // namespace

PropWindow::PropWindow(kdR770 *radio)
    : Gtk::Window(Gtk::WINDOW_TOPLEVEL), adapter(radio), outer_level(Gtk::Main::level())
{
    std::memset(&enterprise, 0, sizeof enterprise);
    std::memset(&home, 0, sizeof home);
    enterprise = EnterpriseProfile;
    home = HomeProfile;

    // A read that failed, or was not answered whole, leaves no product
    // name; the window then does not open.
    _STCAPS caps{};
    const bool capsRead = RetriedWhole(adapter, &kdR770::GetCaps, caps) == 0;
    NoteRead(capsRead, "capabilities");
    if (!capsRead)
        caps = _STCAPS{};
    UseStyle(*this, COMPACT);
    set_border_width(2);
    set_title(Latin1ToUtf8(caps.product_name) + " Properties");
    set_modal(true);

    auto *column = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    auto *table = Gtk::manage(new Gtk::Grid);
    auto *buttonrow = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0));
    column->pack_start(*table, true, true, 0);
    column->pack_end(*buttonrow, false, false, 0);
    add(*column);

    CurrentHelpPage = &HelpPages[0];

    book = new Book;
    book->set_tab_pos(Gtk::POS_TOP);
    book->set_hexpand(true);
    book->set_vexpand(true);
    table->attach(*book, 0, 0, 6, 1);

    system_page = Gtk::manage(new SystemParams(adapter, this));
    system_page->window = this;
    system_page->show_all();
    security_page = Gtk::manage(new SecuritySetting(adapter, this));
    security_page->window = this;
    security_page->show_all();
    rf_page = Gtk::manage(new RfParams(adapter, this));
    rf_page->window = this;
    rf_page->show_all();
    home_page = Gtk::manage(new HomeNet(adapter, this));
    home_page->window = this;
    home_page->show_all();
    infr_page = Gtk::manage(new Infr(adapter, this));
    infr_page->window = this;
    adhoc_page = Gtk::manage(new Infra(adapter, this));
    adhoc_page->window = this;

    book->append_page(*system_page, *TabLabel("System Parameters"));
    book->append_page(*security_page, *TabLabel("Network Security"));
    book->append_page(*rf_page, *TabLabel("RF Network"));
    book->append_page(*home_page, *TabLabel("Home Networking"));
    book->append_page(*infr_page, *TabLabel("Advanced Infrastructure"));
    book->append_page(*adhoc_page, *TabLabel("Advanced AdHoc"));
    book->signal_switch_page().connect(sigc::ptr_fun(&SelectHelpPage));

    buttons[HELP] = Gtk::manage(new Gtk::Button(" Help "));
    buttons[CANCEL] = Gtk::manage(new Gtk::Button(" Cancel "));
    buttons[OK] = Gtk::manage(new Gtk::Button(" Ok "));
    // Handlers run in the order of connection: Ok applies, then closes.
    buttons[CANCEL]->signal_clicked().connect(sigc::mem_fun(*this, &PropWindow::OnCancel));
    buttons[OK]->signal_clicked().connect(sigc::mem_fun(*this, &PropWindow::ApplyPages));
    buttons[HELP]->signal_clicked().connect(sigc::ptr_fun(&ShowHelp));
    buttons[OK]->signal_clicked().connect(sigc::mem_fun(*this, &PropWindow::Close));
    // Packed from the end: " Ok ", " Cancel ", " Help " from left to right.
    for (Gtk::Button *button : buttons)
        buttonrow->pack_end(*button, false, false, 0);

    book->set_size_request(540, 320);
    PlaceOverMain(*this, 0, -16);
    // Only the advanced page of the network type shown is there, from the
    // first display on; the window takes its size from those tabs.
    get_child()->show_all();
    infr_page->InfraToggled();
    adhoc_page->OnModeToggled();
    if (unread) {
        // What could not be read is neither shown nor kept by an Ok: the
        // window does not open, and ends once the user has read why.
        char text[64];
        std::snprintf(text, sizeof text, "Error reading %s from card,Function aborted", unread);
        auto *error = new ErrWin;
        error->Show(text);
        error->signal_hide().connect(sigc::mem_fun(*this, &PropWindow::OnCancel));
        return;
    }
    opened = true;
    show();

    system_page->infra_button->signal_clicked().connect(
        sigc::mem_fun(*system_page, &SystemParams::NetworkTypeToggled));
}

PropWindow::~PropWindow()
{
    // The pages go first, while the window they point back to is whole.
    delete book;
}

void PropWindow::LeaveLoop()
{
    // A window-manager close has left the loop already; the pages' end after
    // it must not end the loop of the window below.
    if (loop_left || Gtk::Main::level() <= outer_level)
        return;
    loop_left = true;
    Gtk::Main::quit();
}

bool PropWindow::on_delete_event(GdkEventAny *)
{
    LeaveLoop();
    Close();
    return true;
}

void PropWindow::OnCancel()
{
    // The System Parameters page first: its end tells the loop to end.
    delete system_page;
    system_page = nullptr;
    Close();
}

void PropWindow::ApplyPages()
{
    // A window that did not open has nothing to apply.
    if (!opened)
        return;
    const ProfileRecord enterpriseBefore = EnterpriseProfile;
    const ProfileRecord homeBefore = HomeProfile;
    const uint8_t currentBefore = CurrentProfile;
    const bool zunaItemBefore = CommandsItems[ROW_ZUNA]->get_sensitive();
    saved = false;
    home_key_written = NO_HOME_KEY;
    // In this order: security, RF, advanced infrastructure, advanced ad hoc
    // (each only edits the working profile), system (sends and saves the
    // enterprise profile), home (saves last, so its selector stays).
    security_page->Apply();
    rf_page->Apply();
    infr_page->Apply();
    adhoc_page->Apply();
    system_page->Apply();
    home_page->Apply();
    if (!refused)
        return;
    // After a refused write the stored profiles, the choice between them
    // and the file stay as before this Ok, as the message says: the file
    // keeps what the adapter was given before.
    EnterpriseProfile = enterpriseBefore;
    HomeProfile = homeBefore;
    CurrentProfile = currentBefore;
    if (saved)
        WriteProfileFile(currentBefore);
    CommandsItems[ROW_ZUNA]->set_sensitive(zunaItemBefore);
}

void PropWindow::Close()
{
    hide();
    delete book;
    book = nullptr;
    system_page = nullptr;
    security_page = nullptr;
    rf_page = nullptr;
    home_page = nullptr;
    infr_page = nullptr;
    adhoc_page = nullptr;
}

void PropWindow::NoteRead(bool ok, const char *what)
{
    if (!ok && !opened && !unread)
        unread = what;
}

void PropWindow::AdapterFailed()
{
    if (radio_failed)
        return;
    radio_failed = true;
    RadioFailed.emit(1);
    new FatalIoWindow;
}

void PropWindow::WriteFailed(const char *what)
{
    char text[64];
    std::snprintf(text, sizeof text, "Error writing %s to card,Function aborted", what);
    Refused(text);
}

void PropWindow::Refused(const char *why)
{
    if (Halted())
        return;
    // An adapter that no longer answers a status read has stopped
    // answering; one that does has refused.
    _STSTATUS status{};
    if (Retried(adapter, &kdR770::GetStatus, status) != 0) {
        AdapterFailed();
        return;
    }
    refused = true;
    std::string text = std::string(why) + "\n" +
                       "Profiles not saved: the card may hold part of the new settings";
    if (home_key_written != NO_HOME_KEY)
        text += "\n" + PutBackTransmitKey();
    (new ErrWin)->Show(text.c_str());
}

std::string PropWindow::PutBackTransmitKey()
{
    if (home_key_written == HOME_KEY)
        return "The new home key was written as key 5";
    // The home key went in as the transmit key before the profile was
    // refused: the profile the card keeps would transmit with it. The key
    // read when the window opened is made the transmit key again.
    if (transmit_key >= 0 && transmit_key < HomeNet::HomeKeyIndex) {
        _RID_wep_key selector = TransmitKeySelector(uint8_t(transmit_key));
        if (Retried(adapter, &kdR770::WriteWepKey, selector, true) == 0)
            return "The new home key was written as key 5; transmit key " +
                   std::to_string(transmit_key + 1) + " was put back";
    }
    return "The new home key was written as key 5 and is the transmit key";
}

bool PropWindow::SendProfile(CFG_R770 &cfg, _STAPLIST &aplist, _STSSID &ssid)
{
    if (Halted())
        return false;
    // The adapter's own address, from an answer given whole: one cut short
    // would send and save a MAC address of zeros.
    CFG_R770 present{};
    _STAPLIST presentAps{};
    _STSSID presentSsids{};
    if (RetriedWhole(adapter, &kdR770::GetConfiguration, present, presentAps, presentSsids) != 0) {
        Refused("Error reading configuration from card,Function aborted");
        return false;
    }
    std::memcpy(cfg.mac_addr, present.mac_addr, sizeof cfg.mac_addr);
    const bool sent = Retried(adapter, &kdR770::SetConfiguration, cfg, aplist, ssid) == 0;
    // The last request made is the one refused: the lists go before the
    // configuration.
    const char *what = adapter->req.command == CMD_SET_SSID     ? "SSID list"
                       : adapter->req.command == CMD_SET_APLIST ? "access point list"
                                                                : "configuration";
    if (!sent)
        WriteFailed(what);
    return sent;
}

void PropWindow::SaveProfiles(int selector)
{
    if (Halted())
        return;
    WriteProfileFile(selector);
}

void PropWindow::WriteProfileFile(int selector)
{
    saved = true;
    char ifname[6] = {};
    adapter->GetIfName(ifname);
    char name[16];
    std::snprintf(name, sizeof name, "%s.cfg", ifname);
    Cfgio file(name);
    if (file.wrcfg(EnterpriseProfile, HomeProfile, selector) != 0 && !save_failed) {
        // The adapter keeps what was sent; only the file is behind. Said once,
        // though both profile steps of an Ok save.
        save_failed = true;
        char text[160];
        std::snprintf(text, sizeof text, "Cannot save the profiles in %s: %s", file.path,
                      std::strerror(file.error));
        (new ErrWin)->Show(text);
    }
}
