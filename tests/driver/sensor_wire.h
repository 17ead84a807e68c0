#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <vector>

#include "platform/clock.h"
#include "platform/sim.h"
#include "sensor_device.h"
#include "sensor_fake_usb.h"

namespace sensor_test {

// One request as the camera decodes it from the 10 wire bytes.
struct Request {
    std::uint8_t code = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    bool operator==(const Request&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Request& r) {
    return out << std::hex << "{0x" << int(r.code) << ", 0x" << r.value << ", 0x" << r.index << "}"
               << std::dec;
}

// Reads the request out of its wire form; the fixed bytes (direction, vendor type,
// device recipient, the two zero bytes) must be as the camera expects them.
inline Request decodeWire(const usb::VendorRequestBytes& b) {
    EXPECT_EQ(b[0], 0) << "direction";
    EXPECT_EQ(b[1], 2) << "request type";
    EXPECT_EQ(b[2], 0) << "recipient";
    EXPECT_EQ(b[3], 0);
    EXPECT_EQ(b[5], 0);
    return {b[4], static_cast<std::uint16_t>(b[6] | b[7] << 8),
            static_cast<std::uint16_t>(b[8] | b[9] << 8)};
}

// A sensor device attached to the simulated camera, which records what it receives.
// Needs CORVALIS_CAMERA=simulator in the environment before the first USB call.
class SensorWire : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(corvalis::platform::sim::active()) << "run with CORVALIS_CAMERA=simulator";
        corvalis::platform::clock::setTimeScale(0);
        corvalis::platform::sim::reset();
        ASSERT_TRUE(device.attach(0));
        camera = corvalis::platform::sim::camera();
        ASSERT_NE(camera, nullptr);
        camera->clearRequests();
    }

    // Requests the camera received since the last call, in wire form.
    std::vector<usb::VendorRequestBytes> takeBytes() {
        auto bytes = camera->requests();
        camera->clearRequests();
        return bytes;
    }
    // The same, decoded.
    std::vector<Request> takeRequests() {
        std::vector<Request> out;
        for (const auto& bytes : takeBytes()) out.push_back(decodeWire(bytes));
        return out;
    }

    std::mutex decodeLock;
    ostra::SensorDevice device{decodeLock};
    std::shared_ptr<corvalis::platform::sim::Camera> camera;
};

// A sensor device attached to a stand-in camera that also notes the busy flag as it
// stood at each request.
class SensorWatched : public ::testing::Test {
  protected:
    void SetUp() override {
        corvalis::platform::clock::setTimeScale(0);
        auto fake = std::make_unique<FakeCamera>(&device.state().busy);
        camera = fake.get();
        device.channel().adopt(std::move(fake));
        ASSERT_TRUE(device.attach(0));
    }

    std::vector<Sent> takeSent() {
        auto sent = camera->sent();
        std::vector<Sent> out(sent.begin() + static_cast<std::ptrdiff_t>(seen_), sent.end());
        seen_ = sent.size();
        return out;
    }

    std::mutex decodeLock;
    ostra::SensorDevice device{decodeLock};
    FakeCamera* camera = nullptr;

  private:
    std::size_t seen_ = 0;
};

// Requests of the protocol, written out by hand.
inline Request startFrame() {
    return {0xB3, 0, 0};
}
inline Request stopRestart() {
    return {0xBB, 0, 0};
}
inline Request gain(std::uint16_t g) {
    return {0xB7, g, 1};
}
inline Request blackLevelRegister(std::uint16_t v) {
    return {0xB7, v, 2};
}
inline Request exposureLow(std::uint16_t v) {
    return {0xB7, v, 0x63};
}
inline Request exposureHigh(std::uint16_t v) {
    return {0xB7, v, 0x62};
}

}  // namespace sensor_test
