#include "main_window.h"

#include <cstdio>
#include <cstdlib>

#include <gdkmm/pixbuf.h>
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/frame.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>
#include <gtkmm/main.h>
#include <gtkmm/menubar.h>
#include <gtkmm/togglebutton.h>

#include "command_menus.h"
#include "globals.h"
#include "pictures.h"
#include "profile_file.h"
#include "styles.h"
#include "updater.h"
#include "window_util.h"

OxuMenu::OxuMenu() = default;
OxuMenu::~OxuMenu() = default;

void QuitAndExit()
{
    Gtk::Main::quit();
    Gtk::Main::quit();
    exit(0);
}

namespace {

bool OnMainDelete(GdkEventAny *)
{
    QuitAndExit();
    return true;
}

template <size_t N>
void FillMenu(OxuMenu *menu, const MenuRow (&table)[N], Gtk::MenuItem **items, void (*handler)(int))
{
    for (size_t r = 0; r < N; ++r) {
        auto *item = Gtk::manage(new Gtk::MenuItem(table[r].label));
        item->signal_activate().connect(sigc::bind(sigc::ptr_fun(handler), int(r)));
        item->set_sensitive(table[r].sensitive != 0);
        items[r] = item;
        menu->append(*item);
    }
}

// Takes up an adapter. The single adapter found at start reads its
// capabilities before its profile is loaded, the one chosen later after.
void TakeUp(kdR770 *radio, bool atStart)
{
    CurrentRadio = radio;
    char ifname[6] = {};
    radio->GetIfName(ifname);
    char filename[16];
    snprintf(filename, sizeof filename, "%s.cfg", ifname);
    Cfgio cfg(filename);
    if (atStart)
        radio->GetCaps(CurrentCaps);
    if (!cfg.valid) {
        CurrentProfile = 0;
        cfg.mkcfg(*radio);
        cfg.ldcfg(*radio, EnterpriseProfile, HomeProfile);
    } else {
        int selector = cfg.ldcfg(*radio, EnterpriseProfile, HomeProfile);
        // An adapter that could not be loaded still has the file's choice.
        if (selector < 0)
            selector = cfg.header.selector != 0;
        CurrentProfile = selector != 0 ? 1 : 0;
    }
    if (!atStart)
        radio->GetCaps(CurrentCaps);

    UpdateZunaItem();
    CommandsMenu->set_sensitive(true);
    CemMenu->set_sensitive(true);
    if (atStart)
        CommandsItems[ROW_SELECT_RADIO]->set_sensitive(false);
    else
        MainWindow->show_all();
}

} // namespace

void UpdateZunaItem()
{
    CommandsItems[ROW_ZUNA]->set_sensitive((EnterpriseProfile.cfg.auth_mode & AUTH_ZUNA) &&
                                           CurrentProfile == 0);
}

void BuildMainWindow()
{
    static Glib::RefPtr<Gdk::Pixbuf> picture = Gdk::Pixbuf::create_from_xpm_data(MainPicture);

    CommandsMenu = new OxuMenu;
    CommandsMenu->set_sensitive(false);
    CemMenu = new OxuMenu;
    CemMenu->set_sensitive(false);

    MainWindow = new Gtk::Window(Gtk::WINDOW_TOPLEVEL);
    UseStyle(*MainWindow, SMALL_FONT);
    MainWindow->set_title("Vindral Client Utility");
    MainWindow->signal_delete_event().connect(sigc::ptr_fun(&OnMainDelete));
    MainWindow->set_size_request(515, 330);
    MainWindow->set_resizable(false);

    for (auto &item : CommandsItems)
        item = nullptr;
    for (auto &item : CemItems)
        item = nullptr;
    FillMenu(CommandsMenu, CommandsMenuTable, CommandsItems, &OnCommandsMenu);
    FillMenu(CemMenu, CemMenuTable, CemItems, &OnCemMenu);

    auto *cemItem = Gtk::manage(new Gtk::MenuItem("CEM"));
    auto *commandsItem = Gtk::manage(new Gtk::MenuItem("Commands"));
    commandsItem->set_submenu(*CommandsMenu);
    cemItem->set_submenu(*CemMenu);

    auto *column = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 1));
    MainWindow->add(*column);
    auto *menubar = Gtk::manage(new Gtk::MenuBar);
    column->pack_start(*menubar, false, false, 2);
    auto *frame = Gtk::manage(new Gtk::ToggleButton);
    frame->set_active(true);
    frame->set_sensitive(false);
    frame->add(*Gtk::manage(new Gtk::Image(picture)));
    column->pack_start(*frame, true, true, 2);
    auto *bottom = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 1));
    column->pack_start(*bottom, true, true, 0);

    snprintf(StatusText, sizeof StatusText, "%128s", " ");
    auto *statuslabel = Gtk::manage(new Gtk::Label(StatusText));
    // A window that cannot be resized follows its content's natural width:
    // the line asks for almost none and takes the width the date leaves it,
    // so the window keeps its fixed size and a longer line is cut at its end.
    statuslabel->set_ellipsize(Pango::ELLIPSIZE_END);
    statuslabel->set_max_width_chars(1);
    char now[64];
    FormatNow(now, sizeof now);
    auto *datelabel = Gtk::manage(new Gtk::Label(now));
    for (Gtk::Label *label : {statuslabel, datelabel}) {
        UseStyle(*label, SMALL_FONT);
        label->set_xalign(0);
        label->set_yalign(0);
    }
    auto *statusframe = Gtk::manage(new Gtk::Frame);
    statusframe->add(*statuslabel);
    bottom->pack_start(*statusframe, true, true, 0);
    auto *dateframe = Gtk::manage(new Gtk::Frame);
    dateframe->add(*datelabel);
    bottom->pack_end(*dateframe, false, false, 0);

    TheUpdater = new updater(datelabel, statuslabel);
    RadioFailed.connect(sigc::mem_fun(*TheUpdater, &updater::OnRadioFailed));

    menubar->append(*commandsItem);
    menubar->append(*cemItem);
    MainWindow->set_position(Gtk::WIN_POS_CENTER);
    MainWindow->show_all();
}

void ChooseAdapter()
{
    switch (Radios.Count()) {
    case 0:
        fputs("No radio found \n", stdout);
        fflush(stdout);
        exit(1);
    case 1:
        TakeUp(Radios[0], true);
        break;
    default:
        SelectRadio(&Radios);
        break;
    }
}

void UseRadio(kdR770 *radio)
{
    TakeUp(radio, false);
}

void SelectRadio(RadioList *list)
{
    auto *window = new Gtk::Window(Gtk::WINDOW_TOPLEVEL);
    window->set_title("Radio");
    window->set_border_width(10);
    window->set_modal(true);
    auto *box = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    window->add(*box);
    for (int i = 0; i < list->Count(); ++i) {
        kdR770 *radio = (*list)[i];
        char ifname[6] = {};
        radio->GetIfName(ifname);
        auto *button = Gtk::manage(new Gtk::Button(ifname));
        button->signal_clicked().connect([radio] { UseRadio(radio); });
        button->signal_clicked().connect([window] { DestroyWindow(window); });
        box->add(*button);
    }
    // Closing it through the window manager chooses nothing.
    window->signal_delete_event().connect([window](GdkEventAny *) {
        DestroyWindow(window);
        return true;
    });
    PlaceOverMain(*window, 224, 130);
    window->set_resizable(false);
    window->show_all();
}
