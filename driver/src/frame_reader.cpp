#include "frame_reader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <span>

#include "frame_builder.h"
#include "platform/clock.h"

namespace ostra {

namespace clock = corvalis::platform::clock;

FrameReader::FrameReader(SensorDevice& device) : device_(device) {}

std::size_t FrameReader::maxFrameBytes() {
    std::size_t most = 0;
    for (const ModeGeometry& g : modeTable()) most = std::max(most, builtFrameBytes(g, 2));
    return most;
}

bool FrameReader::allocate() {
    std::size_t most = 0;
    for (const ModeGeometry& g : modeTable()) most = std::max(most, readRequestBytes(g, 2));
    try {
        buffer_.assign(most, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

int FrameReader::read(std::uint8_t* target, int& bytesPerSample) {
    CorvalisOstraFrame facts{};
    return read(target, bytesPerSample, facts);
}

int FrameReader::read(std::uint8_t* target, int& bytesPerSample, CorvalisOstraFrame& facts) {
    std::lock_guard lock(readLock_);
    SensorState& state = device_.state();
    if (device_.busy() || buffer_.empty() || closed_) return kNoFrame;
    const int bps = state.dataWidth;
    const ModeGeometry g = device_.geometry();
    const int speed = state.frameSpeed;

    // The exposure starts with the start-frame request; settings cannot change under
    // a read (a change raises busy, and such a read gives no frame).
    const std::int64_t startMicros = clock::deviceMicros();
    state.readStartTick =
        static_cast<std::uint32_t>(static_cast<std::uint64_t>(startMicros / 1000));
    CorvalisOstraFrame taken{};
    taken.exposure_s = programmedExposureSeconds();
    taken.gain = state.analogueGain;
    taken.mode = state.mode;
    taken.data_wide = bps == 2 ? 1 : 0;
    taken.frame_speed = speed;
    state.commands->run(kSlotStartFrame, state);
    const std::size_t raw = rawFrameBytes(g, bps);
    const std::size_t got = device_.channel().read(std::span(buffer_.data(), buffer_.size()),
                                                   readLength(g, bps), readLimit());
    if (got == 0) return kNoFrame;
    state.readEndTick = clock::tickCount();

    const std::uint32_t took = state.readEndTick - state.readStartTick;
    if (device_.discardNextFrame() && took <= kDiscardExemptMs) {
        device_.setDiscardNextFrame(false);
        return kNoFrame;
    }

    // A read shorter than header and frame would build the frame partly from an
    // earlier read's bytes; it fails the check like a torn frame.
    const bool header = speed != 4;
    const std::size_t needed = raw + (header ? kFrameHeaderBytes : 0);
    int result;
    if (got < needed || state.commands->frameIntegrityCheck(state, buffer_.data(), got) == 0) {
        state.commands->run(kSlotStartFrame, state);
        result = kFailedCheck;
    } else {
        buildFrame(g, bps, header, buffer_.data(), target);
        bytesPerSample = bps;
        taken.start_utc_us = clock::utcMicrosAt(startMicros);
        facts = taken;
        result = kDelivered;
    }
    return device_.busy() ? kNoFrame : result;
}

double FrameReader::programmedExposureSeconds() const {
    const std::uint32_t rows =
        std::min(device_.exposureRows(), longestExposureRows(device_.mode()));
    return static_cast<double>(rows) * static_cast<double>(device_.rowTime()) * 1e-6;
}

std::chrono::microseconds FrameReader::readLimit() const {
    const ModeGeometry g = device_.geometry();
    // The sensor exposes no longer than its longest exposure, whatever rows are stored.
    const std::uint32_t exposure =
        std::min(device_.exposureRows(), longestExposureRows(device_.mode()));
    const double rows = static_cast<double>(exposure) + g.rawHeight;
    const double deviceMicros = rows * static_cast<double>(device_.rowTime());
    return std::chrono::microseconds(static_cast<std::int64_t>(deviceMicros * clock::timeScale())) +
           kReadMargin;
}

int FrameReader::grab(std::uint8_t* staging, int& stagingBytesPerSample,
                      CorvalisOstraFrame& stagingFacts, std::uint8_t* destination) {
    const int result = read(staging, stagingBytesPerSample, stagingFacts);
    const int width = device_.dataWidth();
    if (stagingBytesPerSample == width)
        std::memcpy(destination, staging, builtFrameBytes(device_.geometry(), width));
    return result;
}

}  // namespace ostra
