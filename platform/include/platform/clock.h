#pragma once
#include <chrono>
#include <cstdint>
#include <functional>

#include "platform/export.h"

// The one clock of the process. With a real camera it is the steady clock. With a
// simulated camera every device duration is scaled by CORVALIS_SIM_TIMESCALE
// (1 real time, 0.01 a hundred times faster, 0 no waiting): a wait of d ms really
// lasts d * scale ms, and the tick count advances by the full d, so tick
// differences compare the same as they would at the telescope.
namespace corvalis::platform::clock {

// Milliseconds since an arbitrary start, in device time; wraps like a 32-bit tick count.
CORVALIS_PLATFORM_API std::uint32_t tickCount();

// Device time in microseconds since the same start, without wrapping: what the tick
// count is made of. The simulated camera times its frames on it, so a read's duration
// in ticks is the frame's device time whatever the scale.
CORVALIS_PLATFORM_API std::int64_t deviceMicros();

// UTC, in microseconds since 1970-01-01, of a device time (deviceMicros()): an anchor
// pairs a UTC reading with the device time it was taken at, and device time counts on
// from it. With a real camera device time is real time; with a simulated one a frame's
// time stamps then advance by its device time whatever the time scale. The anchor is
// taken at the first use and again whenever a simulated camera opens.
CORVALIS_PLATFORM_API std::int64_t utcMicrosAt(std::int64_t deviceMicros);

// Takes the UTC anchor now.
CORVALIS_PLATFORM_API void anchorUtc();

// A device sleep (the camera's settle times), scaled by the time scale.
CORVALIS_PLATFORM_API void sleepMs(std::uint32_t ms);

// A scaled wait of `deviceMicros` of device time. `wait` is given the real duration
// and returns true when it waited all of it, false when it was interrupted (a
// cancelled read); without `wait` the thread sleeps. Tick counts advance by the full
// device time only for a completed wait.
CORVALIS_PLATFORM_API void waitScaled(double deviceMicros,
                                      const std::function<bool(std::chrono::microseconds)>& wait);

// The factor on every device duration; 1 unless a simulated camera is in use.
CORVALIS_PLATFORM_API double timeScale();

// Sets the time scale (tests; the simulator sets it from CORVALIS_SIM_TIMESCALE).
CORVALIS_PLATFORM_API void setTimeScale(double scale);

}  // namespace corvalis::platform::clock
