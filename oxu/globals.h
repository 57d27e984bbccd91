// The client utility's program-wide state, shared by its windows.
#pragma once

#include <cstdint>
#include <vector>

#include <gtkmm/menuitem.h>
#include <gtkmm/window.h>
#include <sigc++/signal.h>

#include "kdr770.h"
#include "preferences.h"
#include "radio_list.h"
#include "records.h"

class OxuMenu;
class updater;

// Built before main in this order, destroyed in reverse at every exit.
extern RadioList Radios;
extern sigc::signal<void, int> RadioFailed;
extern std::vector<Gtk::Window *> OpenWindows;
extern prefs ThePrefs;

extern Gtk::Window *MainWindow;
extern OxuMenu *CommandsMenu;
extern OxuMenu *CemMenu;
extern Gtk::MenuItem *CommandsItems[20];
extern Gtk::MenuItem *CemItems[4];
extern kdR770 *CurrentRadio;
extern _STCAPS CurrentCaps;
extern uint8_t CurrentProfile;  // 0 enterprise, 1 home
extern ProfileRecord EnterpriseProfile;
extern ProfileRecord HomeProfile;
extern updater *TheUpdater;
extern char StatusText[256];

// Rows of the "Commands" menu that other windows refer to.
enum CommandsRow {
    ROW_ABOUT = 0,
    ROW_FIRMWARE = 1,
    ROW_PROPERTIES = 2,
    ROW_ZUNA = 3,
    ROW_STATISTICS = 4,
    ROW_STATUS = 5,
    ROW_SELECT_RADIO = 6,
    ROW_TOGGLE_RADIO = 7,
    ROW_HELP_BROWSER = 8,
    ROW_EXIT = 9,
};
