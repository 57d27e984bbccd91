// The properties window with its System Parameters and Network Security
// pages (the RF, advanced and home pages have tests of their own): what
// Cancel, a close and Ok do to the adapter, the stored profiles
// and the profile file, byte by byte; the pages' rules; an adapter that
// stops answering; bad profiles and failing requests.
#include <gtest/gtest.h>

#include <tuple>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include <glibmm/main.h>
#include <gtkmm/main.h>

#include "command_menus.h"
#include "error_window.h"
#include "fatal_window.h"
#include "globals.h"
#include "gui.h"
#include "help.h"
#include "main_window.h"
#include "profile_file.h"
#include "properties_fixture.h"
#include "properties_window.h"
#include "security_page.h"
#include "system_page.h"
#include "updater.h"

namespace {

std::string FontFamily(Gtk::Widget &widget)
{
    return widget.get_style_context()->get_font().get_family();
}

TEST_F(PropertiesTest, FrameTitlePlacementSizeAndButtons)
{
    Start();
    EXPECT_TRUE(Edit([&](PropWindow &w) {
        Settle(w);
        EXPECT_EQ(w.get_title(), Title);
        EXPECT_TRUE(w.get_modal());
        int mx, my, x, y;
        MainWindow->get_position(mx, my);
        w.get_position(x, y);
        EXPECT_EQ(x, mx);
        EXPECT_EQ(y, my - 16);

        ASSERT_EQ(w.book->get_n_pages(), 6);
        const char *tabs[] = {"System Parameters", "Network Security", "RF Network",
                              "Home Networking", "Advanced Infrastructure", "Advanced AdHoc"};
        for (int i = 0; i < 6; ++i) {
            auto *tab = dynamic_cast<Gtk::Label *>(w.book->get_tab_label(*w.book->get_nth_page(i)));
            ASSERT_NE(tab, nullptr);
            EXPECT_EQ(tab->get_text(), tabs[i]);
            EXPECT_EQ(FontFamily(*tab), "monospace");
        }
        // Every page fits the notebook, in either network type: only the
        // advanced page of the type chosen is there.
        for (bool adhoc : {false, true}) {
            SCOPED_TRACE(adhoc ? "ad hoc" : "infrastructure");
            (adhoc ? w.system_page->adhoc_button : w.system_page->infra_button)->clicked();
            Settle(w);
            for (int i = 0; i < 4; ++i)
                EXPECT_TRUE(w.book->get_nth_page(i)->get_visible()) << i;
            EXPECT_EQ(w.book->get_nth_page(4)->get_visible(), !adhoc);
            EXPECT_EQ(w.book->get_nth_page(5)->get_visible(), adhoc);
            for (int i = 0; i < 6; ++i) {
                if (!w.book->get_nth_page(i)->get_visible())
                    continue;
                SCOPED_TRACE(tabs[i]);
                w.book->set_current_page(i);
                Settle(w);
                EXPECT_EQ(w.book->get_allocated_width(), 540);
                EXPECT_EQ(w.book->get_allocated_height(), 320);
            }
        }
        // From left to right " Ok ", " Cancel ", " Help ", in the plain font.
        EXPECT_EQ(w.buttons[PropWindow::OK]->get_label(), " Ok ");
        EXPECT_EQ(w.buttons[PropWindow::CANCEL]->get_label(), " Cancel ");
        EXPECT_EQ(w.buttons[PropWindow::HELP]->get_label(), " Help ");
        EXPECT_LT(w.buttons[PropWindow::OK]->get_allocation().get_x(),
                  w.buttons[PropWindow::CANCEL]->get_allocation().get_x());
        EXPECT_LT(w.buttons[PropWindow::CANCEL]->get_allocation().get_x(),
                  w.buttons[PropWindow::HELP]->get_allocation().get_x());
        EXPECT_NE(FontFamily(*w.buttons[PropWindow::OK]->get_child()), "monospace");
        w.close();
    }));
}

TEST_F(PropertiesTest, HelpShowsThePageOfTheTabShown)
{
    Start();
    const std::string record = sb.path("browser.args");
    const std::string browser = sb.path("browser");
    {
        std::ofstream out(browser);
        out << "#!/bin/sh\necho \"$@\" > " << record << ".tmp && mv " << record << ".tmp " << record
            << "\n";
    }
    chmod(browser.c_str(), 0755);
    // The tests run as root, who runs no browser that another user chose.
    chmod(PrefsPath, 0644);
    ThePrefs.SetBrowser(browser.c_str());
    EXPECT_TRUE(Edit([&](PropWindow &w) {
        EXPECT_EQ(CurrentHelpPage, &HelpPages[0]);
        w.book->set_current_page(4);
        EXPECT_EQ(CurrentHelpPage, &HelpPages[4]);
        w.book->set_current_page(1);
        EXPECT_EQ(CurrentHelpPage, &HelpPages[1]);
        w.buttons[PropWindow::HELP]->clicked();
        RunUntil([&] { return std::filesystem::exists(record); }, "the browser's record");
        w.close();
    }));
    std::ifstream in(record);
    std::string url;
    std::getline(in, url);
    EXPECT_EQ(url, "file:/opt/tavlo/helpml/NetworkSecurity.htm");
}

// Edits on both pages, then Cancel or a window-manager close.
TEST_F(PropertiesTest, CancelAndCloseChangeNothing)
{
    Start();
    // The ZUNA item follows the stored state until Ok: here the enterprise
    // profile uses ZUNA but the home profile is in use.
    EnterpriseProfile.cfg.auth_mode = 0x1101;
    CurrentProfile = 1;
    UpdateZunaItem();
    const Stored before = Snapshot();
    for (bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "Cancel" : "close");
        sb.clearJournal();
        EXPECT_TRUE(Edit([&](PropWindow &w) {
            SystemParams &sys = *w.system_page;
            SecuritySetting &sec = *w.security_page;
            EXPECT_TRUE(sec.zuna_button->get_active());
            sys.name_entry->set_text("desk");
            sys.ssid_entries[1]->set_text("other");
            sys.groups[SystemParams::POWER_SAVE]->SetActive(2);
            sys.enterprise_button->set_active(true);
            sec.disable_button->clicked();
            sec.mixed_check->set_active(true);
            sys.adhoc_button->clicked();
            if (cancel)
                w.buttons[PropWindow::CANCEL]->clicked();
            else
                w.close();
        }));
        EXPECT_EQ(Writes(), std::vector<int>{});
        EXPECT_TRUE(Snapshot() == before);
        EXPECT_EQ(FindWindow(Title), nullptr);
        // The status line is refreshed again.
        EXPECT_TRUE(TheUpdater->timer.connected());
        sb.clearJournal();
        RunUntil([&] { return !sb.commands("eth0").empty(); }, "a refresh of the status line");
        TheUpdater->Stop();
    }
}

TEST_F(PropertiesTest, OkWithEnterpriseSendsTheEditedProfileWithTheAdaptersMac)
{
    Start();
    const std::vector<uint8_t> own = AdapterMac();
    // An address stored from another card must not reach this one.
    const uint8_t foreign[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
    std::memcpy(EnterpriseProfile.cfg.mac_addr, foreign, 6);
    EnterpriseProfile.cfg.auth_mode = 0x0102;  // shared key, WEP
    ProfileRecord expected = EnterpriseProfile;
    // The home page keeps its profile as stored: not sent, not marked.
    const ProfileRecord home = HomeProfile;

    EXPECT_TRUE(Edit([&](PropWindow &w) {
        w.system_page->name_entry->set_text("desk");
        w.system_page->groups[SystemParams::POWER_SAVE]->SetActive(1);
        w.security_page->mixed_check->set_active(true);
        w.buttons[PropWindow::OK]->clicked();
    }));
    std::strncpy(expected.cfg.client_name, "desk", 16);
    expected.cfg.power_save = 1;
    expected.cfg.auth_mode = 0x0302;
    std::memcpy(expected.cfg.mac_addr, own.data(), 6);

    EXPECT_EQ(Writes(), (std::vector<int>{54, 55, 53}));
    EXPECT_EQ(Bytes(Sent<CFG_R770>(53)), Bytes(expected.cfg));
    EXPECT_EQ(Bytes(Sent<_STSSID>(54)), Bytes(expected.ssid));
    EXPECT_EQ(Bytes(Sent<_STAPLIST>(55)), Bytes(expected.aplist));
    EXPECT_EQ(Bytes(EnterpriseProfile), Bytes(expected));
    EXPECT_EQ(Bytes(HomeProfile), Bytes(home));
    EXPECT_EQ(CurrentProfile, 0);

    const ProfileFile file = File();
    EXPECT_EQ(uint32_t(file.header.selector), 0u);
    EXPECT_EQ(Bytes(file.a), Bytes(expected));
    EXPECT_EQ(Bytes(file.b), Bytes(home));
    EXPECT_TRUE(Cfgio("eth0.cfg").valid);
    EXPECT_FALSE(CommandsItems[ROW_ZUNA]->get_sensitive());
}

// Only the home profile goes to the adapter (the home page has tests of its
// own); the enterprise one is still kept and saved.
TEST_F(PropertiesTest, OkWithHomeInUseSavesButSendsNoEnterpriseProfile)
{
    Start({"config.auth_mode=0x1101"});
    ASSERT_TRUE(CommandsItems[ROW_ZUNA]->get_sensitive());
    EXPECT_TRUE(Edit([&](PropWindow &w) {
        w.system_page->name_entry->set_text("desk");
        w.system_page->groups[SystemParams::CURRENT_PROFILE]->SetActive(1);
        w.buttons[PropWindow::OK]->clicked();
    }));
    EXPECT_EQ(Writes(), (std::vector<int>{54, 55, 53}));
    EXPECT_EQ(Bytes(Sent<CFG_R770>(53)), Bytes(HomeProfile.cfg));
    EXPECT_EQ(std::string(EnterpriseProfile.cfg.client_name), "desk");
    EXPECT_EQ(std::string(HomeProfile.cfg.client_name), "");
    EXPECT_EQ(CurrentProfile, 1);
    const ProfileFile file = File();
    EXPECT_EQ(uint32_t(file.header.selector), 1u);
    EXPECT_EQ(Bytes(file.a), Bytes(EnterpriseProfile));
    EXPECT_TRUE(Cfgio("eth0.cfg").valid);
    EXPECT_FALSE(CommandsItems[ROW_ZUNA]->get_sensitive());
}

// The System Parameters page's fields as Ok stores them, from what the page
// showed and what was typed.
TEST_F(PropertiesTest, SystemPageFieldsAsStored)
{
    Start({"ssid.1.text=caf\\xe9", "ssid.2.text=second", "config.client_name=OldLongName12345"});
    struct Case {
        const char *name;
        uint16_t netType, powerSave;
        std::function<void(SystemParams &)> edit;
        uint16_t storedNetType, storedPowerSave;
        std::vector<std::pair<uint16_t, std::string>> ssids;
        std::string clientName;  // 16 bytes
    } cases[] = {
        {"unchanged", 1, 0, [](SystemParams &) {}, 1, 0,
         {{4, std::string("caf\xE9", 4)}, {6, "second"}}, std::string("OldLongName12345")},
        {"net type 3 shows ad hoc", 3, 0,
         [](SystemParams &s) { EXPECT_TRUE(s.adhoc_button->get_active()); }, 2, 0,
         {{4, std::string("caf\xE9", 4)}, {6, "second"}}, std::string("OldLongName12345")},
        {"net type 3 with infrastructure", 3, 0, [](SystemParams &s) { s.infra_button->clicked(); },
         3, 0, {{4, std::string("caf\xE9", 4)}, {6, "second"}}, std::string("OldLongName12345")},
        {"power save 5", 1, 5,
         [](SystemParams &s) { EXPECT_EQ(s.groups[SystemParams::POWER_SAVE]->GetActive(), 0); }, 1,
         0, {{4, std::string("caf\xE9", 4)}, {6, "second"}}, std::string("OldLongName12345")},
        {"SSIDs move up, shorter name", 1, 2,
         [](SystemParams &s) {
             s.ssid_entries[0]->set_text("");
             s.ssid_entries[1]->set_text("abc");
             s.name_entry->set_text("ab");
         },
         1, 2, {{3, "abc"}}, std::string("ab\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16)},
        {"fields filled to the last byte", 1, 1,
         [](SystemParams &s) {
             s.ssid_entries[2]->set_text(std::string(32, 'S'));
             s.name_entry->set_text("\xC3\xA9" + std::string(15, 'N'));
         },
         1, 1, {{4, std::string("caf\xE9", 4)}, {6, "second"}, {32, std::string(32, 'S')}},
         "\xE9" + std::string(15, 'N')},
    };
    const ProfileRecord stored = EnterpriseProfile;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EnterpriseProfile = stored;
        EnterpriseProfile.cfg.net_type = c.netType;
        EnterpriseProfile.cfg.power_save = c.powerSave;
        sb.clearJournal();
        EXPECT_TRUE(Edit([&](PropWindow &w) {
            // The Latin-1 byte is shown as its character.
            EXPECT_EQ(w.system_page->ssid_entries[0]->get_text(), "caf\xC3\xA9");
            c.edit(*w.system_page);
            w.buttons[PropWindow::OK]->clicked();
        }));
        const CFG_R770 cfg = Sent<CFG_R770>(53);
        EXPECT_EQ(uint16_t(cfg.net_type), c.storedNetType);
        EXPECT_EQ(uint16_t(cfg.power_save), c.storedPowerSave);
        EXPECT_EQ(std::string(cfg.client_name, 16), c.clientName);
        // Nothing past the name field.
        EXPECT_EQ(0, std::memcmp(cfg.reserved_90, stored.cfg.reserved_90, sizeof cfg.reserved_90));

        _STSSID want{};
        for (size_t i = 0; i < c.ssids.size(); ++i) {
            want.entry[i].len = c.ssids[i].first;
            std::memcpy(want.entry[i].text, c.ssids[i].second.data(), c.ssids[i].second.size());
        }
        EXPECT_EQ(Bytes(Sent<_STSSID>(54)), Bytes(want));
        EXPECT_EQ(Bytes(EnterpriseProfile.ssid), Bytes(want));
    }
}

TEST_F(PropertiesTest, EntriesRefuseCharactersAboveLatin1AndLongTexts)
{
    Start();
    PropWindow w(CurrentRadio);
    Gtk::Entry &name = *w.system_page->name_entry;
    name.set_text("ab");
    int pos = 2;
    name.insert_text("\xE2\x82\xAC", -1, pos);  // €
    EXPECT_EQ(name.get_text(), "ab");
    name.set_text(std::string(17, 'x'));
    EXPECT_EQ(name.get_text(), std::string(16, 'x'));
    Gtk::Entry &ssid = *w.system_page->ssid_entries[0];
    ssid.set_text(std::string(40, 'y'));
    EXPECT_EQ(ssid.get_text(), std::string(32, 'y'));
}

TEST_F(PropertiesTest, ZunaForcesInfrastructureOpenAuthenticationAndWep)
{
    Start({"config.auth_mode=0x0002"});  // shared key, no WEP
    EXPECT_TRUE(Edit([&](PropWindow &w) {
        SystemParams &sys = *w.system_page;
        SecuritySetting &sec = *w.security_page;
        sys.adhoc_button->clicked();
        EXPECT_FALSE(sec.zuna_button->get_sensitive());
        sys.infra_button->clicked();
        sec.wep_check->set_active(true);
        sec.shared_button->clicked();
        ASSERT_TRUE(sec.zuna_button->get_sensitive());
        sec.zuna_button->clicked();
        EXPECT_TRUE(sys.infra_button->get_active());
        EXPECT_FALSE(sys.infra_button->get_sensitive());
        EXPECT_FALSE(sys.adhoc_button->get_sensitive());
        EXPECT_TRUE(sec.open_button->get_active());
        EXPECT_FALSE(sec.open_button->get_sensitive());
        EXPECT_FALSE(sec.shared_button->get_sensitive());
        EXPECT_TRUE(sec.wep_check->get_active());
        EXPECT_FALSE(sec.wep_check->get_sensitive());
        w.buttons[PropWindow::OK]->clicked();
    }));
    const CFG_R770 cfg = Sent<CFG_R770>(53);
    EXPECT_EQ(uint16_t(cfg.auth_mode), 0x1101);
    EXPECT_EQ(cfg.net_type & 1, 1);
    // Enterprise in use with ZUNA: the credentials item is usable.
    EXPECT_TRUE(CommandsItems[ROW_ZUNA]->get_sensitive());
}

TEST_F(PropertiesTest, AdHocProfileWithZunaShowsZunaAndForcesInfrastructure)
{
    Start({"config.net_type=0", "config.auth_mode=0x1001"});
    PropWindow w(CurrentRadio);
    SystemParams &sys = *w.system_page;
    SecuritySetting &sec = *w.security_page;
    EXPECT_TRUE(sec.zuna_button->get_active());
    EXPECT_FALSE(sec.zuna_button->get_sensitive());
    EXPECT_TRUE(sys.infra_button->get_active());
    EXPECT_FALSE(sys.infra_button->get_sensitive());
}

// Without WEP, ZUNA forces nothing and ad hoc can be chosen: ZUNA is then
// left for "Disable", never stored with ad hoc.
TEST_F(PropertiesTest, AdHocLeavesZunaForDisable)
{
    Start({"caps.cap_flags=0x1000", "config.auth_mode=0x1001"});
    EXPECT_TRUE(Edit([&](PropWindow &w) {
        SecuritySetting &sec = *w.security_page;
        ASSERT_TRUE(sec.zuna_button->get_active());
        w.system_page->adhoc_button->clicked();
        EXPECT_FALSE(sec.zuna_button->get_active());
        EXPECT_TRUE(sec.disable_button->get_active());
        EXPECT_FALSE(sec.zuna_button->get_sensitive());
        EXPECT_FALSE(sec.disable_button->get_sensitive());
        w.buttons[PropWindow::OK]->clicked();
    }));
    const CFG_R770 cfg = Sent<CFG_R770>(53);
    EXPECT_EQ(cfg.auth_mode & 0x1000, 0);
    EXPECT_EQ(cfg.net_type & 1, 0);

    // Loaded so: without WEP, choosing ZUNA cannot force infrastructure, so
    // the ad hoc profile keeps "Disable".
    EnterpriseProfile.cfg.net_type = 0;
    EnterpriseProfile.cfg.auth_mode = 0x1001;
    sb.clearJournal();
    EXPECT_TRUE(Edit([&](PropWindow &w) {
        EXPECT_TRUE(w.system_page->adhoc_button->get_active());
        EXPECT_TRUE(w.security_page->disable_button->get_active());
        w.buttons[PropWindow::OK]->clicked();
    }));
    const CFG_R770 adhoc = Sent<CFG_R770>(53);
    EXPECT_EQ(adhoc.auth_mode & 0x1000, 0);
    EXPECT_EQ(adhoc.net_type & 1, 0);
}

TEST_F(PropertiesTest, WepNeedsAUsableTransmitKey)
{
    Start();
    struct Case {
        const char *name;
        std::vector<std::string> keys;
        int count, tx;
    } cases[] = {
        {"keys 0 and 1, transmit 0", {}, 2, 0},
        {"no key", {"wep.0=none", "wep.1=none"}, 0, 0},
        {"keys 1 and 2, transmit 2", {"wep.0=none", "wep.2=0102030405", "wep.tx=2"}, 2, 2},
        {"no key 0 to transmit", {"wep.0=none", "wep.2=0102030405", "wep.tx=0"}, 0, 0},
        {"transmit key of no length", {"wep.1=", "wep.tx=1"}, 0, 1},
        {"five keys, no selector read",
         {"wep.2=0102030405", "wep.3=0102030405", "wep.4=0102030405", "wep.tx=3"}, 5, 0},
        {"five keys, key 0 of no length",
         {"wep.0=", "wep.2=0102030405", "wep.3=0102030405", "wep.4=0102030405", "wep.tx=3"}, 0, 0},
        {"first read fails", {"fail.6=5,-1"}, 0, 0},
        {"next read fails", {"fail.7=5,-1"}, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sb.add("eth0");
        sb.set("eth0", c.keys);
        EnterpriseProfile.cfg.auth_mode = 0x0302;  // shared key, WEP, mixed cells
        {
            PropWindow w(CurrentRadio);
            SecuritySetting &sec = *w.security_page;
            int tx = -1;
            EXPECT_EQ(sec.CountWepKeys(tx), c.count);
            EXPECT_EQ(tx, c.tx);
            const bool usable = c.count != 0;
            EXPECT_EQ(sec.wep_check->get_sensitive(), usable);
            EXPECT_EQ(sec.wep_check->get_active(), usable);
            EXPECT_EQ(sec.shared_button->get_active(), usable);
            EXPECT_EQ(sec.shared_button->get_sensitive(), usable);
            sb.set("eth0", {"fail.6=none", "fail.7=none"});
            w.buttons[PropWindow::OK]->clicked();
        }
        // Without a usable key: WEP and shared key cleared, open set.
        const uint16_t auth = Sent<CFG_R770>(53).auth_mode;
        EXPECT_EQ(auth & 0x0103, c.count ? 0x0102 : 0x0001);
    }
}

TEST_F(PropertiesTest, ZunaSwitchedOffResetsAndRestartsBeforeTheProfileIsSent)
{
    Start({"config.auth_mode=0x1101"});
    EXPECT_TRUE(Edit([&](PropWindow &w) {
        w.security_page->disable_button->clicked();
        w.buttons[PropWindow::OK]->clicked();
    }));
    std::vector<sim::JournalEntry> writes;
    for (const auto &e : sb.journal())
        if (e.command >= 50)
            writes.push_back(e);
    ASSERT_EQ(writes.size(), 5u);
    EXPECT_EQ(writes[0].command, 100);
    EXPECT_EQ(writes[1].command, 105);
    EXPECT_GE(writes[1].time - writes[0].time, 1.0);
    EXPECT_EQ(writes[2].command, 54);
    EXPECT_EQ(writes[4].command, 53);
    EXPECT_EQ(Sent<CFG_R770>(53).auth_mode & 0x1000, 0);
    EXPECT_FALSE(CommandsItems[ROW_ZUNA]->get_sensitive());
}

// "ZUNA" is offered only by an adapter whose capabilities name it (0x1000),
// whatever the network type does; a stored ZUNA bit from elsewhere is shown
// as "Disable", and Ok clears it with a reset and restart.
TEST_F(PropertiesTest, ZunaOnlyOnAnAdapterCapableOfIt)
{
    Start({"caps.cap_flags=0x0102", "config.auth_mode=0x1101"});
    EXPECT_TRUE(Edit([&](PropWindow &w) {
        SystemParams &sys = *w.system_page;
        SecuritySetting &sec = *w.security_page;
        EXPECT_FALSE(sec.zuna_button->get_sensitive());
        EXPECT_TRUE(sec.disable_button->get_active());
        sys.adhoc_button->clicked();
        sys.infra_button->clicked();
        EXPECT_FALSE(sec.zuna_button->get_sensitive());
        EXPECT_TRUE(sec.disable_button->get_sensitive());
        w.buttons[PropWindow::OK]->clicked();
    }));
    EXPECT_EQ(Writes(), (std::vector<int>{100, 105, 54, 55, 53}));
    EXPECT_EQ(Sent<CFG_R770>(53).auth_mode & 0x1000, 0);

    // The same adapter with the ZUNA bit: offered.
    sb.set("eth0", {"caps.cap_flags=0x1102"});
    PropWindow w(CurrentRadio);
    EXPECT_TRUE(w.security_page->zuna_button->get_sensitive());
}

TEST_F(PropertiesTest, SecurityDefaultsThenOkOrCancel)
{
    Start({"config.auth_mode=0x1302"});  // ZUNA, mixed cells, WEP, shared key
    ExpectCancelLeavesAll([](PropWindow &w) { w.security_page->SetDefaults(); });

    EXPECT_TRUE(Edit([&](PropWindow &w) {
        SecuritySetting &sec = *w.security_page;
        sec.SetDefaults();
        EXPECT_TRUE(sec.disable_button->get_active());
        EXPECT_TRUE(sec.open_button->get_active());
        EXPECT_FALSE(sec.wep_check->get_active());
        EXPECT_FALSE(sec.mixed_check->get_active());
        w.buttons[PropWindow::OK]->clicked();
    }));
    EXPECT_EQ(uint16_t(Sent<CFG_R770>(53).auth_mode), 0x0001);
    // ZUNA went, by " Defaults " too: the adapter is reset and restarted
    // before the profile is sent.
    const auto cmds = sb.commands("eth0");
    const auto reset = std::find(cmds.begin(), cmds.end(), 100);
    ASSERT_NE(reset, cmds.end());
    EXPECT_EQ(*(reset + 1), 105);
    EXPECT_LT(reset - cmds.begin(), std::find(cmds.begin(), cmds.end(), 53) - cmds.begin());
}

// " Defaults " of the System Parameters page reloads only its own widgets:
// the other pages' choices are written over the defaulted fields on Ok, so
// that what they show is what is sent.
TEST_F(PropertiesTest, SystemDefaultsThenOkOrCancel)
{
    Start({"config.auth_mode=0x0102", "config.client_name=desk", "config.power_save=2",
           "config.tx_power=30", "config.short_retry=7", "config.net_type=0",
           "config.rts_threshold=500", "aplist.1=02:1a:2b:3c:4d:5e"});
    ExpectCancelLeavesAll([](PropWindow &w) { w.system_page->SetDefaults(); });

    EXPECT_TRUE(Edit([&](PropWindow &w) {
        w.system_page->SetDefaults();
        EXPECT_EQ(w.system_page->name_entry->get_text(), "");
        EXPECT_EQ(w.system_page->ssid_entries[0]->get_text(), "");
        EXPECT_TRUE(w.system_page->infra_button->get_active());
        w.buttons[PropWindow::OK]->clicked();
    }));
    const CFG_R770 cfg = Sent<CFG_R770>(53);
    EXPECT_EQ(uint16_t(cfg.auth_mode), 0x0102);
    EXPECT_EQ(uint16_t(cfg.net_type), 1);
    EXPECT_EQ(uint16_t(cfg.power_save), 0);
    EXPECT_EQ(std::string(cfg.client_name, 16), std::string(16, '\0'));
    EXPECT_EQ(Bytes(Sent<_STSSID>(54)), Bytes(_STSSID{}));
    // What the RF and Advanced Infrastructure pages show, rather than the
    // defaults (power 1, retries 16, thresholds 2312, no access point).
    EXPECT_EQ(uint16_t(cfg.tx_power), 30);
    EXPECT_EQ(uint16_t(cfg.short_retry), 7);
    EXPECT_EQ(uint16_t(cfg.rts_threshold), 500);
    EXPECT_EQ(uint16_t(cfg.long_retry), 16);
    EXPECT_EQ(uint16_t(cfg.frag_threshold), 2312);
    _STAPLIST aplist{};
    aplist.length = 26;
    const uint8_t shown[6] = {0x02, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
    std::memcpy(aplist.mac[0], shown, 6);
    EXPECT_EQ(Bytes(Sent<_STAPLIST>(55)), Bytes(aplist));
}

TEST_F(PropertiesTest, AdapterGoneDuringOkIsFatalAndNothingIsSentOrSaved)
{
    Start();
    TheUpdater->Start();
    // One refresh, so that the line has a text to keep. Waited for: a
    // refresh still due when the window opens would change the line later.
    const std::string blank(128, ' ');
    ASSERT_TRUE(RunUntil([&] { return TheUpdater->statuslabel->get_text() != blank; },
                         "a refresh of the status line"));
    const std::string line = TheUpdater->statuslabel->get_text();
    const Stored before = Snapshot();
    EXPECT_TRUE(Edit([&](PropWindow &w) {
        w.system_page->name_entry->set_text("desk");
        sb.set("eth0", {"present=0"});
        w.buttons[PropWindow::OK]->clicked();
    }));
    Gtk::Window *fatal = WindowWithText("Fatal I/O error. Exiting");
    ASSERT_NE(fatal, nullptr);
    EXPECT_TRUE(fatal->get_modal());
    EXPECT_EQ(fatal->get_allocated_width(), 200);
    EXPECT_EQ(fatal->get_allocated_height(), 100);
    EXPECT_NE(FindButton(*fatal, "Ok"), nullptr);
    EXPECT_TRUE(Snapshot() == before);
    for (const auto &e : sb.journal())
        EXPECT_TRUE(e.command < 50 || e.result != 0) << e.command;
    // The status line stays as it was for the rest of the run.
    EXPECT_EQ(TheUpdater->running, 1);
    EXPECT_FALSE(TheUpdater->timer.connected());
    sb.set("eth0", {"present=1"});
    Step(1500);
    EXPECT_EQ(TheUpdater->statuslabel->get_text(), line);
    EXPECT_EQ(FindWindow("Error message"), nullptr);
}

// Once the adapter has failed during an Ok, the steps after it send nothing
// and save nothing, and the fatal window comes once.
TEST_F(PropertiesTest, AfterTheAdapterFailedLaterStepsSendAndSaveNothing)
{
    Start();
    const Stored before = Snapshot();
    PropWindow w(CurrentRadio);
    sb.clearJournal();
    w.AdapterFailed();
    w.AdapterFailed();
    ProfileRecord home = HomeProfile;
    EXPECT_FALSE(w.SendProfile(home.cfg, home.aplist, home.ssid));
    w.SaveProfiles(1);
    EXPECT_TRUE(sb.journal().empty());
    EXPECT_TRUE(Snapshot() == before);
    int fatal = 0;
    for (Gtk::Window *top : Gtk::Window::list_toplevels())
        fatal += dynamic_cast<FatalIoWindow *>(top) != nullptr;
    EXPECT_EQ(fatal, 1);
}

// The adapter keeps what was sent; the user is told, with the reason, that
// the file was not saved, and the file is as it was.
TEST_F(PropertiesTest, ProfileFileThatCannotBeRewrittenIsReported)
{
    const struct {
        const char *what;
        std::function<void(const Sandbox &)> prepare;
        const char *said;
    } cases[] = {
        {"folder at the path",
         [](const Sandbox &sb) {
             std::filesystem::remove(sb.path("etc/eth0.cfg"));
             std::filesystem::create_directory(sb.path("etc/eth0.cfg"));
         },
         "Is a directory"},
        {"read-only /etc", [](const Sandbox &sb) { sb.fileFail("etc", "open", EROFS); }, "Read-only file system"},
        {"full file system", [](const Sandbox &sb) { sb.fileFail("etc", "write", ENOSPC); }, "No space left on device"},
        {"disk failing after 136 bytes", [](const Sandbox &sb) { sb.fileFail("etc", "write", EIO, 136); },
         "Input/output error"},
    };
    Start();
    const auto original = ReadFileBytes(sb.path("etc/eth0.cfg"));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(sb.path("etc/eth0.cfg"), original);
        c.prepare(sb);
        const auto file = [&] {
            const std::string path = sb.path("etc/eth0.cfg");
            return std::filesystem::is_regular_file(path) ? ReadFileBytes(path) : std::vector<uint8_t>{};
        };
        const auto before = file();
        const std::string name = std::string("desk ") + c.said;
        sb.clearJournal();
        EXPECT_TRUE(Edit([&](PropWindow &w) {
            w.system_page->name_entry->set_text(name.substr(0, 16));
            w.buttons[PropWindow::OK]->clicked();
        }));
        EXPECT_EQ(Writes(), (std::vector<int>{54, 55, 53}));
        EXPECT_EQ(std::string(EnterpriseProfile.cfg.client_name, strnlen(EnterpriseProfile.cfg.client_name, 16)),
                  name.substr(0, 16));
        auto *err = dynamic_cast<ErrWin *>(FindWindow("Error message"));
        ASSERT_NE(err, nullptr);
        EXPECT_EQ(LabelTexts(*err),
                  std::vector<std::string>{std::string("Cannot save the profiles in /etc/eth0.cfg: ") + c.said});
        EXPECT_FALSE(err->exitconn.connected());
        err->okbutton->clicked();
        Step();
        EXPECT_EQ(FindWindow("Error message"), nullptr);
        EXPECT_EQ(file(), before);
        sb.fileFail("etc", "none", 0);
        std::filesystem::remove_all(sb.path("etc/eth0.cfg"));
    }
}

// Profiles with values out of range in every field the pages read: shown
// within their fields, and Ok changes only what the pages own. One network
// type and eight combinations of the page's bits per test: each window takes
// seconds in the sanitized build.
class OutOfRangeProfilesTest : public PropertiesTest,
                               public ::testing::WithParamInterface<std::tuple<uint16_t, int>> {};

TEST_P(OutOfRangeProfilesTest, StayWithinTheirFields)
{
    Start();
    ProfileRecord bad = EnterpriseProfile;
    bad.cfg.power_save = 0xFFFF;
    std::memset(bad.cfg.client_name, 'N', 16);  // no terminator
    for (auto &e : bad.ssid.entry) {
        e.len = 0xFFFF;
        std::memset(e.text, 'S', 32);
    }
    bad.ssid.entry[1].len = 33;
    const uint16_t netType = std::get<0>(GetParam());
    const int first = std::get<1>(GetParam());
    for (int owned = first; owned < first + 8; ++owned) {
        // Every combination of the page's five bits, among foreign bits.
        const uint16_t auth = uint16_t(0x4C04 | (owned & 3) | (owned & 0xC) << 6 |
                                       (owned & 0x10) << 8);
        SCOPED_TRACE(testing::Message() << std::hex << netType << " " << auth);
        bad.cfg.net_type = netType;
        bad.cfg.auth_mode = auth;
        EnterpriseProfile = bad;
        sb.clearJournal();
        {
            PropWindow w(CurrentRadio);
            EXPECT_EQ(w.system_page->name_entry->get_text(), std::string(16, 'N'));
            for (Gtk::Entry *e : w.system_page->ssid_entries)
                EXPECT_EQ(e->get_text(), std::string(32, 'S'));
            w.buttons[PropWindow::OK]->clicked();
        }
        const CFG_R770 cfg = Sent<CFG_R770>(53);
        EXPECT_EQ(cfg.auth_mode & ~0x1303, auth & ~0x1303);
        EXPECT_EQ((cfg.auth_mode & 1) + (cfg.auth_mode >> 1 & 1), 1);
        if (!(cfg.net_type & 1)) {
            EXPECT_EQ(cfg.auth_mode & 0x1000, 0);
        }
        EXPECT_EQ(cfg.net_type & ~1, netType & ~1);
        EXPECT_EQ(uint16_t(cfg.power_save), 0);
        EXPECT_EQ(0, std::memcmp(cfg.reserved_90, bad.cfg.reserved_90, sizeof cfg.reserved_90));
        EXPECT_EQ(std::string(cfg.client_name, 16), std::string(16, 'N'));
        const _STSSID ssid = Sent<_STSSID>(54);
        for (const auto &e : ssid.entry) {
            EXPECT_EQ(uint16_t(e.len), 32);
            EXPECT_EQ(std::string(e.text, 32), std::string(32, 'S'));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(NetworkTypes, OutOfRangeProfilesTest,
                         ::testing::Combine(::testing::Values(0x0001, 0xFFFF),
                                            ::testing::Values(0, 8, 16, 24)),
                         [](const auto &info) {
                             return "Type" + std::to_string(std::get<0>(info.param)) + "Bits" +
                                    std::to_string(std::get<1>(info.param));
                         });

// Requests that fail during Ok: reset and restart are not looked at; an
// adapter that no longer answers is fatal; its MAC address that cannot be
// read is said; in both nothing is sent or saved. (Refused writes and
// failed reads while the window opens have tests of their own.)
TEST_F(PropertiesTest, FailingRequestsDuringOk)
{
    Start({"config.auth_mode=0x1101"});
    enum Outcome { APPLIED, FATAL, NOT_READ };
    struct Case {
        int command;
        Outcome outcome;
    } cases[] = {
        {100, APPLIED},  // reset and restart are not looked at
        {105, APPLIED},
        {8, FATAL},      // the adapter no longer answers
        {1, NOT_READ},   // its MAC address cannot be read
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "command " << c.command);
        EnterpriseProfile.cfg.auth_mode = 0x1101;
        EnterpriseProfile.cfg.client_name[0] = 0;
        const Stored before = Snapshot();
        sb.add("eth0");
        sb.clearJournal();
        {
            PropWindow w(CurrentRadio);
            w.system_page->name_entry->set_text("desk");
            w.security_page->disable_button->clicked();  // ZUNA off: reset and restart
            sb.fail("eth0", c.command, 5, -1);
            w.buttons[PropWindow::OK]->clicked();
        }
        Step();
        Gtk::Window *fatal = WindowWithText("Fatal I/O error. Exiting");
        EXPECT_EQ(fatal != nullptr, c.outcome == FATAL);
        Gtk::Window *said = WindowWithText(
            "Error reading configuration from card,Function aborted\n"
            "Profiles not saved: the card may hold part of the new settings");
        EXPECT_EQ(said != nullptr, c.outcome == NOT_READ);
        int configs = 0;
        for (const auto &e : sb.journal())
            configs += e.command == 53;
        EXPECT_EQ(configs, c.outcome == APPLIED ? 1 : 0);
        if (c.outcome != APPLIED) {
            EXPECT_TRUE(Snapshot() == before);
            delete fatal;
            delete said;
        } else {
            EXPECT_EQ(std::string(EnterpriseProfile.cfg.client_name), "desk");
            EXPECT_EQ(Bytes(File().a), Bytes(EnterpriseProfile));
        }
    }
}

class PropertiesDeathTest : public PropertiesTest {};

TEST_F(PropertiesDeathTest, FatalWindowEndsTheProgramWithStatus1)
{
    Start();
    auto *fatal = new FatalIoWindow;
    Step();
    EXPECT_EXIT(fatal->okbutton->clicked(), ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(
        {
            fatal->close();
            Step();
            _exit(3);
        },
        ::testing::ExitedWithCode(1), "");
}

} // namespace
