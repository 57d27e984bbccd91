// The 2.4 GHz channels, the channel sets that allow each, and the items of a
// channel drop-down list made from them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ChannelRow {
    uint32_t mask;  // bit N set: channel-set code N allows this channel
    uint32_t mhz;   // centre frequency
};

// Channels 1 to 14 in channel order, then a row of zeros.
extern const ChannelRow ChannelTable[15];

// True when the channel-set code allows the channel. Codes of 32 and above
// allow none; so do channels outside 1 to 14.
bool ChannelAllowed(unsigned code, unsigned channel);

// The items of a channel list: texts and the channel each stands for, the
// one to show chosen first.
struct ChannelItems {
    std::vector<std::string> texts;
    std::vector<unsigned> channels;
};

// The stored channel first, whether or not the code allows it, so that an
// untouched Ok keeps it; then every other channel the code allows, and the
// adapter's current channel (channel 0 is none). A channel above 14 is
// labelled without a frequency, channel 0 with 0 MHz. format labels a
// channel with its frequency and takes the channel and its MHz, as in
// "%u  (%u MHz)".
ChannelItems MakeChannelItems(unsigned code, unsigned stored, unsigned current, const char *format);
