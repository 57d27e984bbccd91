// The CEM password dialog: changes the password that guards the WEP key
// window (mode 1) or asks for it (mode 0).
#pragma once

#include <cstdint>

#include <gtkmm/button.h>
#include <gtkmm/entry.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>

class cempass : public Gtk::Window {
public:
    explicit cempass(uint8_t mode);
    ~cempass() override;

    void OnChangeOk();
    void OnEnterOk();

    Gtk::Entry *newentry;
    Gtk::Entry *verifyentry;
    Gtk::Entry *oldentry;
    uint8_t mode;
    Gtk::Label *rowlabels[4];
    Gtk::Label *endlabel = nullptr;
    Gtk::Label *spacer = nullptr;
    Gtk::Label *heading;
    Gtk::Button *cancel;
    Gtk::Button *ok;

    enum : uint8_t { ENTER = 0, CHANGE = 1 };

private:
    // Stores the new password and closes; a file that may not hold it is
    // told in the error window.
    void Save(const char *password);
};
