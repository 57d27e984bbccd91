#include "command_menus.h"

#include <cstdio>
#include <cstring>

#include <gtkmm/main.h>

#include "about_window.h"
#include "credentials_dialog.h"
#include "firmware_window.h"
#include "password_dialog.h"
#include "properties_window.h"
#include "statistics_window.h"
#include "status_window.h"
#include "globals.h"
#include "help.h"
#include "main_window.h"
#include "updater.h"
#include "wep_key_window.h"
#include "whole_answers.h"

const MenuRow CommandsMenuTable[10] = {
    {"About", 1},
    {"Load new Firmware", 1},
    {"Edit Properties", 1},
    {"Set Zuna Information", 1},
    {"Statistics", 1},
    {"Status", 1},
    {"Select Radio", 1},
    {"Toggle radio on/off ", 1},
    {"Select help browser", 1},
    {"Exit", 1},
};

const MenuRow CemMenuTable[2] = {
    {"Change Password", 1},
    {"Enter WEP key", 1},
};

namespace {

void CloseOpenWindows()
{
    while (!OpenWindows.empty()) {
        Gtk::Window *window = OpenWindows.back();
        OpenWindows.pop_back();
        delete window;
    }
}

void ToggleRadio()
{
    TheUpdater->Stop();
    _STSTATUS status{};
    // Without a whole status there is nothing to tell which way to switch:
    // one cut short would read as a radio that is off.
    if (ReadWhole([&status] { return CurrentRadio->GetStatus(status); }, status) == 0)
        CurrentRadio->SetMac(!(status.status_word & STATUS_RADIO_ENABLED));
    TheUpdater->Start();
}

} // namespace

void OnCommandsMenu(int row)
{
    switch (row) {
    case ROW_ABOUT:
        new About;
        Gtk::Main::run();
        break;
    case ROW_FIRMWARE:
        CloseOpenWindows();
        TheUpdater->Stop();
        new Flashwin(CurrentRadio);
        Gtk::Main::run();
        TheUpdater->Start();
        break;
    case ROW_PROPERTIES:
        if (!CurrentRadio) {
            std::fputs("NO WORKING RADIO\n", stdout);
            std::fflush(stdout);
            break;
        }
        TheUpdater->Stop();
        {
            // The one window the command owns: destroyed only after the
            // refresher has started again.
            PropWindow window(CurrentRadio);
            Gtk::Main::run();
            TheUpdater->Start();
        }
        break;
    case ROW_ZUNA:
        new Zuner(CurrentRadio);
        Gtk::Main::run();
        break;
    case ROW_STATISTICS:
        OpenWindows.push_back(new StatsWindow(CurrentRadio));
        Gtk::Main::run();
        break;
    case ROW_STATUS:
        OpenWindows.push_back(new StatusWindow(CurrentRadio));
        Gtk::Main::run();
        break;
    case ROW_SELECT_RADIO:
        if (Radios.Count() >= 2)
            SelectRadio(&Radios);
        break;
    case ROW_TOGGLE_RADIO:
        if (CurrentRadio)
            ToggleRadio();
        break;
    case ROW_HELP_BROWSER:
        new browse;
        Gtk::Main::run();
        break;
    case ROW_EXIT:
        QuitAndExit();
        break;
    default:
        break;
    }
}

void OnCemMenu(int row)
{
    ThePrefs.SetUnlocked(0);
    if (row == 0) {
        new cempass(cempass::CHANGE);
        Gtk::Main::run();
        return;
    }
    // Exactly one blank marks that no password is set; a password that only
    // begins with a blank is still asked for.
    const char *password = ThePrefs.GetPassword();
    if (password && std::strcmp(password, " ") == 0) {
        ThePrefs.SetUnlocked(1);
    } else {
        new cempass(cempass::ENTER);
        Gtk::Main::run();
    }
    if (ThePrefs.IsUnlocked() && CurrentRadio) {
        new WepKeyEntry(CurrentRadio);
        Gtk::Main::run();
    }
}
