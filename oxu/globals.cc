#include "globals.h"

// One translation unit, so that these four are built in this order before
// main and destroyed in the reverse order.
RadioList Radios;
sigc::signal<void, int> RadioFailed;
std::vector<Gtk::Window *> OpenWindows;
prefs ThePrefs;

Gtk::Window *MainWindow = nullptr;
OxuMenu *CommandsMenu = nullptr;
OxuMenu *CemMenu = nullptr;
Gtk::MenuItem *CommandsItems[20] = {};
Gtk::MenuItem *CemItems[4] = {};
kdR770 *CurrentRadio = nullptr;
_STCAPS CurrentCaps = {};
uint8_t CurrentProfile = 0;
ProfileRecord EnterpriseProfile = {};
ProfileRecord HomeProfile = {};
updater *TheUpdater = nullptr;
char StatusText[256] = {};
