// The "Enter WEP key(s)" window: writes the adapter's WEP keys (four
// hexadecimal keys and, in HOME mode, the HOME key of 13 characters), chooses
// the transmit key, and whether the adapter keeps the keys or only holds them
// until it restarts.
#pragma once

#include <cstdint>
#include <memory>

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/entry.h>
#include <gtkmm/label.h>
#include <gtkmm/radiobutton.h>
#include <gtkmm/window.h>

#include "kdr770.h"
#include "records.h"

// What the adapter of the window built last can do; computed afresh each
// time the window is built.
extern int WepCapable;     // WEP at all
extern int WepHighSpeed;   // WEP at every data rate, not only 1 and 2 Mbit/s
extern int Wep128Capable;  // 13-byte keys

class WepKeyEntry : public Gtk::Window {
public:
    explicit WepKeyEntry(kdR770 *radio);
    ~WepKeyEntry() override;

    // Checks the typed keys and writes the changed key records, then the
    // transmit-key selector. 0 when everything was written.
    int Apply();
    // Checks the entry of one hexadecimal row (index 0-4) and fills its key
    // record; -1 with the reason shown when the entry is refused.
    int ParseHexKey(int row);
    // Fills the HOME key record from the HOME entry.
    int SetHomeKey();
    // Reads the stored key records; -1 when a read fails or the readout ends
    // before its selector, else the number of records stored, with the
    // transmit key's index in txkey.
    int ReadKeys(int &txkey);
    // Opens the error window with one line per text of a null-terminated
    // list, and returns at once.
    Gtk::Window *ShowError(const char *const *texts);
    void SetPersistent();
    void SetTemporary();
    void ShowHint40();
    void ShowHint128();
    void ShowHintHome();

    static constexpr int Rows = 5;
    static constexpr int HomeRow = 4;

    kdR770 *radio;
    int changed[Rows] = {};
    uint8_t persistent = 1;
    uint8_t homemode = 0;
    const char *messages[2] = {message, nullptr};
    char message[128] = {};
    CFG_R770 config{};
    _STAPLIST aplist{};
    _STSSID ssid{};
    _STCAPS caps{};
    Gtk::Label *hint = nullptr;
    _RID_wep_key keys[Rows]{};
    Gtk::CheckButton *keyset[Rows] = {};
    Gtk::RadioButton *size40[Rows] = {};
    Gtk::RadioButton *size128[Rows] = {};
    Gtk::RadioButton *temporary = nullptr;
    Gtk::RadioButton *persistant = nullptr;
    Gtk::RadioButton *transmit[Rows] = {};
    Gtk::Box *rowbox = nullptr;
    Gtk::Entry *entries[Rows] = {};
    Gtk::Label *capability = nullptr;
    Gtk::Button *okbutton = nullptr;
    Gtk::Button *applybutton = nullptr;
    Gtk::Button *cancelbutton = nullptr;

private:
    Gtk::Box *BuildRow(int row);
    // Shows one message in the error window.
    Gtk::Window *Say(const char *format, ...) __attribute__((format(printf, 2, 3)));
    // Key-set indicators and size radios from the key records.
    void ShowRecords();
    // Reports a read that failed while the window was being built; the
    // window is never shown and goes when the report is closed.
    void GiveUp(const char *why);
    void Abandon();
    void OnOk();

    // Row 5 exists in every mode but is placed in the window only in HOME mode.
    std::unique_ptr<Gtk::Box> homerow;
};
