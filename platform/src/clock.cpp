#include "platform/clock.h"

#include <QString>

#include <algorithm>
#include <cmath>

namespace platform {

double ClockScale()
{
    static const double scale = [] {
        bool ok = false;
        const double value = qEnvironmentVariable("TALVINOR_CLOCK_SCALE").toDouble(&ok);
        return ok && value > 0 && value <= 1 ? value : 1.0;
    }();
    return scale;
}

int ScaledMs(int ms)
{
    return std::max(1, static_cast<int>(std::lround(ms * ClockScale())));
}

} // namespace platform
