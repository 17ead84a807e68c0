#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <thread>

namespace corvalis::platform::clock {

namespace {
using Steady = std::chrono::steady_clock;

const Steady::time_point& start() {
    static const Steady::time_point t = Steady::now();
    return t;
}

double scaleFromEnvironment() {
    const char* camera = std::getenv("CORVALIS_CAMERA");
    if (camera == nullptr || std::string_view(camera).rfind("simulator", 0) != 0) return 1.0;
    const char* text = std::getenv("CORVALIS_SIM_TIMESCALE");
    if (text == nullptr || *text == '\0') return 1.0;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end == text || !(value >= 0.0) || value > 1000.0) return 1.0;
    return value;
}

std::atomic<double>& scale() {
    static std::atomic<double> s{scaleFromEnvironment()};
    return s;
}

// Device time skipped by scaled waits: a wait of d ms lasts d * scale ms, and the
// remaining d * (1 - scale) ms are added here so tick counts advance by the full d.
std::atomic<std::int64_t> skippedMicros{0};
// The UTC anchor: UTC and device time read together, under anchorLock.
struct UtcAnchor {
    std::int64_t utcMicros = 0;
    std::int64_t deviceMicros = 0;
    bool taken = false;
};
std::mutex anchorLock;
UtcAnchor anchor;  // under anchorLock

std::int64_t utcNowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void anchorLocked() {
    anchor.deviceMicros = deviceMicros();
    anchor.utcMicros = utcNowMicros();
    anchor.taken = true;
}
}  // namespace

std::int64_t utcMicrosAt(std::int64_t device) {
    std::lock_guard lock(anchorLock);
    if (!anchor.taken) anchorLocked();
    return anchor.utcMicros + (device - anchor.deviceMicros);
}

void anchorUtc() {
    std::lock_guard lock(anchorLock);
    anchorLocked();
}

std::int64_t deviceMicros() {
    auto real =
        std::chrono::duration_cast<std::chrono::microseconds>(Steady::now() - start()).count();
    return real + skippedMicros.load(std::memory_order_relaxed);
}

std::uint32_t tickCount() {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(deviceMicros() / 1000));
}

void sleepMs(std::uint32_t ms) {
    waitScaled(ms * 1000.0, nullptr);
}

void waitScaled(double deviceMicros, const std::function<bool(std::chrono::microseconds)>& wait) {
    if (deviceMicros <= 0) return;
    double s = timeScale();
    auto realMicros = static_cast<std::int64_t>(deviceMicros * s);
    bool completed = true;
    if (wait) {
        completed = wait(std::chrono::microseconds(realMicros));
    } else if (realMicros > 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(realMicros));
    }
    // Only a wait that ran its full length skips device time; an interrupted one
    // counts what really passed.
    if (completed) {
        auto skipped = static_cast<std::int64_t>(deviceMicros) - realMicros;
        if (skipped > 0) skippedMicros.fetch_add(skipped, std::memory_order_relaxed);
    }
}

double timeScale() {
    return scale().load(std::memory_order_relaxed);
}

void setTimeScale(double s) {
    if (s >= 0.0) scale().store(s, std::memory_order_relaxed);
}

}  // namespace corvalis::platform::clock
