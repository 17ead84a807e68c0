// Streaming on the simulated camera: the newest-frame hand-off, frames drawn and
// announced, display and windows, pause and resume, the results of repeated calls,
// and Stop returning whatever the camera is doing (long exposure, unplugged, stalled).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "allocation_control.h"
#include "eventually.h"
#include "frame_stream.h"
#include "platform/clock.h"
#include "platform/sim.h"

namespace {

using namespace ostra;
using namespace std::chrono_literals;
namespace sim = corvalis::platform::sim;
namespace clock = corvalis::platform::clock;

constexpr auto kLiveness = 30s;

// A window that records what the stream hands it, from whichever thread.
class RecordingWindow {
  public:
    struct Draw {
        int width = 0, height = 0;
        bool flat = true;  // every byte of the picture alike
    };
    struct Post {
        unsigned message = 0;
        unsigned long wparam = 0;
        long lparam = 0;
    };

    RecordingWindow() {
        handle.context = this;
        handle.alive = [](void* c) {
            return static_cast<RecordingWindow*>(c)->alive.load() ? 1 : 0;
        };
        handle.draw = [](void* c, const unsigned char* bgr, int w, int h) {
            static_cast<RecordingWindow*>(c)->recordDraw(bgr, w, h);
        };
        handle.post = [](void* c, unsigned m, unsigned long wp, long lp) {
            static_cast<RecordingWindow*>(c)->recordPost(m, wp, lp);
        };
    }

    std::vector<Draw> draws() const {
        std::lock_guard lock(mutex_);
        return draws_;
    }
    std::vector<Post> posts() const {
        std::lock_guard lock(mutex_);
        return posts_;
    }
    std::size_t drawCount() const { return draws().size(); }
    std::size_t postCount() const { return posts().size(); }

    KdWindow handle{};
    std::atomic<bool> alive{true};

  private:
    void recordDraw(const unsigned char* bgr, int w, int h) {
        const std::size_t n = static_cast<std::size_t>(w) * h * 3;
        const auto [lo, hi] = std::minmax_element(bgr, bgr + n);
        std::lock_guard lock(mutex_);
        draws_.push_back({w, h, *lo == *hi});
    }
    void recordPost(unsigned m, unsigned long wp, long lp) {
        std::lock_guard lock(mutex_);
        posts_.push_back({m, wp, lp});
    }

    mutable std::mutex mutex_;
    std::vector<Draw> draws_;
    std::vector<Post> posts_;
};

class Streaming : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim::active()) << "run with CORVALIS_CAMERA=simulator";
        clock::setTimeScale(0.01);
        handle = sim::reset();
        ASSERT_TRUE(device.attach(4));  // the smallest picture keeps decodes short
        device.startup();
        camera = sim::camera();
        ASSERT_NE(camera, nullptr);
        ASSERT_TRUE(reader.allocate());
        makeStream(&display.handle, &notify.handle);
    }

    void TearDown() override {
        stream.reset();
        allocation_control::refuseLarge(false);
        if (camera) camera->clearFaults();
    }

    void makeStream(KdWindow* displayWindow, KdWindow* notifyWindow) {
        stream.reset();
        stream =
            std::make_unique<FrameStream>(device, reader, decodeLock, displayWindow, notifyWindow);
    }

    bool waitForPosts(std::size_t n) {
        return eventually([&] { return notify.postCount() >= n; });
    }

    // Stop on a thread of its own: a Stop that hangs fails after the liveness bound
    // and is then freed by unplugging the camera, so the run goes on.
    int stopWithinBound() {
        std::promise<int> result;
        std::future<int> done = result.get_future();
        std::thread stopper([&] { result.set_value(stream->stop()); });
        if (done.wait_for(kLiveness) != std::future_status::ready) {
            ADD_FAILURE() << "Stop did not return";
            sim::unplug(handle);
        }
        stopper.join();
        return done.get();
    }

    std::mutex decodeLock;
    SensorDevice device{decodeLock};
    FrameReader reader{device};
    RecordingWindow display, notify;
    std::shared_ptr<sim::Camera> camera;
    int handle = 0;
    std::unique_ptr<FrameStream> stream;
};

// --- The hand-off between reader and decoder ---

TEST_F(Streaming, TheNewestPublishedFrameIsTaken) {
    std::uint8_t first[1], second[1], taken[1];
    FrameBuffer a{first, 1, 1}, b{second, 2, 1}, slot{taken, 1, 0};
    EXPECT_EQ(stream->exchange(a, true), 1);
    EXPECT_EQ(stream->exchange(b, true), 1);
    EXPECT_EQ(b.data, first) << "publishing hands back the older frame's buffer";
    EXPECT_EQ(stream->exchange(slot, false), 1);
    EXPECT_EQ(slot.data, second);
    EXPECT_EQ(slot.bytesPerSample, 2) << "the frame's sample size travels with it";
}

TEST_F(Streaming, ATakeWithNothingNewGetsNothing) {
    std::uint8_t mine[1], frame[1];
    FrameBuffer slot{mine, 1, 0};
    EXPECT_EQ(stream->exchange(slot, false), 0);
    EXPECT_EQ(slot.data, mine);

    FrameBuffer published{frame, 1, 1};
    ASSERT_EQ(stream->exchange(published, true), 1);
    ASSERT_EQ(stream->exchange(slot, false), 1);
    std::uint8_t* const took = slot.data;
    EXPECT_EQ(stream->exchange(slot, false), 0) << "a frame is taken once";
    EXPECT_EQ(slot.data, took);
}

// --- Frames flowing ---

TEST_F(Streaming, FramesAreDrawnAndAnnounced) {
    ASSERT_EQ(stream->play(), 1);
    EXPECT_EQ(stream->state(), FrameStream::kStreaming);
    ASSERT_TRUE(waitForPosts(3));
    ASSERT_EQ(stream->stop(), 1);

    for (const auto& post : notify.posts()) {
        EXPECT_EQ(post.message, 1125u);
        EXPECT_EQ(post.wparam, 0u);
        EXPECT_EQ(post.lparam, 0);
    }
    const auto draws = display.draws();
    ASSERT_GE(draws.size(), 3u);
    const FrameLayout layout = device.frameLayout();
    for (const auto& draw : draws) {
        EXPECT_EQ(draw.width, layout.outputWidth);
        EXPECT_EQ(draw.height, layout.outputHeight);
        EXPECT_FALSE(draw.flat) << "the picture shows the sky, not an empty buffer";
    }
    EXPECT_TRUE(notify.draws().empty());
    EXPECT_TRUE(display.posts().empty());
}

TEST_F(Streaming, SixteenBitFramesFlowToo) {
    device.setDataWidth(2);
    ASSERT_EQ(stream->play(), 1);
    ASSERT_TRUE(waitForPosts(2));
    ASSERT_EQ(stream->stop(), 1);
    for (const auto& draw : display.draws()) EXPECT_FALSE(draw.flat);
}

TEST_F(Streaming, TheSetMessageNumberIsPosted) {
    stream->setVideoMessage(2000);
    ASSERT_EQ(stream->play(), 1);
    ASSERT_TRUE(waitForPosts(2));
    stream->setVideoMessage(3000);
    const std::size_t before = notify.postCount();
    ASSERT_TRUE(waitForPosts(before + 3));
    ASSERT_EQ(stream->stop(), 1);

    const auto posts = notify.posts();
    EXPECT_EQ(posts.front().message, 2000u);
    EXPECT_EQ(posts.back().message, 3000u);
    for (const auto& post : posts) EXPECT_TRUE(post.message == 2000u || post.message == 3000u);
}

TEST_F(Streaming, DisabledDisplayIsNotDrawnButFramesAreStillAnnounced) {
    stream->setDisplayEnabled(0);
    ASSERT_EQ(stream->play(), 1);
    ASSERT_TRUE(waitForPosts(3));
    EXPECT_EQ(display.drawCount(), 0u);

    stream->setDisplayEnabled(1);
    EXPECT_TRUE(eventually([&] { return display.drawCount() >= 2; }));
    ASSERT_EQ(stream->stop(), 1);
}

TEST_F(Streaming, AWindowThatIsGoneGetsNothing) {
    display.alive = false;
    ASSERT_EQ(stream->play(), 1);
    ASSERT_TRUE(waitForPosts(3));
    EXPECT_EQ(display.drawCount(), 0u);
    ASSERT_EQ(stream->stop(), 1);

    display.alive = true;
    notify.alive = false;
    const std::size_t posted = notify.postCount();
    ASSERT_EQ(stream->play(), 1);
    EXPECT_TRUE(eventually([&] { return display.drawCount() >= 3; }));
    ASSERT_EQ(stream->stop(), 1);
    EXPECT_EQ(notify.postCount(), posted);
}

TEST_F(Streaming, RunsWithoutWindows) {
    makeStream(nullptr, nullptr);
    ASSERT_EQ(stream->play(), 1);
    // Frames are read and taken even with nobody to show them to.
    EXPECT_TRUE(eventually([&] { return camera->lastDelivered().index >= 3; }));
    ASSERT_EQ(stream->stop(), 1);
}

// --- Pause and resume ---

TEST_F(Streaming, PausedStreamDeliversNothingUntilResumed) {
    ASSERT_EQ(stream->play(), 1);
    ASSERT_TRUE(waitForPosts(2));
    ASSERT_EQ(stream->pause(), 1);
    EXPECT_EQ(stream->state(), FrameStream::kPaused);
    const std::size_t atPause = notify.postCount();
    std::this_thread::sleep_for(300ms);
    // A frame already being decoded when Pause came may still be announced.
    const std::size_t paused = notify.postCount();
    EXPECT_LE(paused, atPause + 1);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(notify.postCount(), paused);

    ASSERT_EQ(stream->play(), 1);
    EXPECT_EQ(stream->state(), FrameStream::kStreaming);
    EXPECT_TRUE(waitForPosts(paused + 2));
    ASSERT_EQ(stream->stop(), 1);
}

TEST_F(Streaming, PauseWhileStoppedStillLetsPlayStart) {
    EXPECT_EQ(stream->pause(), 1);
    EXPECT_EQ(stream->state(), FrameStream::kStopped);
    ASSERT_EQ(stream->play(), 1);
    EXPECT_TRUE(waitForPosts(2));
    EXPECT_EQ(stream->stop(), 1);
}

TEST_F(Streaming, StopFromPausedEndsTheStream) {
    ASSERT_EQ(stream->play(), 1);
    ASSERT_TRUE(waitForPosts(1));
    ASSERT_EQ(stream->pause(), 1);
    EXPECT_EQ(stopWithinBound(), 1);
    EXPECT_EQ(stream->state(), FrameStream::kStopped);
}

// --- Results of repeated calls ---

TEST_F(Streaming, PlayWhileStreamingGivesZero) {
    ASSERT_EQ(stream->play(), 1);
    EXPECT_EQ(stream->play(), 0);
    EXPECT_EQ(stream->state(), FrameStream::kStreaming);
    ASSERT_EQ(stream->stop(), 1);
}

TEST_F(Streaming, StopWhileStoppedGivesZero) {
    EXPECT_EQ(stream->stop(), 0) << "never played";
    ASSERT_EQ(stream->play(), 1);
    EXPECT_EQ(stream->stop(), 1);
    EXPECT_EQ(stream->stop(), 0);
    EXPECT_EQ(stream->state(), FrameStream::kStopped);
}

TEST_F(Streaming, PlayAfterStopStreamsAgain) {
    ASSERT_EQ(stream->play(), 1);
    ASSERT_TRUE(waitForPosts(2));
    ASSERT_EQ(stream->stop(), 1);
    const std::size_t stopped = notify.postCount();
    ASSERT_EQ(stream->play(), 1);
    EXPECT_TRUE(waitForPosts(stopped + 2));
    ASSERT_EQ(stream->stop(), 1);
}

TEST_F(Streaming, PlayWithoutMemoryStartsNothing) {
    camera->clearRequests();
    allocation_control::refuseLarge(true);
    EXPECT_EQ(stream->play(), -2);
    allocation_control::refuseLarge(false);
    EXPECT_EQ(stream->state(), FrameStream::kStopped);
    EXPECT_EQ(stream->stop(), 0);
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(camera->requests().empty()) << "no reader was started";

    ASSERT_EQ(stream->play(), 1) << "a later Play, with memory, streams";
    EXPECT_TRUE(waitForPosts(1));
    ASSERT_EQ(stream->stop(), 1);
}

// --- Stop returns, whatever the camera is doing ---

TEST_F(Streaming, StopEndsALongExposure) {
    clock::setTimeScale(1);
    const auto rows = static_cast<std::uint32_t>(5 * 60 * 1e6 / device.rowTime());  // five minutes
    device.setExposureRows(rows);
    ASSERT_EQ(stream->play(), 1);
    ASSERT_TRUE(eventually([&] { return camera->waitingReads() > 0; }));
    camera->clearRequests();
    EXPECT_EQ(stopWithinBound(), 1);
    EXPECT_EQ(notify.postCount(), 0u);
    EXPECT_EQ(camera->waitingReads(), 0);

    const auto requests = camera->requests();
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const auto& r) {
        return r[4] == 0xBB;
    })) << "the sensor was restarted";
    EXPECT_EQ(device.exposureRows(), rows);
    EXPECT_EQ(camera->exposureRows(), static_cast<long>(rows))
        << "the exposure was sent back to the camera";
}

TEST_F(Streaming, StopReturnsAfterTheCameraIsUnplugged) {
    device.setExposureRows(3000);
    ASSERT_EQ(stream->play(), 1);
    ASSERT_TRUE(waitForPosts(1));
    ASSERT_TRUE(sim::unplug(handle));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(stopWithinBound(), 1);
    EXPECT_EQ(device.exposureRows(), 3000u);
}

TEST_F(Streaming, StopReturnsWhenTheCameraIsUnpluggedDuringAnExposure) {
    camera->injectFault(sim::Fault::UnplugDuringExposure);
    ASSERT_EQ(stream->play(), 1);
    ASSERT_TRUE(eventually([&] { return !camera->plugged(); }));
    EXPECT_EQ(stopWithinBound(), 1);
}

TEST_F(Streaming, StopEndsAStalledRead) {
    camera->injectFault(sim::Fault::Stall);
    ASSERT_EQ(stream->play(), 1);
    ASSERT_TRUE(eventually([&] { return camera->waitingReads() > 0; }));
    std::this_thread::sleep_for(50ms);
    ASSERT_GT(camera->waitingReads(), 0) << "the read stalls";
    EXPECT_EQ(stopWithinBound(), 1);
    EXPECT_EQ(camera->waitingReads(), 0);
    EXPECT_TRUE(camera->plugged()) << "ended by the Stop, not by the liveness bound";
}

TEST_F(Streaming, StopRestoresTheExposure) {
    device.setExposureRows(3000);
    ASSERT_EQ(stream->play(), 1);
    ASSERT_TRUE(waitForPosts(2));
    ASSERT_EQ(stream->stop(), 1);
    EXPECT_EQ(device.exposureRows(), 3000u);
    EXPECT_EQ(camera->exposureRows(), 3000);
}

}  // namespace
