#include "channel_list.h"

#include <cstdio>

const ChannelRow ChannelTable[15] = {
    {0x203, 2412}, {0x203, 2417}, {0x243, 2422}, {0x243, 2427}, {0x243, 2432},
    {0x243, 2437}, {0x243, 2442}, {0x243, 2447}, {0x243, 2452}, {0x213, 2457},
    {0x213, 2462}, {0x212, 2467}, {0x212, 2472}, {0x200, 2484}, {0, 0},
};

namespace {

constexpr unsigned LastChannel = 14;

std::string Label(unsigned channel, const char *format)
{
    char text[48];
    if (channel <= LastChannel)
        std::snprintf(text, sizeof text, format, channel,
                      channel == 0 ? 0u : unsigned(ChannelTable[channel - 1].mhz));
    else
        std::snprintf(text, sizeof text, "%u", channel);
    return text;
}

} // namespace

bool ChannelAllowed(unsigned code, unsigned channel)
{
    // A shift by 32 or more is no channel set at all.
    if (code >= 32 || channel < 1 || channel > LastChannel)
        return false;
    return (ChannelTable[channel - 1].mask >> code) & 1u;
}

ChannelItems MakeChannelItems(unsigned code, unsigned stored, unsigned current, const char *format)
{
    // The stored channel first, allowed or not: an untouched Ok keeps it.
    ChannelItems items;
    items.channels.push_back(stored);
    for (unsigned ch = 1; ch <= LastChannel; ++ch)
        if ((ChannelAllowed(code, ch) || ch == current) && ch != stored)
            items.channels.push_back(ch);
    if (current > LastChannel && current != stored)
        items.channels.push_back(current);
    for (unsigned ch : items.channels)
        items.texts.push_back(Label(ch, format));
    return items;
}
