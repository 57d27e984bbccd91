// The properties window: a notebook of property pages over private copies of
// the two stored profiles, with " Help ", " Cancel " and " Ok ". The "Edit
// Properties" command owns it and runs a nested main loop for it.
#pragma once

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

    // What the apply steps share. The adapter stopped answering: raises the
    // radio-failed signal and shows the fatal error window, once.
    void AdapterFailed();
    // Sends a profile with the adapter's own MAC address in it, so that an
    // address stored from another card is never sent. False, with nothing
    // sent, when the adapter failed (now or earlier in this Ok).
    bool SendProfile(CFG_R770 &cfg, _STAPLIST &aplist, _STSSID &ssid);
    // Rewrites the profile file with both stored profiles and the selector;
    // tells the user, once, when it cannot. Nothing is saved once the adapter failed.
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
    // Set once the user has been told that the profile file cannot be saved.
    bool save_failed = false;

    enum { HELP, CANCEL, OK };

protected:
    bool on_delete_event(GdkEventAny *event) override;

private:
    void OnCancel();
    void ApplyPages();
    // Hides the window and destroys its pages.
    void Close();

    guint outer_level;
    bool loop_left = false;
};
