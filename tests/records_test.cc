// Record images: byte order, bounded reading of driver texts, and that a
// record read, changed in one field and written back differs only there.
#include <gtest/gtest.h>

#include <cstring>

#include "kdr770.h"
#include "records.h"
#include "sandbox.h"

TEST(Records, FieldsAreLittleEndianByteImages)
{
    CFG_R770 cfg{};
    cfg.auth_mode = 0x1234;
    cfg.auth_mode |= 0x1100;
    const auto *p = reinterpret_cast<const uint8_t *>(&cfg);
    EXPECT_EQ(p[0x3e], 0x34);
    EXPECT_EQ(p[0x3f], 0x13);
    EXPECT_EQ(uint16_t(cfg.auth_mode), 0x1334);

    _STSTATISTICS32 stats{};
    stats.uptime = 0x01020304;
    const auto *s = reinterpret_cast<const uint8_t *>(&stats);
    EXPECT_EQ(s[0x17c], 0x04);
    EXPECT_EQ(s[0x17f], 0x01);
    EXPECT_EQ(stats.Counter(0x17c), 0x01020304u);
    // Offsets outside the record or between counters read as nothing.
    EXPECT_EQ(stats.Counter(544), 0u);
    EXPECT_EQ(stats.Counter(0x17d), 0u);
}

TEST(Records, UnterminatedDriverTextsAreReadOnlyToTheFieldEnd)
{
    struct {
        _STCAPS caps;
        char after[8];
    } img;
    std::memset(&img, 'X', sizeof img);  // no terminator anywhere
    char name[40];
    FieldText(name, img.caps.product_name);
    EXPECT_EQ(std::string(name), std::string(16, 'X'));

    char small[5];
    FieldText(small, img.caps.manufacturer);
    EXPECT_EQ(std::string(small), "XXXX");

    std::strcpy(img.caps.firmware_version, "4.25");
    FieldText(name, img.caps.firmware_version);
    EXPECT_STREQ(name, "4.25");
}

TEST(Records, ConfigurationChangedInOneFieldDiffersOnlyThere)
{
    Sandbox sb;
    kdR770 radio;
    ASSERT_EQ(radio.InitCard("eth0"), 0);
    CFG_R770 cfg;
    _STAPLIST aplist;
    _STSSID ssid;
    ASSERT_EQ(radio.GetConfiguration(cfg, aplist, ssid), 0);
    const std::vector<uint8_t> before = sim::GetRecord(sb.dir(), "eth0", "config");
    ASSERT_EQ(Bytes(cfg), before);

    cfg.tx_power = uint16_t(cfg.tx_power + 1);
    sb.clearJournal();
    ASSERT_EQ(radio.SetConfiguration(cfg, aplist, ssid), 0);

    auto journal = sb.journal();
    ASSERT_EQ(journal.size(), 3u);
    const std::vector<uint8_t> &sent = journal[2].sent;
    ASSERT_EQ(sent.size(), sizeof(CFG_R770));
    for (size_t i = 0; i < sent.size(); ++i) {
        if (i == offsetof(CFG_R770, tx_power) || i == offsetof(CFG_R770, tx_power) + 1)
            continue;
        EXPECT_EQ(sent[i], before[i]) << "byte " << i;
    }
    EXPECT_NE(sent[offsetof(CFG_R770, tx_power)], before[offsetof(CFG_R770, tx_power)]);
    EXPECT_EQ(journal[0].sent, Bytes(ssid));
    EXPECT_EQ(journal[1].sent, Bytes(aplist));
}
