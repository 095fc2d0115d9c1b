#pragma once

namespace platform {

// The fraction of real time the programs' timers and waits run at: the
// number in the environment variable TALVINOR_CLOCK_SCALE when it lies in
// (0, 1], else 1. Process tests use it to run hours of traffic in minutes;
// nothing but the timing changes.
double ClockScale();
// `ms` at that scale, at least 1.
int ScaledMs(int ms);

} // namespace platform
