#include "sensor_command_table.h"

#include <algorithm>

#include "frame_builder.h"
#include "platform/clock.h"
#include "usb_channel.h"

namespace clk = corvalis::platform::clock;

namespace ostra {

int exposureStep(int mode) {
    return mode == 1 ? 651 : 1155;
}

ExposureSplit splitExposure(std::uint32_t rows, int mode) {
    const std::uint32_t step = static_cast<std::uint32_t>(exposureStep(mode));
    std::uint32_t high = rows / step;
    std::uint32_t low = rows % step;
    // Beyond the longest exposure the sensor gets the longest exposure, not whatever
    // remainder the request happens to leave next to the capped high part.
    if (high > kMaxExposureHigh) {
        high = kMaxExposureHigh;
        low = step - 1;
    }
    if (low < 1) low = 1;
    return {static_cast<std::uint16_t>(low), static_cast<std::uint16_t>(high)};
}

std::uint32_t longestExposureRows(int mode) {
    const std::uint32_t step = static_cast<std::uint32_t>(exposureStep(mode));
    return kMaxExposureHigh * step + step - 1;
}

float rowTimeMicros(int mode, int frameSpeed) {
    static constexpr float kSpeedFactor[] = {0.05f, 0.06666667f, 0.1f, 0.2f};
    const float base = mode == 1 ? 4087.0f : 3607.0f;
    const int speed = std::clamp(frameSpeed, kMinFrameSpeed, kMaxFrameSpeed);
    return base * kSpeedFactor[speed - 1];
}

namespace {

void send(SensorState& state, std::uint8_t request, std::uint16_t value, std::uint16_t index) {
    // A closed device refuses (-1) and a failed transfer is ignored: the next frame
    // read shows whether the camera is there.
    if (state.channel != nullptr) state.channel->vendorRequest({request, value, index});
}

std::uint16_t wireValue(int value, int low, int high) {
    return static_cast<std::uint16_t>(std::clamp(value, low, high));
}

void initialise(SensorState&) {}

void fillModeTable(SensorState& state) {
    state.modeTable = &modeTable();
}

void reset(SensorState& state) {
    send(state, kRequestReset, 0, 0);
    clk::sleepMs(50);
}

void stopRestart(SensorState& state) {
    send(state, kRequestStopRestart, 0, 0);
    clk::sleepMs(50);
}

void startFrame(SensorState& state) {
    send(state, kRequestStartFrame, 0, 0);
}

void selectMode(SensorState& state) {
    send(state, kRequestSelectMode, state.mode == 1 ? 0xC0 : 0xC1, 0);
    clk::sleepMs(500);
    startFrame(state);
}

void sendAnalogueGain(SensorState& state) {
    send(state, kRequestRegister, wireValue(state.analogueGain, 0, kMaxAnalogueGain),
         kRegisterAnalogueGain);
}

void sendExposure(SensorState& state) {
    const ExposureSplit split = splitExposure(state.exposureRows, state.mode);
    send(state, kRequestRegister, split.low, kRegisterExposureLow);
    clk::sleepMs(5);
    send(state, kRequestRegister, split.high, kRegisterExposureHigh);
}

void sendFrameSpeed(SensorState& state) {
    const int speed = std::clamp<int>(state.frameSpeed, kMinFrameSpeed, kMaxFrameSpeed);
    send(state, kRequestFrameSpeed, static_cast<std::uint16_t>(0xA0 + speed - 1), 0);
}

void sendDataWidth(SensorState& state) {
    send(state, kRequestDataWidth, state.dataWidth == 2 ? 0x05 : 0x0A, 0);
}

void sendLongExposurePower(SensorState& state) {
    send(state, kRequestLongExposurePower, state.longExposurePower != 0 ? 0x11 : 0x00, 0);
}

// No setting switches this output on, so the slot can only send "off".
void sendAuxiliaryOutput(SensorState& state) {
    send(state, kRequestAuxiliaryOutput, 0x00, 0);
}

void sendBlackLevel(SensorState& state) {
    send(state, kRequestRegister,
         static_cast<std::uint16_t>(wireValue(state.blackLevel, 0, kMaxBlackLevel) * 256),
         kRegisterBlackLevel);
}

int checkFrame(SensorState& state, const std::uint8_t* buffer, std::size_t bytes) {
    return frameIntact(buffer, bytes, state.frameSpeed) ? 1 : 0;
}

SensorCommandTable makeTable() {
    SensorCommandTable table;
    table.operations = {
        initialise,             // 0
        fillModeTable,          // 1
        reset,                  // 2
        stopRestart,            // 3
        nullptr,                // 4
        selectMode,             // 5
        nullptr,                // 6
        sendAnalogueGain,       // 7
        nullptr,                // 8
        sendExposure,           // 9
        sendFrameSpeed,         // 10
        sendDataWidth,          // 11
        sendLongExposurePower,  // 12
        sendAuxiliaryOutput,    // 13
        sendBlackLevel,         // 14
        startFrame,             // 15
    };
    table.frameIntegrityCheck = checkFrame;  // 16
    return table;
}

}  // namespace

void SensorCommandTable::run(int slot, SensorState& state) const {
    if (slot < 0 || slot >= static_cast<int>(operations.size())) return;
    if (operations[slot] != nullptr) operations[slot](state);
}

const SensorCommandTable& sensorCommandTable() {
    static const SensorCommandTable table = makeTable();
    return table;
}

}  // namespace ostra
