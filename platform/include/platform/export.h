#pragma once
// The platform library is one shared copy per process (its device list, clock and
// simulator are process-wide state), so its API is exported explicitly.
#define CORVALIS_PLATFORM_API __attribute__((visibility("default")))
