// The properties window opened on a stored profile and left with " Ok "
// untouched: the adapter is sent exactly what taking it up sent, and the
// profile file keeps every byte but the MAC addresses and the checksum.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "main_window.h"
#include "profile_file.h"
#include "properties_fixture.h"

namespace {

void Text(char *field, size_t size, const std::string &text)
{
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size));
}

template <size_t N>
void Text(char (&field)[N], const std::string &text)
{
    Text(field, N, text);
}

void Ssid(_STSSID &list, int slot, const std::string &text)
{
    Text(list.entry[slot].text, text);
    list.entry[slot].len = uint16_t(text.size());
}

template <size_t N>
void Fill(uint8_t (&field)[N], std::initializer_list<uint8_t> bytes)
{
    std::memset(field, 0, N);
    std::copy(bytes.begin(), bytes.end(), field);
}

// The writes of the journal, each with the bytes it carried.
std::vector<std::pair<int, std::vector<uint8_t>>> WritesWithBytes(
    const std::vector<sim::JournalEntry> &journal)
{
    std::vector<std::pair<int, std::vector<uint8_t>>> out;
    for (const auto &e : journal)
        if (e.command >= 50)
            out.emplace_back(e.command, e.sent);
    return out;
}

class UntouchedOkTest : public PropertiesTest {
protected:
    // A stored profile as this system writes one: the adapter's own
    // configuration (its reserved bytes patterned) with the words that
    // storing clears at 0.
    ProfileRecord Base() const
    {
        ProfileRecord p{};
        p.cfg = FromBytes<CFG_R770>(sim::GetRecord(sb.dir(), "eth0", "config"));
        p.cfg.clear_word1 = 0;
        p.cfg.clear_word2 = 0;
        p.aplist.length = 26;
        return p;
    }
};

struct Row {
    const char *name;
    std::vector<std::string> adapter;  // stand-in state besides the default
    uint32_t selector;
    std::function<void(ProfileRecord &enterprise, ProfileRecord &home)> edit;
    const char *title = Title;
};

TEST_F(UntouchedOkTest, SendsWhatTheTakeUpSentAndKeepsTheFile)
{
    Start();
    const Row rows[] = {
        {"enterprise: basic-rate bits, shared key WEP, mixed cells, Latin-1, access points",
         {},
         0,
         [](ProfileRecord &e, ProfileRecord &) {
             Fill(e.cfg.rates, {0x82, 0x84, 0x8b, 0x96});
             e.cfg.auth_mode = 0x0302;
             Text(e.cfg.client_name, "B\xfcro-PC \xe9t\xe9");
             Ssid(e.ssid, 0, "Caf\xe9 Kr\xe4henb\xfchl");
             Ssid(e.ssid, 1, "second");
             Fill(e.aplist.mac[0], {0x00, 0x40, 0x96, 0x12, 0x34, 0x56});
             Fill(e.aplist.mac[1], {0x02, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e});
             Fill(e.aplist.mac[3], {0x00, 0x40, 0x96, 0xaa, 0x00, 0x04});
             e.cfg.tx_power = 20;
             e.cfg.short_retry = 7;
             e.cfg.frag_threshold = 1000;
             e.cfg.rts_threshold = 500;
             e.cfg.long_retry = 9;
             e.cfg.antenna = 0x0201;
             e.cfg.power_save = 2;
             e.cfg.world_mode = 2;
             e.cfg.radio_flags = 0x0002;
         }},
        {"enterprise: mixed cells without a stored key, ad hoc, basic-rate 1 and 2 Mbps",
         {"wep.0=none", "wep.1=none"},
         0,
         [](ProfileRecord &e, ProfileRecord &) {
             e.cfg.net_type = 0;
             e.cfg.channel = 3;
             Fill(e.cfg.rates, {0x82, 0x84});
             e.cfg.auth_mode = 0x0201;
             e.cfg.beacon_period = 975;
             e.cfg.wake_duration = 30;
             e.cfg.power_save = 1;
             Text(e.cfg.client_name, "\xc5sa");
         }},
        {"enterprise: mixed cells, keys stored but WEP off, one rate with its basic bit",
         {},
         0,
         [](ProfileRecord &e, ProfileRecord &) {
             Fill(e.cfg.rates, {0x96});
             e.cfg.auth_mode = 0x0201;
         }},
        {"enterprise: ZUNA with WEP",
         {},
         0,
         [](ProfileRecord &e, ProfileRecord &) { e.cfg.auth_mode = 0x1101; }},
        {"home: basic-rate bits, WEP with the home key, Latin-1, ad hoc",
         {"wep.4=0102030405060708090a0b0c0d"},
         1,
         [](ProfileRecord &e, ProfileRecord &h) {
             Text(e.cfg.client_name, "office");
             h.cfg.home_flags = 1;
             h.cfg.net_type = 0;
             h.cfg.channel = 3;
             Fill(h.cfg.rates, {0x82, 0x84, 0x8b, 0x96});
             h.cfg.auth_mode = 0x0101;
             Text(h.cfg.client_name, "K\xfc" "che");
             Ssid(h.ssid, 0, "Gar\xe7on");
             Fill(h.aplist.mac[3], {0x00, 0x40, 0x96, 0xaa, 0x00, 0x01});
         }},
        // Stored channels stay, whether or not the adapter's channel set
        // allows them, in the profile in use and in the other one.
        {"enterprise: infrastructure, channel set 3, stored channels 3 and 5",
         {"caps.region=3"},
         0,
         [](ProfileRecord &e, ProfileRecord &h) {
             e.cfg.channel = 3;
             h.cfg.channel = 5;
         }},
        {"enterprise: ad hoc, channel set 7, stored channels 3 and 12",
         {"caps.region=7"},
         0,
         [](ProfileRecord &e, ProfileRecord &h) {
             e.cfg.net_type = 0;
             e.cfg.channel = 3;
             h.cfg.channel = 12;
         }},
        {"enterprise: ad hoc, stored channel 0 in both",
         {},
         0,
         [](ProfileRecord &e, ProfileRecord &h) {
             e.cfg.net_type = 0;
             e.cfg.channel = 0;
             h.cfg.channel = 0;
         }},
        {"home: ad hoc, channel set 4, stored channels 3 and 14",
         {"caps.region=4"},
         1,
         [](ProfileRecord &e, ProfileRecord &h) {
             e.cfg.channel = 14;
             h.cfg.home_flags = 1;
             h.cfg.net_type = 0;
             h.cfg.channel = 3;
         }},
        {"home: infrastructure, channel set 0xFFFF, stored channel 0 in both",
         {"caps.region=0xffff"},
         1,
         [](ProfileRecord &e, ProfileRecord &h) {
             e.cfg.channel = 0;
             h.cfg.home_flags = 1;
             h.cfg.channel = 0;
         }},
        {"home: ad hoc, channel set 2, stored channels 3 and 9",
         {"caps.region=2"},
         1,
         [](ProfileRecord &e, ProfileRecord &h) {
             e.cfg.net_type = 0;
             e.cfg.channel = 9;
             h.cfg.home_flags = 1;
             h.cfg.net_type = 0;
             h.cfg.channel = 3;
         }},
        {"home: infrastructure, no WEP, mixed cells in the enterprise profile",
         {"wep.0=none", "wep.1=none"},
         1,
         [](ProfileRecord &e, ProfileRecord &h) {
             e.cfg.auth_mode = 0x0201;
             h.cfg.home_flags = 1;
             Fill(h.cfg.rates, {0x84});
             Ssid(h.ssid, 0, "home");
         }},
        // Capabilities of values an adapter may report, however unusual.
        {"enterprise: power levels up to 1001 mW, 1001 stored",
         {"caps.power_levels=1,5,20,100,1001"},
         0,
         [](ProfileRecord &e, ProfileRecord &) { e.cfg.tx_power = 1001; }},
        {"enterprise: power levels 100 and 2000 mW, 2000 stored",
         {"caps.power_levels=100,2000"},
         0,
         [](ProfileRecord &e, ProfileRecord &) { e.cfg.tx_power = 2000; }},
        // A stored power that is none of the adapter's levels, and a lone
        // 500 kbit/s that its rates do not hold, as a profile written for
        // another adapter has: kept in both profiles.
        {"enterprise: default levels, stored power 25 in both",
         {},
         0,
         [](ProfileRecord &e, ProfileRecord &h) {
             e.cfg.tx_power = 25;
             h.cfg.tx_power = 25;
         }},
        {"home: default levels, stored power 25 in both",
         {},
         1,
         [](ProfileRecord &e, ProfileRecord &h) {
             e.cfg.tx_power = 25;
             h.cfg.home_flags = 1;
             h.cfg.tx_power = 25;
         }},
        {"enterprise: power levels 100 and 2000 mW, 50 stored in both",
         {"caps.power_levels=100,2000"},
         0,
         [](ProfileRecord &e, ProfileRecord &h) {
             e.cfg.tx_power = 50;
             h.cfg.tx_power = 50;
         }},
        {"home: power levels 100 and 2000 mW, 50 stored in both",
         {"caps.power_levels=100,2000"},
         1,
         [](ProfileRecord &e, ProfileRecord &h) {
             e.cfg.tx_power = 50;
             h.cfg.home_flags = 1;
             h.cfg.tx_power = 50;
         }},
        {"enterprise: a lone 500 kbit/s with its basic-rate bit, without it at home",
         {},
         0,
         [](ProfileRecord &e, ProfileRecord &h) {
             Fill(e.cfg.rates, {0x81});
             Fill(h.cfg.rates, {0x01});
         }},
        {"enterprise: a lone 500 kbit/s without its basic-rate bit, with it at home",
         {},
         0,
         [](ProfileRecord &e, ProfileRecord &h) {
             Fill(e.cfg.rates, {0x01});
             Fill(h.cfg.rates, {0x81});
         }},
        {"home: a lone 500 kbit/s with its basic-rate bit, without it in the enterprise",
         {},
         1,
         [](ProfileRecord &e, ProfileRecord &h) {
             Fill(e.cfg.rates, {0x01});
             h.cfg.home_flags = 1;
             Fill(h.cfg.rates, {0x81});
         }},
        {"home: a lone 500 kbit/s without its basic-rate bit, with it in the enterprise",
         {},
         1,
         [](ProfileRecord &e, ProfileRecord &h) {
             Fill(e.cfg.rates, {0x81});
             h.cfg.home_flags = 1;
             Fill(h.cfg.rates, {0x01});
         }},
        {"enterprise: 500 kbit/s supported, rates stored with basic-rate bits",
         {"caps.supported_rates=1,2,4,11,22"},
         0,
         [](ProfileRecord &e, ProfileRecord &) {
             Fill(e.cfg.rates, {0x81, 0x82, 0x84, 0x8b, 0x96});
         }},
        {"home: 500 kbit/s supported, rates stored with basic-rate bits",
         {"caps.supported_rates=1,2,4,11,22"},
         1,
         [](ProfileRecord &, ProfileRecord &h) {
             h.cfg.home_flags = 1;
             Fill(h.cfg.rates, {0x81, 0x82, 0x84, 0x8b, 0x96});
         }},
        {"enterprise: a product name holding 0x99",
         {"caps.product_name=VX\\x99"},
         0,
         [](ProfileRecord &, ProfileRecord &) {},
         "VX\xc2\x99 Properties"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        sb.add("eth0");
        sb.set("eth0", row.adapter);
        ProfileFile file{};
        file.a = Base();
        file.b = Base();
        // Another card's address, as a file moved between machines has.
        Fill(file.a.cfg.mac_addr, {0x00, 0x40, 0x96, 0x01, 0x02, 0x03});
        Fill(file.b.cfg.mac_addr, {0x00, 0x40, 0x96, 0x04, 0x05, 0x06});
        row.edit(file.a, file.b);
        file.header.magic = PROFILE_MAGIC;
        file.header.selector = row.selector;
        for (size_t i = 0; i < sizeof file.header.reserved; ++i)
            file.header.reserved[i] = uint8_t(0x80 | i);
        file.header.checksum = Cfgio::cksum(file.a, file.b);
        const std::vector<uint8_t> before = Bytes(file);
        WriteFileBytes(sb.path("etc/eth0.cfg"), before);

        sb.clearJournal();
        UseRadio(CurrentRadio);
        Step();
        const auto takeUp = WritesWithBytes(sb.journal());
        ASSERT_EQ(takeUp.size(), 3u);
        sb.clearJournal();
        ASSERT_TRUE(Edit([](PropWindow &w) { w.buttons[PropWindow::OK]->clicked(); }, row.title));
        const auto ok = WritesWithBytes(sb.journal());
        EXPECT_EQ(ok, takeUp);

        // The file as before, but that each MAC address may be the
        // adapter's own, and the checksum follows.
        ProfileFile after = File();
        ProfileFile want = file;
        const std::vector<uint8_t> own = AdapterMac();
        for (auto [was, now] : {std::pair{&want.a, &after.a}, std::pair{&want.b, &after.b}}) {
            const std::vector<uint8_t> mac(now->cfg.mac_addr, now->cfg.mac_addr + 6);
            if (mac == own)
                std::memcpy(was->cfg.mac_addr, own.data(), 6);
        }
        want.header.checksum = Cfgio::cksum(want.a, want.b);
        EXPECT_EQ(Bytes(after), Bytes(want));
    }
}

} // namespace
