#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

#include "platform/clock.h"
#include "platform/sim.h"
#include "platform/usb.h"
#include "star_field.h"

namespace usb = corvalis::platform::usb;
namespace sim = corvalis::platform::sim;
namespace clk = corvalis::platform::clock;
using sim::StarField;
using namespace std::chrono;

namespace {

constexpr int kWidth = 3032;
constexpr std::size_t kHeader = 512;

// The driver's read request: the raw size rounded up to whole blocks plus one, and
// the channel's read adds one block more.
std::size_t readRequest(std::size_t rawBytes) {
    std::size_t first = (rawBytes / 512 + 1) * 512;
    return (first / 512 + 1) * 512;
}

class SimCamera : public ::testing::Test {
  protected:
    void SetUp() override {
        clk::setTimeScale(0.01);
        sim::reset();
        camera_ = sim::camera();
        ASSERT_NE(camera_, nullptr);
        testing::internal::CaptureStdout();  // the open messages
        device_ = usb::openDevice(0x0547, 0xD002);
        testing::internal::GetCapturedStdout();
        ASSERT_NE(device_, nullptr);
    }
    void TearDown() override {
        device_.reset();
        sim::reset();
        clk::setTimeScale(0.01);
    }

    int send(std::uint8_t request, std::uint16_t value = 0, std::uint16_t index = 0) {
        return device_->vendorRequest(usb::makeVendorRequest(request, value, index));
    }
    void setExposure(int high, int low) {
        send(0xB7, low, 0x63);
        send(0xB7, high, 0x62);
    }
    std::size_t read(std::vector<std::uint8_t>& buffer) {
        return device_->bulkRead(buffer.data(), buffer.size());
    }

    // A read on another thread, and a wait until it is blocked in the camera.
    std::future<std::size_t> readInBackground(std::vector<std::uint8_t>& buffer) {
        auto f = std::async(std::launch::async, [this, &buffer] { return read(buffer); });
        auto until = steady_clock::now() + seconds(30);
        while (camera_->waitingReads() == 0 && steady_clock::now() < until)
            std::this_thread::sleep_for(milliseconds(1));
        EXPECT_EQ(camera_->waitingReads(), 1);
        return f;
    }

    // Waits until a read has taken the injected stall.
    bool stallTaken() {
        auto until = steady_clock::now() + seconds(30);
        while (camera_->stalledReads() == 0 && steady_clock::now() < until)
            std::this_thread::sleep_for(milliseconds(1));
        return camera_->stalledReads() == 1;
    }

    static bool startsWithMarker(const std::uint8_t* p) {
        return std::all_of(p, p + 10, [](std::uint8_t b) { return b == 0x88; });
    }

    std::shared_ptr<sim::Camera> camera_;
    std::unique_ptr<usb::Device> device_;
};

// The reference rendering, from a scene of our own with the same (default) seed.
std::vector<std::uint16_t> scenePicture(const sim::FrameInfo& f) {
    static const StarField field;
    return field.render(f.windowX, f.windowY, f.rawWidth, f.rawHeight,
                        StarField::Exposure{f.exposureMicros, f.gain, f.blackLevel, f.index});
}

// A plain de-interlace of the raw frame into 12-bit samples: row 2k from field A row
// k, row 2k + 1 from field B row k.
std::vector<std::uint16_t> deinterlace(const std::uint8_t* raw, int height, int bytesPerSample,
                                       int fieldB, int pairs) {
    std::vector<std::uint16_t> out(static_cast<std::size_t>(kWidth) * height, 0);
    auto sample = [&](int rawRow, int col) -> std::uint16_t {
        const std::uint8_t* p =
            raw + (static_cast<std::size_t>(rawRow) * kWidth + col) * bytesPerSample;
        if (bytesPerSample == 1) return static_cast<std::uint16_t>(p[0] << 4);
        return static_cast<std::uint16_t>(((p[0] << 8) | p[1]) >> 4);
    };
    for (int k = 0; k < pairs; ++k) {
        for (int c = 0; c < kWidth; ++c) {
            out[static_cast<std::size_t>(2 * k) * kWidth + c] = sample(k, c);
            out[static_cast<std::size_t>(2 * k + 1) * kWidth + c] = sample(fieldB + k, c);
        }
    }
    return out;
}

// Compares the de-interlaced rows that carry data; 8-bit keeps the upper 8 bits.
void expectSamePicture(const std::vector<std::uint16_t>& got,
                       const std::vector<std::uint16_t>& scene, int rows, int bytesPerSample) {
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(rows) * kWidth; ++i) {
        std::uint16_t want =
            bytesPerSample == 1 ? static_cast<std::uint16_t>(scene[i] & 0xFF0) : scene[i];
        if (got[i] != want && mismatches++ < 5)
            ADD_FAILURE() << "sample " << i << ": " << got[i] << " != " << want;
    }
    EXPECT_EQ(mismatches, 0u);
}

}  // namespace

// --- Settings kept from the wire -----------------------------------------------------------

TEST_F(SimCamera, PowerOnSettings) {
    sim::CameraSettings s = camera_->settings();
    EXPECT_EQ(s.modeValue, 0xC1);
    EXPECT_EQ(s.speed, 1);
    EXPECT_EQ(s.bytesPerSample, 1);
}

TEST_F(SimCamera, KeepsEverySettingFromItsRequest) {
    EXPECT_EQ(send(0xB4, 0xC0), 1);
    EXPECT_EQ(send(0xB5, 0xA2), 1);
    EXPECT_EQ(send(0xB7, 500, 1), 1);
    EXPECT_EQ(send(0xB7, 40 * 256, 2), 1);
    EXPECT_EQ(send(0xB7, 1154, 0x63), 1);
    EXPECT_EQ(send(0xB7, 4090, 0x62), 1);
    EXPECT_EQ(send(0xB9, 0x05), 1);
    EXPECT_EQ(send(0xB0, 0x11), 1);
    sim::CameraSettings s = camera_->settings();
    EXPECT_EQ(s.modeValue, 0xC0);
    EXPECT_TRUE(s.halfReadout);
    EXPECT_EQ(s.speed, 3);
    EXPECT_EQ(s.gain, 500);
    EXPECT_EQ(s.blackLevelValue, 10240);
    EXPECT_EQ(s.blackLevel, 40);
    EXPECT_EQ(s.exposureLow, 1154);
    EXPECT_EQ(s.exposureHigh, 4090);
    EXPECT_EQ(s.bytesPerSample, 2);
    EXPECT_EQ(s.longExposurePowerValue, 0x11);
    EXPECT_TRUE(s.longExposurePower);

    EXPECT_EQ(send(0xB4, 0xC1), 1);
    EXPECT_EQ(send(0xB5, 0xA0), 1);
    EXPECT_EQ(send(0xB9, 0x0A), 1);
    EXPECT_EQ(send(0xB0, 0x00), 1);
    s = camera_->settings();
    EXPECT_FALSE(s.halfReadout);
    EXPECT_EQ(s.speed, 1);
    EXPECT_EQ(s.bytesPerSample, 1);
    EXPECT_FALSE(s.longExposurePower);
}

TEST_F(SimCamera, ExposureRowsFromHighAndLowParts) {
    setExposure(1, 1);  // 1155 rows in the full read-out
    EXPECT_EQ(camera_->exposureRows(), 1156);
    setExposure(4090, 1154);
    EXPECT_EQ(camera_->exposureRows(), 4725104);
    send(0xB4, 0xC0);
    setExposure(2, 10);  // N = 651 in the half read-out
    EXPECT_EQ(camera_->exposureRows(), 1312);
}

TEST_F(SimCamera, RowTimeByModeAndSpeed) {
    const double full[4] = {180.35, 240.4667, 360.7, 721.4};
    const double half[4] = {204.35, 272.4667, 408.7, 817.4};
    for (int speed = 1; speed <= 4; ++speed) {
        send(0xB5, 0xA0 + speed - 1);
        send(0xB4, 0xC1);
        EXPECT_NEAR(camera_->rowMicros(), full[speed - 1], 1e-3);
        EXPECT_NEAR(camera_->readoutMicros(), 2180 * full[speed - 1], 0.5);
        send(0xB4, 0xC0);
        EXPECT_NEAR(camera_->rowMicros(), half[speed - 1], 1e-3);
        EXPECT_NEAR(camera_->readoutMicros(), 1090 * half[speed - 1], 0.5);
    }
}

TEST_F(SimCamera, UnknownValuesChangeNothingAndBadFormFails) {
    send(0xB5, 0xA7);
    send(0xB9, 0x03);
    send(0xB4, 0x00);
    sim::CameraSettings s = camera_->settings();
    EXPECT_EQ(s.speed, 1);
    EXPECT_EQ(s.bytesPerSample, 1);
    EXPECT_EQ(s.modeValue, 0xC1);
    usb::VendorRequestBytes bad = usb::makeVendorRequest(0xB5, 0xA3, 0);
    bad[1] = 0;  // standard, not vendor
    EXPECT_EQ(device_->vendorRequest(bad), 0);
    EXPECT_EQ(camera_->settings().speed, 1);
    EXPECT_EQ(send(0xBA), 1);  // requests the camera has but the model ignores
}

TEST_F(SimCamera, RecordsEveryRequestInWireForm) {
    send(0xB3);
    send(0xB7, 0x1234, 0x63);
    auto record = camera_->requests();
    ASSERT_EQ(record.size(), 2u);
    EXPECT_EQ(record[0], (usb::VendorRequestBytes{0, 2, 0, 0, 0xB3, 0, 0, 0, 0, 0}));
    EXPECT_EQ(record[1], (usb::VendorRequestBytes{0, 2, 0, 0, 0xB7, 0, 0x34, 0x12, 0x63, 0}));
    camera_->clearRequests();
    EXPECT_TRUE(camera_->requests().empty());
}

// --- Timing ------------------------------------------------------------------------------

TEST_F(SimCamera, ReadTakesExposurePlusReadoutInDeviceTime) {
    setExposure(2, 100);  // 2410 rows x 180.35 us = 434.6435 ms, read-out 2180 rows = 393.163 ms
    EXPECT_NEAR(camera_->exposureMicros(), 434643.5, 0.5);
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 2180));
    auto realStart = steady_clock::now();
    std::uint32_t t0 = clk::tickCount();
    send(0xB3);
    std::size_t n = read(buffer);
    std::uint32_t t1 = clk::tickCount();
    EXPECT_EQ(n, kHeader + kWidth * 2180);
    EXPECT_GE(t1 - t0, 827u);                                     // 827.8065 ms of device time
    EXPECT_GE(steady_clock::now() - realStart, milliseconds(8));  // scaled by 0.01
    EXPECT_LT(steady_clock::now() - realStart, seconds(30));
}

TEST_F(SimCamera, LateReadStillSpansTheFrameInTicks) {
    setExposure(2, 100);
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 2180));
    std::uint32_t t0 = clk::tickCount();
    send(0xB3);
    std::this_thread::sleep_for(milliseconds(30));  // real time, unscaled: 30 ms of device time
    ASSERT_EQ(read(buffer), kHeader + kWidth * 2180);
    EXPECT_GE(clk::tickCount() - t0, 827u);
}

TEST_F(SimCamera, ZeroTimeScaleDoesNotWait) {
    clk::setTimeScale(0);
    setExposure(4090, 0);  // about 14 minutes
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 2180));
    auto realStart = steady_clock::now();
    std::uint32_t t0 = clk::tickCount();
    send(0xB3);
    EXPECT_EQ(read(buffer), kHeader + kWidth * 2180);
    EXPECT_GE(clk::tickCount() - t0, 4090u * 1155u * 180u / 1000u);
    EXPECT_LT(steady_clock::now() - realStart, seconds(30));
}

TEST_F(SimCamera, NewStartFrameAbandonsTheFrameInProgress) {
    setExposure(20, 0);  // 4.2 s device, 42 ms real
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 2180));
    send(0xB3);
    auto pending = readInBackground(buffer);
    send(0xB3);
    std::uint64_t second = camera_->lastStarted().index;
    EXPECT_EQ(pending.get(), kHeader + kWidth * 2180);
    EXPECT_EQ(camera_->lastDelivered().index, second);
}

TEST_F(SimCamera, NothingStaysQueuedAfterAFrame) {
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 2180));
    send(0xB3);
    ASSERT_GT(read(buffer), 0u);
    auto pending = readInBackground(buffer);  // no new 0xB3: nothing to deliver
    EXPECT_EQ(pending.wait_for(milliseconds(50)), std::future_status::timeout);
    device_->cancelRead();
    EXPECT_EQ(pending.get(), 0u);
}

TEST_F(SimCamera, StopRequestEndsAWaitingReadAtOnce) {
    setExposure(4090, 0);  // 852 s device, 8.5 s real: far beyond the bound below
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 2180));
    send(0xB3);
    auto pending = readInBackground(buffer);
    auto realStart = steady_clock::now();
    send(0xBB);
    ASSERT_EQ(pending.wait_for(seconds(30)), std::future_status::ready);
    EXPECT_EQ(pending.get(), 0u);
    EXPECT_LT(steady_clock::now() - realStart, seconds(5));
}

TEST_F(SimCamera, CancelEndsAWaitingRead) {
    setExposure(4090, 0);
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 2180));
    send(0xB3);
    auto pending = readInBackground(buffer);
    device_->cancelRead();
    ASSERT_EQ(pending.wait_for(seconds(30)), std::future_status::ready);
    EXPECT_EQ(pending.get(), 0u);
    // The camera goes on: the next frame reads normally.
    setExposure(0, 10);
    send(0xB3);
    EXPECT_EQ(read(buffer), kHeader + kWidth * 2180);
}

TEST_F(SimCamera, CloseEndsAWaitingRead) {
    setExposure(4090, 0);
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 2180));
    send(0xB3);
    auto pending = readInBackground(buffer);
    device_->close();
    ASSERT_EQ(pending.wait_for(seconds(30)), std::future_status::ready);
    EXPECT_EQ(pending.get(), 0u);
}

TEST_F(SimCamera, UnplugEndsAWaitingReadAndTheDeviceLeaves) {
    setExposure(4090, 0);
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 2180));
    send(0xB3);
    auto pending = readInBackground(buffer);
    ASSERT_TRUE(sim::unplug(sim::devices().front()));
    ASSERT_EQ(pending.wait_for(seconds(30)), std::future_status::ready);
    EXPECT_EQ(pending.get(), 0u);
    EXPECT_TRUE(usb::listDevices().empty());
    EXPECT_EQ(send(0xB3), -1);
    EXPECT_EQ(read(buffer), 0u);
    EXPECT_FALSE(camera_->plugged());
}

// --- Frame layout ------------------------------------------------------------------------

TEST_F(SimCamera, EightBitFrameRoundTripsToTheScene) {
    setExposure(0, 3000);  // 0.54 s: stars well above the sky
    send(0xB7, 40, 1);
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 2180));
    // 6,609,760 raw bytes: 12,910 blocks requested by the driver, 12,911 read.
    EXPECT_EQ(buffer.size(), 6610432u);
    send(0xB3);
    ASSERT_EQ(read(buffer), 6610272u);  // 512 + 3032 x 2180
    EXPECT_TRUE(startsWithMarker(buffer.data()));
    sim::FrameInfo f = camera_->lastDelivered();
    EXPECT_EQ(f.fieldBStart, 1092);
    EXPECT_EQ(f.fieldPairs, 1088);
    auto got = deinterlace(buffer.data() + kHeader, 2180, 1, 1092, 1088);
    auto scene = scenePicture(f);
    expectSamePicture(got, scene, 2176, 1);
    auto expected = camera_->expectedPicture(f);
    EXPECT_TRUE(std::equal(scene.begin(), scene.begin() + 2176 * kWidth, expected.begin()));
    EXPECT_TRUE(std::all_of(expected.begin() + 2176 * kWidth, expected.end(),
                            [](auto v) { return v == 0; }));
    // No later block looks like a frame start.
    for (std::size_t at = 512; at + 10 <= 6610272; at += 512)
        ASSERT_FALSE(startsWithMarker(&buffer[at])) << at;
}

TEST_F(SimCamera, SixteenBitFrameIsBigEndianWithTwelveSignificantBits) {
    send(0xB9, 0x05);
    setExposure(0, 3000);
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 2180 * 2));
    // 13,219,520 raw bytes: the request is 13,220,352, the frame 13,220,032.
    EXPECT_EQ(buffer.size(), 13220352u);
    send(0xB3);
    ASSERT_EQ(read(buffer), 13220032u);
    EXPECT_TRUE(startsWithMarker(buffer.data()));
    const std::uint8_t* raw = buffer.data() + kHeader;
    for (std::size_t i = 1; i < static_cast<std::size_t>(kWidth) * 2180 * 2; i += 2) {
        ASSERT_EQ(raw[i] & 0x0F, 0) << i;  // the low four bits are unused
    }
    // Hand-checked: first sample of field A is picture (0, 0), of field B picture (1, 0).
    auto scene = scenePicture(camera_->lastDelivered());
    EXPECT_EQ((raw[0] << 8 | raw[1]) >> 4, scene[0]);
    std::size_t fieldB = static_cast<std::size_t>(1092) * kWidth * 2;
    EXPECT_EQ((raw[fieldB] << 8 | raw[fieldB + 1]) >> 4, scene[kWidth]);
    auto got = deinterlace(raw, 2180, 2, 1092, 1088);
    expectSamePicture(got, scene, 2176, 2);
}

TEST_F(SimCamera, HalfReadoutHasItsOwnFields) {
    send(0xB4, 0xC0);
    setExposure(0, 3000);
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 1090));
    EXPECT_EQ(buffer.size(), 3305472u);
    send(0xB3);
    ASSERT_EQ(read(buffer), kHeader + kWidth * 1090);
    sim::FrameInfo f = camera_->lastDelivered();
    EXPECT_EQ(f.rawHeight, 1090);
    EXPECT_EQ(f.fieldBStart, 588);
    EXPECT_EQ(f.fieldPairs, 500);
    EXPECT_EQ(f.windowY % 2, 0);  // the filter phase stays
    auto got = deinterlace(buffer.data() + kHeader, 1090, 1, 588, 500);
    expectSamePicture(got, scenePicture(f), 1000, 1);
}

TEST_F(SimCamera, SpeedFourFrameHasNoHeader) {
    send(0xB5, 0xA3);
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 2180));
    send(0xB3);
    ASSERT_EQ(read(buffer), static_cast<std::size_t>(kWidth) * 2180);
    sim::FrameInfo f = camera_->lastDelivered();
    EXPECT_FALSE(f.header);
    auto got = deinterlace(buffer.data(), 2180, 1, 1092, 1088);
    expectSamePicture(got, scenePicture(f), 2176, 1);
}

TEST_F(SimCamera, ShortBufferGetsWhatFits) {
    std::vector<std::uint8_t> buffer(4096);
    send(0xB3);
    EXPECT_EQ(read(buffer), 4096u);
    EXPECT_TRUE(startsWithMarker(buffer.data()));
}

TEST_F(SimCamera, FramesFollowTheDriftingScene) {
    std::vector<std::uint8_t> a(readRequest(kWidth * 2180)), b(a.size());
    setExposure(0, 3000);
    send(0xB3);
    read(a);
    auto first = camera_->lastDelivered().index;
    send(0xB3);
    read(b);
    EXPECT_EQ(camera_->lastDelivered().index, first + 1);
    EXPECT_NE(a, b);
}

// --- Faults ------------------------------------------------------------------------------

TEST_F(SimCamera, MissingMarkerFault) {
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 2180));
    camera_->injectFault(sim::Fault::MissingMarker);
    send(0xB3);
    ASSERT_EQ(read(buffer), kHeader + kWidth * 2180);
    EXPECT_FALSE(startsWithMarker(buffer.data()));
    send(0xB3);  // one read only
    ASSERT_GT(read(buffer), 0u);
    EXPECT_TRUE(startsWithMarker(buffer.data()));
}

TEST_F(SimCamera, DoubledMarkerFault) {
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 2180));
    camera_->injectFault(sim::Fault::DoubledMarker);
    send(0xB3);
    std::size_t n = read(buffer);
    ASSERT_EQ(n, kHeader + kWidth * 2180);
    EXPECT_TRUE(startsWithMarker(buffer.data()));
    int later = 0;
    for (std::size_t at = 512; at + 10 <= n; at += 512) later += startsWithMarker(&buffer[at]);
    EXPECT_EQ(later, 1);
}

TEST_F(SimCamera, ZeroLengthReadFault) {
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 2180));
    camera_->injectFault(sim::Fault::ZeroLengthRead);
    send(0xB3);
    EXPECT_EQ(read(buffer), 0u);
    send(0xB3);
    EXPECT_EQ(read(buffer), kHeader + kWidth * 2180);
}

TEST_F(SimCamera, StallFaultEndsOnlyOnCancel) {
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 2180));
    camera_->injectFault(sim::Fault::Stall);
    send(0xB3);  // a 4 ms frame that the stalled read never returns
    EXPECT_EQ(camera_->stalledReads(), 0);
    auto pending = readInBackground(buffer);
    ASSERT_TRUE(stallTaken());
    EXPECT_EQ(pending.wait_for(milliseconds(100)), std::future_status::timeout);
    EXPECT_EQ(camera_->stalledReads(), 1);
    device_->cancelRead();
    ASSERT_EQ(pending.wait_for(seconds(30)), std::future_status::ready);
    EXPECT_EQ(pending.get(), 0u);
    EXPECT_EQ(camera_->stalledReads(), 0);
}

TEST_F(SimCamera, AReadWaitingForItsFrameIsNotStalled) {
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 2180));
    auto pending = readInBackground(buffer);  // no frame started: it waits for one
    EXPECT_EQ(camera_->stalledReads(), 0);
    send(0xB3);
    ASSERT_EQ(pending.wait_for(seconds(30)), std::future_status::ready);
    EXPECT_EQ(pending.get(), kHeader + kWidth * 2180);
}

TEST_F(SimCamera, StallFaultEndsOnUnplug) {
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 2180));
    camera_->injectFault(sim::Fault::Stall);
    auto pending = readInBackground(buffer);
    ASSERT_TRUE(stallTaken());
    sim::unplug(sim::devices().front());
    ASSERT_EQ(pending.wait_for(seconds(30)), std::future_status::ready);
    EXPECT_EQ(pending.get(), 0u);
    EXPECT_EQ(camera_->stalledReads(), 0);
}

TEST_F(SimCamera, UnplugDuringExposureFault) {
    std::promise<usb::HotplugEvent> removal;
    std::atomic<bool> seen{false};
    int hotplug = usb::registerHotplug([&](const usb::HotplugEvent& e) {
        if (!e.arrived && !seen.exchange(true)) removal.set_value(e);
    });
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 2180));
    camera_->injectFault(sim::Fault::UnplugDuringExposure);
    setExposure(10, 0);
    send(0xB3);
    EXPECT_EQ(read(buffer), 0u);
    EXPECT_FALSE(camera_->plugged());
    EXPECT_TRUE(usb::listDevices().empty());
    EXPECT_EQ(send(0xB3), -1);
    auto event = removal.get_future();
    ASSERT_EQ(event.wait_for(seconds(30)), std::future_status::ready);
    EXPECT_EQ(event.get().device.product, 0xD002);
    usb::unregisterHotplug(hotplug);
}

TEST_F(SimCamera, FaultsCanBeCleared) {
    camera_->injectFault(sim::Fault::ZeroLengthRead);
    camera_->clearFaults();
    std::vector<std::uint8_t> buffer(readRequest(kWidth * 2180));
    send(0xB3);
    EXPECT_GT(read(buffer), 0u);
}
