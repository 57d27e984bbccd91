// Requests of the windows that edit what the adapter stores. Error number 11
// says that the adapter is busy for the moment, not that it failed: such a
// request is tried again a few times before its failure counts.
#pragma once

#include <cerrno>
#include <utility>

#include <glib.h>

#include "kdr770.h"
#include "whole_answers.h"

inline constexpr int BusyRetries = 3;
inline constexpr gulong BusyWaitMicroseconds = 20000;

// Runs request() (which makes its requests on the adapter) and gives its
// result. The adapter's last error stays as a plain request leaves it: set by
// a failure with an error number, kept otherwise.
template <class Request>
int Retried(kdR770 &adapter, Request request)
{
    for (int tries = 0;; ++tries) {
        const int before = adapter.lasterr;
        adapter.lasterr = 0;
        const int rc = request();
        const int err = adapter.lasterr;
        if (rc == 0 || err == 0)
            adapter.lasterr = before;
        if (rc == 0 || err != EAGAIN || tries == BusyRetries)
            return rc;
        g_usleep(BusyWaitMicroseconds);
    }
}

// Runs (adapter->*request)(args...) so.
template <class... Params, class... Args>
int Retried(kdR770 *adapter, int (kdR770::*request)(Params...), Args &&...args)
{
    return Retried(*adapter, [&] { return (adapter->*request)(std::forward<Args>(args)...); });
}

// A read whose answer must be whole (whole_answers.h), each of its requests
// asked again while the adapter is busy: 0 only for a whole, plausible
// answer, so that what was cut short or is nonsense counts as not read.
template <class... Records>
int RetriedWhole(kdR770 *adapter, int (kdR770::*request)(Records &...), Records &...records)
{
    return ReadWhole([&] { return Retried(*adapter, [&] { return (adapter->*request)(records...); }); },
                     records...);
}

// The same for one record of the WEP key readout, which is never asked twice.
inline int RetriedWholeKey(kdR770 *adapter, int (kdR770::*request)(_RID_wep_key &), _RID_wep_key &key)
{
    return ReadWholeKey([&] { return Retried(*adapter, [&] { return (adapter->*request)(key); }); },
                        key);
}
