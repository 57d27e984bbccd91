// What each property page shows of the stored profiles when the window
// opens, what its " Defaults " leaves in the profile it edits, and the rules
// that tie the pages together: ZUNA switched off takes WEP with it, and the
// RF page's lists keep their picks over the System page's " Defaults ".
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "adhoc_page.h"
#include "home_page.h"
#include "infrastructure_page.h"
#include "properties_fixture.h"
#include "rf_page.h"
#include "security_page.h"
#include "system_page.h"

namespace {

struct Ssid {
    uint16_t len;
    std::string text;  // up to 32 bytes
};

void SetSsids(_STSSID &list, const std::vector<Ssid> &ssids)
{
    for (size_t i = 0; i < ssids.size() && i < 3; ++i) {
        SsidEntry &e = list.entry[i];
        std::memset(e.text, 0, sizeof e.text);
        std::memcpy(e.text, ssids[i].text.data(), std::min(ssids[i].text.size(), sizeof e.text));
        e.len = ssids[i].len;
    }
}

void SetName(CFG_R770 &cfg, const std::string &name)
{
    std::memset(cfg.client_name, 0, sizeof cfg.client_name);
    std::memcpy(cfg.client_name, name.data(), std::min(name.size(), sizeof cfg.client_name));
}

class PageLoadTest : public PropertiesTest {};

TEST_F(PageLoadTest, SystemPageShowsEveryStoredField)
{
    Start();
    struct Case {
        const char *name;
        std::string clientName;  // 16 bytes at most
        std::vector<Ssid> ssids;
        uint16_t netType, powerSave;
        uint8_t current;
        std::string shownName;
        std::vector<std::string> shownSsids;
        int type, power, profile;  // items shown
    } cases[] = {
        {"Latin-1 texts, home in use", "Bj\xF6rn",
         {{4, "caf\xE9"}, {0, "junk"}, {3, "abcdef"}}, 1, 2, 1, "Bj\xC3\xB6rn",
         {"caf\xC3\xA9", "", "abc"}, 1, 2, 1},
        {"every field full", std::string(16, '\xE9'),
         {{33, std::string(32, 'a')}, {32, std::string(32, 'b')}, {0xFFFF, std::string(32, 'c')}},
         0x0101, 1, 0,
         [] {
             std::string s;
             for (int i = 0; i < 16; ++i)
                 s += "\xC3\xA9";
             return s;
         }(),
         {std::string(32, 'a'), std::string(32, 'b'), std::string(32, 'c')}, 1, 1, 0},
        {"ad hoc by the low byte", "", {{0, ""}, {5, "fifth"}, {0, ""}}, 0x0103, 0, 0, "",
         {"", "fifth", ""}, 0, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SetName(EnterpriseProfile.cfg, c.clientName);
        EnterpriseProfile.ssid = _STSSID{};
        SetSsids(EnterpriseProfile.ssid, c.ssids);
        EnterpriseProfile.cfg.net_type = c.netType;
        EnterpriseProfile.cfg.power_save = c.powerSave;
        CurrentProfile = c.current;
        PropWindow w(CurrentRadio);
        SystemParams &s = *w.system_page;
        EXPECT_EQ(s.name_entry->get_text(), c.shownName);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(s.ssid_entries[i]->get_text(), c.shownSsids[i]) << i;
        EXPECT_EQ(FindGroup(s.groups, SystemParams::NETWORK_TYPE)->GetActive(), c.type);
        EXPECT_EQ(s.adhoc, c.type == 0 ? 1 : 0);
        EXPECT_EQ(FindGroup(s.groups, SystemParams::POWER_SAVE)->GetActive(), c.power);
        EXPECT_EQ(FindGroup(s.groups, SystemParams::CURRENT_PROFILE)->GetActive(), c.profile);
        // The advanced page of the type shown.
        EXPECT_EQ(w.infr_page->get_visible(), c.type == 1);
        EXPECT_EQ(w.adhoc_page->get_visible(), c.type == 0);
    }
}

// The default adapter holds usable WEP keys and can do ZUNA: every bit shows.
TEST_F(PageLoadTest, SecurityPageShowsEveryStoredBit)
{
    Start();
    struct Case {
        uint16_t auth;
        bool zuna, shared, wep, mixed;
        uint16_t sent;  // the page's bits after an untouched Ok
    } cases[] = {
        {0x0001, false, false, false, false, 0x0001},
        {0x0201, false, false, false, true, 0x0201},
        {0x0101, false, false, true, false, 0x0101},
        {0x0302, false, true, true, true, 0x0302},
        {0x0103, false, false, true, false, 0x0101},  // open wins
        {0x1101, true, false, true, false, 0x1101},
        {0x1301, true, false, true, true, 0x1301},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.auth);
        EnterpriseProfile.cfg.auth_mode = c.auth;
        const CFG_R770 sent = OkOnNewWindow([&](PropWindow &w) {
            SecuritySetting &s = *w.security_page;
            EXPECT_EQ(s.zuna_button->get_active(), c.zuna);
            EXPECT_EQ(s.disable_button->get_active(), !c.zuna);
            EXPECT_EQ(s.shared_button->get_active(), c.shared);
            EXPECT_EQ(s.open_button->get_active(), !c.shared);
            EXPECT_EQ(s.wep_check->get_active(), c.wep);
            EXPECT_EQ(s.mixed_check->get_active(), c.mixed);
        });
        EXPECT_EQ(sent.auth_mode & 0x1303, c.sent);
    }
}

TEST_F(PageLoadTest, RfPageShowsTheChecksByTheirBits)
{
    Start();
    struct Case {
        uint16_t worldMode, radioFlags;
        bool world, shortHeaders;
        uint16_t sentWorld, sentFlags;
    } cases[] = {
        {2, 0x0002, true, true, 2, 0x0002},
        {1, 0x0001, false, false, 1, 0x0001},
        {3, 0xFFFF, true, true, 2, 0xFFFF},
        {0, 0xFFFD, false, false, 1, 0xFFFD},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.worldMode << " " << c.radioFlags);
        EnterpriseProfile.cfg.world_mode = c.worldMode;
        EnterpriseProfile.cfg.radio_flags = c.radioFlags;
        EnterpriseProfile.cfg.short_retry = 7;
        EnterpriseProfile.cfg.frag_threshold = 1000;
        const CFG_R770 sent = OkOnNewWindow([&](PropWindow &w) {
            EXPECT_EQ(w.rf_page->world_mode_check->get_active(), c.world);
            EXPECT_EQ(w.rf_page->short_headers_check->get_active(), c.shortHeaders);
            EXPECT_EQ(w.rf_page->retry_scale->get_value(), 7);
            EXPECT_EQ(w.rf_page->frag_scale->get_value(), 1000);
        });
        EXPECT_EQ(uint16_t(sent.world_mode), c.sentWorld);
        EXPECT_EQ(uint16_t(sent.radio_flags), c.sentFlags);
    }
}

TEST_F(PageLoadTest, HomePageShowsEveryStoredField)
{
    Start({"wep.4=0102030405060708090a0b0c0d"});
    struct Case {
        const char *name;
        std::string clientName;
        std::vector<Ssid> ssids;
        uint16_t netType, auth, channel;
        std::vector<uint8_t> rates;
        std::string shownName, shownSsid, shownChannel;
        int type, rate;
        bool encryption;
    } cases[] = {
        {"Latin-1 texts, ad hoc", "K\xF6k", {{4, "caf\xE9"}}, 0, 0x0101, 3, {4},
         "K\xC3\xB6k", "caf\xC3\xA9", "     3 (2422 MHz)", 0, 2, true},
        {"full fields", std::string(16, 'N'), {{33, std::string(32, 'S')}, {5, "fifth"}}, 0x0101,
         0x0001, 11, {2, 4, 11, 22}, std::string(16, 'N'), std::string(32, 'S'),
         "     11 (2462 MHz)", 1, 0, false},
        {"SSID up to its first NUL", "den", {{8, std::string("home\0xyz", 8)}}, 0x0103, 0x0100, 6,
         {22}, "den", "home", "     6 (2437 MHz)", 0, 4, true},
        {"no SSID stored", "", {{0, "junk"}}, 1, 0x0001, 6, {11}, "", "", "     6 (2437 MHz)", 1,
         3, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SetName(HomeProfile.cfg, c.clientName);
        HomeProfile.ssid = _STSSID{};
        SetSsids(HomeProfile.ssid, c.ssids);
        HomeProfile.cfg.net_type = c.netType;
        HomeProfile.cfg.auth_mode = c.auth;
        HomeProfile.cfg.channel = c.channel;
        std::memset(HomeProfile.cfg.rates, 0, 8);
        std::copy(c.rates.begin(), c.rates.end(), HomeProfile.cfg.rates);
        PropWindow w(CurrentRadio);
        HomeNet &h = *w.home_page;
        EXPECT_EQ(h.name_entry->get_text(), c.shownName);
        EXPECT_EQ(h.ssid_entry->get_text(), c.shownSsid);
        EXPECT_EQ(h.key_entry->get_text(), "");  // never read back
        EXPECT_EQ(FindGroup(h.groups, HomeNet::NETWORK_TYPE)->GetActive(), c.type);
        EXPECT_EQ(FindGroup(h.groups, HomeNet::DATA_RATE)->GetActive(), c.rate);
        EXPECT_TRUE(h.encryption_check->get_sensitive());
        EXPECT_EQ(h.encryption_check->get_active(), c.encryption);
        EXPECT_EQ(h.channel_list->get_active_text(), c.shownChannel);
        EXPECT_EQ(h.channel_list->get_sensitive(), c.type == 0);
    }
}

// " Defaults " of each enterprise page changes exactly its own fields of the
// working profile, to the defaults.
TEST_F(PageLoadTest, EnterpriseDefaultsSetTheWorkingProfile)
{
    Start();
    ProfileRecord stored = EnterpriseProfile;
    CFG_R770 &s = stored.cfg;
    s.auth_mode = 0x1302;  // ZUNA, mixed cells, WEP, shared key
    s.net_type = 0;
    s.short_retry = 7;
    s.frag_threshold = 1000;
    s.rts_threshold = 500;
    s.long_retry = 9;
    s.tx_power = 20;
    s.power_save = 2;
    SetName(s, "desk");
    s.world_mode = 2;
    s.radio_flags = 0x0001;
    std::memset(s.rates, 0, 8);
    s.rates[0] = 4;
    s.antenna = 0x0102;
    s.wake_duration = 30;
    s.beacon_period = 200;
    s.channel = 3;
    SetSsids(stored.ssid, {{5, "first"}, {6, "second"}});
    stored.aplist.length = 12;
    const uint8_t mac[6] = {0x02, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
    std::memcpy(stored.aplist.mac[1], mac, 6);

    struct Case {
        const char *name;
        std::function<void(PropWindow &)> defaults;
        std::function<void(ProfileRecord &)> change;
    } cases[] = {
        {"System Parameters", [](PropWindow &w) { w.system_page->SetDefaults(); },
         [](ProfileRecord &p) {
             p.ssid = _STSSID{};
             p.aplist = _STAPLIST{};
             p.cfg.net_type = 1;
             p.cfg.auth_mode = 0x0301;
             p.cfg.short_retry = 16;
             p.cfg.frag_threshold = 2312;
             p.cfg.rts_threshold = 2312;
             p.cfg.long_retry = 16;
             p.cfg.tx_power = 1;
             p.cfg.power_save = 0;
             SetName(p.cfg, "");
         }},
        {"Network Security", [](PropWindow &w) { w.security_page->SetDefaults(); },
         [](ProfileRecord &p) { p.cfg.auth_mode = 0x0003; }},
        {"RF Network", [](PropWindow &w) { w.rf_page->SetDefaults(); },
         [](ProfileRecord &p) {
             const uint8_t supported[8] = {2, 4, 11, 22, 0, 0, 0, 0};
             std::memcpy(p.cfg.rates, supported, 8);
             p.cfg.tx_power = 50;
             p.cfg.world_mode = 1;
             p.cfg.radio_flags = 0x0003;
             p.cfg.short_retry = 16;
             p.cfg.frag_threshold = 2312;
         }},
        {"Advanced Infrastructure", [](PropWindow &w) { w.infr_page->SetDefaults(); },
         [](ProfileRecord &p) {
             p.cfg.antenna = 0x0303;
             p.aplist.length = 26;
             p.cfg.rts_threshold = 2312;
             p.cfg.long_retry = 16;
         }},
        {"Advanced AdHoc", [](PropWindow &w) { w.adhoc_page->SetDefaults(); },
         [](ProfileRecord &p) {
             p.cfg.wake_duration = 5;
             p.cfg.rts_threshold = 2312;
             p.cfg.long_retry = 16;
             p.cfg.beacon_period = 100;
             p.cfg.antenna = 0x0303;
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EnterpriseProfile = stored;
        PropWindow w(CurrentRadio);
        SystemParams &sys = *w.system_page;
        ASSERT_EQ(Bytes(sys.cfg), Bytes(stored.cfg));
        c.defaults(w);
        ProfileRecord want = stored;
        c.change(want);
        EXPECT_EQ(HexImage(sys.cfg), HexImage(want.cfg));
        EXPECT_EQ(HexImage(sys.ssid), HexImage(want.ssid));
        EXPECT_EQ(HexImage(sys.aplist), HexImage(want.aplist));
    }
}

// The System page's " Defaults " shows what it set.
TEST_F(PageLoadTest, SystemDefaultsShowTheDefaults)
{
    Start({"config.client_name=desk", "config.power_save=2", "config.net_type=0",
           "ssid.2.text=second", "ssid.3.text=third"});
    PropWindow w(CurrentRadio);
    SystemParams &s = *w.system_page;
    ASSERT_EQ(s.ssid_entries[2]->get_text(), "third");
    s.SetDefaults();
    EXPECT_EQ(s.name_entry->get_text(), "");
    for (Gtk::Entry *e : s.ssid_entries)
        EXPECT_EQ(e->get_text(), "");
    EXPECT_EQ(FindGroup(s.groups, SystemParams::POWER_SAVE)->GetActive(), 0);
    EXPECT_TRUE(s.infra_button->get_active());
    EXPECT_EQ(s.adhoc, 0);
    EXPECT_TRUE(w.infr_page->get_visible());
    EXPECT_FALSE(w.adhoc_page->get_visible());
}

// The Home page's " Defaults ": its entries emptied, the stored name and SSID
// not shown again, and its copy of the home profile set to the defaults.
TEST_F(PageLoadTest, HomeDefaultsClearTheShownNameAndSsid)
{
    Start({"wep.4=0102030405060708090a0b0c0d"});
    SetName(HomeProfile.cfg, "d\xE9n");
    SetSsids(HomeProfile.ssid, {{7, "homenet"}, {6, "second"}});
    HomeProfile.cfg.net_type = 0x0100;
    HomeProfile.cfg.auth_mode = 0x4102;
    std::memset(HomeProfile.cfg.rates, 0, 8);
    HomeProfile.cfg.rates[0] = 4;
    HomeProfile.cfg.home_flags = 0x80;
    HomeProfile.aplist.length = 26;
    HomeProfile.aplist.mac[0][5] = 7;
    const ProfileRecord stored = HomeProfile;

    PropWindow w(CurrentRadio);
    HomeNet &h = *w.home_page;
    ASSERT_EQ(h.name_entry->get_text(), "d\xC3\xA9n");
    ASSERT_EQ(h.ssid_entry->get_text(), "homenet");
    h.SetDefaults();
    EXPECT_EQ(h.name_entry->get_text(), "");
    EXPECT_EQ(h.ssid_entry->get_text(), "");

    ProfileRecord want = stored;
    SetName(want.cfg, "");
    const uint8_t supported[8] = {2, 4, 11, 22, 0, 0, 0, 0};
    std::memcpy(want.cfg.rates, supported, 8);
    want.cfg.net_type = 0x0101;
    want.cfg.auth_mode = 0x4001;
    want.cfg.home_flags = 0x81;
    want.ssid = _STSSID{};
    EXPECT_EQ(HexImage(h.cfg), HexImage(want.cfg));
    EXPECT_EQ(HexImage(h.ssid), HexImage(want.ssid));
    EXPECT_EQ(HexImage(h.aplist), HexImage(want.aplist));
}

// Leaving ZUNA takes WEP with it: it was forced on for ZUNA alone.
TEST_F(PageLoadTest, ZunaSwitchedOffClearsWep)
{
    Start({"config.auth_mode=0x1101"});
    const CFG_R770 sent = OkOnNewWindow([](PropWindow &w) {
        SecuritySetting &s = *w.security_page;
        ASSERT_TRUE(s.zuna_button->get_active());
        ASSERT_TRUE(s.wep_check->get_active());
        s.disable_button->clicked();
        EXPECT_FALSE(s.wep_check->get_active());
        // With usable keys WEP can be chosen again.
        EXPECT_TRUE(s.wep_check->get_sensitive());
        EXPECT_TRUE(s.open_button->get_active());
    });
    EXPECT_EQ(sent.auth_mode & 0x1303, 0x0001);
}

// A channel and a power picked on "RF Network", then the System page's
// " Defaults ", which puts the stored ones back into the working profile:
// what the lists show is what Ok stores.
TEST_F(PageLoadTest, RfPicksSurviveTheSystemDefaults)
{
    Start({"config.net_type=0", "config.tx_power=30"});
    const CFG_R770 sent = OkOnNewWindow([](PropWindow &w) {
        RfParams &rf = *w.rf_page;
        ASSERT_TRUE(rf.channel_list->get_sensitive());
        rf.channel_list->set_active(2);
        rf.power_list->set_active(2);
        ASSERT_EQ(rf.channel_list->get_active_text(), "2  (2417 MHz)");
        ASSERT_EQ(rf.power_list->get_active_text(), "5   mW");
        w.system_page->SetDefaults();
        EXPECT_EQ(rf.channel_list->get_active_text(), "2  (2417 MHz)");
        EXPECT_EQ(rf.power_list->get_active_text(), "5   mW");
    });
    EXPECT_EQ(uint16_t(sent.channel), 2);
    EXPECT_EQ(uint16_t(sent.tx_power), 5);
}

} // namespace
