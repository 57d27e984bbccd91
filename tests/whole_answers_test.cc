// Reads whose answer must be whole: the marks that show an answer cut short,
// and what an answer of each kind must fill.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "records.h"
#include "whole_answers.h"

namespace {

// A driver that writes the first n bytes of each record from its own image
// and counts the times it is asked.
struct Driver {
    std::vector<std::vector<uint8_t>> images;
    std::vector<size_t> written;  // bytes written of each record
    std::vector<int> results = {0, 0};
    int asked = 0;

    int Answer(std::initializer_list<RecordBytes> records)
    {
        const int result = results[std::min<size_t>(asked, results.size() - 1)];
        ++asked;
        size_t i = 0;
        for (const RecordBytes &r : records) {
            std::memcpy(r.bytes, images[i].data(), std::min(written[i], r.size));
            ++i;
        }
        return result;
    }
};

TEST(WholeAnswers, MarksShowAnAnswerCutShort)
{
    const struct {
        const char *what;
        std::vector<uint8_t> lastBytes;  // of each record's image
        std::vector<size_t> written;     // 26 is the whole record
        std::vector<int> results;
        int result, asked;
    } cases[] = {
        {"whole, ends in another byte than the mark", {0x00, 0x5a}, {26, 26}, {0}, 0, 1},
        {"whole, ends in the first mark: asked again", {0xff, 0x00}, {26, 26}, {0}, 0, 2},
        {"whole, both end in the first mark", {0xff, 0xff}, {26, 26}, {0}, 0, 2},
        {"nothing written", {0x00, 0x00}, {0, 26}, {0}, -1, 2},
        {"all but the last byte", {0x00, 0x00}, {26, 25}, {0}, -1, 2},
        {"the first record whole, ending in the mark, the second short", {0xff, 0x5a}, {26, 13},
         {0}, -1, 2},
        {"the request failed", {0x00, 0x00}, {26, 26}, {-1}, -1, 1},
        {"the second asking failed", {0xff, 0x00}, {26, 26}, {0, -1}, -1, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Driver d;
        for (uint8_t last : c.lastBytes) {
            std::vector<uint8_t> image(26, 0x42);
            image.back() = last;
            d.images.push_back(image);
        }
        d.written = c.written;
        d.results = c.results;
        _RID_wep_key a, b;
        const int result = ReadToTheEnd([&] { return d.Answer({BytesOf(a), BytesOf(b)}); },
                                        {BytesOf(a), BytesOf(b)});
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(d.asked, c.asked);
        if (result == 0) {
            EXPECT_EQ(std::vector<uint8_t>(BytesOf(a).bytes, BytesOf(a).bytes + 26), d.images[0]);
            EXPECT_EQ(std::vector<uint8_t>(BytesOf(b).bytes, BytesOf(b).bytes + 26), d.images[1]);
        }
    }
}

std::string HexBytes(const std::vector<uint8_t> &bytes)
{
    std::string out;
    for (uint8_t b : bytes) {
        static const char digits[] = "0123456789abcdef";
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

_STCAPS Caps()
{
    _STCAPS caps{};
    std::strcpy(caps.product_name, "VX1100");
    const uint8_t rates[] = {2, 4, 11, 22};
    std::copy(std::begin(rates), std::end(rates), caps.supported_rates);
    caps.power_levels[0] = 1;
    caps.power_levels[1] = 50;
    return caps;
}

TEST(WholeAnswers, WhatEveryAnswerFills)
{
    const struct {
        const char *what;
        void (*change)(_STCAPS &);
        bool plausible;
    } caps[] = {
        {"as an adapter reports them", [](_STCAPS &) {}, true},
        {"a name of the whole field, no terminator",
         [](_STCAPS &c) { std::memset(c.product_name, 'P', 16); }, true},
        {"a Latin-1 name", [](_STCAPS &c) { std::strcpy(c.product_name, "K\xe4rt"); }, true},
        {"no name", [](_STCAPS &c) { c.product_name[0] = 0; }, false},
        {"a control character in the name", [](_STCAPS &c) { c.product_name[2] = 0x07; }, false},
        {"0x1f in the name", [](_STCAPS &c) { c.product_name[2] = 0x1f; }, false},
        {"a blank in the name", [](_STCAPS &c) { c.product_name[2] = 0x20; }, true},
        {"0x7f in the name", [](_STCAPS &c) { c.product_name[2] = 0x7f; }, true},
        {"0x99 in the name", [](_STCAPS &c) { c.product_name[2] = char(0x99); }, true},
        {"rates with their basic-rate bits", [](_STCAPS &c) { c.supported_rates[0] = 0x82; }, true},
        {"500 kbit/s among the rates", [](_STCAPS &c) { c.supported_rates[4] = 1; }, true},
        {"a rate of no 802.11b kind", [](_STCAPS &c) { c.supported_rates[4] = 12; }, true},
        {"no rate", [](_STCAPS &c) { std::memset(c.supported_rates, 0, 8); }, false},
        {"basic-rate bits alone are no rate",
         [](_STCAPS &c) {
             std::memset(c.supported_rates, 0, 8);
             c.supported_rates[7] = 0x80;
         },
         false},
        {"one rate, the last",
         [](_STCAPS &c) {
             std::memset(c.supported_rates, 0, 8);
             c.supported_rates[7] = 0x01;
         },
         true},
        {"a level of 1001 mW", [](_STCAPS &c) { c.power_levels[1] = 1001; }, true},
        {"the highest level the field holds", [](_STCAPS &c) { c.power_levels[1] = 0xffff; },
         true},
        {"garbage after the first 0 ends the levels",
         [](_STCAPS &c) { c.power_levels[3] = 0xe2ae; }, true},
        {"eight levels, no terminator",
         [](_STCAPS &c) {
             for (auto &l : c.power_levels)
                 l = 20;
         },
         true},
        {"no level", [](_STCAPS &c) { c.power_levels[0] = 0; }, false},
    };
    for (const auto &c : caps) {
        _STCAPS record = Caps();
        c.change(record);
        EXPECT_EQ(Plausible(record), c.plausible) << c.what;
    }

    const struct {
        uint8_t mac[6];
        bool usable;
    } macs[] = {
        {{0x00, 0x40, 0x96, 0x12, 0x34, 0x56}, true},
        {{0x02, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}, true},  // locally administered
        {{0, 0, 0, 0, 0, 0}, false},
        {{0x01, 0x00, 0x5e, 0x00, 0x00, 0x01}, false},  // a group address
        {{0xff, 0xff, 0xff, 0xff, 0xff, 0xff}, false},
    };
    for (const auto &m : macs) {
        CFG_R770 cfg{};
        std::memcpy(cfg.mac_addr, m.mac, 6);
        EXPECT_EQ(Plausible(cfg), m.usable) << int(m.mac[0]);
    }

    // mac holds a key record's 01 00 00 00 00 00, or the selector's
    // transmit index in its first two bytes.
    const struct {
        uint16_t index;
        std::vector<uint8_t> mac;
        uint16_t len;
        uint8_t pad;
        bool plausible;
    } keys[] = {
        {0, {1}, 5, 0, true},
        {4, {1}, 13, 0, true},
        {0xFFFF, {}, 0, 0, true},
        {0xFFFF, {4}, 0, 0, true},
        {5, {1}, 5, 0, false},
        {0x1234, {1}, 5, 0, false},
        {1, {1}, 14, 0, false},
        {0xFFFF, {}, 0xFFFF, 0, false},
        {1, {1}, 5, 0xFF, false},
        // A selector naming no key.
        {0xFFFF, {5}, 0, 0, false},
        {0xFFFF, {9}, 0, 0, false},
        {0xFFFF, {1, 1}, 0, 0, false},  // index 257
        {0xFFFF, {0, 0xff}, 0, 0, false},
        // The selector's bytes after its index carry nothing; a key
        // record's address bytes are no transmit index.
        {0xFFFF, {2, 0, 0x5a, 0, 0, 0xff}, 0, 0, true},
        {2, {9, 9}, 5, 0, true},
    };
    for (const auto &k : keys) {
        _RID_wep_key key{};
        key.key_index = k.index;
        std::copy(k.mac.begin(), k.mac.end(), key.mac);
        key.key_len = k.len;
        key.pad = k.pad;
        EXPECT_EQ(Plausible(key), k.plausible)
            << k.index << " " << HexBytes(k.mac) << " " << k.len << " " << int(k.pad);
    }

    _STSTATUS status{};
    status.ssid_len = 32;
    EXPECT_TRUE(Plausible(status));
    status.ssid_len = 33;
    EXPECT_FALSE(Plausible(status));
}

} // namespace
