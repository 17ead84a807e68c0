// The live preview loop driven by a fake camera: frames flow newest-first from the
// grab thread to the show buffer, upright and cropped; start, stop, pause, resume and
// redisplay keep their order of camera commands and notifications.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "../driver/allocation_control.h"
#include "eventually.h"
#include "nimbus.h"
#include "ostra.h"
#include "preview/preview_loop.h"

namespace {

using namespace std::chrono_literals;

// A camera of width x height pixels. A grab delivers a frame only when the test has
// released one; frame n carries n in every raw byte. Its decode writes, bottom-up, the
// frame number in the blue byte and the bottom-up row number in the green byte (or one
// value everywhere when `uniform` is set).
struct FakeCamera {
    int width = 8, height = 6;
    int uniform = -1;
    std::atomic<int> grabResult{1};
    std::atomic<bool> blockUntilShortExposure{false};
    std::atomic<bool> exposureCut{false};
    std::chrono::milliseconds restartTime{0};

    std::mutex m;
    std::condition_variable cv;
    int permits = 0;
    int nextFrame = 1;
    int grabs = 0;
    std::vector<std::vector<unsigned char>> shown;        // what reached the show buffer
    std::vector<std::pair<int, std::uint32_t>> commands;  // command, exposure_ms then

    void release(int frames = 1) {
        std::lock_guard<std::mutex> g(m);
        permits += frames;
        cv.notify_all();
    }
    int grabCount() {
        std::lock_guard<std::mutex> g(m);
        return grabs;
    }
    std::size_t shownCount() {
        std::lock_guard<std::mutex> g(m);
        return shown.size();
    }
    std::vector<unsigned char> lastShown() {
        std::lock_guard<std::mutex> g(m);
        return shown.back();
    }

    PreviewCalls calls() {
        PreviewCalls c;
        c.getImageSize = [this](CameraRecord*, int* w, int* h) {
            *w = width;
            *h = height;
            return 1;
        };
        c.grabFrame = [this](CameraRecord* record, void* buffer) {
            std::unique_lock<std::mutex> lock(m);
            ++grabs;
            if (blockUntilShortExposure) {  // a long exposure that only a cut ends
                cv.wait(lock, [this] { return exposureCut.load(); });
                return 0;
            }
            if (grabResult != 1) return grabResult.load();
            if (!cv.wait_for(lock, 5ms, [this] { return permits > 0; })) return 0;
            --permits;
            // As much as the family's grab writes.
            const std::size_t bytes = record->camera_type == 31
                                          ? NIMBUS_RAW_BYTES(width, height)
                                          : OstraIICameraGrabBytes(record->resolution_index, 1);
            std::memset(buffer, nextFrame++, bytes);
            return 1;
        };
        c.decode = [this](CameraRecord* record, const void* raw, void* out, int w, int h,
                          int flag) {
            EXPECT_EQ(flag, 1);
            auto* o = static_cast<unsigned char*>(out);
            if (record->camera_type == 31) {  // the second family puts the raw header first
                std::memset(o, 0xEE, NIMBUS_HEADER_BYTES);
                o += NIMBUS_HEADER_BYTES;
            }
            const int frame = *static_cast<const unsigned char*>(raw);
            // The driver reworks the buffer it decodes (16-bit samples are byte-swapped
            // in place); so does this decode.
            *static_cast<unsigned char*>(const_cast<void*>(raw)) = 0xA5;
            for (int r = 0; r < h; ++r)
                for (int x = 0; x < w; ++x) {
                    unsigned char* p = o + (static_cast<std::size_t>(r) * w + x) * 3;
                    p[0] = uniform >= 0 ? uniform : frame;
                    p[1] = uniform >= 0 ? uniform : r;
                    p[2] = uniform >= 0 ? uniform : x;
                }
            return 1;
        };
        c.readWrite = [this](CameraRecord* record, int command, int read) {
            EXPECT_EQ(read, 0);
            {
                std::lock_guard<std::mutex> g(m);
                commands.emplace_back(command, record->exposure_ms);
                if (command == CAMCMD_EXPOSURE && record->exposure_ms == 1) exposureCut = true;
                cv.notify_all();
            }
            // The camera takes its time to restart an exposure (about half a second).
            if (command == CAMCMD_RESTART_LONG_EXP_0) std::this_thread::sleep_for(restartTime);
            return 1;
        };
        // As the imaging library crops: the record's rectangle out of a picture of the
        // record's size, 3 bytes per pixel.
        c.crop = [](CameraRecord* record, const unsigned char* source, unsigned char* target) {
            const int cw = record->crop_right - record->crop_left;
            for (int y = record->crop_top; y < record->crop_bottom; ++y)
                std::memcpy(
                    target + static_cast<std::size_t>(y - record->crop_top) * cw * 3,
                    source +
                        (static_cast<std::size_t>(y) * record->image_width + record->crop_left) * 3,
                    static_cast<std::size_t>(cw) * 3);
            return 1;
        };
        c.copyToShowBuffer = [this](CameraRecord* record, unsigned char* pixels) {
            const std::size_t bytes =
                static_cast<std::size_t>(record->crop_right - record->crop_left) *
                (record->crop_bottom - record->crop_top) * 3;
            std::lock_guard<std::mutex> g(m);
            shown.emplace_back(pixels, pixels + bytes);
            return 1;
        };
        return c;
    }
};

class PreviewLoopTest : public ::testing::Test {
  protected:
    PreviewLoopTest() {
        CameraRecord& r = context.record;
        r.camera_type = KD_FAMILY_OSTRA;
        r.resolution_index = 4;
        r.exposure_ms = 200;
        r.image_width = camera.width;
        r.image_height = camera.height;
        r.crop_left = 0, r.crop_top = 0, r.crop_right = camera.width, r.crop_bottom = camera.height;
    }
    void makeLoop() {
        PreviewNotices n;
        n.frameShown = [this] { ++frameNotices; };
        n.redisplayed = [this] { ++redisplayNotices; };
        loop = std::make_unique<PreviewLoop>(context, camera.calls(), n);
    }
    int start() { return loop->start(); }
    // Releases one frame and waits until it has been shown.
    void showOneFrame() {
        const std::size_t before = camera.shownCount();
        camera.release();
        ASSERT_TRUE(eventually(
            [&] { return camera.shownCount() > before && frameNotices == int(before) + 1; }));
    }

    FakeCamera camera;
    FrameContext context;
    std::atomic<int> frameNotices{0}, redisplayNotices{0};
    std::unique_ptr<PreviewLoop> loop;
};

TEST(FrameExchange, NewestFrameWinsAndATakeNeedsAReadyFrame) {
    unsigned char a = 0, b = 0, slot = 0, work = 0;
    FrameExchange exchange;
    exchange.setSlot(&slot);
    unsigned char* grab = &a;
    unsigned char* display = &work;
    EXPECT_FALSE(exchange.exchange(display, 0));  // nothing published yet
    EXPECT_EQ(display, &work);

    EXPECT_TRUE(exchange.exchange(grab, 1));  // frame in a published
    EXPECT_EQ(grab, &slot);
    grab = &b;
    EXPECT_TRUE(exchange.exchange(grab, 1));  // frame in b replaces it
    EXPECT_EQ(grab, &a);                      // a goes back to the grabber, dropped
    EXPECT_TRUE(exchange.ready());

    EXPECT_TRUE(exchange.exchange(display, 0));
    EXPECT_EQ(display, &b);
    EXPECT_FALSE(exchange.ready());
    EXPECT_FALSE(exchange.exchange(display, 0));  // taken once only
    EXPECT_EQ(display, &b);
}

TEST(PreviewLoopSizes, RawBuffersHoldTheWholeGrabAndThreeSixteenBitSamplesPerPixel) {
    // First family, mode 0: the raw read-out of 3032 x 2018 16-bit samples exceeds a
    // small picture's 6 bytes per pixel.
    EXPECT_EQ(PreviewLoop::rawFrameBytes(21, 0, 100, 100), 3032u * 2018 * 2);
    EXPECT_EQ(PreviewLoop::rawFrameBytes(21, 4, 3000, 2000), 3000u * 2000 * 6);
    // An unknown mode falls back to the largest read-out.
    EXPECT_EQ(PreviewLoop::rawFrameBytes(21, 9, 10, 10), 3032u * 2018 * 2);
    // Second family: header plus one byte per pixel, when larger.
    EXPECT_EQ(PreviewLoop::rawFrameBytes(31, 0, 1, 1), std::size_t(NIMBUS_HEADER_BYTES) + 1);
    EXPECT_EQ(PreviewLoop::rawFrameBytes(-1, 0, 0, 10), 0u);
    // The copy for the capture code: the whole read-out, at least 2 bytes per pixel.
    EXPECT_EQ(PreviewLoop::rawFrameCopyBytes(21, 4, 8, 6), 756u * 504 * 2);
    EXPECT_EQ(PreviewLoop::rawFrameCopyBytes(21, 4, 1000, 1000), 1000u * 1000 * 2);
    EXPECT_EQ(PreviewLoop::rawFrameCopyBytes(-1, 0, 8, 6), 8u * 6 * 2);
    EXPECT_EQ(PreviewLoop::rawFrameBytes(-1, 0, 10, -1), 0u);
}

TEST_F(PreviewLoopTest, ShowsEachFrameUprightAndCroppedAndKeepsItsRawCopy) {
    context.record.crop_left = 2, context.record.crop_top = 1;
    context.record.crop_right = 6, context.record.crop_bottom = 4;
    makeLoop();
    ASSERT_EQ(start(), 1);
    EXPECT_TRUE(loop->idle());
    showOneFrame();
    const auto pixels = camera.lastShown();
    ASSERT_EQ(pixels.size(), 4u * 3 * 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const unsigned char* p = &pixels[(y * 4 + x) * 3];
            EXPECT_EQ(p[0], 1);                            // frame 1
            EXPECT_EQ(p[1], camera.height - 1 - (1 + y));  // top row first
            EXPECT_EQ(p[2], 2 + x);
        }
    EXPECT_FALSE(loop->idle());
    EXPECT_EQ(context.frameShown.load(), 1);
    {
        std::lock_guard<std::mutex> g(loop->displayLock());
        ASSERT_NE(context.rawFrameCopy, nullptr);
        ASSERT_EQ(context.rawFrameCopyBytes, loop->rawBytes());
        EXPECT_EQ(context.rawFrameCopy[0], 1);
        // The whole raw read-out of mode 4, 756 x 504 16-bit samples, is copied.
        EXPECT_EQ(context.rawFrameCopy[756 * 504 * 2 - 1], 1);
    }
    showOneFrame();
    EXPECT_EQ(camera.lastShown()[0], 2);
    loop->stop();
    EXPECT_TRUE(loop->idle());
    EXPECT_EQ(context.rawFrameCopy, nullptr);
}

TEST_F(PreviewLoopTest, StopShortensTheExposureAroundTheJoinAndIsHarmlessTwice) {
    makeLoop();
    loop->stop();  // never started: nothing touched
    loop->pause();
    loop->resume();
    EXPECT_EQ(loop->runState(), PreviewLoop::Stopped);
    EXPECT_TRUE(camera.commands.empty());
    ASSERT_EQ(start(), 1);
    EXPECT_EQ(start(), 0);  // already running: not restarted
    loop->stop();
    const std::vector<std::pair<int, std::uint32_t>> expected{{CAMCMD_EXPOSURE, 1},
                                                              {CAMCMD_RESTART_LONG_EXP_0, 1},
                                                              {CAMCMD_EXPOSURE, 200},
                                                              {CAMCMD_RESTART_LONG_EXP_0, 200}};
    EXPECT_EQ(camera.commands, expected);
    EXPECT_EQ(context.record.exposure_ms, 200u);
    EXPECT_EQ(loop->runState(), PreviewLoop::Stopped);
    loop->stop();
    EXPECT_EQ(camera.commands.size(), expected.size());
    // A new start after a stop runs again.
    ASSERT_EQ(start(), 1);
    showOneFrame();
}

TEST_F(PreviewLoopTest,
       SecondFamilyPicturesStartAfterTheDecodedHeaderAndStopOnlyReappliesTheExposure) {
    context.record.camera_type = KD_FAMILY_NIMBUS;
    makeLoop();
    ASSERT_EQ(start(), 1);
    showOneFrame();
    const auto pixels = camera.lastShown();
    ASSERT_EQ(pixels.size(), std::size_t(camera.width) * camera.height * 3);
    for (int y = 0; y < camera.height; ++y)
        EXPECT_EQ(pixels[y * camera.width * 3 + 1], camera.height - 1 - y);
    loop->stop();
    EXPECT_EQ(camera.commands,
              (std::vector<std::pair<int, std::uint32_t>>{{CAMCMD_EXPOSURE, 200}}));
}

TEST_F(PreviewLoopTest, StopEndsAGrabBlockedInALongExposureAndAGoneCameraIsRetriedUntilThen) {
    camera.blockUntilShortExposure = true;
    camera.restartTime = std::chrono::milliseconds(100);
    makeLoop();
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(eventually([&] { return camera.grabCount() > 0; }));
    loop->stop();  // returns only because the exposure was cut to 1 ms first
    // The grab the cut ended was the last: one begun after it would wait on a silent
    // camera until its own time limit.
    EXPECT_EQ(camera.grabCount(), 1);

    camera.restartTime = std::chrono::milliseconds(0);
    camera.blockUntilShortExposure = false;
    camera.grabResult = -1;
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(eventually([&] { return camera.grabCount() >= 4; }));
    EXPECT_EQ(frameNotices, 0);
    loop->stop();
}

TEST_F(PreviewLoopTest, PauseStopsGrabbingAndDrawingAndResumeTakesTheNextFrame) {
    makeLoop();
    ASSERT_EQ(start(), 1);
    showOneFrame();
    loop->pause();
    EXPECT_EQ(loop->runState(), PreviewLoop::Paused);
    const std::vector<std::pair<int, std::uint32_t>> pauseCommands{{CAMCMD_EXPOSURE, 1},
                                                                   {CAMCMD_EXPOSURE, 200}};
    EXPECT_EQ(camera.commands, pauseCommands);
    EXPECT_EQ(context.record.exposure_ms, 200u);

    // A grab in progress at the pause may still end; after that nothing is grabbed.
    std::this_thread::sleep_for(30ms);
    const int grabs = camera.grabCount();
    camera.release();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(camera.grabCount(), grabs);
    EXPECT_EQ(frameNotices, 1);

    loop->resume();
    EXPECT_EQ(loop->runState(), PreviewLoop::Running);
    ASSERT_TRUE(eventually([&] { return frameNotices == 2; }));
    EXPECT_EQ(camera.lastShown()[0], 2);
}

TEST_F(PreviewLoopTest, RedisplayReprocessesTheShownFrameAndDrawsOnlyWhileRunning) {
    makeLoop();
    ASSERT_EQ(start(), 1);
    EXPECT_FALSE(loop->redisplay());  // nothing shown yet: ignored
    EXPECT_EQ(camera.shownCount(), 0u);
    showOneFrame();

    EXPECT_TRUE(loop->redisplay());
    EXPECT_EQ(camera.shownCount(), 2u);
    EXPECT_EQ(camera.lastShown()[0], 1);  // the frame on screen, again
    EXPECT_EQ(redisplayNotices, 1);

    loop->pause();
    EXPECT_FALSE(loop->redisplay());  // show buffer updated, nothing drawn or posted
    EXPECT_EQ(camera.shownCount(), 3u);
    // Each redisplay decoded a copy: the raw frame copy is still the camera's frame.
    EXPECT_EQ(camera.lastShown()[0], 1);
    EXPECT_EQ(context.rawFrameCopy[0], 1);
    EXPECT_EQ(redisplayNotices, 1);
    EXPECT_EQ(frameNotices, 1);
    loop->stop();
    EXPECT_FALSE(loop->redisplay());
    EXPECT_EQ(camera.shownCount(), 3u);
}

TEST_F(PreviewLoopTest, SharpensLiveFramesButNotARedisplay) {
    camera.uniform = 100;
    context.sharpenOn = 1;
    context.sharpenStrength = 1.0f;
    makeLoop();
    ASSERT_EQ(start(), 1);
    showOneFrame();
    for (unsigned char v : camera.lastShown()) ASSERT_EQ(v, 102);
    ASSERT_TRUE(loop->redisplay());
    for (unsigned char v : camera.lastShown()) ASSERT_EQ(v, 100);
}

TEST_F(PreviewLoopTest, ACropOutsideThePictureSkipsTheFrame) {
    context.record.crop_right = camera.width + 4;  // wider than the picture
    makeLoop();
    ASSERT_EQ(start(), 1);
    camera.release();
    ASSERT_TRUE(eventually([&] { return camera.grabCount() >= 3; }));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(camera.shownCount(), 0u);
    EXPECT_EQ(frameNotices, 0);
}

TEST_F(PreviewLoopTest, AFailedStartLeavesNothingRunningOrAllocated) {
    camera.width = 4000, camera.height = 3000;
    makeLoop();
    allocation_control::refuseLarge(true);
    const int result = start();
    allocation_control::refuseLarge(false);
    EXPECT_EQ(result, -2);
    EXPECT_EQ(loop->runState(), PreviewLoop::Stopped);
    EXPECT_EQ(context.rawFrameCopy, nullptr);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(camera.grabCount(), 0);

    camera.width = 0;
    EXPECT_EQ(start(), -1);  // no picture size
    EXPECT_EQ(loop->runState(), PreviewLoop::Stopped);
    camera.width = 8, camera.height = 6;
    EXPECT_EQ(start(), 1);
}

TEST_F(PreviewLoopTest, ASecondPreviewOverTheSameCameraIsRefusedAndTouchesNothing) {
    makeLoop();
    ASSERT_EQ(start(), KD_DONE);
    showOneFrame();
    const unsigned char* copy = context.rawFrameCopy.get();
    const std::size_t copyBytes = context.rawFrameCopyBytes;

    PreviewLoop second(context, camera.calls());
    EXPECT_EQ(second.start(), KD_REFUSED);
    EXPECT_EQ(second.runState(), PreviewLoop::Stopped);
    second.stop();  // stopping the refused one frees nothing of the first
    EXPECT_EQ(context.rawFrameCopy.get(), copy);
    EXPECT_EQ(context.rawFrameCopyBytes, copyBytes);
    showOneFrame();  // the first goes on

    loop->stop();
    EXPECT_EQ(context.rawFrameCopy, nullptr);
    EXPECT_EQ(second.start(), KD_DONE);  // free again once the first has stopped
    second.stop();
}

}  // namespace
