#include "data_rates.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

// One rate each, in 500 kbit/s units, for the items 1 to 4.
constexpr uint8_t SingleRates[] = {2, 4, 11, 22};

constexpr uint8_t HalfMbit = 1;

// Every rate the records name: 500 kbit/s too, which an adapter may list
// among its supported rates and "Auto" then stores.
constexpr uint8_t NamedRates[] = {HalfMbit, 2, 4, 11, 22};

} // namespace

bool HasRates(const _STCAPS &caps)
{
    return std::any_of(std::begin(caps.supported_rates), std::end(caps.supported_rates),
                       [](uint8_t rate) { return (rate & 0x7F) != 0; });
}

int RateItem(const uint8_t (&rates)[8])
{
    // 500 kbit/s alone has no item of its own: it is what "Auto" stores on
    // an adapter that supports only that rate.
    if ((rates[1] & 0x7F) || (rates[0] & 0x7F) == HalfMbit)
        return 0;
    const uint8_t *single =
        std::find(std::begin(SingleRates), std::end(SingleRates), rates[0] & 0x7F);
    return single != std::end(SingleRates) ? int(single - SingleRates) + 1 : -1;
}

void StoreRates(int item, const _STCAPS &caps, uint8_t (&rates)[8])
{
    if (item == 0) {
        if (HasRates(caps))
            std::memcpy(rates, caps.supported_rates, sizeof rates);
    } else if (item >= 1 && item <= int(std::size(SingleRates))) {
        std::memset(rates, 0, sizeof rates);
        rates[0] = SingleRates[item - 1];
    }
}

void ApplyRates(int item, const _STCAPS &caps, uint8_t (&rates)[8])
{
    // Only rates the records name are kept; others are replaced.
    const bool known = std::all_of(std::begin(rates), std::end(rates), [](uint8_t rate) {
        return (rate & 0x7F) == 0 ||
               std::find(std::begin(NamedRates), std::end(NamedRates), rate & 0x7F) !=
                   std::end(NamedRates);
    });
    if (item != RateItem(rates) || !known)
        StoreRates(item, caps, rates);
}
