#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "mode_geometry.h"

namespace ostra {

class UsbChannel;
struct SensorCommandTable;

// A word that setters write while frame reads, decodes and getters read it on other
// threads without a lock. Relaxed order: each word stands alone, the busy flag is the
// only coordination.
template <typename T>
class RelaxedAtomic {
  public:
    constexpr RelaxedAtomic(T value = T{}) : value_(value) {}
    RelaxedAtomic(const RelaxedAtomic&) = delete;
    RelaxedAtomic& operator=(const RelaxedAtomic&) = delete;

    operator T() const { return value_.load(std::memory_order_relaxed); }
    RelaxedAtomic& operator=(T value) {
        value_.store(value, std::memory_order_relaxed);
        return *this;
    }

  private:
    std::atomic<T> value_;
};

// Every sensor parameter, as stored by the setters and sent by the command table.
// Stored values are always within their clamps, except the black level before the
// first programming (1, raised to 16 when a mode is programmed).
struct SensorState {
    UsbChannel* channel = nullptr;
    const SensorCommandTable* commands = nullptr;

    // Raised for the duration of every re-programming; a frame read that starts or
    // ends while it is raised gives no frame.
    std::atomic<std::uint8_t> busy{0};
    RelaxedAtomic<std::uint32_t> readStartTick{0};
    RelaxedAtomic<std::uint32_t> readEndTick{0};
    // When the sensor has settled after a gain, exposure, speed or data-width change.
    RelaxedAtomic<std::uint32_t> settleTick{0};

    const std::array<ModeGeometry, kModeCount>* modeTable = nullptr;  // filled by slot 1

    // The decode reads the geometry and the mirror bytes together, so they change
    // under this lock and are read under it (or copied out under it).
    mutable std::mutex layoutLock;
    ModeGeometry geometry{};     // copy of the current mode's record
    std::uint8_t rotate180 = 0;  // derived from the mirror flags
    std::uint8_t mirrorLeftRight = 0;

    // Read-out size of the current mode, for the frame reader.
    RelaxedAtomic<int> rawWidth{0};
    RelaxedAtomic<int> rawHeight{0};

    // White-balance gains in 1/64 units.
    RelaxedAtomic<int> redGain{64};
    RelaxedAtomic<int> greenGain{64};
    RelaxedAtomic<int> blueGain{64};
    RelaxedAtomic<int> contrast{0};       // 0..255
    RelaxedAtomic<int> gamma{100};        // 20..150
    RelaxedAtomic<int> saturation{128};   // 0..255, the effective saturation
    RelaxedAtomic<int> frameSpeed{1};     // 1..4
    RelaxedAtomic<int> analogueGain{25};  // 16..1023
    RelaxedAtomic<std::uint32_t> exposureRows{56};
    RelaxedAtomic<int> blackLevel{1};         // 16..255 once programmed
    RelaxedAtomic<int> dataWidth{1};          // bytes per sample, 1..2
    RelaxedAtomic<int> longExposurePower{0};  // 0..1
    RelaxedAtomic<int> mode{0};               // 0..4
};

// Setting ranges.
inline constexpr int kMinContrast = 0, kMaxContrast = 255;
inline constexpr int kMinGamma = 20, kMaxGamma = 150;
inline constexpr int kMinSaturation = 0, kMaxSaturation = 255;
inline constexpr int kMinFrameSpeed = 1, kMaxFrameSpeed = 4;
inline constexpr int kMinAnalogueGain = 16, kMaxAnalogueGain = 1023;
inline constexpr int kMinBlackLevel = 16, kMaxBlackLevel = 255;
inline constexpr int kMinDataWidth = 1, kMaxDataWidth = 2;
inline constexpr int kMinLongExposurePower = 0, kMaxLongExposurePower = 1;

}  // namespace ostra
