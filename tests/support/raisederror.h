#pragma once

#include "platform/error.h"

#include <functional>

// The number of the platform::Error a call raises; 0 when it returns.
inline int RaisedNumber(const std::function<void()> &call)
{
    try {
        call();
    } catch (const platform::Error &e) {
        return e.number();
    }
    return 0;
}
