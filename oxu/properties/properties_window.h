// The properties window: a notebook of property pages over private copies of
// the two stored profiles, with " Help ", " Cancel " and " Ok ". The "Edit
// Properties" command owns it and runs a nested main loop for it.
#pragma once

#include <string>

#include <gtkmm/button.h>
#include <gtkmm/notebook.h>
#include <gtkmm/window.h>

#include "kdr770.h"
#include "records.h"

class SystemParams;
class SecuritySetting;
class RfParams;
class HomeNet;
class Infr;
class Infra;

class Book : public Gtk::Notebook {
public:
    Book();
};

class PropWindow : public Gtk::Window {
public:
    explicit PropWindow(kdR770 *adapter);
    ~PropWindow() override;
    PropWindow(const PropWindow &) = delete;
    PropWindow &operator=(const PropWindow &) = delete;

    // Leaves the nested main loop that runs this window: once, and only
    // while that loop runs.
    void LeaveLoop();

    // What the pages' reads share while the window opens: a read that
    // failed (what names the record) is noted, and the window then does not
    // open but says so, since nothing may be shown or kept from it. Reads
    // after the opening keep what was read before instead.
    void NoteRead(bool ok, const char *what);

    // What the apply steps share. The adapter stopped answering: raises the
    // radio-failed signal and shows the fatal error window, once.
    void AdapterFailed();
    // A write of this Ok failed (what names it): refused when the adapter
    // still answers, which is said, else the adapter failed.
    void WriteFailed(const char *what);
    // A request of this Ok failed (why is the message's first line):
    // refused when the adapter still answers, which is said, else the
    // adapter failed.
    void Refused(const char *why);
    // True once the adapter failed or refused a write during this Ok: the
    // steps after it write nothing more to the adapter and save nothing.
    bool Halted() const { return radio_failed || refused; }
    // Sends a profile with the adapter's own MAC address in it, so that an
    // address stored from another card is never sent. False, with nothing
    // more sent, when the adapter failed or refused (now or earlier in this Ok).
    bool SendProfile(CFG_R770 &cfg, _STAPLIST &aplist, _STSSID &ssid);
    // Rewrites the profile file with both stored profiles and the selector;
    // tells the user, once, when it cannot. Nothing is saved once halted.
    void SaveProfiles(int selector);

    ProfileRecord enterprise;
    ProfileRecord home;
    SystemParams *system_page = nullptr;
    SecuritySetting *security_page = nullptr;
    RfParams *rf_page = nullptr;
    HomeNet *home_page = nullptr;
    Infr *infr_page = nullptr;
    Infra *adhoc_page = nullptr;
    Gtk::Button *buttons[3];
    Book *book = nullptr;
    kdR770 *adapter;
    // Set once the adapter failed during this Ok: the steps after it send
    // nothing and save nothing.
    bool radio_failed = false;
    // Set once the adapter refused a write during this Ok.
    bool refused = false;
    // Set once the user has been told that the profile file cannot be saved.
    bool save_failed = false;
    // The first record that could not be read while the window opened.
    const char *unread = nullptr;
    // Set once the window has opened on what it read.
    bool opened = false;
    // The transmit key that the selector read while the window opened
    // names; -1 when the readout did not reach a selector.
    int transmit_key = -1;
    // How far this Ok has written a home key: the key, then the selector
    // that makes it the transmit key.
    enum HomeKeyWrites { NO_HOME_KEY, HOME_KEY, HOME_KEY_TRANSMITS };
    HomeKeyWrites home_key_written = NO_HOME_KEY;

    enum { HELP, CANCEL, OK };

protected:
    bool on_delete_event(GdkEventAny *event) override;

private:
    void OnCancel();
    void ApplyPages();
    // Hides the window and destroys its pages.
    void Close();
    void WriteProfileFile(int selector);
    // After a refusal that follows a home key written in this Ok: puts the
    // transmit key read at opening back where that is needed and possible,
    // and gives the line that says what the card holds.
    std::string PutBackTransmitKey();

    // Set once this Ok has rewritten the profile file.
    bool saved = false;

    guint outer_level;
    bool loop_left = false;
};
