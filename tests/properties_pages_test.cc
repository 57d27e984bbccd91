// The RF Network, Advanced Infrastructure and Advanced AdHoc pages of the
// properties window: what they show of the enterprise profile and of the
// adapter's records, and what Ok sends and saves, byte by byte; bad profiles
// and records.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "adhoc_page.h"
#include "channel_list.h"
#include "error_window.h"
#include "infrastructure_page.h"
#include "properties_fixture.h"
#include "rf_page.h"
#include "system_page.h"

namespace {

class PagesTest : public PropertiesTest {
protected:
    // Builds the window on the stored profiles, lets edit act on it, presses
    // " Ok " and gives the configuration sent.
    CFG_R770 OkWith(const std::function<void(PropWindow &)> &edit = {})
    {
        sb.clearJournal();
        {
            PropWindow w(CurrentRadio);
            if (edit)
                edit(w);
            w.buttons[PropWindow::OK]->clicked();
        }
        Step();
        return Sent<CFG_R770>(53);
    }
};

void SetMac(uint8_t (&mac)[6], std::initializer_list<uint8_t> bytes)
{
    std::copy(bytes.begin(), bytes.end(), mac);
}

// A profile whose every field of these pages differs from the defaults.
ProfileRecord Edited(ProfileRecord p, bool adhoc)
{
    p.cfg.net_type = adhoc ? 0 : 1;
    p.cfg.tx_power = 20;
    p.cfg.channel = 3;  // the adapter is on 6
    p.cfg.radio_flags = 0x0001;
    p.cfg.world_mode = 2;
    p.cfg.short_retry = 7;
    p.cfg.frag_threshold = 1000;
    p.cfg.rts_threshold = 500;
    p.cfg.long_retry = 9;
    p.cfg.antenna = 0x0201;
    p.cfg.beacon_period = 975;
    p.cfg.wake_duration = 30;
    p.aplist.length = 26;
    SetMac(p.aplist.mac[0], {0x02, 0x1a, 0x2b, 0x3c, 0x4d, 0x00});
    SetMac(p.aplist.mac[2], {0x00, 0x00, 0x00, 0x00, 0x00, 0x01});
    return p;
}

TEST_F(PagesTest, OkWithoutEditsKeepsThePagesFields)
{
    Start();
    for (bool adhoc : {false, true}) {
        SCOPED_TRACE(adhoc ? "ad hoc" : "infrastructure");
        const ProfileRecord p = Edited(EnterpriseProfile, adhoc);
        EnterpriseProfile = p;
        const CFG_R770 sent = OkWith([&](PropWindow &w) {
            EXPECT_EQ(w.rf_page->channel_list->get_active_text(), "3  (2422 MHz)");
            EXPECT_EQ(w.rf_page->power_list->get_active_text(), "20  mW");
        });
        EXPECT_EQ(Bytes(sent), Bytes(p.cfg));
        EXPECT_EQ(Bytes(Sent<_STAPLIST>(55)), Bytes(p.aplist));
        EXPECT_EQ(Bytes(File().a), Bytes(p));
    }
}

// The stored power first, a level or not, then the adapter's levels before the
// first 0.
TEST_F(PagesTest, PowerListOffersTheStoredPowerThenTheLevels)
{
    Start();
    struct Case {
        const char *name, *levels;
        uint16_t power;
        std::vector<std::string> items;
        bool usable;
        int pick;  // item chosen by the user, -1 none
        uint16_t stored;
    } cases[] = {
        {"one level", "20", 20, {"20  mW"}, false, -1, 20},
        {"the stored power first", "1,5,20,30,50", 30,
         {"30  mW", "1   mW", "5   mW", "20  mW", "50  mW"}, true, -1, 30},
        {"the stored power first, another chosen", "1,5,20,30,50", 30,
         {"30  mW", "1   mW", "5   mW", "20  mW", "50  mW"}, true, 2, 5},
        // A profile written for another adapter: its power is shown and kept.
        {"a power that is none of the levels", "1,5,20,30,50", 25,
         {"25  mW", "1   mW", "5   mW", "20  mW", "30  mW", "50  mW"}, true, -1, 25},
        {"a power that is none of the levels, a level chosen", "1,5,20,30,50", 25,
         {"25  mW", "1   mW", "5   mW", "20  mW", "30  mW", "50  mW"}, true, 1, 1},
        {"a power below every level", "100,2000", 50, {"50  mW", "100 mW", "2000 mW"}, true, -1,
         50},
        {"a power below every level, a level chosen", "100,2000", 50,
         {"50  mW", "100 mW", "2000 mW"}, true, 2, 2000},
        {"one level and another power: both offered", "100", 50, {"50  mW", "100 mW"}, true, -1,
         50},
        {"levels end at the first 0", "5,20,0,30", 5, {"5   mW", "20  mW"}, true, -1, 5},
        {"all eight levels, the last stored", "1,2,3,4,5,6,7,8", 8,
         {"8   mW", "1   mW", "2   mW", "3   mW", "4   mW", "5   mW", "6   mW", "7   mW"}, true,
         -1, 8},
        {"levels above 1 W", "100,2000,58030", 2000, {"2000 mW", "100 mW", "58030 mW"}, true, -1,
         2000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sb.set("eth0", {std::string("caps.power_levels=") + c.levels});
        EnterpriseProfile.cfg.tx_power = c.power;
        const CFG_R770 sent = OkWith([&](PropWindow &w) {
            EXPECT_EQ(Items(*w.rf_page->power_list), c.items);
            EXPECT_EQ(w.rf_page->power_list->get_active_text(), c.items[0]);
            EXPECT_EQ(w.rf_page->power_list->get_sensitive(), c.usable);
            if (c.pick >= 0)
                w.rf_page->power_list->set_active(c.pick);
        });
        EXPECT_EQ(uint16_t(sent.tx_power), c.stored);
    }
}

// Channels offered for a channel-set code, a stored channel and the one the
// adapter is on; the stored one first, whether or not the set allows it.
TEST(ChannelItemsTest, StoredChannelFirstWhateverTheSetAllows)
{
    using V = std::vector<unsigned>;
    struct Case {
        unsigned code, stored, current;
        V channels;
    } cases[] = {
        {0, 3, 6, {3, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11}},
        {1, 13, 6, {13, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
        {4, 3, 6, {3, 6, 10, 11, 12, 13}},  // 3 is no French channel, and stays
        {6, 0, 6, {0, 3, 4, 5, 6, 7, 8, 9}},
        {9, 14, 6, {14, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}},
        {2, 14, 6, {14, 6}},  // codes of no channel: the stored one and the adapter's
        {7, 3, 11, {3, 11}},
        {0xFFFF, 6, 6, {6}},
        {32, 6, 6, {6}},
        {33, 6, 6, {6}},
        {0, 0, 0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},  // a current 0 is none
        {0, 20, 6, {20, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {0, 6, 20, {6, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 20}},
        {7, 6, 20, {6, 20}},
        {7, 6, 0, {6}},
        {0, 12, 12, {12, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "code " << c.code << ", stored " << c.stored
                                        << ", current " << c.current);
        const ChannelItems items = MakeChannelItems(c.code, c.stored, c.current, "%u  (%u MHz)");
        EXPECT_EQ(items.channels, c.channels);
        ASSERT_EQ(items.texts.size(), c.channels.size());
        for (size_t i = 0; i < c.channels.size(); ++i)
            EXPECT_EQ(std::strtoul(items.texts[i].c_str(), nullptr, 10), c.channels[i]);
    }
    // Each channel with its own frequency; 0 with 0 MHz, above 14 none.
    const ChannelItems all = MakeChannelItems(9, 1, 20, "%u  (%u MHz)");
    const std::vector<std::string> texts = {
        "1  (2412 MHz)",  "2  (2417 MHz)",  "3  (2422 MHz)",  "4  (2427 MHz)",  "5  (2432 MHz)",
        "6  (2437 MHz)",  "7  (2442 MHz)",  "8  (2447 MHz)",  "9  (2452 MHz)",  "10  (2457 MHz)",
        "11  (2462 MHz)", "12  (2467 MHz)", "13  (2472 MHz)", "14  (2484 MHz)", "20"};
    EXPECT_EQ(all.texts, texts);
    EXPECT_EQ(MakeChannelItems(7, 0, 0, "%u  (%u MHz)").texts,
              std::vector<std::string>{"0  (0 MHz)"});
}

TEST_F(PagesTest, ChannelListShowsAndStoresTheChosenChannel)
{
    Start();
    struct Case {
        const char *name;
        std::vector<std::string> state;
        uint16_t stored;
        bool adhoc;
        int pick;  // item chosen by the user, -1 none
        std::string shown;
        bool usable;
        uint16_t sent;
    } cases[] = {
        {"infrastructure: greyed, the stored channel", {}, 3, false, -1, "3  (2422 MHz)", false, 3},
        {"ad hoc: usable", {}, 3, true, -1, "3  (2422 MHz)", true, 3},
        {"ad hoc: another channel chosen", {}, 3, true, 2, "3  (2422 MHz)", true, 2},
        {"stored channel 0: kept", {}, 0, true, -1, "0  (0 MHz)", true, 0},
        {"stored channel above 14: kept", {}, 15, false, -1, "15", false, 15},
        {"stored channel outside the set: kept", {"caps.region=4"}, 3, true, -1,
         "3  (2422 MHz)", true, 3},
        {"stored channel outside the set: another chosen", {"caps.region=4"}, 3, true, 2,
         "3  (2422 MHz)", true, 10},
        {"code 2", {"caps.region=2"}, 14, true, -1, "     14 (2484 MHz)", true, 14},
        {"nothing else to offer: greyed, the stored channel stays",
         {"caps.region=7", "status.cur_channel=0"}, 9, true, -1, "9  (2452 MHz)", false, 9},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sb.add("eth0");
        sb.set("eth0", c.state);
        EnterpriseProfile.cfg.channel = c.stored;
        EnterpriseProfile.cfg.net_type = c.adhoc ? 0 : 1;
        const CFG_R770 sent = OkWith([&](PropWindow &w) {
            ListSelector &list = *w.rf_page->channel_list;
            EXPECT_EQ(list.get_active_text(), c.shown);
            EXPECT_EQ(list.get_sensitive(), c.usable);
            if (c.pick >= 0)
                list.set_active(c.pick);
        });
        EXPECT_EQ(uint16_t(sent.channel), c.sent);
    }
}

TEST_F(PagesTest, ChannelListFollowsTheNetworkTypeAtOnce)
{
    Start();
    PropWindow w(CurrentRadio);
    ListSelector &list = *w.rf_page->channel_list;
    EXPECT_FALSE(list.get_sensitive());
    w.system_page->adhoc_button->clicked();
    EXPECT_TRUE(list.get_sensitive());
    w.system_page->infra_button->clicked();
    EXPECT_FALSE(list.get_sensitive());
}

TEST_F(PagesTest, DataRates)
{
    Start();
    using R = std::vector<uint8_t>;
    struct Case {
        const char *name, *supported;
        R rates;
        int shown;
        int pick;  // -1: untouched
        R sent;
        int reloaded;
    } cases[] = {
        {"1 Mbps only", "2,4,11,22", {2}, 1, -1, {2}, 1},
        {"2 Mbps only", "2,4,11,22", {4}, 2, -1, {4}, 2},
        {"5.5 Mbps only", "2,4,11,22", {11}, 3, -1, {11}, 3},
        {"11 Mbps only", "2,4,11,22", {22}, 4, -1, {22}, 4},
        {"auto", "2,4,11,22", {2, 4, 11, 22}, 0, -1, {2, 4, 11, 22}, 0},
        {"auto chosen", "2,4,11,22", {4}, 2, 0, {2, 4, 11, 22}, 0},
        {"auto chosen, 500 kbit/s supported", "1,2,4,11,22", {4}, 2, 0, {1, 2, 4, 11, 22}, 0},
        {"2 Mbps chosen", "2,4,11,22", {2, 4, 11, 22}, 0, 2, {4}, 2},
        {"one supported rate", "22", {4}, 2, 0, {22}, 4},
        {"a single rate of no item", "2,4,11,22", {5}, 0, -1, {2, 4, 11, 22}, 0},
        // 500 kbit/s alone, from another adapter: shown as "Auto" and kept.
        {"500 kbit/s alone, basic", "2,4,11,22", {0x81}, 0, -1, {0x81}, 0},
        {"500 kbit/s alone", "2,4,11,22", {0x01}, 0, -1, {0x01}, 0},
        {"500 kbit/s alone, 11 Mbps chosen", "2,4,11,22", {0x81}, 0, 4, {22}, 4},
        {"a basic-rate bit alone is no second rate", "2,4,11,22", {0x84, 0x80}, 2, -1,
         {0x84, 0x80}, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sb.set("eth0", {std::string("caps.supported_rates=") + c.supported});
        std::memset(EnterpriseProfile.cfg.rates, 0, 8);
        std::copy(c.rates.begin(), c.rates.end(), EnterpriseProfile.cfg.rates);
        const CFG_R770 sent = OkWith([&](PropWindow &w) {
            ConfigGrp &group = *FindGroup(w.rf_page->groups, RfParams::DATA_RATE);
            EXPECT_EQ(group.GetActive(), c.shown);
            EXPECT_TRUE(group.get_sensitive());
            if (c.pick >= 0)
                group.GetButton(c.pick)->clicked();
        });
        R want = c.sent;
        want.resize(8);
        EXPECT_EQ(R(sent.rates, sent.rates + 8), want);
        PropWindow again(CurrentRadio);
        EXPECT_EQ(FindGroup(again.rf_page->groups, RfParams::DATA_RATE)->GetActive(), c.reloaded);
    }
}

TEST_F(PagesTest, RfDefaultsThenOkOrCancel)
{
    Start({"config.rates=4", "config.tx_power=20", "config.world_mode=2", "config.radio_flags=0",
           "config.short_retry=7", "config.frag_threshold=1000", "config.channel=3",
           "config.net_type=0"});
    ExpectCancelLeavesAll([](PropWindow &w) { w.rf_page->SetDefaults(); });

    const CFG_R770 cfg = OkWith([](PropWindow &w) {
        w.rf_page->SetDefaults();
        EXPECT_EQ(w.rf_page->power_list->get_active_text(), "50  mW");
        EXPECT_EQ(w.rf_page->channel_list->get_active_text(), "3  (2422 MHz)");
        EXPECT_EQ(FindGroup(w.rf_page->groups, RfParams::DATA_RATE)->GetActive(), 0);
    });
    EXPECT_EQ(std::vector<uint8_t>(cfg.rates, cfg.rates + 8),
              (std::vector<uint8_t>{2, 4, 11, 22, 0, 0, 0, 0}));
    EXPECT_EQ(uint16_t(cfg.tx_power), 50);
    EXPECT_EQ(uint16_t(cfg.world_mode), 1);
    EXPECT_EQ(uint16_t(cfg.radio_flags), 0x0002);
    EXPECT_EQ(uint16_t(cfg.short_retry), 16);
    EXPECT_EQ(uint16_t(cfg.frag_threshold), 2312);
    EXPECT_EQ(uint16_t(cfg.channel), 3);

    // A power above every level is not lowered.
    const CFG_R770 above = OkWith([](PropWindow &w) {
        w.system_page->cfg.tx_power = 100;
        w.rf_page->SetDefaults();
        EXPECT_EQ(Items(*w.rf_page->power_list),
                  (std::vector<std::string>{"100 mW", "1   mW", "5   mW", "20  mW", "30  mW",
                                            "50  mW"}));
    });
    EXPECT_EQ(uint16_t(above.tx_power), 100);
}

TEST(ParseMacAddressTest, SixPairsOfHexDigitsSeparatedByColonsAndNothingElse)
{
    struct Case {
        const char *text;
        std::vector<uint8_t> bytes;  // empty: refused
    } cases[] = {
        {"02:1a:2b:3c:4d:5e", {0x02, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}},
        {"02:1A:2B:3C:4D:5E", {0x02, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}},
        {"02:1a:2b:3c:4d:00", {0x02, 0x1a, 0x2b, 0x3c, 0x4d, 0x00}},
        {"ff:FF:00:09:a0:Af", {0xff, 0xff, 0x00, 0x09, 0xa0, 0xaf}},
        {"02:1a:2b:3c:4d:5e:6f", {}},  // a seventh field
        {"02:1a:2b:3c:4d", {}},        // 14 characters
        {"02:1a:2b:3c:4d:", {}},       // 15
        {"02:1a:2b:3c:4d:5", {}},
        {"zz:1a:2b:3c:4d:5e", {}},
        {"02-1a-2b-3c-4d-5e", {}},
        {" 2:1a:2b:3c:4d:5e", {}},
        {"-1:1a:2b:3c:4d:5e", {}},
        {"02:1a:2b:3c:4d:5e ", {}},
        {"0x:1a:2b:3c:4d:5e", {}},
        {"", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        // Exactly the text's size, so that a read past its end is caught.
        const size_t n = std::strlen(c.text) + 1;
        std::unique_ptr<char[]> text(new char[n]);
        std::memcpy(text.get(), c.text, n);
        uint8_t out[6] = {9, 9, 9, 9, 9, 9};
        const int result = ParseMacAddress(text.get(), out);
        if (c.bytes.empty()) {
            EXPECT_EQ(result, -1);
            EXPECT_EQ(std::vector<uint8_t>(out, out + 6), std::vector<uint8_t>(6, 9));
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(std::vector<uint8_t>(out, out + 6), c.bytes);
        }
    }
}

TEST_F(PagesTest, AccessPointEntries)
{
    Start();
    _STAPLIST &stored = EnterpriseProfile.aplist;
    SetMac(stored.mac[1], {0x00, 0x40, 0x96, 0xaa, 0x00, 0x00});
    SetMac(stored.mac[2], {0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f});
    SetMac(stored.mac[3], {0x00, 0x40, 0x96, 0xaa, 0x00, 0x01});
    OkWith([](PropWindow &w) {
        Gtk::Entry **e = w.infr_page->ap_entries;
        EXPECT_EQ(e[0]->get_text(), "");
        EXPECT_EQ(e[1]->get_text(), "00:40:96:aa:00:00");  // filled: a byte is not 0
        e[0]->set_text("02:1A:2B:3C:4D:5E");
        e[1]->set_text("02:1a:2b:3c:4d:00");
        e[2]->set_text("zz:1a:2b:3c:4d:5e");
        e[3]->set_text("");
    });
    _STAPLIST want{};
    want.length = 26;
    SetMac(want.mac[0], {0x02, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e});
    SetMac(want.mac[1], {0x02, 0x1a, 0x2b, 0x3c, 0x4d, 0x00});
    SetMac(want.mac[2], {0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f});  // refused: kept
    EXPECT_EQ(Bytes(Sent<_STAPLIST>(55)), Bytes(want));
    EXPECT_EQ(Bytes(File().a.aplist), Bytes(want));

    // The user is told which entry was refused.
    auto *err = dynamic_cast<ErrWin *>(FindWindow("Error message"));
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(LabelTexts(*err),
              std::vector<std::string>{"Specified Access Point 3: \"zz:1a:2b:3c:4d:5e\" refused\n"
                                       "An address is six pairs of hexadecimal digits separated "
                                       "by ':'.\nA refused entry keeps the stored address."});
    EXPECT_FALSE(err->exitconn.connected());
    err->okbutton->clicked();
    Step();

    // Shown again in lower case.
    PropWindow w(CurrentRadio);
    const char *shown[] = {"02:1a:2b:3c:4d:5e", "02:1a:2b:3c:4d:00", "0a:0b:0c:0d:0e:0f", ""};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(w.infr_page->ap_entries[i]->get_text(), shown[i]);
}

TEST_F(PagesTest, AntennaWords)
{
    Start();
    struct Case {
        uint16_t word;
        int receive, transmit;
        uint16_t stored;
    } cases[] = {
        {0x0000, 0, 0, 0x0303},
        {0x0201, 1, 2, 0x0201},
        {0x0303, 0, 0, 0x0303},
        {0x0102, 2, 1, 0x0102},
    };
    for (bool adhoc : {false, true})
        for (const auto &c : cases) {
            SCOPED_TRACE(testing::Message() << (adhoc ? "ad hoc " : "infrastructure ") << std::hex
                                            << c.word);
            EnterpriseProfile.cfg.net_type = adhoc ? 0 : 1;
            EnterpriseProfile.cfg.antenna = c.word;
            const CFG_R770 sent = OkWith([&](PropWindow &w) {
                auto &groups = adhoc ? w.adhoc_page->groups : w.infr_page->groups;
                EXPECT_EQ(FindGroup(groups, 1)->GetActive(), c.receive);
                EXPECT_EQ(FindGroup(groups, 2)->GetActive(), c.transmit);
            });
            EXPECT_EQ(uint16_t(sent.antenna), c.stored);
        }
    // Chosen on the page: receive left, transmit right.
    EnterpriseProfile.cfg.net_type = 1;
    const CFG_R770 sent = OkWith([](PropWindow &w) {
        FindGroup(w.infr_page->groups, 1)->GetButton(2)->clicked();
        FindGroup(w.infr_page->groups, 2)->GetButton(1)->clicked();
    });
    EXPECT_EQ(uint16_t(sent.antenna), 0x0102);
}

TEST_F(PagesTest, AdHocPage)
{
    Start();
    EnterpriseProfile.cfg.wake_duration = 4;
    EnterpriseProfile.cfg.beacon_period = 300;

    // Hidden in infrastructure mode, and its fields untouched then.
    EnterpriseProfile.cfg.net_type = 1;
    CFG_R770 sent = OkWith([](PropWindow &w) {
        EXPECT_FALSE(w.adhoc_page->get_visible());
        w.adhoc_page->beacon_scale->set_value(500);
        w.adhoc_page->wake_scale->set_value(20);
    });
    EXPECT_EQ(uint16_t(sent.wake_duration), 4);
    EXPECT_EQ(uint16_t(sent.beacon_period), 300);

    EnterpriseProfile.cfg.net_type = 0;
    sent = OkWith([](PropWindow &w) {
        EXPECT_TRUE(w.adhoc_page->get_visible());
        EXPECT_FALSE(w.infr_page->get_visible());
        EXPECT_EQ(w.adhoc_page->wake_scale->get_value(), 5);
        EXPECT_EQ(w.adhoc_page->beacon_scale->get_value(), 300);
        w.adhoc_page->beacon_scale->set_value(975.6);
        w.adhoc_page->rts_threshold_scale->set_value(1234.9);
        w.adhoc_page->rts_retry_scale->set_value(33);
    });
    EXPECT_EQ(uint16_t(sent.wake_duration), 5);
    EXPECT_EQ(uint16_t(sent.beacon_period), 975);
    EXPECT_EQ(uint16_t(sent.rts_threshold), 1234);
    EXPECT_EQ(uint16_t(sent.long_retry), 33);
}

TEST_F(PagesTest, AdvancedDefaultsThenOkOrCancel)
{
    Start({"config.antenna=0x0102", "config.rts_threshold=500", "config.long_retry=9",
           "config.wake_duration=30", "config.beacon_period=200", "aplist.2=02:1a:2b:3c:4d:5e"});

    // Advanced Infrastructure.
    ExpectCancelLeavesAll([](PropWindow &w) { w.infr_page->SetDefaults(); });
    CFG_R770 cfg = OkWith([](PropWindow &w) {
        w.infr_page->ap_entries[0]->set_text("0a:0b:0c:0d:0e:0f");
        w.infr_page->ap_entries[1]->set_text("");
        w.infr_page->SetDefaults();
        EXPECT_EQ(w.infr_page->ap_entries[0]->get_text(), "");
        EXPECT_EQ(w.infr_page->ap_entries[1]->get_text(), "02:1a:2b:3c:4d:5e");
    });
    EXPECT_EQ(uint16_t(cfg.antenna), 0x0303);
    EXPECT_EQ(uint16_t(cfg.rts_threshold), 2312);
    EXPECT_EQ(uint16_t(cfg.long_retry), 16);
    EXPECT_EQ(uint16_t(cfg.wake_duration), 30);
    EXPECT_EQ(uint16_t(cfg.beacon_period), 200);
    _STAPLIST aplist{};
    aplist.length = 26;
    SetMac(aplist.mac[1], {0x02, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e});
    EXPECT_EQ(Bytes(Sent<_STAPLIST>(55)), Bytes(aplist));

    // Advanced AdHoc.
    EnterpriseProfile.cfg.net_type = 0;
    EnterpriseProfile.cfg.antenna = 0x0102;
    EnterpriseProfile.cfg.rts_threshold = 500;
    EnterpriseProfile.cfg.long_retry = 9;
    ExpectCancelLeavesAll([](PropWindow &w) { w.adhoc_page->SetDefaults(); });
    cfg = OkWith([](PropWindow &w) { w.adhoc_page->SetDefaults(); });
    EXPECT_EQ(uint16_t(cfg.antenna), 0x0303);
    EXPECT_EQ(uint16_t(cfg.rts_threshold), 2312);
    EXPECT_EQ(uint16_t(cfg.long_retry), 16);
    EXPECT_EQ(uint16_t(cfg.wake_duration), 5);
    EXPECT_EQ(uint16_t(cfg.beacon_period), 100);
}

// Out-of-range values in every field these pages read, and a driver whose
// capability and status reads fail: every field stays within what its
// widget can show, what is stored is what was shown, and nothing outside
// the pages' fields changes.
TEST_F(PagesTest, BadProfilesAndRecords)
{
    Start();
    struct Case {
        const char *name;
        std::vector<std::string> state;
        uint16_t fill;     // every field of these pages
    } cases[] = {
        {"all ones", {"caps.region=0xffff", "status.cur_channel=0xffff"}, 0xFFFF},
        {"zeros", {"caps.region=32", "status.cur_channel=0"}, 0x0000},
        {"code 33, channel 15", {"caps.region=33", "status.cur_channel=15"}, 0x0F0F},
    };
    const ProfileRecord base = EnterpriseProfile;
    for (bool adhoc : {false, true})
        for (const auto &c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << (adhoc ? ", ad hoc" : ", infrastructure"));
            sb.add("eth0");
            sb.set("eth0", c.state);
            ProfileRecord p = base;
            CFG_R770 &f = p.cfg;
            std::memset(f.rates, c.fill & 0xFF, 8);
            for (le16 *field : {&f.tx_power, &f.channel, &f.radio_flags, &f.world_mode,
                                &f.short_retry, &f.long_retry, &f.frag_threshold,
                                &f.rts_threshold, &f.antenna, &f.wake_duration, &f.beacon_period,
                                &p.aplist.length})
                *field = c.fill;
            f.net_type = adhoc ? 0 : 1;
            std::memset(p.aplist.mac, c.fill & 0xFF, sizeof p.aplist.mac);
            EnterpriseProfile = p;
            unsigned shownPower = 0, shownChannel = 0;
            bool channelShown = false;
            const CFG_R770 sent = OkWith([&](PropWindow &w) {
                const std::string power = w.rf_page->power_list->get_active_text();
                const std::string channel = w.rf_page->channel_list->get_active_text();
                shownPower = std::strtoul(power.c_str(), nullptr, 10);
                shownChannel = std::strtoul(channel.c_str(), nullptr, 10);
                channelShown = !channel.empty();
            });
            EXPECT_EQ(uint16_t(sent.tx_power), shownPower);
            EXPECT_EQ(uint16_t(sent.channel), channelShown ? shownChannel : c.fill);
            EXPECT_GE(uint16_t(sent.frag_threshold), 256);
            EXPECT_LE(uint16_t(sent.frag_threshold), 2312);
            EXPECT_GE(uint16_t(sent.short_retry), 1);
            EXPECT_LE(uint16_t(sent.short_retry), 128);
            EXPECT_LE(uint16_t(sent.rts_threshold), 2312);
            EXPECT_GE(uint16_t(sent.long_retry), 1);
            EXPECT_LE(uint16_t(sent.long_retry), 128);
            const uint8_t rx = sent.antenna & 0xFF, tx = sent.antenna >> 8;
            EXPECT_TRUE(rx >= 1 && rx <= 3 && tx >= 1 && tx <= 3) << std::hex << sent.antenna;
            if (adhoc) {
                EXPECT_GE(uint16_t(sent.wake_duration), 5);
                EXPECT_LE(uint16_t(sent.wake_duration), 60);
                EXPECT_GE(uint16_t(sent.beacon_period), 20);
                EXPECT_LE(uint16_t(sent.beacon_period), 976);
                EXPECT_EQ(Bytes(Sent<_STAPLIST>(55)), Bytes(p.aplist));
            } else {
                EXPECT_EQ(uint16_t(sent.wake_duration), c.fill);
                EXPECT_EQ(uint16_t(sent.beacon_period), c.fill);
                EXPECT_EQ(uint16_t(Sent<_STAPLIST>(55).length), 26);
            }

            // Outside the fields the pages own, every byte as it was.
            CFG_R770 rest = sent;
            for (auto field : {&CFG_R770::net_type, &CFG_R770::frag_threshold,
                               &CFG_R770::rts_threshold, &CFG_R770::short_retry,
                               &CFG_R770::long_retry, &CFG_R770::auth_mode, &CFG_R770::world_mode,
                               &CFG_R770::power_save, &CFG_R770::beacon_period,
                               &CFG_R770::wake_duration, &CFG_R770::channel, &CFG_R770::antenna,
                               &CFG_R770::tx_power, &CFG_R770::radio_flags})
                rest.*field = f.*field;
            std::memcpy(rest.rates, f.rates, 8);
            std::memcpy(rest.client_name, f.client_name, 16);
            EXPECT_EQ(Bytes(rest), Bytes(f));
            EXPECT_EQ(sent.radio_flags & ~0x0002, f.radio_flags & ~0x0002);
        }
}

} // namespace
