// One frame read against the simulated camera: every mode and width gives back the
// camera's scene, speed 4 has no header, torn frames are refused and a fresh frame is
// started, the discard after a width change and its long-exposure exception, and a
// read allocates nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "allocation_control.h"
#include "frame_builder.h"
#include "frame_reader.h"
#include "ostra.h"
#include "platform/clock.h"
#include "platform/sim.h"

namespace {

using namespace ostra;
namespace sim = corvalis::platform::sim;
namespace usb = corvalis::platform::usb;

// The frame a read should deliver, worked out plainly from the camera's de-interlaced
// 12-bit picture: crop the mode's window, scale to the data width, and sum each
// b x b block of same-colour samples with saturation.
std::vector<std::uint8_t> expectedFrame(const ModeGeometry& g, int bps,
                                        const std::vector<std::uint16_t>& picture) {
    auto sample = [&](int y, int x) -> unsigned {
        const unsigned v = picture[static_cast<std::size_t>(y) * g.rawWidth + x];
        return bps == 1 ? v >> 4 : v << 4;
    };
    const unsigned full = bps == 1 ? 255 : 65535;
    std::vector<std::uint8_t> out;
    for (int row = 0; row < g.processingHeight; ++row) {
        for (int col = 0; col < g.processingWidth; ++col) {
            unsigned v = 0;
            if (g.binning == 1) {
                v = sample(g.cropY0 + row, g.cropX0 + col);
            } else {
                const int b = g.binning;
                const int y = g.cropY0 + (row / 2) * 2 * b + row % 2;
                const int x = g.cropX0 + (col / 2) * 2 * b + col % 2;
                for (int i = 0; i < b; ++i)
                    for (int j = 0; j < b; ++j) v += sample(y + 2 * i, x + 2 * j);
                v = std::min(v, full);
            }
            if (bps == 2) out.push_back(static_cast<std::uint8_t>(v >> 8));
            out.push_back(static_cast<std::uint8_t>(v));
        }
    }
    return out;
}

class FrameRead : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim::active()) << "run with CORVALIS_CAMERA=simulator";
        corvalis::platform::clock::setTimeScale(0);
        sim::reset();
        ASSERT_TRUE(device.attach(0));
        device.startup();
        camera = sim::camera();
        ASSERT_NE(camera, nullptr);
        ASSERT_TRUE(reader.allocate());
        target.assign(FrameReader::maxFrameBytes(), 0);
    }

    int read() {
        int bps = 0;
        const int result = reader.read(target.data(), bps);
        if (result == 1) {
            EXPECT_EQ(bps, device.state().dataWidth);
        }
        return result;
    }

    // Device time counts the real time a read takes besides the scaled exposure: a
    // slow build (ThreadSanitizer renders a frame for seconds) turns a short read into
    // a long one, where the rule under test does not apply.
    bool lastReadWasLong() const {
        const std::uint32_t took = device.state().readEndTick - device.state().readStartTick;
        return took > FrameReader::kDiscardExemptMs;
    }

    int startFrames() {
        int n = 0;
        for (const auto& r : camera->requests()) n += r[4] == 0xB3;
        camera->clearRequests();
        return n;
    }

    void expectScene() {
        const ModeGeometry g = device.geometry();
        const int bps = device.state().dataWidth;
        const auto want = expectedFrame(g, bps, camera->expectedPicture(camera->lastDelivered()));
        ASSERT_EQ(std::memcmp(target.data(), want.data(), want.size()), 0)
            << "mode " << device.mode() << ", " << bps << " byte(s)";
    }

    std::mutex decodeLock;
    SensorDevice device{decodeLock};
    FrameReader reader{device};
    std::shared_ptr<sim::Camera> camera;
    std::vector<std::uint8_t> target;
};

TEST_F(FrameRead, EveryModeAndWidthGivesBackTheScene) {
    device.setExposureRows(400);
    for (int bps : {1, 2}) {
        device.setDataWidth(bps);
        for (int mode = 0; mode < kModeCount; ++mode) {
            device.setMode(mode);
            device.setDiscardNextFrame(false);
            ASSERT_EQ(read(), 1) << "mode " << mode;
            expectScene();
        }
    }
}

TEST_F(FrameRead, SpeedFourFramesHaveNoHeader) {
    device.setFrameSpeed(4);
    ASSERT_FALSE(camera->lastStarted().header && camera->lastStarted().index > 0);
    ASSERT_EQ(read(), 1);
    EXPECT_FALSE(camera->lastDelivered().header);
    expectScene();
}

TEST_F(FrameRead, TornFramesAreRefusedAndAFreshFrameStarted) {
    for (auto fault : {sim::Fault::MissingMarker, sim::Fault::DoubledMarker}) {
        ASSERT_EQ(read(), 1);
        std::fill(target.begin(), target.end(), 0xEE);
        startFrames();
        camera->injectFault(fault);
        EXPECT_EQ(read(), 0);
        EXPECT_EQ(startFrames(), 2) << "the read's start frame and the fresh one";
        EXPECT_EQ(target[0], 0xEE) << "a refused frame leaves the target alone";
        EXPECT_EQ(read(), 1);
    }
}

TEST_F(FrameRead, NothingReadGivesNoFrame) {
    camera->injectFault(sim::Fault::ZeroLengthRead);
    EXPECT_EQ(read(), -3);
    EXPECT_EQ(read(), 1);
}

TEST_F(FrameRead, FirstShortFrameAfterAWidthChangeIsDropped) {
    device.setExposureRows(1000);  // 180 ms at speed 1
    device.setDataWidth(2);
    EXPECT_TRUE(device.discardNextFrame());
    const int first = read();
    if (lastReadWasLong()) GTEST_SKIP() << "a short read took over 2000 ms of device time here";
    EXPECT_EQ(first, -3);
    EXPECT_FALSE(device.discardNextFrame());
    EXPECT_EQ(read(), 1);
}

TEST_F(FrameRead, LongExposureAfterAWidthChangeIsKept) {
    device.setExposureRows(20000);  // 3.6 s at speed 1: longer than 2000 ms
    device.setDataWidth(2);
    EXPECT_EQ(read(), 1);
    EXPECT_TRUE(device.discardNextFrame()) << "the flag stays for the next short read";
    device.setExposureRows(1000);
    const int next = read();
    if (lastReadWasLong()) GTEST_SKIP() << "a short read took over 2000 ms of device time here";
    EXPECT_EQ(next, -3);
}

TEST_F(FrameRead, GrabCopiesTheWholeFrameAlsoAfterAFailedRead) {
    std::vector<std::uint8_t> staging(FrameReader::maxFrameBytes(), 0),
        destination(FrameReader::maxFrameBytes(), 0xAB);
    int stagingWidth = 1;
    CorvalisOstraFrame stagingFacts{};
    for (int mode = 0; mode < kModeCount; ++mode) {
        device.setMode(mode);
        std::fill(destination.begin(), destination.end(), 0xAB);
        ASSERT_EQ(reader.grab(staging.data(), stagingWidth, stagingFacts, destination.data()), 1);
        const std::size_t bytes = static_cast<std::size_t>(OstraIICameraGrabBytes(mode, 0));
        EXPECT_EQ(bytes, builtFrameBytes(modeTable()[mode], 1));
        EXPECT_EQ(std::memcmp(staging.data(), destination.data(), bytes), 0);
        EXPECT_EQ(destination[bytes], 0xAB) << "nothing past the frame";
    }
    // Mode 1 hands over the whole 3032 x 844 frame, not the 1516-wide picture.
    EXPECT_EQ(OstraIICameraGrabBytes(1, 1), 3032 * 844 * 2);
    EXPECT_EQ(OstraIICameraGrabBytes(5, 0), 0);
    // A refused frame leaves the previous one in staging, and it is copied again.
    std::vector<std::uint8_t> before(destination.begin(),
                                     destination.begin() + OstraIICameraGrabBytes(4, 0));
    std::fill(destination.begin(), destination.end(), 0);
    camera->injectFault(sim::Fault::MissingMarker);
    EXPECT_EQ(reader.grab(staging.data(), stagingWidth, stagingFacts, destination.data()), 0);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), destination.begin()));
}

// What a delivered frame says about its exposure: the camera's own account of the
// frame it exposed (rows it received x its row time), whatever was asked.
TEST_F(FrameRead, FactsDescribeTheExposureTheCameraMade) {
    namespace clock = corvalis::platform::clock;
    struct Case {
        int mode, speed, width;
        std::uint32_t rows;
    };
    // The last asks for far more rows than the mode's longest exposure.
    const Case cases[] = {{0, 2, 1, 56}, {1, 3, 2, 700}, {2, 4, 1, 3}, {4, 1, 1, 0xFFFFFFu}};
    for (const Case& c : cases) {
        device.setMode(c.mode);
        device.setDataWidth(c.width);
        device.setFrameSpeed(c.speed);
        device.setExposureRows(c.rows);
        device.setAnalogueGain(40 + c.mode);
        device.setDiscardNextFrame(false);
        CorvalisOstraFrame facts{};
        int bps = 0;
        const std::int64_t before = clock::utcMicrosAt(clock::deviceMicros());
        ASSERT_EQ(reader.read(target.data(), bps, facts), 1) << "mode " << c.mode;
        const std::int64_t after = clock::utcMicrosAt(clock::deviceMicros());
        const sim::FrameInfo made = camera->lastDelivered();
        EXPECT_NEAR(facts.exposure_s, made.exposureMicros * 1e-6, made.exposureMicros * 1e-6 * 1e-5)
            << "mode " << c.mode;
        EXPECT_EQ(facts.gain, made.gain);
        EXPECT_EQ(facts.mode, c.mode);
        EXPECT_EQ(facts.data_wide, c.width == 2 ? 1 : 0);
        EXPECT_EQ(facts.frame_speed, c.speed);
        EXPECT_GE(facts.start_utc_us, before);
        EXPECT_LE(facts.start_utc_us + static_cast<std::int64_t>(made.exposureMicros), after)
            << "the exposure ends within the read";
    }
    EXPECT_LT(camera->lastDelivered().exposureMicros, 0xFFFFFFu * camera->rowMicros())
        << "the longest exposure is shorter than the rows asked";
}

TEST_F(FrameRead, StartTimesFollowDeviceTime) {
    device.setExposureRows(2000);
    CorvalisOstraFrame first{}, second{};
    int bps = 0;
    ASSERT_EQ(reader.read(target.data(), bps, first), 1);
    const sim::FrameInfo made = camera->lastDelivered();
    ASSERT_EQ(reader.read(target.data(), bps, second), 1);
    // With no real waiting, only device time separates the two starts: the first
    // frame's exposure and read-out at least.
    EXPECT_GE(second.start_utc_us - first.start_utc_us,
              static_cast<std::int64_t>(made.exposureMicros + made.readoutMicros) - 1);
}

TEST_F(FrameRead, FailedReadLeavesTheFactsAlone) {
    CorvalisOstraFrame facts{};
    facts.gain = -7;
    int bps = 0;
    camera->injectFault(sim::Fault::MissingMarker);
    EXPECT_EQ(reader.read(target.data(), bps, facts), 0);
    EXPECT_EQ(facts.gain, -7);
    EXPECT_EQ(facts.start_utc_us, 0);
}

// A camera that answers at once from a prepared read-out, allocating nothing.
class ReadyCamera : public usb::Device {
  public:
    explicit ReadyCamera(std::vector<std::uint8_t> readOut) : readOut_(std::move(readOut)) {
        info_.vendor = 0x0547;
        info_.product = 0xD002;
    }
    int vendorRequest(const usb::VendorRequestBytes&) override { return 1; }
    std::size_t bulkRead(std::uint8_t* buffer, std::size_t length) override {
        const std::size_t n = std::min(length, readOut_.size());
        std::memcpy(buffer, readOut_.data(), n);
        return n;
    }
    void cancelRead() override {}
    void close() override {}
    bool isOpen() const override { return true; }
    const usb::DeviceInfo& info() const override { return info_; }

  private:
    std::vector<std::uint8_t> readOut_;
    usb::DeviceInfo info_;
};

TEST(FrameReadMemory, AReadAllocatesNothing) {
    corvalis::platform::clock::setTimeScale(0);
    std::mutex lock;
    SensorDevice device(lock);
    const ModeGeometry& g = modeTable()[0];
    std::vector<std::uint8_t> readOut(kFrameHeaderBytes + rawFrameBytes(g, 1), 7);
    std::fill_n(readOut.begin(), 10, 0x88);
    device.channel().adopt(std::make_unique<ReadyCamera>(readOut));
    ASSERT_TRUE(device.attach(0));
    device.startup();
    FrameReader reader(device);
    ASSERT_TRUE(reader.allocate());
    std::vector<std::uint8_t> target(FrameReader::maxFrameBytes());
    int bps = 0;
    ASSERT_EQ(reader.read(target.data(), bps), 1);
    const long before = allocation_control::count();
    for (int i = 0; i < 3; ++i) ASSERT_EQ(reader.read(target.data(), bps), 1);
    EXPECT_EQ(allocation_control::count() - before, 0);
    EXPECT_EQ(target[12345], 7);
}

}  // namespace
