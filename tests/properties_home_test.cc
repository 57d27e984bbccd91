// The Home Networking page of the properties window: what it shows of the
// home profile and of the adapter, the home key and the home profile that Ok
// puts into the adapter when home is chosen, and the profile file it writes
// last, byte by byte; a restarted oxu loading the home profile; bad profiles,
// key readouts and failing requests.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fatal_window.h"
#include "home_page.h"
#include "properties_fixture.h"
#include "system_page.h"
#include "wep_records.h"

namespace {

const char *const Main = "Vindral Client Utility";

void ChooseHome(PropWindow &w)
{
    w.system_page->groups[SystemParams::CURRENT_PROFILE]->GetButton(1)->clicked();
}

void SetSsid(_STSSID &list, int slot, const std::string &text)
{
    SsidEntry &e = list.entry[slot];
    std::memset(e.text, 0, sizeof e.text);
    std::memcpy(e.text, text.data(), std::min(text.size(), sizeof e.text));
    e.len = uint16_t(text.size());
}

class HomeTest : public PropertiesTest {
protected:
    // Builds the window on the stored profiles, lets edit act on it and
    // presses " Ok ".
    void OkWith(const std::function<void(PropWindow &, HomeNet &)> &edit = {})
    {
        sb.clearJournal();
        {
            PropWindow w(CurrentRadio);
            if (edit)
                edit(w, *w.home_page);
            w.buttons[PropWindow::OK]->clicked();
        }
        Step();
    }

    // The key records written, in order.
    std::vector<_RID_wep_key> KeyWrites(int command = 60) const
    {
        std::vector<_RID_wep_key> out;
        for (const auto &e : sb.journal())
            if (e.command == command)
                out.push_back(FromBytes<_RID_wep_key>(e.sent));
        return out;
    }

    int Count(int command) const
    {
        int n = 0;
        for (int c : sb.commands("eth0"))
            n += c == command;
        return n;
    }
};

TEST_F(HomeTest, PageTextsAndEntries)
{
    Start();
    PropWindow w(CurrentRadio);
    HomeNet &h = *w.home_page;
    EXPECT_EQ(w.book->get_nth_page(3), &h);
    EXPECT_TRUE(h.get_visible());
    EXPECT_EQ(LabelTexts(h), (std::vector<std::string>{"   Computer Name      : ", "",
                                                        "   SSID               : ", "",
                                                        "   WEP Encryption Key : ", "",
                                                        " Data Rate:", "Network Type",
                                                        "Channel"}));
    ConfigGrp &rates = *FindGroup(h.groups, HomeNet::DATA_RATE);
    ConfigGrp &type = *FindGroup(h.groups, HomeNet::NETWORK_TYPE);
    const char *rateItems[] = {"Auto [Recommended]", "1 Mbps Only", "2 Mbps Only",
                               "5.5 Mbps Only", "11 Mbps Only"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(rates.GetButton(i)->get_label(), rateItems[i]);
    EXPECT_EQ(rates.GetButton(5), nullptr);
    EXPECT_EQ(type.GetButton(0)->get_label(), "No Base Station [AdHoc]");
    EXPECT_EQ(type.GetButton(1)->get_label(), "Base Station [Infrastructure]");
    EXPECT_EQ(type.GetButton(2), nullptr);
    EXPECT_EQ(h.encryption_check->get_label(), " Enable Encryption [WEP]");
    EXPECT_NE(FindButton(h, " Defaults "), nullptr);

    // Each entry takes as many Latin-1 characters as its field keeps bytes:
    // the home key 13, so that nothing typed is dropped unseen.
    struct Field {
        Gtk::Entry *entry;
        int max;
    } fields[] = {{h.name_entry, 16}, {h.ssid_entry, 32}, {h.key_entry, 13}};
    for (const auto &f : fields) {
        SCOPED_TRACE(f.max);
        f.entry->set_text(std::string(40, 'x'));
        EXPECT_EQ(f.entry->get_text(), std::string(f.max, 'x'));
        f.entry->set_text("ab");
        int pos = 2;
        f.entry->insert_text("\xE2\x82\xAC", -1, pos);  // the euro sign
        EXPECT_EQ(f.entry->get_text(), "ab");
    }
}

// Home chosen: the home key and its selector, then the home profile with the
// adapter's own MAC address; the file saved last keeps selector 1.
TEST_F(HomeTest, HomeChosenWritesTheKeyThenSendsAndSavesTheHomeProfile)
{
    Start({"config.auth_mode=0x1101"});  // the enterprise profile uses ZUNA
    ASSERT_TRUE(CommandsItems[ROW_ZUNA]->get_sensitive());
    // A home profile stored from another card, with bits the page does not own.
    const uint8_t foreign[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
    std::memcpy(HomeProfile.cfg.mac_addr, foreign, 6);
    HomeProfile.cfg.auth_mode = 0x4C02;
    HomeProfile.cfg.home_flags = 0x80;
    const ProfileRecord stored = HomeProfile;
    struct Case {
        const char *name, *typed, *shown;
        std::vector<uint8_t> key;  // the 13 bytes written
    } cases[] = {
        {"5 characters", "abcde", "abcde", {'a', 'b', 'c', 'd', 'e', 0, 0, 0, 0, 0, 0, 0, 0}},
        {"20 characters", "0123456789ABCDEFGHIJ", "0123456789ABC",
         {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C'}},
        {"Latin-1", "cl\xC3\xA9", "cl\xC3\xA9", {'c', 'l', 0xE9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EnterpriseProfile.cfg.auth_mode = 0x1101;
        CurrentProfile = 0;
        HomeProfile = stored;
        const ProfileRecord enterprise = EnterpriseProfile;
        OkWith([&](PropWindow &w, HomeNet &h) {
            ChooseHome(w);
            h.name_entry->set_text("den");
            h.ssid_entry->set_text("homenet");
            h.key_entry->set_text(c.typed);
            EXPECT_EQ(h.key_entry->get_text(), c.shown);
            ASSERT_TRUE(h.encryption_check->get_sensitive());
            h.encryption_check->set_active(true);
        });
        EXPECT_EQ(Writes(), (std::vector<int>{60, 60, 54, 55, 53}));
        const std::vector<_RID_wep_key> keys = KeyWrites();
        ASSERT_EQ(keys.size(), 2u);
        EXPECT_EQ(HexImage(keys[0]), HexImage(Record(4, c.key)));
        // Length 26, index 0xffff, transmit key 4, no key.
        EXPECT_EQ(HexImage(keys[1]), "1a00ffff040000000000"
                                     "00000000000000000000000000000000");
        ProfileRecord want = stored;
        std::strncpy(want.cfg.client_name, "den", 16);
        SetSsid(want.ssid, 0, "homenet");
        want.cfg.auth_mode = 0x4D01;  // WEP, open authentication
        want.cfg.home_flags = 0x81;
        const std::vector<uint8_t> own = AdapterMac();
        std::memcpy(want.cfg.mac_addr, own.data(), 6);
        EXPECT_EQ(Bytes(Sent<CFG_R770>(53)), Bytes(want.cfg));
        EXPECT_EQ(Bytes(Sent<_STSSID>(54)), Bytes(want.ssid));
        EXPECT_EQ(Bytes(Sent<_STAPLIST>(55)), Bytes(want.aplist));

        EXPECT_EQ(Bytes(HomeProfile), Bytes(want));
        EXPECT_EQ(Bytes(EnterpriseProfile), Bytes(enterprise));
        EXPECT_EQ(CurrentProfile, 1);
        EXPECT_FALSE(CommandsItems[ROW_ZUNA]->get_sensitive());
        const ProfileFile file = File();
        EXPECT_EQ(uint32_t(file.header.selector), 1u);
        EXPECT_EQ(Bytes(file.a), Bytes(enterprise));
        EXPECT_EQ(Bytes(file.b), Bytes(want));
        EXPECT_TRUE(Cfgio("eth0.cfg").valid);
    }
}

// Enterprise chosen: the home page's edits are kept and saved, but no key
// and nothing of the home profile reaches the adapter.
TEST_F(HomeTest, EnterpriseChosenSendsNothingOfTheHomeProfile)
{
    Start({"wep.4=0102030405060708090a0b0c0d"});
    const ProfileRecord stored = HomeProfile;
    const ProfileRecord enterprise = EnterpriseProfile;
    OkWith([](PropWindow &, HomeNet &h) {
        h.name_entry->set_text("den");
        h.key_entry->set_text("abcde");
        h.encryption_check->set_active(true);
        FindGroup(h.groups, HomeNet::DATA_RATE)->GetButton(1)->clicked();
    });
    EXPECT_EQ(Writes(), (std::vector<int>{54, 55, 53}));
    EXPECT_EQ(Bytes(Sent<CFG_R770>(53).client_name), Bytes(enterprise.cfg.client_name));
    EXPECT_EQ(uint8_t(Sent<CFG_R770>(53).home_flags), 0);
    ProfileRecord want = stored;
    std::strncpy(want.cfg.client_name, "den", 16);
    want.cfg.auth_mode = 0x0101;
    const uint8_t one[8] = {2, 0, 0, 0, 0, 0, 0, 0};
    std::memcpy(want.cfg.rates, one, 8);
    // Not sent, so not marked as the home profile: the mark stays as stored.
    EXPECT_EQ(Bytes(HomeProfile), Bytes(want));
    EXPECT_EQ(CurrentProfile, 0);
    const ProfileFile file = File();
    EXPECT_EQ(uint32_t(file.header.selector), 0u);
    EXPECT_EQ(Bytes(file.b), Bytes(want));
}

// An empty SSID or name entry keeps what is stored, also after " Defaults ".
TEST_F(HomeTest, EmptyEntriesKeepTheStoredSsidAndName)
{
    Start();
    SetSsid(HomeProfile.ssid, 0, "homenet");
    SetSsid(HomeProfile.ssid, 1, "second");
    std::memcpy(HomeProfile.cfg.client_name, "den\0\0\0\0\0\0\0\0\0\0\0\0\0", 16);
    const ProfileRecord stored = HomeProfile;
    struct Case {
        const char *name;
        std::function<void(HomeNet &)> edit;
        const char *ssid, *client;
    } cases[] = {
        {"untouched", [](HomeNet &) {}, "homenet", "den"},
        {"emptied",
         [](HomeNet &h) {
             h.ssid_entry->set_text("");
             h.name_entry->set_text("");
         },
         "homenet", "den"},
        {"Defaults", [](HomeNet &h) { h.SetDefaults(); }, "homenet", "den"},
        {"shorter texts",
         [](HomeNet &h) {
             h.ssid_entry->set_text("ab");
             h.name_entry->set_text("x");
         },
         "ab", "x"},
        {"fields filled to the last byte",
         [](HomeNet &h) {
             h.ssid_entry->set_text(std::string(32, 'S'));
             h.name_entry->set_text(std::string(16, 'N'));
         },
         "SSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSS", "NNNNNNNNNNNNNNNN"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        HomeProfile = stored;
        OkWith([&](PropWindow &w, HomeNet &h) {
            EXPECT_EQ(h.ssid_entry->get_text(), "homenet");
            EXPECT_EQ(h.name_entry->get_text(), "den");
            ChooseHome(w);
            c.edit(h);
        });
        _STSSID want = stored.ssid;
        SetSsid(want, 0, c.ssid);
        EXPECT_EQ(Bytes(Sent<_STSSID>(54)), Bytes(want));
        char name[16] = {};
        std::memcpy(name, c.client, std::strlen(c.client));
        EXPECT_EQ(Bytes(Sent<CFG_R770>(53).client_name), Bytes(name));
        EXPECT_EQ(Bytes(File().b.ssid), Bytes(want));
    }
}

// The channel list from the adapter's channel set, the home profile's own
// channel first; what it shows is what Ok stores.
TEST_F(HomeTest, ChannelListByChannelSet)
{
    Start();
    struct Case {
        const char *name;
        unsigned code, current;
        uint16_t stored;
        bool adhoc;
        int pick;  // item chosen by the user, -1 none
        std::vector<std::string> items;
        bool usable;
        uint16_t sent;
    } cases[] = {
        {"code 0", 0, 6, 3, true, -1,
         {"     3 (2422 MHz)", "     1 (2412 MHz)", "     2 (2417 MHz)", "     4 (2427 MHz)",
          "     5 (2432 MHz)", "     6 (2437 MHz)", "     7 (2442 MHz)", "     8 (2447 MHz)",
          "     9 (2452 MHz)", "     10 (2457 MHz)", "     11 (2462 MHz)"},
         true, 3},
        {"code 0, another chosen", 0, 6, 3, true, 10,
         {"     3 (2422 MHz)", "     1 (2412 MHz)", "     2 (2417 MHz)", "     4 (2427 MHz)",
          "     5 (2432 MHz)", "     6 (2437 MHz)", "     7 (2442 MHz)", "     8 (2447 MHz)",
          "     9 (2452 MHz)", "     10 (2457 MHz)", "     11 (2462 MHz)"},
         true, 11},
        {"code 0, infrastructure", 0, 6, 3, false, -1,
         {"     3 (2422 MHz)", "     1 (2412 MHz)", "     2 (2417 MHz)", "     4 (2427 MHz)",
          "     5 (2432 MHz)", "     6 (2437 MHz)", "     7 (2442 MHz)", "     8 (2447 MHz)",
          "     9 (2452 MHz)", "     10 (2457 MHz)", "     11 (2462 MHz)"},
         false, 3},
        {"code 4: a stored channel of no French set is kept", 4, 6, 3, true, -1,
         {"     3 (2422 MHz)", "     6 (2437 MHz)", "     10 (2457 MHz)", "     11 (2462 MHz)",
          "     12 (2467 MHz)", "     13 (2472 MHz)"},
         true, 3},
        {"code 4, channel 13", 4, 6, 13, true, -1,
         {"     13 (2472 MHz)", "     6 (2437 MHz)", "     10 (2457 MHz)", "     11 (2462 MHz)",
          "     12 (2467 MHz)"},
         true, 13},
        {"code 6, stored channel 0: kept", 6, 6, 0, true, -1,
         {"     0 (0 MHz)", "     3 (2422 MHz)", "     4 (2427 MHz)", "     5 (2432 MHz)",
          "     6 (2437 MHz)", "     7 (2442 MHz)", "     8 (2447 MHz)", "     9 (2452 MHz)"},
         true, 0},
        {"code 11: the stored channel, then the adapter's", 11, 6, 9, true, -1,
         {"     9 (2452 MHz)", "     6 (2437 MHz)"}, true, 9},
        {"code 11 and no current channel: the stored one alone, greyed", 11, 0, 9, true, -1,
         {"     9 (2452 MHz)"}, false, 9},
        {"code 9, channel 14", 9, 6, 14, true, -1,
         {"     14 (2484 MHz)", "     1 (2412 MHz)", "     2 (2417 MHz)", "     3 (2422 MHz)",
          "     4 (2427 MHz)", "     5 (2432 MHz)", "     6 (2437 MHz)", "     7 (2442 MHz)",
          "     8 (2447 MHz)", "     9 (2452 MHz)", "     10 (2457 MHz)", "     11 (2462 MHz)",
          "     12 (2467 MHz)", "     13 (2472 MHz)"},
         true, 14},
        {"code 2: greyed", 2, 6, 14, true, -1, {"     14 (2484 MHz)", "     6 (2437 MHz)"},
         false, 14},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sb.set("eth0", {"caps.region=" + std::to_string(c.code),
                        "status.cur_channel=" + std::to_string(c.current)});
        HomeProfile.cfg.channel = c.stored;
        HomeProfile.cfg.net_type = c.adhoc ? 0 : 1;
        OkWith([&](PropWindow &w, HomeNet &h) {
            EXPECT_EQ(Items(*h.channel_list), c.items);
            EXPECT_EQ(h.channel_list->get_active_text(), c.items.empty() ? "" : c.items[0]);
            EXPECT_EQ(h.channel_list->get_sensitive(), c.usable);
            if (c.pick >= 0)
                h.channel_list->set_active(c.pick);
            ChooseHome(w);
        });
        EXPECT_EQ(uint16_t(Sent<CFG_R770>(53).channel), c.sent);
        EXPECT_EQ(uint16_t(HomeProfile.cfg.channel), c.sent);
    }
}

TEST_F(HomeTest, NetworkTypeGreysTheChannelListAtOnceAndIsStored)
{
    Start();
    HomeProfile.cfg.net_type = 0x0300;  // low byte 0: ad hoc
    OkWith([](PropWindow &w, HomeNet &h) {
        ConfigGrp &type = *FindGroup(h.groups, HomeNet::NETWORK_TYPE);
        EXPECT_EQ(type.GetActive(), 0);
        EXPECT_TRUE(h.channel_list->get_sensitive());
        type.GetButton(1)->clicked();
        EXPECT_FALSE(h.channel_list->get_sensitive());
        type.GetButton(0)->clicked();
        EXPECT_TRUE(h.channel_list->get_sensitive());
        type.GetButton(1)->clicked();
        ChooseHome(w);
    });
    EXPECT_EQ(uint16_t(Sent<CFG_R770>(53).net_type), 0x0301);

    // Only a low byte of 1 is infrastructure; only bit 0 is written.
    HomeProfile.cfg.net_type = 3;
    OkWith([](PropWindow &w, HomeNet &h) {
        EXPECT_EQ(FindGroup(h.groups, HomeNet::NETWORK_TYPE)->GetActive(), 0);
        ChooseHome(w);
    });
    EXPECT_EQ(uint16_t(Sent<CFG_R770>(53).net_type), 2);
}

// The encryption check: usable with a stored home key on an adapter that
// takes one; typing a key makes it usable, emptying the entry clears it.
TEST_F(HomeTest, EncryptionCheckRules)
{
    Start();
    struct Case {
        const char *name;
        std::vector<std::string> state;
        bool usable, active;  // at load, with a profile using WEP
        bool keyWritten;      // a key typed, home chosen
    } cases[] = {
        {"capable, home key stored", {"wep.4=0102030405060708090a0b0c0d"}, true, true, true},
        {"capable, no home key", {}, false, true, true},
        {"capable, a home key of no length", {"wep.4="}, false, true, true},
        {"no 128-bit WEP", {"wep.4=0102030405060708090a0b0c0d", "caps.wep_caps=0x0004"}, false,
         false, false},
        {"no 128-bit flag", {"wep.4=0102030405060708090a0b0c0d", "caps.cap_flags=0x1002"}, false,
         false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sb.add("eth0");
        sb.set("eth0", c.state);
        HomeProfile.cfg.auth_mode = 0x0101;
        OkWith([&](PropWindow &w, HomeNet &h) {
            sb.set("eth0", {"fail.6=none"});
            EXPECT_EQ(HomeKeyCapable, c.keyWritten ? 1 : 0);
            // A key the adapter cannot take is not offered.
            EXPECT_EQ(h.key_entry->get_sensitive(), c.keyWritten);
            EXPECT_EQ(h.encryption_check->get_sensitive(), c.usable);
            EXPECT_EQ(h.encryption_check->get_active(), c.active);
            h.key_entry->set_text("a");
            EXPECT_TRUE(h.encryption_check->get_sensitive());
            EXPECT_EQ(h.encryption_check->get_active(), c.active);
            h.key_entry->set_text("");
            EXPECT_FALSE(h.encryption_check->get_sensitive());
            EXPECT_FALSE(h.encryption_check->get_active());
            h.key_entry->set_text("abc");
            h.encryption_check->set_active(true);
            ChooseHome(w);
        });
        EXPECT_EQ(Count(60), c.keyWritten ? 2 : 0);
        EXPECT_EQ(Count(59), 0);
        EXPECT_EQ(Sent<CFG_R770>(53).auth_mode & 0x0103, 0x0101);
    }
}

TEST_F(HomeTest, DataRates)
{
    Start();
    using R = std::vector<uint8_t>;
    struct Case {
        const char *name;
        R rates;
        int shown, pick;  // pick -1: untouched
        std::vector<std::string> atOk;  // stand-in state just before Ok
        R sent;
        int reloaded;
    } cases[] = {
        {"1 Mbps only chosen", {2, 4, 11, 22}, 0, 1, {}, {2}, 1},
        {"2 Mbps only", {4}, 2, -1, {}, {4}, 2},
        {"5.5 Mbps only", {11}, 3, -1, {}, {11}, 3},
        {"11 Mbps only", {22}, 4, -1, {}, {22}, 4},
        {"auto chosen", {4}, 2, 0, {}, {2, 4, 11, 22}, 0},
        {"auto, capabilities unreadable at Ok: kept", {2, 4}, 0, -1, {"fail.0=5"}, {2, 4}, 0},
        {"auto, no supported rates: kept", {2, 4}, 0, -1, {"caps.supported_rates=0"}, {2, 4}, 0},
        {"11 Mbps chosen, capabilities unreadable", {2, 4}, 0, 4, {"fail.0=5"}, {22}, 4},
        {"500 kbit/s alone, basic: kept", {0x81}, 0, -1, {}, {0x81}, 0},
        {"500 kbit/s alone: kept", {0x01}, 0, -1, {}, {0x01}, 0},
        {"500 kbit/s alone, 1 Mbps chosen", {0x81}, 0, 1, {}, {2}, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sb.add("eth0");
        std::memset(HomeProfile.cfg.rates, 0, 8);
        std::copy(c.rates.begin(), c.rates.end(), HomeProfile.cfg.rates);
        OkWith([&](PropWindow &w, HomeNet &h) {
            ConfigGrp &group = *FindGroup(h.groups, HomeNet::DATA_RATE);
            EXPECT_EQ(group.GetActive(), c.shown);
            if (c.pick >= 0)
                group.GetButton(c.pick)->clicked();
            ChooseHome(w);
            sb.set("eth0", c.atOk);
        });
        R want = c.sent;
        want.resize(8);
        const CFG_R770 sent = Sent<CFG_R770>(53);
        EXPECT_EQ(R(sent.rates, sent.rates + 8), want);
        EXPECT_EQ(R(HomeProfile.cfg.rates, HomeProfile.cfg.rates + 8), want);
        PropWindow again(CurrentRadio);
        EXPECT_EQ(FindGroup(again.home_page->groups, HomeNet::DATA_RATE)->GetActive(), c.reloaded);
    }
}

// " Defaults " resets the widgets; only what they show survives Ok. Cancel
// after edits changes nothing.
TEST_F(HomeTest, DefaultsThenOkOrCancel)
{
    Start({"wep.4=0102030405060708090a0b0c0d"});
    HomeProfile.cfg.net_type = 0;
    HomeProfile.cfg.auth_mode = 0x0102;
    HomeProfile.cfg.rates[0] = 4;
    HomeProfile.cfg.rates[1] = 0;
    HomeProfile.cfg.channel = 3;
    ExpectCancelLeavesAll([](PropWindow &w) {
        HomeNet &h = *w.home_page;
        ChooseHome(w);
        h.name_entry->set_text("den");
        h.key_entry->set_text("abcde");
        h.SetDefaults();
        h.ssid_entry->set_text("other");
    });

    OkWith([](PropWindow &w, HomeNet &h) {
        h.key_entry->set_text("abcde");
        h.SetDefaults();
        EXPECT_EQ(h.name_entry->get_text(), "");
        EXPECT_EQ(h.ssid_entry->get_text(), "");
        EXPECT_EQ(h.key_entry->get_text(), "");
        EXPECT_EQ(FindGroup(h.groups, HomeNet::DATA_RATE)->GetActive(), 0);
        EXPECT_EQ(FindGroup(h.groups, HomeNet::NETWORK_TYPE)->GetActive(), 1);
        EXPECT_FALSE(h.channel_list->get_sensitive());
        EXPECT_TRUE(h.encryption_check->get_sensitive());
        EXPECT_FALSE(h.encryption_check->get_active());
        ChooseHome(w);
    });
    EXPECT_EQ(Writes(), (std::vector<int>{54, 55, 53}));
    const CFG_R770 cfg = Sent<CFG_R770>(53);
    EXPECT_EQ(uint16_t(cfg.auth_mode), 0x0001);
    EXPECT_EQ(uint16_t(cfg.net_type), 1);
    EXPECT_EQ(std::vector<uint8_t>(cfg.rates, cfg.rates + 8),
              (std::vector<uint8_t>{2, 4, 11, 22, 0, 0, 0, 0}));
    EXPECT_EQ(uint16_t(cfg.channel), 3);
    EXPECT_EQ(cfg.home_flags & 1, 1);
}

// oxu started again takes up the adapter with the home profile (record B),
// the selector that the home page saved last.
TEST_F(HomeTest, RestartedOxuLoadsTheHomeProfile)
{
    Start();
    OkWith([](PropWindow &w, HomeNet &h) {
        ChooseHome(w);
        h.name_entry->set_text("den");
        h.ssid_entry->set_text("homenet");
        FindGroup(h.groups, HomeNet::NETWORK_TYPE)->GetButton(0)->clicked();
        h.channel_list->set_active(3);  // channel 3
    });
    const ProfileRecord home = HomeProfile;
    ASSERT_EQ(uint16_t(home.cfg.channel), 3);
    ASSERT_EQ(uint32_t(File().header.selector), 1u);
    // The adapter runs something else meanwhile.
    sb.set("eth0", {"config.channel=6", "config.net_type=1", "config.client_name=other"});
    sb.clearJournal();

    // Only the program's own main window carries the title.
    MainWindow->hide();
    Step();
    Program oxu(sb, "OXU");
    ASSERT_TRUE(Drive("wait " + Q(Main)));
    const std::vector<uint8_t> config = sim::GetRecord(sb.dir(), "eth0", "config");
    EXPECT_EQ(config, Bytes(home.cfg));
    std::vector<uint8_t> ssid;
    for (const auto &e : sb.journal())
        if (e.command == 54)
            ssid = e.sent;
    EXPECT_EQ(ssid, Bytes(home.ssid));
    ASSERT_TRUE(Drive("close " + Q(Main)));
    EXPECT_EQ(oxu.Wait(), 0);
}

// Once the adapter has failed during Ok, the home step writes no key, sends
// nothing and saves nothing.
TEST_F(HomeTest, AfterTheAdapterFailedTheHomeStepSendsAndSavesNothing)
{
    Start({"wep.4=0102030405060708090a0b0c0d"});
    struct Case {
        const char *name;
        std::vector<std::string> atOk;
        int keyWrites;
    } cases[] = {
        {"gone before the System Parameters step", {"present=0"}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sb.add("eth0");
        sb.set("eth0", {"wep.4=0102030405060708090a0b0c0d"});
        const ProfileRecord home = HomeProfile;
        const std::vector<uint8_t> file = ReadFileBytes(sb.path("etc/eth0.cfg"));
        OkWith([&](PropWindow &w, HomeNet &h) {
            ChooseHome(w);
            h.name_entry->set_text("den");
            h.key_entry->set_text("abcde");
            sb.set("eth0", c.atOk);
        });
        Gtk::Window *fatal = WindowWithText("Fatal I/O error. Exiting");
        ASSERT_NE(fatal, nullptr);
        delete fatal;
        EXPECT_EQ(Count(53), 0);
        EXPECT_EQ(int(KeyWrites().size()), c.keyWrites);
        EXPECT_EQ(Bytes(HomeProfile), Bytes(home));
        EXPECT_EQ(Bytes(File().b), Bytes(home));
        if (c.keyWrites == 0) {
            EXPECT_EQ(ReadFileBytes(sb.path("etc/eth0.cfg")), file);
        }
    }
}

// A home profile with values out of range in every field the page reads:
// shown within the widgets' bounds, and Ok stores within the fields and
// leaves every byte the page does not own.
TEST_F(HomeTest, OutOfRangeHomeProfileStaysWithinItsFields)
{
    Start();
    ProfileRecord bad = HomeProfile;
    std::memset(&bad.cfg, 0xFF, sizeof bad.cfg);
    std::memset(bad.cfg.client_name, 'N', 16);  // no terminator
    for (auto &e : bad.ssid.entry) {
        e.len = 0xFFFF;
        std::memset(e.text, 'S', 32);
    }
    std::memset(&bad.aplist, 0xFF, sizeof bad.aplist);
    HomeProfile = bad;
    OkWith([](PropWindow &w, HomeNet &h) {
        EXPECT_EQ(h.name_entry->get_text(), std::string(16, 'N'));
        EXPECT_EQ(h.ssid_entry->get_text(), std::string(32, 'S'));
        EXPECT_EQ(h.channel_list->get_active_text(), "65535");
        EXPECT_EQ(FindGroup(h.groups, HomeNet::NETWORK_TYPE)->GetActive(), 0);
        ChooseHome(w);
    });
    CFG_R770 want = bad.cfg;
    const std::vector<uint8_t> own = AdapterMac();
    std::memcpy(want.mac_addr, own.data(), 6);
    want.auth_mode = 0xFFFD;  // open authentication: shared key cleared
    want.net_type = 0xFFFE;   // ad hoc shown: bit 0 cleared
    const uint8_t supported[8] = {2, 4, 11, 22, 0, 0, 0, 0};
    std::memcpy(want.rates, supported, 8);
    EXPECT_EQ(Bytes(Sent<CFG_R770>(53)), Bytes(want));
    _STSSID ssid = bad.ssid;
    ssid.entry[0].len = 32;
    EXPECT_EQ(Bytes(Sent<_STSSID>(54)), Bytes(ssid));
    EXPECT_EQ(Bytes(Sent<_STAPLIST>(55)), Bytes(bad.aplist));
}

// Key readouts of a careless driver: at most five records are read, the
// selector ends the keys, and only a record of index 4 is the home key.
TEST_F(HomeTest, HomeKeyReadout)
{
    Start();
    const auto k = [](uint16_t i) { return Record(i, {1, 2, 3, 4, 5}); };
    struct Case {
        const char *name;
        std::vector<_RID_wep_key> readout;
        const char *end;
        int reads;
        int found;  // key_len of the record returned
    } cases[] = {
        {"home key after four", {k(0), k(1), k(2), k(3), Record(4, {9}, 13), Selector(4)}, "repeat",
         5, 13},
        {"home key first", {Record(4, {9}, 13), Selector(4)}, "repeat", 1, 13},
        {"selector first", {Selector(4), Record(4, {9}, 13)}, "repeat", 1, 0},
        {"home key after the selector", {k(0), Selector(0), Record(4, {9}, 13)}, "repeat", 2, 0},
        {"more than five records", {k(0), k(1), k(2), k(3), k(3), Record(4, {9}, 13)}, "repeat", 5,
         0},
        // Records of no key are not answered whole: the readout ends unread.
        {"index out of range", {Record(7, {9}, 13), Record(0x1234), Selector(0)}, "repeat", 1, 0},
        {"index out of range after a key", {k(0), Record(7, {9}, 13), Record(4, {9}, 13)},
         "repeat", 2, 0},
        {"key length above 13", {Record(4, {9}, 200), Selector(4)}, "repeat", 1, 0},
        {"no selector, the readout fails", {k(0), k(1)}, "fail", 3, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sb.set("eth0", {Readout(c.readout), std::string("wep.end=") + c.end});
        PropWindow w(CurrentRadio);
        sb.clearJournal();
        const _RID_wep_key key = w.home_page->ReadWepKey();
        EXPECT_EQ(Count(6) + Count(7), c.reads);
        EXPECT_EQ(Count(6), 1);
        EXPECT_EQ(uint16_t(key.key_len), c.found);
        if (c.found == 0) {
            EXPECT_EQ(HexImage(key), HexImage(_RID_wep_key{}));
        }
        EXPECT_EQ(w.home_page->encryption_check->get_sensitive(), c.found != 0);
    }
}

} // namespace
