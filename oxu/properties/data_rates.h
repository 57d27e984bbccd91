// The data-rate groups of the RF Network and Home Networking pages: item 0
// stands for every rate the adapter supports, items 1 to 4 for 1, 2, 5.5 and
// 11 Mbit/s alone.
#pragma once

#include <cstdint>

#include "records.h"

// True when the capabilities name a rate at all.
bool HasRates(const _STCAPS &caps);

// The item that shows a profile's rates: item 0 for two rates or more, and
// for 500 kbit/s alone; -1 when none does, so that the group keeps its
// choice.
int RateItem(const uint8_t (&rates)[8]);

// Stores the rates of an item. Item 0 without a supported rate would store
// none: the rates stay as they are.
void StoreRates(int item, const _STCAPS &caps, uint8_t (&rates)[8]);

// What Ok stores for the item chosen: the profile's own bytes while the item
// is the one they show and they hold only rates the records name (1, 2, 4,
// 11 and 22 units; 82 84 8b 96, with the basic-rate bits, stays so, and so
// does a lone 81 under "Auto", whatever the adapter supports), else those
// of StoreRates.
void ApplyRates(int item, const _STCAPS &caps, uint8_t (&rates)[8]);
