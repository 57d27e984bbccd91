// The main window, its menus and the choice of the current adapter.
#pragma once

#include <gtkmm/menu.h>

#include "kdr770.h"
#include "radio_list.h"

class OxuMenu : public Gtk::Menu {
public:
    OxuMenu();
    ~OxuMenu() override;
};

// Builds the main window with its menus, picture, status line and refresher,
// and shows it.
void BuildMainWindow();

// Takes up the adapter found, asks which one when there are several, and
// ends the program with status 1 when there is none.
void ChooseAdapter();

// Leaves the main loops and ends the program with status 0.
void QuitAndExit();

// Opens the "Radio" window with one button per adapter.
void SelectRadio(RadioList *list);

// "Set Zuna Information" is usable only while the enterprise profile is
// current and uses ZUNA.
void UpdateZunaItem();

// Makes an adapter current: loads its profile file into it and its
// capabilities, and makes the menus usable.
void UseRadio(kdR770 *radio);
