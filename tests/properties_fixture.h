// The properties window's tests share this: one adapter taken up as at
// start, "Edit Properties" run from inside a running main loop, and what the
// window must leave alone unless Ok applies it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <glibmm/main.h>
#include <gtkmm/comboboxtext.h>
#include <gtkmm/main.h>

#include "command_menus.h"
#include "globals.h"
#include "gui.h"
#include "main_window.h"
#include "profile_file.h"
#include "properties_window.h"
#include "updater.h"

inline const char Title[] = "VX1100 Properties";

// The stored state that the window must leave alone unless Ok applies it.
struct Stored {
    ProfileRecord enterprise, home;
    uint8_t current;
    std::vector<uint8_t> file;
    bool zunaItem;

    bool operator==(const Stored &o) const
    {
        return Bytes(enterprise) == Bytes(o.enterprise) && Bytes(home) == Bytes(o.home) &&
               current == o.current && file == o.file && zunaItem == o.zunaItem;
    }
};

class PropertiesTest : public ::testing::Test {
protected:
    // One adapter in the given state, taken up as at start; the refresher is
    // stopped so that only the window talks to the adapter.
    void Start(const std::vector<std::string> &state = {})
    {
        sb.add("eth0");
        if (!state.empty())
            sb.set("eth0", state);
        RescanRadios();
        BuildMainWindow();
        ChooseAdapter();
        Step();
        TheUpdater->Stop();
        sb.clearJournal();
    }

    // Runs "Edit Properties" from inside a running main loop, as a user
    // would; act gets the window, titled so, once it is up and must end it.
    // False when the window did not come, or its end ended the loop below it
    // too.
    bool Edit(const std::function<void(PropWindow &)> &act, const std::string &title = Title)
    {
        bool seen = false, returned = false, outerRan = false;
        sigc::connection marker, drive;
        Later(0, [&] {
            // The window is up before the command's loop runs, or not at all.
            drive = ActOnWindow(
                "properties window '" + title + "'",
                [&title] { return dynamic_cast<PropWindow *>(FindWindow(title)); },
                [&](Gtk::Window &window) {
                    seen = true;
                    act(static_cast<PropWindow &>(window));
                },
                0);
            OnCommandsMenu(ROW_PROPERTIES);
            returned = true;
            drive.disconnect();
            marker = Glib::signal_timeout().connect(
                [&] {
                    outerRan = true;
                    Gtk::Main::quit();
                    return false;
                },
                100);
        });
        Gtk::Main::run();
        marker.disconnect();
        drive.disconnect();
        Step();
        return seen && returned && outerRan;
    }

    // Edits, then " Cancel ": nothing is written and nothing stored changes.
    void ExpectCancelLeavesAll(const std::function<void(PropWindow &)> &edit)
    {
        const Stored before = Snapshot();
        sb.clearJournal();
        EXPECT_TRUE(Edit([&](PropWindow &w) {
            edit(w);
            w.buttons[PropWindow::CANCEL]->clicked();
        }));
        EXPECT_EQ(Writes(), std::vector<int>{});
        EXPECT_TRUE(Snapshot() == before);
    }

    Stored Snapshot() const
    {
        return {EnterpriseProfile, HomeProfile, CurrentProfile,
                ReadFileBytes(sb.path("etc/eth0.cfg")), CommandsItems[ROW_ZUNA]->get_sensitive()};
    }

    // Commands of the requests that change the adapter.
    std::vector<int> Writes() const
    {
        std::vector<int> out;
        for (int c : sb.commands("eth0"))
            if (c >= 50)
                out.push_back(c);
        return out;
    }

    // The bytes of the last request with this command.
    template <class T>
    T Sent(int command) const
    {
        std::vector<uint8_t> bytes;
        for (const auto &e : sb.journal())
            if (e.command == command)
                bytes = e.sent;
        return FromBytes<T>(bytes);
    }

    ProfileFile File() const { return FromBytes<ProfileFile>(ReadFileBytes(sb.path("etc/eth0.cfg"))); }

    // The adapter's own MAC address.
    std::vector<uint8_t> AdapterMac() const
    {
        auto cfg = sim::GetRecord(sb.dir(), "eth0", "config");
        return std::vector<uint8_t>(cfg.begin() + 0x0a, cfg.begin() + 0x10);
    }

    ProcessSandbox sb;

    // Builds the window on the stored profiles, lets edit act on it, presses
    // " Ok " and gives the configuration sent.
    CFG_R770 OkOnNewWindow(const std::function<void(PropWindow &)> &edit)
    {
        sb.clearJournal();
        {
            PropWindow w(CurrentRadio);
            edit(w);
            w.buttons[PropWindow::OK]->clicked();
        }
        Step();
        return Sent<CFG_R770>(53);
    }
};

// The shown top-level window that carries this text, or null.
inline Gtk::Window *WindowWithText(const std::string &text)
{
    for (Gtk::Window *w : Gtk::Window::list_toplevels()) {
        if (!w->get_visible())
            continue;
        auto texts = LabelTexts(*w);
        if (std::find(texts.begin(), texts.end(), text) != texts.end())
            return w;
    }
    return nullptr;
}

// The texts of a drop-down list's items, in order.
inline std::vector<std::string> Items(Gtk::ComboBoxText &list)
{
    std::vector<std::string> out;
    for (const auto &row : list.get_model()->children()) {
        Glib::ustring text;
        row.get_value(0, text);
        out.push_back(text);
    }
    return out;
}
