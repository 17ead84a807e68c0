// The driver library through its exports only, when a grab never gets its frame: a
// stalled read ended by Stop, by RestartLongExposure or by its own time limit; UnInit
// and Init while another thread waits in GrabFrame; and a failed read after a switch
// from 16-bit to 8-bit data into a buffer of exactly the 8-bit size.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "eventually.h"
#include "ostra.h"
#include "platform/clock.h"
#include "platform/sim.h"

namespace {

namespace sim = corvalis::platform::sim;
namespace device_clock = corvalis::platform::clock;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// An exposure whose read would outlast the liveness bound many times over in real time,
// so only the call under test can end a read that waits on it.
constexpr int kLongExposureMs = 600000;

// One GrabFrame on a thread of its own, into a buffer of the size a grab writes.
class PendingGrab {
  public:
    explicit PendingGrab(std::size_t bytes) : buffer_(bytes) {
        thread_ = std::thread([this] {
            result_ = OstraIICameraGrabFrame(buffer_.data());
            done_ = true;
        });
    }
    ~PendingGrab() {
        if (thread_.joinable()) thread_.join();
    }
    bool done() const { return done_; }
    // Waits (within the liveness bound) for the grab to return.
    bool finish() {
        if (!eventually([this] { return done_.load(); })) return false;
        thread_.join();
        return true;
    }
    int result() const { return result_; }

  private:
    std::vector<std::uint8_t> buffer_;
    std::atomic<int> result_{-100};
    std::atomic<bool> done_{false};
    std::thread thread_;
};

class OstraStop : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim::active()) << "run with CORVALIS_CAMERA=simulator";
        sim::reset();
        camera = sim::camera();
        ASSERT_NE(camera, nullptr);
        char pattern[] = "/tmp/corvalis-ostra-stop-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        ::setenv("CORVALIS_REGISTRY", (dir / "registry.ini").c_str(), 1);
        ASSERT_EQ(OstraIICameraInit(4, nullptr, nullptr), OSTRA_DONE);
        ASSERT_EQ(OstraIICameraSetFrameSpeed(4), OSTRA_DONE);
    }
    void TearDown() override {
        device_clock::setTimeScale(0);
        camera->clearFaults();
        OstraIICameraStop();
        OstraIICameraUnInit();
        fs::remove_all(dir);
    }

    static std::size_t grabBytes() {
        unsigned char mode = 0;
        int wide = 0;
        EXPECT_EQ(OstraIICameraGetResolution(&mode), OSTRA_DONE);
        EXPECT_EQ(OstraIICameraGetDataWide(&wide), OSTRA_DONE);
        return static_cast<std::size_t>(OstraIICameraGrabBytes(mode, wide));
    }

    // A grab on another thread that has taken the injected stall. The exposure is made
    // long and real-time first, so that the read's own time limit lies far beyond the
    // liveness bound.
    std::unique_ptr<PendingGrab> stalledGrab() {
        EXPECT_EQ(OstraIICameraSetExposureTime(kLongExposureMs), OSTRA_DONE);
        device_clock::setTimeScale(1);
        camera->injectFault(sim::Fault::Stall);
        auto grab = std::make_unique<PendingGrab>(grabBytes());
        EXPECT_TRUE(eventually([&] { return camera->stalledReads() == 1; }))
            << "the grab never took the stall";
        EXPECT_FALSE(grab->done());
        return grab;
    }

    fs::path dir;
    std::shared_ptr<sim::Camera> camera;
};

// ---------------------------------------------------------------------------------
// Calls that end a stalled grab

TEST_F(OstraStop, StopEndsAStalledGrabAndWaitsForIt) {
    auto grab = stalledGrab();
    EXPECT_EQ(OstraIICameraStop(), OSTRA_NOTHING_DONE) << "no streaming was running";
    EXPECT_TRUE(grab->done()) << "Stop returned before the grab did";
    ASSERT_TRUE(grab->finish());
    EXPECT_EQ(grab->result(), OSTRA_NO_FRAME);
    EXPECT_EQ(camera->stalledReads(), 0);
}

TEST_F(OstraStop, RestartLongExposureEndsAStalledGrabAndWaitsForIt) {
    auto grab = stalledGrab();
    EXPECT_EQ(OstraIICameraRestartLongExposure(0), OSTRA_DONE);
    EXPECT_TRUE(grab->done()) << "the restart returned before the grab did";
    ASSERT_TRUE(grab->finish());
    EXPECT_EQ(grab->result(), OSTRA_NO_FRAME);
    EXPECT_EQ(camera->stalledReads(), 0);
}

TEST_F(OstraStop, AGrabAfterTheStopGetsAFrame) {
    auto grab = stalledGrab();
    ASSERT_EQ(OstraIICameraStop(), OSTRA_NOTHING_DONE);
    ASSERT_TRUE(grab->finish());
    device_clock::setTimeScale(0);
    ASSERT_EQ(OstraIICameraSetExposureTime(10), OSTRA_DONE);
    std::vector<std::uint8_t> raw(grabBytes());
    int result = OSTRA_NO_FRAME;
    ASSERT_TRUE(eventually([&] { return (result = OstraIICameraGrabFrame(raw.data())) == 1; }));
}

// The camera stays silent and nobody stops the grab: the read ends once the exposure,
// the read-out and the margin have passed (no waiting at all in simulated time here).
TEST_F(OstraStop, AStalledReadEndsByItselfAfterItsTimeLimit) {
    ASSERT_EQ(OstraIICameraSetExposureTime(50), OSTRA_DONE);
    camera->injectFault(sim::Fault::Stall);
    PendingGrab grab(grabBytes());
    ASSERT_TRUE(eventually([&] { return camera->stalledReads() == 1 || grab.done(); }));
    EXPECT_FALSE(grab.done()) << "the grab returned before it took the stall";
    ASSERT_TRUE(grab.finish()) << "a stalled read outlived its limit";
    EXPECT_EQ(grab.result(), OSTRA_NO_FRAME);
    EXPECT_EQ(camera->stalledReads(), 0);
}

// ---------------------------------------------------------------------------------
// Teardown while a grab waits

TEST_F(OstraStop, UnInitWhileAGrabWaitsEndsItThenFrees) {
    for (int round = 0; round < 3; ++round) {
        if (round > 0) {
            device_clock::setTimeScale(0);
            ASSERT_EQ(OstraIICameraInit(4, nullptr, nullptr), OSTRA_DONE);
        }
        auto grab = stalledGrab();
        EXPECT_EQ(OstraIICameraUnInit(), OSTRA_DONE);
        EXPECT_TRUE(grab->done()) << "UnInit returned before the grab did";
        ASSERT_TRUE(grab->finish());
        EXPECT_EQ(grab->result(), OSTRA_NO_CAMERA) << "round " << round;
        std::vector<std::uint8_t> raw(static_cast<std::size_t>(OstraIICameraGrabBytes(4, 0)));
        EXPECT_EQ(OstraIICameraGrabFrame(raw.data()), OSTRA_NO_CAMERA);
        EXPECT_EQ(camera->stalledReads(), 0);
    }
}

TEST_F(OstraStop, InitWhileAGrabWaitsReplacesTheContext) {
    auto grab = stalledGrab();
    device_clock::setTimeScale(0);
    EXPECT_EQ(OstraIICameraInit(4, nullptr, nullptr), OSTRA_DONE);
    ASSERT_TRUE(grab->finish());
    EXPECT_EQ(grab->result(), OSTRA_NO_CAMERA);
    EXPECT_EQ(camera->stalledReads(), 0);
    // The new context reads frames.
    ASSERT_EQ(OstraIICameraSetFrameSpeed(4), OSTRA_DONE);
    std::vector<std::uint8_t> raw(grabBytes());
    int result = OSTRA_NO_FRAME;
    ASSERT_TRUE(eventually([&] { return (result = OstraIICameraGrabFrame(raw.data())) == 1; }));
}

// Several threads wait at once; UnInit ends them all.
TEST_F(OstraStop, UnInitEndsEveryWaitingGrab) {
    ASSERT_EQ(OstraIICameraSetExposureTime(kLongExposureMs), OSTRA_DONE);
    device_clock::setTimeScale(1);
    camera->injectFault(sim::Fault::Stall);
    std::vector<std::unique_ptr<PendingGrab>> grabs;
    for (int i = 0; i < 3; ++i) grabs.push_back(std::make_unique<PendingGrab>(grabBytes()));
    ASSERT_TRUE(eventually([&] { return camera->stalledReads() == 1; }));
    EXPECT_EQ(OstraIICameraUnInit(), OSTRA_DONE);
    for (auto& grab : grabs) {
        EXPECT_TRUE(grab->done());
        ASSERT_TRUE(grab->finish());
        EXPECT_EQ(grab->result(), OSTRA_NO_CAMERA);
    }
}

// ---------------------------------------------------------------------------------
// The grab's copy

// A 16-bit frame sits in the grab's staging; after the switch to 8-bit data a read
// fails. The destination is sized for an 8-bit frame, exactly: the 16-bit frame (twice
// as long) must not be copied into it.
TEST_F(OstraStop, AFailedReadAfterSixteenToEightBitsStaysInsideTheBuffer) {
    ASSERT_EQ(OstraIICameraSetDataWide(1), OSTRA_DONE);
    ASSERT_EQ(grabBytes(), 756u * 504u * 2u);
    std::vector<std::uint8_t> wide(grabBytes());
    int result = OSTRA_NO_FRAME;
    ASSERT_TRUE(eventually([&] { return (result = OstraIICameraGrabFrame(wide.data())) == 1; }));

    ASSERT_EQ(OstraIICameraSetDataWide(0), OSTRA_DONE);
    const std::size_t narrowBytes = grabBytes();
    ASSERT_EQ(narrowBytes, 756u * 504u);
    // Exactly the 8-bit size, followed by a marked guard zone.
    constexpr std::size_t kGuard = 4096;
    constexpr std::uint8_t kFill = 0xA5;
    std::vector<std::uint8_t> narrow(narrowBytes + kGuard, kFill);
    camera->injectFault(sim::Fault::ZeroLengthRead);
    EXPECT_EQ(OstraIICameraGrabFrame(narrow.data()), OSTRA_NO_FRAME);
    EXPECT_TRUE(std::all_of(narrow.begin() + static_cast<std::ptrdiff_t>(narrowBytes), narrow.end(),
                            [](std::uint8_t b) { return b == kFill; }))
        << "the grab wrote past the 8-bit frame";
    // The next 8-bit frame fills the whole buffer and no more.
    std::vector<std::uint8_t> exact(narrowBytes);
    ASSERT_TRUE(eventually([&] { return (result = OstraIICameraGrabFrame(exact.data())) == 1; }));
}

}  // namespace
