#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "sensor_state.h"

namespace ostra {

// Slots of the sensor's table of operations; the numbering is fixed.
enum SensorSlot : int {
    kSlotInitialise = 0,
    kSlotFillModeTable = 1,
    kSlotReset = 2,  // 0xBA; nothing calls it
    kSlotStopRestart = 3,
    kSlotSelectMode = 5,  // mode select, settle, start frame
    kSlotAnalogueGain = 7,
    kSlotExposure = 9,
    kSlotFrameSpeed = 10,
    kSlotDataWidth = 11,
    kSlotLongExposurePower = 12,
    kSlotAuxiliaryOutput = 13,  // 0xB8; no setting drives it, nothing calls it
    kSlotBlackLevel = 14,
    kSlotStartFrame = 15,
    kSlotFrameIntegrityCheck = 16,
};

using SensorOperation = void (*)(SensorState&);
// Checks a frame just read: 1 when it passes, 0 when it does not.
using FrameIntegrityCheck = int (*)(SensorState&, const std::uint8_t* buffer, std::size_t bytes);

struct SensorCommandTable {
    static constexpr int kSlotCount = 17;

    // Slots 0..15; empty slots (4, 6, 8) are null.
    std::array<SensorOperation, kSlotFrameIntegrityCheck> operations{};
    // Slot 16: the frame reader's check of every read.
    FrameIntegrityCheck frameIntegrityCheck = nullptr;

    // Runs slot 0..15 on `state`; an empty slot does nothing.
    void run(int slot, SensorState& state) const;
};

// The sensor's operations.
const SensorCommandTable& sensorCommandTable();

// Request codes the sensor understands.
inline constexpr std::uint8_t kRequestLongExposurePower = 0xB0;
inline constexpr std::uint8_t kRequestStartFrame = 0xB3;
inline constexpr std::uint8_t kRequestSelectMode = 0xB4;
inline constexpr std::uint8_t kRequestFrameSpeed = 0xB5;
inline constexpr std::uint8_t kRequestRegister = 0xB7;
inline constexpr std::uint8_t kRequestAuxiliaryOutput = 0xB8;
inline constexpr std::uint8_t kRequestDataWidth = 0xB9;
inline constexpr std::uint8_t kRequestReset = 0xBA;
inline constexpr std::uint8_t kRequestStopRestart = 0xBB;

// Register indices of kRequestRegister.
inline constexpr std::uint16_t kRegisterAnalogueGain = 1;
inline constexpr std::uint16_t kRegisterBlackLevel = 2;
inline constexpr std::uint16_t kRegisterExposureHigh = 0x62;
inline constexpr std::uint16_t kRegisterExposureLow = 0x63;

// The exposure in rows as the sensor takes it: rows = high x N + low with N rows per
// high step (651 in mode 1, 1155 otherwise). The sensor never takes a low part of 0,
// so a remainder of 0 is sent as 1.
struct ExposureSplit {
    std::uint16_t low = 0;
    std::uint16_t high = 0;
};
inline constexpr std::uint16_t kMaxExposureHigh = 4090;
int exposureStep(int mode);
ExposureSplit splitExposure(std::uint32_t rows, int mode);
// The longest exposure the sensor takes in `mode`, in rows (longer ones are sent as it).
std::uint32_t longestExposureRows(int mode);

// Time of one sensor row in microseconds at this mode and frame speed (1..4).
float rowTimeMicros(int mode, int frameSpeed);

}  // namespace ostra
