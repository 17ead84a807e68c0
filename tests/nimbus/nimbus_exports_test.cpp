// libnimbus.so through its exports, on the simulated second-family device. Runs with
// CORVALIS_CAMERA=simulator-nimbus at time scale 0; tests that need a grab to wait set
// real time themselves. Wall-clock limits here only catch hangs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

#include "nimbus.h"
#include "platform/clock.h"
#include "platform/sim.h"

namespace device_clock = corvalis::platform::clock;
namespace sim = corvalis::platform::sim;
namespace usb = corvalis::platform::usb;

namespace {

constexpr auto kHangLimit = std::chrono::seconds(30);

class NimbusCamera : public testing::Test {
  protected:
    void SetUp() override {
        CameraUnInit();
        device_ = sim::reset();
        device_clock::setTimeScale(0);
    }
    void TearDown() override {
        CameraUnInit();
        device_clock::setTimeScale(0);
    }
    static std::vector<std::uint8_t> rawBuffer(int width, int height) {
        return std::vector<std::uint8_t>(NIMBUS_RAW_BYTES(std::size_t(width), std::size_t(height)));
    }
    static NimbusFrameHeader headerOf(const std::vector<std::uint8_t>& raw) {
        NimbusFrameHeader h;
        std::memcpy(&h, raw.data(), sizeof h);
        return h;
    }
    int device_ = 0;
};

// Means of the colours of a raw frame's mosaic (green, red / blue, green).
struct Means {
    double red = 0, green = 0, blue = 0;
};
Means meansOf(const std::vector<std::uint8_t>& raw, int w, int h) {
    double sum[3] = {0, 0, 0};
    double count[3] = {0, 0, 0};
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            int colour = (r & 1) == 0 ? ((c & 1) == 0 ? 1 : 0) : ((c & 1) == 0 ? 2 : 1);
            sum[colour] += raw[NIMBUS_HEADER_BYTES + static_cast<std::size_t>(r) * w + c];
            count[colour] += 1;
        }
    }
    return {sum[0] / count[0], sum[1] / count[1], sum[2] / count[2]};
}

}  // namespace

TEST_F(NimbusCamera, InitNeedsTheDeviceAndAKnownResolution) {
    int w = 0, h = 0;
    EXPECT_EQ(CameraGetImageSize(&w, &h), -1);
    EXPECT_EQ(CameraUnInit(), -1);
    EXPECT_EQ(CameraInit(0, 5, nullptr, nullptr), 0);
    EXPECT_EQ(CameraInit(1, 0, nullptr, nullptr), 0);  // only one camera listed
    EXPECT_EQ(CameraInit(-1, 0, nullptr, nullptr), 0);
    EXPECT_EQ(CameraGetImageSize(&w, &h), -1);  // a refused init leaves it closed

    ASSERT_EQ(CameraInit(0, 0, nullptr, nullptr), 1);
    EXPECT_EQ(CameraInit(0, 1, nullptr, nullptr), 0);  // already open: stays as it was
    EXPECT_EQ(CameraGetImageSize(&w, &h), 1);
    EXPECT_EQ(w, 2584);
    EXPECT_EQ(h, 1936);
    EXPECT_EQ(CameraUnInit(), 1);
    EXPECT_EQ(CameraUnInit(), -1);
    EXPECT_EQ(CameraSetGamma(100), -1);
    std::vector<std::uint8_t> raw = rawBuffer(2584, 1936);
    EXPECT_EQ(CameraGetImageData(raw.data()), -1);

    // Without the device in the list.
    ASSERT_TRUE(sim::unplug(device_));
    EXPECT_EQ(CameraInit(0, 0, nullptr, nullptr), 0);
}

TEST_F(NimbusCamera, ChoosesAmongSeveralDevicesByIndex) {
    usb::DeviceInfo second;
    second.vendor = 0x0547;
    second.product = 0xA004;
    second.bus = 2;
    second.portPath = {3};
    const int other = sim::plug(second, false);
    ASSERT_EQ(CameraInit(1, 2, nullptr, nullptr), 1);
    // Unplugging the other camera does not end this one's frames.
    ASSERT_TRUE(sim::unplug(device_));
    std::vector<std::uint8_t> raw = rawBuffer(632, 472);
    EXPECT_EQ(CameraGetImageData(raw.data()), 1);
    ASSERT_TRUE(sim::unplug(other));
    EXPECT_EQ(CameraGetImageData(raw.data()), 0);
}

TEST_F(NimbusCamera, FiveResolutionsGiveTheirSizesAndFrames) {
    const int sizes[5][2] = {{2584, 1936}, {1272, 952}, {632, 472}, {1272, 952}, {632, 472}};
    for (int n = 0; n < 5; ++n) {
        SCOPED_TRACE(n);
        ASSERT_EQ(CameraInit(0, static_cast<std::uint8_t>(n), nullptr, nullptr), 1);
        if (n >= 3) {  // binning sums, so shorter exposures
            ASSERT_EQ(CameraSetExposureTimeMS(n == 3 ? 50.0f : 12.5f), 1);
        }
        int w = 0, h = 0;
        ASSERT_EQ(CameraGetImageSize(&w, &h), 1);
        EXPECT_EQ(w, sizes[n][0]);
        EXPECT_EQ(h, sizes[n][1]);
        // A guard byte after the frame shows the grab writes exactly its size.
        std::vector<std::uint8_t> raw = rawBuffer(w, h);
        raw.push_back(0x5A);
        ASSERT_EQ(CameraGetImageData(raw.data()), 1);
        EXPECT_EQ(raw.back(), 0x5A);
        NimbusFrameHeader hd = headerOf(raw);
        EXPECT_EQ(std::memcmp(hd.magic, "NBF1", 4), 0);
        EXPECT_EQ(hd.width, static_cast<std::uint32_t>(w));
        EXPECT_EQ(hd.height, static_cast<std::uint32_t>(h));
        EXPECT_EQ(hd.resolution, n);
        EXPECT_EQ(hd.frame_number, 1u);
        for (std::size_t i = sizeof(NimbusFrameHeader); i < NIMBUS_HEADER_BYTES; ++i)
            ASSERT_EQ(raw[i], 0) << i;
        // The sky behind the filter: green above red above blue, so the Bayer order
        // is right in every read-out; and not saturated.
        Means m = meansOf(raw, w, h);
        EXPECT_GT(m.green, m.red);
        EXPECT_GT(m.red, m.blue);
        EXPECT_LT(m.green, 200);
        EXPECT_GT(m.blue, 10);
        ASSERT_EQ(CameraUnInit(), 1);
    }
}

TEST_F(NimbusCamera, HeaderCountsFramesAndCarriesExposureAndGain) {
    ASSERT_EQ(CameraInit(0, 2, nullptr, nullptr), 1);
    ASSERT_EQ(CameraSetExposureTimeMS(123.5f), 1);
    ASSERT_EQ(CameraSetAnalogGain(50), 1);
    std::vector<std::uint8_t> raw = rawBuffer(632, 472);
    ASSERT_EQ(CameraGetImageData(raw.data()), 1);
    const Means first = meansOf(raw, 632, 472);
    ASSERT_EQ(CameraGetImageData(raw.data()), 1);
    NimbusFrameHeader h = headerOf(raw);
    EXPECT_EQ(h.frame_number, 2u);
    EXPECT_EQ(h.exposure_ms, 123.5f);
    EXPECT_EQ(h.analog_gain, 50);
    // Analogue gain multiplies the signal above black: gain 200 is twice gain 50's
    // (300 / 150), within the noise.
    ASSERT_EQ(CameraSetAnalogGain(200), 1);
    ASSERT_EQ(CameraGetImageData(raw.data()), 1);
    const Means doubled = meansOf(raw, 632, 472);
    EXPECT_NEAR(doubled.green - 4, 2 * (first.green - 4), 0.1 * (first.green - 4) + 1);
    // A new session counts from 1 again.
    ASSERT_EQ(CameraUnInit(), 1);
    ASSERT_EQ(CameraInit(0, 2, nullptr, nullptr), 1);
    ASSERT_EQ(CameraGetImageData(raw.data()), 1);
    EXPECT_EQ(headerOf(raw).frame_number, 1u);
}

TEST_F(NimbusCamera, FrameTakesExposurePlusReadoutOfDeviceTime) {
    ASSERT_EQ(CameraInit(0, 0, nullptr, nullptr), 1);
    std::vector<std::uint8_t> raw = rawBuffer(2584, 1936);
    // 200 ms, then 1936 rows x (20 + 2584 / 24) us = 247.16 ms at the default speed.
    std::int64_t before = device_clock::deviceMicros();
    ASSERT_EQ(CameraGetImageData(raw.data()), 1);
    EXPECT_GE(device_clock::deviceMicros() - before, 447162);
    // Speed 2 (48 MHz) and resolution unchanged: 1936 x (20 + 2584 / 48) = 142.94 ms.
    ASSERT_EQ(CameraSetFrameSpeed(2), 1);
    ASSERT_EQ(CameraSetExposureTimeMS(1000.0f), 1);
    before = device_clock::deviceMicros();
    const auto realBefore = std::chrono::steady_clock::now();
    ASSERT_EQ(CameraGetImageData(raw.data()), 1);
    const std::int64_t took = device_clock::deviceMicros() - before;
    const auto real = std::chrono::steady_clock::now() - realBefore;
    EXPECT_GE(took, 1142940);
    // Device time beyond the frame's is only the real time the render took (give or
    // take the microsecond steps of the clock readings).
    EXPECT_LE(took,
              1142941 + 5 + std::chrono::duration_cast<std::chrono::microseconds>(real).count());
}

TEST_F(NimbusCamera, SettersClampAndGettersKeepTheirWidths) {
    ASSERT_EQ(CameraInit(0, 2, nullptr, nullptr), 1);
    // Defaults as the ranges report them.
    int lo, hi, preset;
    ASSERT_EQ(CameraGetGammaRange(&lo, &hi, &preset), 1);
    std::uint8_t bytes[2] = {0xEE, 0xEE};
    ASSERT_EQ(CameraGetGamma(&bytes[0]), 1);
    EXPECT_EQ(bytes[0], preset);
    EXPECT_EQ(bytes[1], 0xEE);  // one byte written, not more

    ASSERT_EQ(CameraSetGamma(0), 1);
    ASSERT_EQ(CameraGetGamma(&bytes[0]), 1);
    EXPECT_EQ(bytes[0], lo);
    ASSERT_EQ(CameraSetGamma(255), 1);
    ASSERT_EQ(CameraGetGamma(&bytes[0]), 1);
    EXPECT_EQ(bytes[0], hi);

    ASSERT_EQ(CameraGetSaturationRange(&lo, &hi, &preset), 1);
    EXPECT_EQ(preset, 100);
    ASSERT_EQ(CameraSetSaturation(255), 1);
    ASSERT_EQ(CameraGetSaturation(&bytes[0]), 1);
    EXPECT_EQ(bytes[0], hi);
    EXPECT_EQ(bytes[1], 0xEE);

    ASSERT_EQ(CameraGetContrastRange(&lo, &hi, &preset), 1);
    EXPECT_EQ(preset, 128);
    ASSERT_EQ(CameraSetContrast(7), 1);
    ASSERT_EQ(CameraGetContrast(&bytes[0]), 1);
    EXPECT_EQ(bytes[0], 7);
    EXPECT_EQ(bytes[1], 0xEE);

    std::uint8_t speed[2] = {0xEE, 0xEE};
    ASSERT_EQ(CameraSetFrameSpeed(9), 1);
    ASSERT_EQ(CameraGetFrameSpeed(&speed[0]), 1);
    EXPECT_EQ(speed[0], NIMBUS_FRAME_SPEED_MAX);
    EXPECT_EQ(speed[1], 0xEE);

    std::uint16_t words[4] = {0xEEEE, 0xEEEE, 0xEEEE, 0xEEEE};
    ASSERT_EQ(CameraGetAnalogGainRange(&lo, &hi, &preset), 1);
    EXPECT_EQ(preset, 0);
    ASSERT_EQ(CameraSetAnalogGain(60000), 1);
    ASSERT_EQ(CameraGetAnalogGain(&words[0]), 1);
    EXPECT_EQ(words[0], hi);
    EXPECT_EQ(words[1], 0xEEEE);

    ASSERT_EQ(CameraGetGainRange(&lo, &hi, &preset), 1);
    EXPECT_EQ(preset, 64);
    ASSERT_EQ(CameraSetGain(300, 64, 0), 1);
    ASSERT_EQ(CameraGetGain(&words[0], &words[1], &words[2]), 1);
    EXPECT_EQ(words[0], hi);
    EXPECT_EQ(words[1], 64);
    EXPECT_EQ(words[2], lo);
    EXPECT_EQ(words[3], 0xEEEE);

    int ae = 7;
    ASSERT_EQ(CameraSetAeState(5), 1);
    ASSERT_EQ(CameraGetAeState(&ae), 1);
    EXPECT_EQ(ae, 1);
    EXPECT_EQ(CameraSetMirror(2, 1), 0);  // no third axis
}

TEST_F(NimbusCamera, ExposureKeepsItsValueWithinTheRange) {
    ASSERT_EQ(CameraInit(0, 2, nullptr, nullptr), 1);
    float lo, hi, preset, ms = 0;
    ASSERT_EQ(CameraGetExposureTimeRange(&lo, &hi, &preset), 1);
    EXPECT_EQ(static_cast<int>(hi), 3600000);  // what the program takes as its field maximum
    ASSERT_EQ(CameraGetExposureTimeMS(&ms), 1);
    EXPECT_EQ(ms, preset);

    ASSERT_EQ(CameraSetExposureTimeMS(199.9f), 1);
    ASSERT_EQ(CameraGetExposureTimeMS(&ms), 1);
    EXPECT_EQ(ms, 199.9f);
    EXPECT_EQ(static_cast<std::uint32_t>(ms), 199u);

    ASSERT_EQ(CameraSetExposureTimeMS(0.0f), 1);
    ASSERT_EQ(CameraGetExposureTimeMS(&ms), 1);
    EXPECT_EQ(ms, lo);
    ASSERT_EQ(CameraSetExposureTimeMS(1e12f), 1);
    ASSERT_EQ(CameraGetExposureTimeMS(&ms), 1);
    EXPECT_EQ(ms, hi);
    EXPECT_EQ(CameraSetExposureTimeMS(std::nanf("")), 0);
    ASSERT_EQ(CameraGetExposureTimeMS(&ms), 1);
    EXPECT_EQ(ms, hi);
}

TEST_F(NimbusCamera, GrabbedFrameDecodesWithTheHeaderAtItsStart) {
    ASSERT_EQ(CameraInit(0, 2, nullptr, nullptr), 1);
    std::vector<std::uint8_t> raw = rawBuffer(632, 472);
    ASSERT_EQ(CameraGetImageData(raw.data()), 1);
    std::vector<std::uint8_t> out(NIMBUS_DECODED_BYTES(std::size_t{632}, std::size_t{472}) + 1,
                                  0x5A);
    ASSERT_EQ(CameraDecode(raw.data(), out.data(), 632, 472, 0), 1);
    EXPECT_EQ(std::memcmp(out.data(), raw.data(), NIMBUS_HEADER_BYTES), 0);
    EXPECT_EQ(out.back(), 0x5A);
    // The sky keeps its colour order in the picture: blue < red < green on average.
    double sum[3] = {0, 0, 0};
    for (std::size_t i = NIMBUS_HEADER_BYTES; i + 3 < out.size(); i += 3) {
        for (int ch = 0; ch < 3; ++ch) sum[ch] += out[i + ch];
    }
    EXPECT_LT(sum[0], sum[2]);
    EXPECT_LT(sum[2], sum[1]);

    // The decode keeps working after the camera is released (browsing stored frames),
    // and refuses a damaged header without writing.
    ASSERT_EQ(CameraUnInit(), 1);
    EXPECT_EQ(CameraDecode(raw.data(), out.data(), 632, 472, 0), 1);
    raw[1] ^= 0xFF;
    std::fill(out.begin(), out.end(), 0x5A);
    EXPECT_EQ(CameraDecode(raw.data(), out.data(), 632, 472, 0), 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), 0x5A), static_cast<std::ptrdiff_t>(out.size()));
    EXPECT_EQ(CameraDecode(nullptr, out.data(), 632, 472, 0), 0);
}

TEST_F(NimbusCamera, WhiteBalanceMatchesTheSkyToGreen) {
    ASSERT_EQ(CameraWhiteBalance(), -1);
    ASSERT_EQ(CameraInit(0, 2, nullptr, nullptr), 1);
    std::uint16_t r = 0, g = 0, b = 0;
    // Before any frame the balance waits for the next one.
    ASSERT_EQ(CameraWhiteBalance(), 1);
    ASSERT_EQ(CameraGetGain(&r, &g, &b), 1);
    EXPECT_EQ(r, 64);
    EXPECT_EQ(b, 64);
    std::vector<std::uint8_t> raw = rawBuffer(632, 472);
    ASSERT_EQ(CameraGetImageData(raw.data()), 1);
    ASSERT_EQ(CameraGetGain(&r, &g, &b), 1);
    // The sky's filter response is 0.8 red and 0.65 blue of green: 64 / 0.8 = 80 and
    // 64 / 0.65 = 98.5, give or take the 8-bit steps, stars and noise.
    EXPECT_EQ(g, 64);
    EXPECT_NEAR(r, 80, 5);
    EXPECT_NEAR(b, 98, 6);

    // After a frame it applies at once, from that frame.
    ASSERT_EQ(CameraSetGain(64, 64, 64), 1);
    ASSERT_EQ(CameraWhiteBalance(), 1);
    ASSERT_EQ(CameraGetGain(&r, &g, &b), 1);
    EXPECT_NEAR(r, 80, 5);
    EXPECT_NEAR(b, 98, 6);
}

TEST_F(NimbusCamera, AutoExposureStepsTowardsItsTarget) {
    ASSERT_EQ(CameraInit(0, 2, nullptr, nullptr), 1);
    ASSERT_EQ(CameraSetAeState(1), 1);
    std::vector<std::uint8_t> raw = rawBuffer(632, 472);
    ASSERT_EQ(CameraGetImageData(raw.data()), 1);
    // The sky near 40 of 255 is far below 100: one step doubles, the most it may.
    float ms = 0;
    ASSERT_EQ(CameraGetExposureTimeMS(&ms), 1);
    EXPECT_EQ(ms, 400.0f);
    ASSERT_EQ(CameraSetAeState(0), 1);
    ASSERT_EQ(CameraGetImageData(raw.data()), 1);
    ASSERT_EQ(CameraGetExposureTimeMS(&ms), 1);
    EXPECT_EQ(ms, 400.0f);
}

TEST_F(NimbusCamera, DisplayWindowGetsFramesWhileEnabled) {
    struct Seen {
        std::atomic<int> draws{0};
        std::atomic<int> width{0}, height{0};
    } seen;
    KdWindow window{};
    window.context = &seen;
    window.alive = [](void*) { return 1; };
    window.draw = [](void* c, const unsigned char*, int w, int h) {
        auto* s = static_cast<Seen*>(c);
        s->width = w;
        s->height = h;
        ++s->draws;
    };
    ASSERT_EQ(CameraInit(0, 2, &window, nullptr), 1);
    std::vector<std::uint8_t> raw = rawBuffer(632, 472);
    ASSERT_EQ(CameraGetImageData(raw.data()), 1);
    EXPECT_EQ(seen.draws, 1);
    EXPECT_EQ(seen.width, 632);
    EXPECT_EQ(seen.height, 472);
    ASSERT_EQ(CameraDisplayEnable(0), 1);
    ASSERT_EQ(CameraGetImageData(raw.data()), 1);
    EXPECT_EQ(seen.draws, 1);
}

// A grab waits in real time for a long exposure; each way of ending it must end it.
class WaitingGrab : public NimbusCamera {
  protected:
    void SetUp() override {
        NimbusCamera::SetUp();
        ASSERT_EQ(CameraInit(0, 2, nullptr, nullptr), 1);
        ASSERT_EQ(CameraSetExposureTimeMS(600000.0f), 1);  // ten minutes
        device_clock::setTimeScale(1);
        raw_ = rawBuffer(632, 472);
        result_ =
            std::async(std::launch::async, [this] { return CameraGetImageData(raw_.data()); });
        // Give it time to start waiting; ending it earlier must work as well.
        EXPECT_EQ(result_.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    }
    int finish() {
        if (result_.wait_for(kHangLimit) != std::future_status::ready) {
            ADD_FAILURE() << "the grab did not return";
            device_clock::setTimeScale(0);
            CameraSetExposureTimeMS(1.0f);
        }
        return result_.get();
    }
    std::vector<std::uint8_t> raw_;
    std::future<int> result_;
};

TEST_F(WaitingGrab, UnplugEndsItWithNoFrame) {
    ASSERT_TRUE(sim::unplug(device_));
    EXPECT_EQ(finish(), 0);
    device_clock::setTimeScale(0);
    EXPECT_EQ(CameraGetImageData(raw_.data()), 0);
    EXPECT_EQ(CameraUnInit(), 1);
}

TEST_F(WaitingGrab, ReleaseOnAnotherThreadEndsIt) {
    EXPECT_EQ(CameraUnInit(), 1);
    EXPECT_EQ(finish(), 0);
}

TEST_F(WaitingGrab, ShorterExposureEndsItWithAFrame) {
    ASSERT_EQ(CameraSetExposureTimeMS(1.0f), 1);
    EXPECT_EQ(finish(), 1);
    NimbusFrameHeader h;
    std::memcpy(&h, raw_.data(), sizeof h);
    EXPECT_EQ(h.exposure_ms, 1.0f);
}

TEST_F(NimbusCamera, SettingsChangeWhileFramesAreGrabbedAndDecoded) {
    ASSERT_EQ(CameraInit(0, 2, nullptr, nullptr), 1);
    ASSERT_EQ(CameraSetExposureTimeMS(1.0f), 1);
    std::atomic<bool> stop{false};
    std::atomic<int> frames{0};
    std::thread grabber([&] {
        std::vector<std::uint8_t> raw = rawBuffer(632, 472);
        std::vector<std::uint8_t> out(NIMBUS_DECODED_BYTES(std::size_t{632}, std::size_t{472}));
        while (!stop.load(std::memory_order_relaxed)) {
            if (CameraGetImageData(raw.data()) != 1) break;
            if (CameraDecode(raw.data(), out.data(), 632, 472, 0) != 1) break;
            frames.fetch_add(1, std::memory_order_relaxed);
        }
    });
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(CameraSetGamma(static_cast<std::uint8_t>(20 + i)), 1);
        EXPECT_EQ(CameraSetGain(static_cast<std::uint16_t>(i), 64, 64), 1);
        EXPECT_EQ(CameraSetMirror(i & 1, (i >> 1) & 1), 1);
        EXPECT_EQ(CameraSetExposureTimeMS(1.0f + static_cast<float>(i % 3)), 1);
        EXPECT_EQ(CameraSetFrameSpeed(static_cast<std::uint8_t>(i % 3)), 1);
        if (i % 50 == 0) {
            EXPECT_EQ(CameraWhiteBalance(), 1);
        }
        std::this_thread::yield();
    }
    // Let at least a few frames through before stopping.
    for (int wait = 0; wait < 3000 && frames.load(std::memory_order_relaxed) < 3; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    stop = true;
    grabber.join();
    EXPECT_GE(frames.load(), 3);
}
