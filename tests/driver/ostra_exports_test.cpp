// The driver library through its exported functions only, on the simulated camera:
// results without a camera context, the life of the context, what each setter keeps
// and sends, exposure and frame-speed arithmetic, frames and their sizes in every mode,
// the shared saturation of enhancement and monochrome, one-push white balance,
// streaming into window doubles, captured files, parameter teams across a restart,
// and setters racing a grabbing thread.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "eventually.h"
#include "file_text.h"
#include "ostra.h"
#include "ostra_frame_info.h"
#include "platform/sim.h"
#include "scratch_directory.h"

namespace {

namespace sim = corvalis::platform::sim;
namespace usb = corvalis::platform::usb;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Liveness only: a call that needs longer than this has hung.
constexpr auto kLiveness = 30s;

constexpr int kGuard = 4096;
constexpr std::uint8_t kFill = 0xA5;

// Output sizes of the five modes.
struct Size {
    int width, height;
};
constexpr Size kImageSize[5] = {{3032, 2018}, {1516, 844}, {1516, 1008}, {1008, 672}, {756, 504}};

// Row times in microseconds at frame speed 4: base 3607 (mode 1: 4087) x 0.2.
constexpr double kRowTime4 = 721.4;
constexpr double kRowTime4Mode1 = 817.4;

// A buffer with a guard zone behind its `size` bytes, to see a call write past them.
struct Guarded {
    explicit Guarded(std::size_t size) : size(size), bytes(size + kGuard, kFill) {}
    std::uint8_t* data() { return bytes.data(); }
    bool guardIntact() const {
        return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(size), bytes.end(),
                           [](std::uint8_t b) { return b == kFill; });
    }
    // The payload alone, in a buffer of exactly its size (so a sanitizer sees a read past it).
    std::vector<std::uint8_t> payload() const {
        return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)};
    }
    std::size_t size;
    std::vector<std::uint8_t> bytes;
};

struct Request {
    int code, value, index;
};

std::vector<Request> decodeRequests(const std::vector<usb::VendorRequestBytes>& wire) {
    std::vector<Request> out;
    for (const auto& b : wire) out.push_back({b[4], b[6] | b[7] << 8, b[8] | b[9] << 8});
    return out;
}

// Grabs until a frame comes (right after re-programming, reads may say -3 for a while).
int grabFrame(std::uint8_t* destination) {
    const auto end = Clock::now() + kLiveness;
    int result = 0;
    do {
        result = OstraIICameraGrabFrame(destination);
    } while (result != 1 && Clock::now() < end);
    return result;
}

int currentMode() {
    unsigned char mode = 0xEE;
    EXPECT_EQ(OstraIICameraGetResolution(&mode), 1);
    return mode;
}
int dataWide() {
    int wide = -7;
    EXPECT_EQ(OstraIICameraGetDataWide(&wide), 1);
    return wide;
}
unsigned exposureMs() {
    unsigned ms = 0xDEADBEEF;
    EXPECT_EQ(OstraIICameraGetExposureTime(&ms), 1);
    return ms;
}
int frameSpeed() {
    unsigned char speed = 0xEE;
    EXPECT_EQ(OstraIICameraGetFrameSpeed(&speed), 1);
    return speed;
}
int analogGain() {
    unsigned short gain = 0xEEEE;
    EXPECT_EQ(OstraIICameraGetAnalogGain(&gain), 1);
    return gain;
}
int gamma() {
    unsigned char g = 0xEE;
    EXPECT_EQ(OstraIICameraGetGamma(&g), 1);
    return g;
}
int contrast() {
    unsigned char c = 0xEE;
    EXPECT_EQ(OstraIICameraGetContrast(&c), 1);
    return c;
}
int saturation() {
    unsigned char s = 0xEE;
    EXPECT_EQ(OstraIICameraGetSaturation(&s), 1);
    return s;
}
int mirror(int axis) {
    int on = -7;
    EXPECT_EQ(OstraIICameraGetMirror(axis, &on), 1);
    return on;
}
int team() {
    unsigned char t = 0xEE;
    EXPECT_EQ(OstraIICameraGetCurrentParameterTeam(&t), 1);
    return t;
}
float rowTime() {
    float t = -1;
    EXPECT_EQ(OstraIICameraGetRowTime(&t), 1);
    return t;
}
Size imageSize() {
    Size s{-1, -1};
    EXPECT_EQ(OstraIICameraGetImageSize(&s.width, &s.height), 1);
    return s;
}
struct Gains {
    int red = -1, green = -1, blue = -1;
};
Gains gains() {
    Gains g;
    EXPECT_EQ(OstraIICameraGetGain(&g.red, &g.green, &g.blue), 1);
    return g;
}

// Bytes of a decoded picture of the current mode and width.
std::size_t pictureBytes(bool sixteen) {
    const Size s = imageSize();
    return static_cast<std::size_t>(s.width) * s.height * 3 * (sixteen ? 2 : 1);
}

// Decodes a copy of `raw` (the decode may rewrite its source) into a fresh picture.
std::vector<std::uint8_t> decodeCopy(const std::vector<std::uint8_t>& raw, int width = 0,
                                     int height = 0, int to8 = 1) {
    std::vector<std::uint8_t> source = raw;
    Guarded picture(pictureBytes(dataWide() == 1 && to8 == 0));
    EXPECT_EQ(OstraIICameraDecode(source.data(), picture.data(), width, height, to8), 1);
    EXPECT_TRUE(picture.guardIntact()) << "decode wrote past the picture";
    return picture.payload();
}

// Every pixel with blue = green = red.
bool grey(const std::vector<std::uint8_t>& bgr) {
    for (std::size_t i = 0; i + 2 < bgr.size(); i += 3)
        if (bgr[i] != bgr[i + 1] || bgr[i + 1] != bgr[i + 2]) return false;
    return true;
}

// A window that counts what the library does to it; callbacks come on a library thread.
struct WindowDouble {
    std::atomic<int> alive{1};
    std::atomic<int> draws{0};
    std::atomic<int> badDraws{0};
    std::atomic<int> expectWidth{0}, expectHeight{0};
    std::mutex lock;
    std::vector<unsigned> messages;
    std::atomic<int> badParameters{0};

    KdWindow handle() {
        KdWindow w{};
        w.context = this;
        w.alive = [](void* c) { return static_cast<WindowDouble*>(c)->alive.load(); };
        w.draw = [](void* c, const unsigned char* bgr, int width, int height) {
            auto* self = static_cast<WindowDouble*>(c);
            if (!bgr || width != self->expectWidth.load() || height != self->expectHeight.load()) {
                self->badDraws.fetch_add(1);
            } else {
                // Touch the whole picture, so a short buffer shows under the sanitizer.
                unsigned sum = 0;
                const std::size_t n = static_cast<std::size_t>(width) * height * 3;
                for (std::size_t i = 0; i < n; i += 4093) sum += bgr[i];
                sum += bgr[n - 1];
                (void)sum;
            }
            self->draws.fetch_add(1);
        };
        w.post = [](void* c, unsigned message, unsigned long wparam, long lparam) {
            auto* self = static_cast<WindowDouble*>(c);
            if (wparam != 0 || lparam != 0) self->badParameters.fetch_add(1);
            std::lock_guard guard(self->lock);
            self->messages.push_back(message);
        };
        return w;
    }
    int count(unsigned message) {
        std::lock_guard guard(lock);
        return static_cast<int>(std::count(messages.begin(), messages.end(), message));
    }
    int total() {
        std::lock_guard guard(lock);
        return static_cast<int>(messages.size());
    }
};

// A fresh simulated camera and a key store of the test's own; whatever the test leaves
// open is closed again.
class Ostra : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim::active()) << "run with CORVALIS_CAMERA=simulator";
        sim::reset();
        camera = sim::camera();
        ASSERT_NE(camera, nullptr);
        dir = scratch.path();
        ::setenv("CORVALIS_REGISTRY", (dir / "registry.ini").c_str(), 1);
    }
    void TearDown() override {
        OstraIICameraStop();
        OstraIICameraUnInit();
    }

    // Opens the camera the way the dispatch library does.
    void open(int mode, KdWindow* display = nullptr, KdWindow* notify = nullptr) {
        ASSERT_EQ(OstraIICameraInit(mode, display, notify), 1);
        ASSERT_EQ(OstraIICameraSetAeState(0), 1);
        ASSERT_EQ(OstraIICameraSetFrameSpeed(4), 1);
    }

    std::vector<Request> takeRequests() {
        auto r = decodeRequests(camera->requests());
        camera->clearRequests();
        return r;
    }

    // Grabs one frame of the current mode and width into a buffer of exactly the size
    // a grab writes.
    std::vector<std::uint8_t> grabRaw() {
        Guarded raw(static_cast<std::size_t>(OstraIICameraGrabBytes(currentMode(), dataWide())));
        EXPECT_EQ(grabFrame(raw.data()), 1);
        EXPECT_TRUE(raw.guardIntact()) << "grab wrote past OstraIICameraGrabBytes";
        return raw.payload();
    }

    ScratchDirectory scratch{"ostra"};
    fs::path dir;
    std::shared_ptr<sim::Camera> camera;
};

// ---------------------------------------------------------------------------------
// Without a camera context

TEST_F(Ostra, EveryExportBeforeInitReturnsMinusOne) {
    unsigned char byte = 0;
    unsigned short word = 0;
    unsigned ms = 0;
    int a = 0, b = 0, c = 0;
    float f = 0;
    std::vector<std::uint8_t> raw(OstraIICameraGrabBytes(0, 1)), rgb(3032 * 2018 * 6);
    const std::string base = (dir / "never").string();

    const std::vector<std::pair<const char*, std::function<int()>>> calls = {
        {"UnInit", [] { return OstraIICameraUnInit(); }},
        {"Play", [] { return OstraIICameraPlay(); }},
        {"Pause", [] { return OstraIICameraPause(); }},
        {"Stop", [] { return OstraIICameraStop(); }},
        {"SetVideoMessage", [] { return OstraIICameraSetVideoMessage(1300); }},
        {"DisplayEnable", [] { return OstraIICameraDisplayEnable(0); }},
        {"GrabFrame", [&] { return OstraIICameraGrabFrame(raw.data()); }},
        {"Decode", [&] { return OstraIICameraDecode(raw.data(), rgb.data(), 3032, 2018, 1); }},
        {"CaptureFile", [&] { return OstraIICameraCaptureFile(base.c_str(), 15); }},
        {"SetResolution", [] { return OstraIICameraSetResolution(2); }},
        {"GetResolution", [&] { return OstraIICameraGetResolution(&byte); }},
        {"GetImageSize", [&] { return OstraIICameraGetImageSize(&a, &b); }},
        {"SetAeState", [] { return OstraIICameraSetAeState(1); }},
        {"GetAeState", [&] { return OstraIICameraGetAeState(&a); }},
        {"SetExposureTime", [] { return OstraIICameraSetExposureTime(100); }},
        {"GetExposureTime", [&] { return OstraIICameraGetExposureTime(&ms); }},
        {"GetRowTime", [&] { return OstraIICameraGetRowTime(&f); }},
        {"RestartLongExposure", [] { return OstraIICameraRestartLongExposure(1); }},
        {"SetLongExpPower", [] { return OstraIICameraSetLongExpPower(1); }},
        {"GetLongExpPower", [&] { return OstraIICameraGetLongExpPower(&a); }},
        {"SetAnalogGain", [] { return OstraIICameraSetAnalogGain(100); }},
        {"GetAnalogGain", [&] { return OstraIICameraGetAnalogGain(&word); }},
        {"SetAWBState", [] { return OstraIICameraSetAWBState(1); }},
        {"GetAWBState", [&] { return OstraIICameraGetAWBState(&a); }},
        {"SetGain", [] { return OstraIICameraSetGain(80, 64, 96); }},
        {"GetGain", [&] { return OstraIICameraGetGain(&a, &b, &c); }},
        {"SetGamma", [] { return OstraIICameraSetGamma(77); }},
        {"GetGamma", [&] { return OstraIICameraGetGamma(&byte); }},
        {"SetContrast", [] { return OstraIICameraSetContrast(33); }},
        {"GetContrast", [&] { return OstraIICameraGetContrast(&byte); }},
        {"SetSaturation", [] { return OstraIICameraSetSaturation(200); }},
        {"GetSaturation", [&] { return OstraIICameraGetSaturation(&byte); }},
        {"SetColorEnhancement", [] { return OstraIICameraSetColorEnhancement(1); }},
        {"GetColorEnhancement", [&] { return OstraIICameraGetColorEnhancement(&a); }},
        {"SetMonochrome", [] { return OstraIICameraSetMonochrome(1); }},
        {"GetMonochrome", [&] { return OstraIICameraGetMonochrome(&a); }},
        {"SetMirror", [] { return OstraIICameraSetMirror(0, 1); }},
        {"GetMirror", [&] { return OstraIICameraGetMirror(0, &a); }},
        {"SetFrameSpeed", [] { return OstraIICameraSetFrameSpeed(2); }},
        {"GetFrameSpeed", [&] { return OstraIICameraGetFrameSpeed(&byte); }},
        {"SetDataWide", [] { return OstraIICameraSetDataWide(1); }},
        {"GetDataWide", [&] { return OstraIICameraGetDataWide(&a); }},
        {"SaveParameter", [] { return OstraIICameraSaveParameter(0); }},
        {"ReadParameter", [] { return OstraIICameraReadParameter(0); }},
        {"GetCurrentParameterTeam", [&] { return OstraIICameraGetCurrentParameterTeam(&byte); }},
    };
    ASSERT_EQ(calls.size(), 45u);  // every export but Init
    for (const auto& [name, call] : calls) EXPECT_EQ(call(), -1) << name;

    // Nothing reached the camera, the disk or the key store.
    EXPECT_TRUE(camera->requests().empty());
    EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(Ostra, InitWithoutCameraFailsAndLeavesNoContext) {
    for (int handle : sim::devices()) sim::unplug(handle);
    EXPECT_EQ(OstraIICameraInit(0, nullptr, nullptr), -1);
    unsigned char g = 0;
    EXPECT_EQ(OstraIICameraGetGamma(&g), -1);
    EXPECT_EQ(OstraIICameraUnInit(), -1);

    // The camera comes back: Init works again.
    sim::reset();
    camera = sim::camera();
    EXPECT_EQ(OstraIICameraInit(0, nullptr, nullptr), 1);
    EXPECT_EQ(OstraIICameraUnInit(), 1);
}

// ---------------------------------------------------------------------------------
// Life of the camera context

TEST_F(Ostra, UnInitTwiceFailsTheSecondTime) {
    ASSERT_EQ(OstraIICameraInit(0, nullptr, nullptr), 1);
    EXPECT_EQ(OstraIICameraUnInit(), 1);
    EXPECT_EQ(OstraIICameraUnInit(), -1);
    unsigned char g = 0;
    EXPECT_EQ(OstraIICameraGetGamma(&g), -1);
}

TEST_F(Ostra, InitAgainReusesTheContext) {
    ASSERT_EQ(OstraIICameraInit(0, nullptr, nullptr), 1);
    ASSERT_EQ(OstraIICameraInit(2, nullptr, nullptr), 1);
    EXPECT_EQ(currentMode(), 2);
    EXPECT_EQ(imageSize().width, 1516);
    EXPECT_EQ(OstraIICameraUnInit(), 1);
    EXPECT_EQ(OstraIICameraUnInit(), -1);
}

TEST_F(Ostra, DefaultsAfterInit) {
    ASSERT_EQ(OstraIICameraInit(0, nullptr, nullptr), 1);
    EXPECT_EQ(currentMode(), 0);
    EXPECT_EQ(frameSpeed(), 1);
    EXPECT_EQ(analogGain(), 25);
    EXPECT_EQ(gamma(), 100);
    EXPECT_EQ(contrast(), 0);
    EXPECT_EQ(saturation(), 128);
    EXPECT_EQ(dataWide(), 0);
    EXPECT_EQ(mirror(0), 0);
    EXPECT_EQ(mirror(1), 0);
    EXPECT_EQ(team(), 0);
    const Gains g = gains();
    EXPECT_EQ(g.red, 64);
    EXPECT_EQ(g.green, 64);
    EXPECT_EQ(g.blue, 64);
    // 56 rows of 180.35 us: 10099.6 us, truncated to 10 ms.
    EXPECT_EQ(exposureMs(), 10u);
    EXPECT_EQ(camera->exposureRows(), 56);
    EXPECT_NEAR(rowTime(), 180.35, 1e-3);
    // The sensor was programmed at the end of Init: full read-out, black level 16.
    EXPECT_EQ(camera->settings().modeValue, 0xC1);
    EXPECT_EQ(camera->settings().blackLevel, 16);
}

// ---------------------------------------------------------------------------------
// Resolution modes

TEST_F(Ostra, ImageSizeAndRowTimePerMode) {
    open(0);
    for (int mode : {0, 1, 2, 3, 4, 0}) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(OstraIICameraSetResolution(mode), 1);
        EXPECT_EQ(currentMode(), mode);
        const Size s = imageSize();
        EXPECT_EQ(s.width, kImageSize[mode].width);
        EXPECT_EQ(s.height, kImageSize[mode].height);
        EXPECT_NEAR(rowTime(), mode == 1 ? kRowTime4Mode1 : kRowTime4, 1e-3);
        EXPECT_EQ(camera->settings().modeValue, mode == 1 ? 0xC0 : 0xC1);
    }
}

TEST_F(Ostra, RowTimesAtEverySpeed) {
    open(0);
    const double mode0[4] = {180.35, 240.4667, 360.7, 721.4};
    const double mode1[4] = {204.35, 272.4667, 408.7, 817.4};
    for (int speed = 1; speed <= 4; ++speed) {
        ASSERT_EQ(OstraIICameraSetFrameSpeed(speed), 1);
        EXPECT_EQ(frameSpeed(), speed);
        EXPECT_EQ(camera->settings().speed, speed);
        EXPECT_NEAR(rowTime(), mode0[speed - 1], 1e-3) << speed;
    }
    ASSERT_EQ(OstraIICameraSetResolution(1), 1);
    for (int speed = 1; speed <= 4; ++speed) {
        ASSERT_EQ(OstraIICameraSetFrameSpeed(speed), 1);
        EXPECT_NEAR(rowTime(), mode1[speed - 1], 1e-3) << speed;
    }
    // Out of range: 0 is kept as 1, 9 as 4.
    ASSERT_EQ(OstraIICameraSetFrameSpeed(9), 1);
    EXPECT_EQ(frameSpeed(), 4);
    ASSERT_EQ(OstraIICameraSetFrameSpeed(0), 1);
    EXPECT_EQ(frameSpeed(), 1);
}

TEST_F(Ostra, ResolutionOutsideTheModesChangesNothing) {
    open(0);
    ASSERT_EQ(OstraIICameraSetResolution(3), 1);
    camera->clearRequests();
    for (int bad : {5, 17, 255, -1}) {
        EXPECT_EQ(OstraIICameraSetResolution(bad), 0) << bad;
        EXPECT_EQ(currentMode(), 3) << bad;
        EXPECT_EQ(imageSize().width, 1008) << bad;
        EXPECT_EQ(imageSize().height, 672) << bad;
    }
    EXPECT_TRUE(camera->requests().empty()) << "the sensor was re-programmed";
    // Frames still come in mode 3, at the mode-3 size.
    const auto raw = grabRaw();
    EXPECT_EQ(raw.size(), 1008u * 672u);
}

TEST_F(Ostra, ResolutionTakesTheLowByte) {
    open(0);
    EXPECT_EQ(OstraIICameraSetResolution(0x100 + 2), 1);
    EXPECT_EQ(currentMode(), 2);
}

// ---------------------------------------------------------------------------------
// Exposure in milliseconds and rows

TEST_F(Ostra, ExposureRowsRoundUpToWholeRows) {
    open(0);
    // Speed 4 after Init kept the 56 x 180.35 us of speed 1:
    // truncate((721.4 + 10099.6 - 1) / 721.4) = 14 rows, still 10 ms.
    EXPECT_EQ(camera->exposureRows(), 14);
    EXPECT_EQ(exposureMs(), 10u);

    struct Case {
        int ms;
        long rows;      // truncate((ms x 1000 + 720.4) / 721.4)
        int low, high;  // on the wire: rows mod 1155 (0 sent as 1), rows div 1155
        unsigned back;  // truncate(rows x 0.7214)
    };
    const Case cases[] = {
        {0, 0, 1, 0, 0},             // 720.4 / 721.4 < 1: no row at all
        {1, 2, 2, 0, 1},             // 1720.4 / 721.4 = 2.38
        {100, 139, 139, 0, 100},     // 100720.4 / 721.4 = 139.6
        {833, 1155, 1, 1, 833},      // 1155.7; 1155 mod 1155 = 0 goes out as 1
        {1000, 1387, 232, 1, 1000},  // 1387.2
        {3607, 5000, 380, 4, 3607},  // 3607000 is exactly 5000 rows; the -1 keeps it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ms);
        camera->clearRequests();
        ASSERT_EQ(OstraIICameraSetExposureTime(c.ms), 1);
        EXPECT_EQ(exposureMs(), c.back);
        const auto s = camera->settings();
        EXPECT_EQ(s.exposureLow, c.low);
        EXPECT_EQ(s.exposureHigh, c.high);
        if (c.rows != 0 && c.rows != 1155) {
            EXPECT_EQ(camera->exposureRows(), c.rows);
        }
        // Low part first, then the high part.
        std::vector<Request> exposure;
        for (const auto& r : takeRequests())
            if (r.code == 0xB7 && (r.index == 0x63 || r.index == 0x62)) exposure.push_back(r);
        ASSERT_EQ(exposure.size(), 2u);
        EXPECT_EQ(exposure[0].index, 0x63);
        EXPECT_EQ(exposure[0].value, c.low);
        EXPECT_EQ(exposure[1].index, 0x62);
        EXPECT_EQ(exposure[1].value, c.high);
    }
}

TEST_F(Ostra, ExposureRowsInHalfWidthMode) {
    open(1);
    EXPECT_NEAR(rowTime(), kRowTime4Mode1, 1e-3);
    // (1000000 + 816.4) / 817.4 = 1224.4 -> 1224 rows = 1 x 651 + 573.
    ASSERT_EQ(OstraIICameraSetExposureTime(1000), 1);
    EXPECT_EQ(camera->settings().exposureHigh, 1);
    EXPECT_EQ(camera->settings().exposureLow, 573);
    EXPECT_EQ(camera->exposureRows(), 1224);
    EXPECT_EQ(exposureMs(), 1000u);  // 1224 x 0.8174 = 1000.5
}

// ---------------------------------------------------------------------------------
// Frame speed keeps the exposure and is refused at speed 1 with 16-bit data

TEST_F(Ostra, FrameSpeedKeepsTheExposureDuration) {
    open(0);
    ASSERT_EQ(OstraIICameraSetExposureTime(1000), 1);  // 1387 rows of 721.4 us
    ASSERT_EQ(camera->exposureRows(), 1387);

    // 1387 x 721.4 = 1000581.8 us; at 180.35 us: (180.35 + 1000581.8 - 1) / 180.35 = 5549.0-
    EXPECT_EQ(OstraIICameraSetFrameSpeed(1), 1);
    EXPECT_EQ(frameSpeed(), 1);
    EXPECT_EQ(camera->settings().speed, 1);
    EXPECT_EQ(camera->exposureRows(), 5548);
    EXPECT_EQ(exposureMs(), 1000u);

    // At 240.4667 us: 4161; at 360.7 us: 2774 (each from the duration just before).
    EXPECT_EQ(OstraIICameraSetFrameSpeed(4), 1);
    EXPECT_EQ(camera->exposureRows(), 1387);
    EXPECT_EQ(OstraIICameraSetFrameSpeed(2), 1);
    EXPECT_EQ(camera->exposureRows(), 4161);
    EXPECT_EQ(exposureMs(), 1000u);
    EXPECT_EQ(OstraIICameraSetFrameSpeed(4), 1);
    EXPECT_EQ(OstraIICameraSetFrameSpeed(3), 1);
    EXPECT_EQ(camera->exposureRows(), 2774);
    EXPECT_EQ(exposureMs(), 1000u);
}

TEST_F(Ostra, FrameSpeedOneWithSixteenBitDataIsRefused) {
    open(0);
    ASSERT_EQ(OstraIICameraSetExposureTime(100), 1);
    ASSERT_EQ(OstraIICameraSetDataWide(1), 1);
    ASSERT_EQ(dataWide(), 1);
    const long rows = camera->exposureRows();
    const unsigned ms = exposureMs();
    camera->clearRequests();

    EXPECT_EQ(OstraIICameraSetFrameSpeed(1), -4);
    EXPECT_EQ(frameSpeed(), 4);
    EXPECT_EQ(camera->settings().speed, 4);
    EXPECT_EQ(camera->exposureRows(), rows);
    EXPECT_EQ(exposureMs(), ms);
    EXPECT_NEAR(rowTime(), kRowTime4, 1e-3);
    EXPECT_TRUE(camera->requests().empty()) << "a refused setting reached the camera";

    // Other speeds are fine with 16-bit data, and speed 1 again with 8-bit data.
    EXPECT_EQ(OstraIICameraSetFrameSpeed(2), 1);
    EXPECT_EQ(frameSpeed(), 2);
    ASSERT_EQ(OstraIICameraSetDataWide(0), 1);
    const unsigned before = exposureMs();
    EXPECT_EQ(OstraIICameraSetFrameSpeed(1), 1);
    EXPECT_EQ(frameSpeed(), 1);
    // Within one row time (under a millisecond) of what it was.
    EXPECT_LE(std::abs(static_cast<long>(exposureMs()) - static_cast<long>(before)), 1);
}

// ---------------------------------------------------------------------------------
// Setters clamp and getters return what was kept

TEST_F(Ostra, AnalogGainIsClamped) {
    open(0);
    EXPECT_EQ(OstraIICameraSetAnalogGain(5), 1);
    EXPECT_EQ(analogGain(), 16);
    EXPECT_EQ(camera->settings().gain, 16);
    EXPECT_EQ(OstraIICameraSetAnalogGain(2000), 1);
    EXPECT_EQ(analogGain(), 1023);
    EXPECT_EQ(camera->settings().gain, 1023);
    EXPECT_EQ(OstraIICameraSetAnalogGain(300), 1);
    EXPECT_EQ(analogGain(), 300);
    EXPECT_EQ(camera->settings().gain, 300);
    // Only the low 16 bits count.
    EXPECT_EQ(OstraIICameraSetAnalogGain(0x10000 + 40), 1);
    EXPECT_EQ(analogGain(), 40);
}

TEST_F(Ostra, AutoExposureOnSetsTheGainTo270) {
    open(0);
    ASSERT_EQ(OstraIICameraSetAnalogGain(100), 1);
    int on = -1;
    EXPECT_EQ(OstraIICameraSetAeState(0), 1);
    EXPECT_EQ(analogGain(), 100);
    EXPECT_EQ(OstraIICameraGetAeState(&on), 1);
    EXPECT_EQ(on, 0);

    EXPECT_EQ(OstraIICameraSetAeState(1), 1);
    EXPECT_EQ(analogGain(), 270);
    EXPECT_EQ(camera->settings().gain, 270);
    EXPECT_EQ(OstraIICameraGetAeState(&on), 1);
    EXPECT_EQ(on, 1);

    // Off again keeps the gain.
    EXPECT_EQ(OstraIICameraSetAeState(0), 1);
    EXPECT_EQ(analogGain(), 270);
}

TEST_F(Ostra, LongExposurePowerIsZeroOrOne) {
    open(0);
    int on = -1;
    EXPECT_EQ(OstraIICameraSetLongExpPower(1), 1);
    EXPECT_EQ(OstraIICameraGetLongExpPower(&on), 1);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(camera->settings().longExposurePowerValue, 0x11);
    EXPECT_EQ(OstraIICameraSetLongExpPower(0), 1);
    EXPECT_EQ(OstraIICameraGetLongExpPower(&on), 1);
    EXPECT_EQ(on, 0);
    EXPECT_EQ(camera->settings().longExposurePowerValue, 0x00);
    EXPECT_EQ(OstraIICameraSetLongExpPower(7), 1);
    EXPECT_EQ(OstraIICameraGetLongExpPower(&on), 1);
    EXPECT_EQ(on, 1);
}

TEST_F(Ostra, DataWideReadsBackZeroOrOne) {
    open(0);
    EXPECT_EQ(dataWide(), 0);
    EXPECT_EQ(OstraIICameraSetDataWide(1), 1);
    EXPECT_EQ(dataWide(), 1);
    EXPECT_EQ(camera->settings().bytesPerSample, 2);
    EXPECT_EQ(OstraIICameraSetDataWide(0), 1);
    EXPECT_EQ(dataWide(), 0);
    EXPECT_EQ(camera->settings().bytesPerSample, 1);
    EXPECT_EQ(OstraIICameraSetDataWide(-5), 1);  // any non-zero value: 16-bit
    EXPECT_EQ(dataWide(), 1);
}

TEST_F(Ostra, PictureControlsAreClamped) {
    open(0);
    EXPECT_EQ(OstraIICameraSetGamma(10), 1);
    EXPECT_EQ(gamma(), 20);
    EXPECT_EQ(OstraIICameraSetGamma(200), 1);
    EXPECT_EQ(gamma(), 150);
    EXPECT_EQ(OstraIICameraSetGamma(0x100 + 80), 1);  // low byte
    EXPECT_EQ(gamma(), 80);
    EXPECT_EQ(OstraIICameraSetContrast(255), 1);
    EXPECT_EQ(contrast(), 255);
    EXPECT_EQ(OstraIICameraSetContrast(300), 1);  // low byte: 44
    EXPECT_EQ(contrast(), 44);
    EXPECT_EQ(OstraIICameraSetGain(80, 64, 96), 1);
    const Gains g = gains();
    EXPECT_EQ(g.red, 80);
    EXPECT_EQ(g.green, 64);
    EXPECT_EQ(g.blue, 96);
}

TEST_F(Ostra, MirrorAxesAndTheIgnoredAxis) {
    open(0);
    EXPECT_EQ(OstraIICameraSetMirror(0, 1), 1);
    EXPECT_EQ(mirror(0), 1);
    EXPECT_EQ(mirror(1), 0);
    EXPECT_EQ(OstraIICameraSetMirror(1, 5), 1);  // kept as 0/1
    EXPECT_EQ(mirror(1), 1);
    EXPECT_EQ(OstraIICameraSetMirror(0, 0), 1);
    EXPECT_EQ(mirror(0), 0);

    // Axis 2 is no axis: setting it changes nothing, reading it leaves the target.
    EXPECT_EQ(OstraIICameraSetMirror(2, 1), 1);
    EXPECT_EQ(mirror(0), 0);
    EXPECT_EQ(mirror(1), 1);
    int target = 12345;
    EXPECT_EQ(OstraIICameraGetMirror(2, &target), 1);
    EXPECT_EQ(target, 12345);
    EXPECT_EQ(OstraIICameraGetMirror(-1, &target), 1);
    EXPECT_EQ(target, 12345);
}

TEST_F(Ostra, RestartLongExposureReprogramsTheSensor) {
    open(2);
    camera->clearRequests();
    EXPECT_EQ(OstraIICameraRestartLongExposure(0), 1);
    const auto requests = takeRequests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front().code, 0xBB);
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const Request& r) {
        return r.code == 0xB4 && r.value == 0xC1;
    })) << "the mode was not programmed again";
    EXPECT_EQ(currentMode(), 2);
    // Not streaming: asking to restart streaming starts nothing.
    EXPECT_EQ(OstraIICameraRestartLongExposure(1), 1);
    EXPECT_EQ(OstraIICameraStop(), 0);
}

// ---------------------------------------------------------------------------------
// Effective saturation shared by enhancement, saturation and monochrome

// Once the camera is gone, the setters that program it say so; the picture settings,
// which live in the library, still take their values.
TEST_F(Ostra, SettersThatProgramTheSensorReportACameraThatWentAway) {
    open(4);
    ASSERT_EQ(OstraIICameraSetAnalogGain(100), OSTRA_DONE);
    ASSERT_TRUE(sim::unplug(sim::devices().front()));
    EXPECT_EQ(OstraIICameraSetAnalogGain(200), OSTRA_NO_CAMERA);
    EXPECT_EQ(OstraIICameraSetExposureTime(500), OSTRA_NO_CAMERA);
    EXPECT_EQ(OstraIICameraSetResolution(2), OSTRA_NO_CAMERA);
    EXPECT_EQ(OstraIICameraSetFrameSpeed(3), OSTRA_NO_CAMERA);
    EXPECT_EQ(OstraIICameraSetDataWide(1), OSTRA_NO_CAMERA);
    EXPECT_EQ(OstraIICameraSetLongExpPower(1), OSTRA_NO_CAMERA);
    EXPECT_EQ(OstraIICameraRestartLongExposure(0), OSTRA_NO_CAMERA);
    EXPECT_EQ(OstraIICameraSetGamma(90), OSTRA_DONE);
    EXPECT_EQ(gamma(), 90);
}

TEST_F(Ostra, SaturationIsIgnoredWhileEnhancementIsOff) {
    open(0);
    EXPECT_EQ(saturation(), 128);
    EXPECT_EQ(OstraIICameraSetSaturation(200), 1);
    EXPECT_EQ(saturation(), 128);

    EXPECT_EQ(OstraIICameraSetColorEnhancement(1), 1);
    EXPECT_EQ(OstraIICameraSetSaturation(200), 1);
    EXPECT_EQ(saturation(), 200);

    // Monochrome on: ignored as well.
    EXPECT_EQ(OstraIICameraSetMonochrome(1), 1);
    EXPECT_EQ(OstraIICameraSetSaturation(50), 1);
    EXPECT_EQ(saturation(), 200);
    int flag = -1;
    EXPECT_EQ(OstraIICameraGetMonochrome(&flag), 1);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(OstraIICameraGetColorEnhancement(&flag), 1);
    EXPECT_EQ(flag, 1);
}

// The same raw frame decoded under each combination: the picture shows which
// saturation the processors used.
TEST_F(Ostra, EnhancementAndMonochromeChooseTheEffectiveSaturation) {
    open(4);
    // Sky bright enough for its colour to show in 8-bit sums of 16 samples, not saturated.
    ASSERT_EQ(OstraIICameraSetAnalogGain(100), 1);
    ASSERT_EQ(OstraIICameraSetExposureTime(60), 1);
    const auto raw = grabRaw();
    const auto neutral = decodeCopy(raw);  // enhancement off: 128
    EXPECT_FALSE(grey(neutral)) << "the scene has colour";

    ASSERT_EQ(OstraIICameraSetColorEnhancement(1), 1);
    ASSERT_EQ(OstraIICameraSetSaturation(200), 1);
    const auto vivid = decodeCopy(raw);
    EXPECT_NE(vivid, neutral) << "saturation 200 should change the picture";

    ASSERT_EQ(OstraIICameraSetColorEnhancement(0), 1);
    EXPECT_EQ(decodeCopy(raw), neutral) << "enhancement off decodes at 128";
    EXPECT_EQ(saturation(), 200);

    ASSERT_EQ(OstraIICameraSetMonochrome(1), 1);
    EXPECT_TRUE(grey(decodeCopy(raw))) << "monochrome decodes at 0";

    ASSERT_EQ(OstraIICameraSetMonochrome(0), 1);
    const auto after = decodeCopy(raw);
    EXPECT_FALSE(grey(after));
    EXPECT_EQ(after, neutral) << "monochrome off with enhancement off is 128, not the stored 200";

    ASSERT_EQ(OstraIICameraSetColorEnhancement(1), 1);
    EXPECT_EQ(decodeCopy(raw), vivid) << "enhancement on again brings back the stored 200";

    // Monochrome wins over enhancement.
    ASSERT_EQ(OstraIICameraSetMonochrome(1), 1);
    EXPECT_TRUE(grey(decodeCopy(raw)));
    ASSERT_EQ(OstraIICameraSetColorEnhancement(1), 1);
    EXPECT_TRUE(grey(decodeCopy(raw)));
}

// ---------------------------------------------------------------------------------
// Frames: what a grab writes, and decodes of every size

// The de-interlaced, cropped frame the camera rendered, as the grab should deliver it.
std::vector<std::uint8_t> expectedRaw(sim::Camera& camera, int y0, int rows, int bytesPerSample) {
    const sim::FrameInfo frame = camera.lastDelivered();
    const auto picture = camera.expectedPicture(frame);
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(frame.rawWidth) * rows * bytesPerSample);
    for (int r = y0; r < y0 + rows; ++r) {
        for (int c = 0; c < frame.rawWidth; ++c) {
            const std::uint16_t v = picture[static_cast<std::size_t>(r) * frame.rawWidth + c];
            if (bytesPerSample == 1) {
                out.push_back(static_cast<std::uint8_t>(v >> 4));
            } else {
                const std::uint16_t w = static_cast<std::uint16_t>(v << 4);
                out.push_back(static_cast<std::uint8_t>(w >> 8));
                out.push_back(static_cast<std::uint8_t>(w & 0xFF));
            }
        }
    }
    return out;
}

std::size_t mismatches(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    if (a.size() != b.size()) return std::max(a.size(), b.size());
    std::size_t n = 0;
    for (std::size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
    return n;
}

TEST_F(Ostra, HalfWidthGrabDeliversTheWholeFrame) {
    open(1);
    // 3032 x 844 samples: rows 158..1001 of the de-interlaced read-out, full width.
    EXPECT_EQ(OstraIICameraGrabBytes(1, 0), 3032 * 844);
    const auto raw = grabRaw();
    ASSERT_EQ(raw.size(), 3032u * 844u);
    EXPECT_EQ(mismatches(raw, expectedRaw(*camera, 158, 844, 1)), 0u);
    // Only 1000 rows carry data: crop rows 842 and 843 (read-out rows 1000, 1001) are zero.
    EXPECT_TRUE(
        std::all_of(raw.end() - 2 * 3032, raw.end(), [](std::uint8_t b) { return b == 0; }));

    ASSERT_EQ(OstraIICameraSetDataWide(1), 1);
    const auto wide = grabRaw();
    ASSERT_EQ(wide.size(), 3032u * 844u * 2u);
    EXPECT_EQ(mismatches(wide, expectedRaw(*camera, 158, 844, 2)), 0u);

    // The decode halves the width: 1516 x 844 pixels.
    const auto picture = decodeCopy(wide, 0, 0, 0);
    EXPECT_EQ(picture.size(), 1516u * 844u * 6u);
}

TEST_F(Ostra, FullFrameGrabMatchesTheScene) {
    open(0);
    const auto raw = grabRaw();
    ASSERT_EQ(raw.size(), 3032u * 2018u);
    EXPECT_EQ(mismatches(raw, expectedRaw(*camera, 162, 2018, 1)), 0u);

    // With a header (speed 2) the same.
    ASSERT_EQ(OstraIICameraSetFrameSpeed(2), 1);
    const auto headed = grabRaw();
    EXPECT_EQ(mismatches(headed, expectedRaw(*camera, 162, 2018, 1)), 0u);
}

// The frame information goes with the frame the last grab delivered, in the settings
// it was taken with; a new context starts without one.
TEST_F(Ostra, FrameInfoDescribesTheLastGrabbedFrame) {
    CorvalisOstraFrame info{};
    EXPECT_EQ(CorvalisOstraFrameInfo(&info), -1) << "no context";
    open(2);
    EXPECT_EQ(CorvalisOstraFrameInfo(&info), -3) << "nothing grabbed yet";
    EXPECT_EQ(CorvalisOstraFrameInfo(nullptr), 0);

    ASSERT_EQ(OstraIICameraSetAnalogGain(300), 1);
    ASSERT_EQ(OstraIICameraSetExposureTime(40), 1);
    grabRaw();
    const sim::FrameInfo first = camera->lastDelivered();
    ASSERT_EQ(CorvalisOstraFrameInfo(&info), 1);
    EXPECT_EQ(info.gain, 300);
    EXPECT_EQ(info.mode, 2);
    EXPECT_EQ(info.data_wide, 0);
    EXPECT_EQ(info.frame_speed, 4);
    // 40 ms at 721.4 us a row is 56 rows, 40.3984 ms as programmed.
    EXPECT_NEAR(info.exposure_s, 56 * kRowTime4 * 1e-6, 1e-7);
    EXPECT_NEAR(info.exposure_s, first.exposureMicros * 1e-6, 1e-7);
    const std::int64_t firstStart = info.start_utc_us;
    const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    // Device time runs ahead of real time at scale 0, but not by days.
    EXPECT_LT(std::abs(firstStart - now), std::int64_t{24} * 3600 * 1000000);

    ASSERT_EQ(OstraIICameraSetAnalogGain(20), 1);
    grabRaw();
    ASSERT_EQ(CorvalisOstraFrameInfo(&info), 1);
    EXPECT_EQ(info.gain, 20);
    EXPECT_GT(info.start_utc_us, firstStart);

    ASSERT_EQ(OstraIICameraUnInit(), 1);
    open(2);
    EXPECT_EQ(CorvalisOstraFrameInfo(&info), -3) << "a new context has grabbed nothing";
}

// Buffers are sized for the largest mode, whatever mode Init was given.
TEST_F(Ostra, LargerModeAfterInitInASmallerOne) {
    for (int initial : {1, 4}) {
        SCOPED_TRACE(initial);
        open(initial);
        ASSERT_EQ(OstraIICameraSetDataWide(0), 1);  // the previous round saved 16-bit
        ASSERT_EQ(OstraIICameraSetResolution(0), 1);
        EXPECT_EQ(imageSize().width, 3032);
        EXPECT_EQ(imageSize().height, 2018);
        const auto raw = grabRaw();
        EXPECT_EQ(raw.size(), 3032u * 2018u);
        EXPECT_EQ(mismatches(raw, expectedRaw(*camera, 162, 2018, 1)), 0u);
        EXPECT_EQ(decodeCopy(raw).size(), 3032u * 2018u * 3u);

        ASSERT_EQ(OstraIICameraSetDataWide(1), 1);
        const auto wide = grabRaw();
        EXPECT_EQ(wide.size(), 3032u * 2018u * 2u);
        EXPECT_EQ(decodeCopy(wide, 0, 0, 0).size(), 3032u * 2018u * 6u);
        EXPECT_EQ(decodeCopy(wide, 0, 0, 1).size(), 3032u * 2018u * 3u);
        ASSERT_EQ(OstraIICameraUnInit(), 1);
    }
}

TEST_F(Ostra, GrabAndDecodeInEveryMode) {
    open(0);
    for (int wide : {0, 1}) {
        ASSERT_EQ(OstraIICameraSetDataWide(wide), 1);
        for (int mode : {0, 1, 2, 3, 4}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " wide " << wide);
            ASSERT_EQ(OstraIICameraSetResolution(mode), 1);
            const auto raw = grabRaw();  // checks the grab stays within GrabBytes
            EXPECT_EQ(raw.size(), static_cast<std::size_t>(OstraIICameraGrabBytes(mode, wide)));
            const std::size_t pixels =
                static_cast<std::size_t>(kImageSize[mode].width) * kImageSize[mode].height;
            EXPECT_EQ(decodeCopy(raw, 0, 0, 0).size(), pixels * 3 * (wide ? 2 : 1));
            EXPECT_EQ(decodeCopy(raw, 0, 0, 1).size(), pixels * 3);
        }
    }
}

TEST_F(Ostra, DecodeIgnoresWidthAndHeight) {
    open(3);
    const auto raw = grabRaw();
    const auto right = decodeCopy(raw, 1008, 672);
    EXPECT_EQ(decodeCopy(raw, 0, 0), right);
    EXPECT_EQ(decodeCopy(raw, -7, 99999), right);
    EXPECT_EQ(decodeCopy(raw, 3032, 2018), right);  // guards: nothing past 1008 x 672 x 3
    EXPECT_EQ(decodeCopy(raw, 1, 1), right);
}

// ---------------------------------------------------------------------------------
// One-push white balance

// Means of each colour of the delivered frame's Bayer crop, in 8-bit counts.
struct Means {
    double red = 0, green = 0, blue = 0;
};
Means sceneMeans(const std::vector<std::uint8_t>& raw, int width) {
    double sum[3] = {0, 0, 0};
    double count[3] = {0, 0, 0};
    const int height = static_cast<int>(raw.size() / width);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            // Even rows: green, red; odd rows: blue, green.
            const int colour = (r & 1) == 0 ? ((c & 1) == 0 ? 1 : 0) : ((c & 1) == 0 ? 2 : 1);
            sum[colour] += raw[static_cast<std::size_t>(r) * width + c];
            count[colour] += 1;
        }
    return {sum[0] / count[0], sum[1] / count[1], sum[2] / count[2]};
}

TEST_F(Ostra, WhiteBalanceGainsComeFromTheDecodedFrame) {
    open(0);
    // A bright sky: green about 74, red 59, blue 48 in 8-bit counts (sky colour 0.8 :
    // 1 : 0.65), so the balance should lift red by about 1.25 and blue by about 1.5.
    ASSERT_EQ(OstraIICameraSetAnalogGain(100), 1);
    ASSERT_EQ(OstraIICameraSetExposureTime(500), 1);
    const auto raw = grabRaw();
    const Means m = sceneMeans(raw, 3032);
    ASSERT_GT(m.green, 40.0);
    ASSERT_GT(m.green / m.red, 1.1);
    ASSERT_GT(m.green / m.blue, 1.3);

    int pending = -1;
    ASSERT_EQ(OstraIICameraSetAWBState(1), 1);
    EXPECT_EQ(OstraIICameraGetAWBState(&pending), 1);
    EXPECT_EQ(pending, 1);
    decodeCopy(raw);
    EXPECT_EQ(OstraIICameraGetAWBState(&pending), 1);
    EXPECT_EQ(pending, 0);

    const Gains g = gains();
    EXPECT_EQ(g.green, 64);
    EXPECT_NEAR(g.red, 64.0 * m.green / m.red, 64.0 * 0.05);
    EXPECT_NEAR(g.blue, 64.0 * m.green / m.blue, 64.0 * 0.05);
    EXPECT_GT(g.blue, g.red);

    // GetGain made them the gains in use: read back again unchanged, and decodes with
    // them no longer look like the unbalanced picture.
    const Gains again = gains();
    EXPECT_EQ(again.red, g.red);
    EXPECT_EQ(again.blue, g.blue);
}

TEST_F(Ostra, MeasuredGainsAreSavedEvenWithoutGetGain) {
    open(0);
    ASSERT_EQ(OstraIICameraSetAnalogGain(100), 1);
    ASSERT_EQ(OstraIICameraSetExposureTime(500), 1);
    const auto raw = grabRaw();
    const Means m = sceneMeans(raw, 3032);
    ASSERT_EQ(OstraIICameraSetAWBState(1), 1);
    decodeCopy(raw);
    ASSERT_EQ(OstraIICameraUnInit(), 1);  // saves team 0

    ASSERT_EQ(OstraIICameraInit(0, nullptr, nullptr), 1);
    const Gains g = gains();
    EXPECT_EQ(g.green, 64);
    EXPECT_NEAR(g.red, 64.0 * m.green / m.red, 64.0 * 0.05);
    EXPECT_NEAR(g.blue, 64.0 * m.green / m.blue, 64.0 * 0.05);
}

TEST_F(Ostra, GetGainGivesUpWaitingWhenNoDecodeComes) {
    open(0);
    ASSERT_EQ(OstraIICameraSetGain(80, 64, 96), 1);
    ASSERT_EQ(OstraIICameraSetAWBState(1), 1);
    const auto start = Clock::now();
    const Gains g = gains();
    EXPECT_LT(Clock::now() - start, kLiveness);
    // No decode measured anything: the gains in use.
    EXPECT_EQ(g.red, 80);
    EXPECT_EQ(g.green, 64);
    EXPECT_EQ(g.blue, 96);
    int pending = -1;
    EXPECT_EQ(OstraIICameraGetAWBState(&pending), 1);
    EXPECT_EQ(pending, 1);

    // Disarmed, a decode leaves the gains alone.
    ASSERT_EQ(OstraIICameraSetAWBState(0), 1);
    EXPECT_EQ(OstraIICameraGetAWBState(&pending), 1);
    EXPECT_EQ(pending, 0);
    decodeCopy(grabRaw());
    const Gains after = gains();
    EXPECT_EQ(after.red, 80);
    EXPECT_EQ(after.blue, 96);
}

// ---------------------------------------------------------------------------------
// Streaming into windows

TEST_F(Ostra, StreamingDrawsAndPostsUntilStopped) {
    WindowDouble display, notify;
    display.expectWidth = 756;
    display.expectHeight = 504;
    KdWindow displayHandle = display.handle(), notifyHandle = notify.handle();
    open(4, &displayHandle, &notifyHandle);

    EXPECT_EQ(OstraIICameraPlay(), 1);
    EXPECT_EQ(OstraIICameraPlay(), 0);  // already streaming
    ASSERT_TRUE(eventually([&] { return notify.count(1125) >= 2 && display.draws >= 2; }));
    EXPECT_EQ(display.badDraws.load(), 0);
    EXPECT_EQ(notify.badParameters.load(), 0);
    EXPECT_EQ(display.total(), 0) << "messages go to the notify window only";

    EXPECT_EQ(OstraIICameraSetVideoMessage(1300), 1);
    ASSERT_TRUE(eventually([&] { return notify.count(1300) >= 2; }));

    // Display off: messages go on, drawing stops.
    EXPECT_EQ(OstraIICameraDisplayEnable(0), 1);
    const int settled = notify.count(1300) + 2;
    ASSERT_TRUE(eventually([&] { return notify.count(1300) >= settled; }));
    const int draws = display.draws;
    const int later = notify.count(1300) + 3;
    ASSERT_TRUE(eventually([&] { return notify.count(1300) >= later; }));
    EXPECT_EQ(display.draws.load(), draws);
    EXPECT_EQ(OstraIICameraDisplayEnable(1), 1);
    const int redraw = display.draws + 2;
    ASSERT_TRUE(eventually([&] { return display.draws >= redraw; }));

    // Paused and resumed.
    EXPECT_EQ(OstraIICameraPause(), 1);
    EXPECT_EQ(OstraIICameraPlay(), 1);
    const int resumed = notify.count(1300) + 2;
    ASSERT_TRUE(eventually([&] { return notify.count(1300) >= resumed; }));

    // A restart of a long exposure keeps streaming.
    EXPECT_EQ(OstraIICameraRestartLongExposure(1), 1);
    const int restarted = notify.count(1300) + 2;
    ASSERT_TRUE(eventually([&] { return notify.count(1300) >= restarted; }));

    ASSERT_EQ(OstraIICameraSetExposureTime(100), 1);
    EXPECT_EQ(OstraIICameraStop(), 1);
    EXPECT_EQ(OstraIICameraStop(), 0);
    EXPECT_EQ(exposureMs(), 100u) << "Stop shortens the exposure only while it stops";
    const int posted = notify.total();
    const int drawn = display.draws;
    // Nothing arrives after Stop returned, though frames still come to a grab.
    grabRaw();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(notify.total(), posted);
    EXPECT_EQ(display.draws.load(), drawn);
}

TEST_F(Ostra, ClosedWindowsGetNothing) {
    WindowDouble display, notify;
    display.expectWidth = 756;
    display.expectHeight = 504;
    notify.alive = 0;
    KdWindow displayHandle = display.handle(), notifyHandle = notify.handle();
    open(4, &displayHandle, &notifyHandle);
    ASSERT_EQ(OstraIICameraPlay(), 1);
    ASSERT_TRUE(eventually([&] { return display.draws >= 3; }));
    EXPECT_EQ(notify.total(), 0);
    display.alive = 0;
    EXPECT_EQ(OstraIICameraStop(), 1);
    EXPECT_EQ(display.badDraws.load(), 0);
}

TEST_F(Ostra, StreamingWithoutWindows) {
    open(4);
    EXPECT_EQ(OstraIICameraPlay(), 1);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(OstraIICameraPause(), 1);
    EXPECT_EQ(OstraIICameraStop(), 1);
    EXPECT_EQ(OstraIICameraUnInit(), 1);
}

// ---------------------------------------------------------------------------------
// Captured files

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

TEST_F(Ostra, CaptureWritesOneFilePerFlag) {
    open(4);
    const fs::path base = dir / "nothing";
    EXPECT_EQ(OstraIICameraCaptureFile(base.c_str(), 0), 1);
    for (const char* ext : {".jpg", ".bmp", ".raw", ".tif"})
        EXPECT_FALSE(fs::exists(base.string() + ext));

    const fs::path rawOnly = dir / "rawonly";
    EXPECT_EQ(OstraIICameraCaptureFile(rawOnly.c_str(), 4), 1);
    EXPECT_EQ(fs::file_size(rawOnly.string() + ".raw"), 756u * 504u);
    for (const char* ext : {".jpg", ".bmp", ".tif"})
        EXPECT_FALSE(fs::exists(rawOnly.string() + ext));

    ASSERT_EQ(OstraIICameraSetDataWide(1), 1);
    EXPECT_EQ(OstraIICameraCaptureFile(rawOnly.c_str(), 4), 1);
    EXPECT_EQ(fs::file_size(rawOnly.string() + ".raw"), 756u * 504u * 2u)
        << "replaced, 16-bit samples";
}

// ---------------------------------------------------------------------------------
// A whole session: open, set, grab, stream, capture, save, close, open again

TEST_F(Ostra, WholeSessionAndTeamsAcrossARestart) {
    WindowDouble display, notify;
    display.expectWidth = 3032;
    display.expectHeight = 2018;
    KdWindow displayHandle = display.handle(), notifyHandle = notify.handle();
    open(0, &displayHandle, &notifyHandle);
    EXPECT_EQ(currentMode(), 0);
    EXPECT_EQ(frameSpeed(), 4);
    EXPECT_NEAR(rowTime(), kRowTime4, 1e-3);

    // Settings of every kind away from their defaults: team 0.
    ASSERT_EQ(OstraIICameraSetGamma(77), 1);
    ASSERT_EQ(OstraIICameraSetContrast(33), 1);
    ASSERT_EQ(OstraIICameraSetGain(80, 64, 96), 1);
    ASSERT_EQ(OstraIICameraSetColorEnhancement(1), 1);
    ASSERT_EQ(OstraIICameraSetSaturation(200), 1);
    ASSERT_EQ(OstraIICameraSetAnalogGain(300), 1);
    ASSERT_EQ(OstraIICameraSetExposureTime(100), 1);
    ASSERT_EQ(OstraIICameraSetMirror(0, 1), 1);

    // Direct grabbing.
    const auto raw = grabRaw();
    EXPECT_EQ(decodeCopy(raw).size(), 3032u * 2018u * 3u);

    // Streaming, with a capture in the middle that leaves it streaming.
    ASSERT_EQ(OstraIICameraPlay(), 1);
    ASSERT_TRUE(eventually([&] { return notify.count(1125) >= 2 && display.draws >= 2; }));
    const fs::path shot = dir / "shot";
    EXPECT_EQ(OstraIICameraCaptureFile(shot.c_str(), 15), 1);
    const int afterCapture = notify.count(1125) + 2;
    EXPECT_TRUE(eventually([&] { return notify.count(1125) >= afterCapture; }))
        << "streaming did not resume";
    EXPECT_EQ(OstraIICameraStop(), 1);
    EXPECT_EQ(display.badDraws.load(), 0);
    EXPECT_EQ(exposureMs(), 100u);

    // The four files: 3032 x 2018 pixels.
    const auto bmp = readBytes(shot.string() + ".bmp");
    ASSERT_EQ(bmp.size(), 3032u * 2018u * 3u + 54u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(le32(bmp, 2), 3032u * 2018u * 3u + 54u);
    EXPECT_EQ(le32(bmp, 10), 54u);
    EXPECT_EQ(le32(bmp, 14), 40u);
    EXPECT_EQ(le32(bmp, 18), 3032u);
    EXPECT_EQ(le32(bmp, 22), 2018u);
    EXPECT_EQ(le16(bmp, 26), 1u);
    EXPECT_EQ(le16(bmp, 28), 24u);
    EXPECT_EQ(fs::file_size(shot.string() + ".raw"), 3032u * 2018u);
    const auto jpg = readBytes(shot.string() + ".jpg");
    ASSERT_GT(jpg.size(), 4u);
    EXPECT_EQ(jpg[0], 0xFF);
    EXPECT_EQ(jpg[1], 0xD8);
    EXPECT_EQ(jpg[jpg.size() - 2], 0xFF);
    EXPECT_EQ(jpg[jpg.size() - 1], 0xD9);
    const auto tif = readBytes(shot.string() + ".tif");
    ASSERT_GT(tif.size(), 3032u * 2018u * 3u);
    EXPECT_TRUE((tif[0] == 'I' && tif[1] == 'I' && tif[2] == 42) ||
                (tif[0] == 'M' && tif[1] == 'M' && tif[3] == 42));

    // Team 0 saved; team 2 saved with other values, then changed once more before
    // UnInit, which saves into team 2, the team in use.
    EXPECT_EQ(OstraIICameraSaveParameter(0), 1);
    EXPECT_EQ(team(), 0);
    ASSERT_EQ(OstraIICameraSetGamma(60), 1);
    EXPECT_EQ(OstraIICameraSaveParameter(2), 1);
    EXPECT_EQ(team(), 2);
    ASSERT_EQ(OstraIICameraSetGamma(99), 1);
    ASSERT_EQ(OstraIICameraSetContrast(44), 1);
    ASSERT_EQ(OstraIICameraSetGain(70, 64, 110), 1);
    ASSERT_EQ(OstraIICameraSetAnalogGain(500), 1);
    ASSERT_EQ(OstraIICameraSetFrameSpeed(3), 1);       // 139 rows of 721.4 us become 278 of 360.7
    ASSERT_EQ(OstraIICameraSetExposureTime(1000), 1);  // 2773 rows of 360.7 us
    ASSERT_EQ(OstraIICameraSetMirror(1, 1), 1);
    ASSERT_EQ(OstraIICameraSetDataWide(1), 1);
    ASSERT_EQ(OstraIICameraSetSaturation(90), 1);
    ASSERT_EQ(OstraIICameraSetLongExpPower(1), 1);
    ASSERT_EQ(OstraIICameraUnInit(), 1);
    EXPECT_EQ(OstraIICameraUnInit(), -1);

    // Open again: team 2 is in use and comes back.
    sim::reset();
    camera = sim::camera();
    ASSERT_EQ(OstraIICameraInit(0, nullptr, nullptr), 1);
    EXPECT_EQ(team(), 2);
    EXPECT_EQ(gamma(), 99);
    EXPECT_EQ(contrast(), 44);
    Gains g = gains();
    EXPECT_EQ(g.red, 70);
    EXPECT_EQ(g.green, 64);
    EXPECT_EQ(g.blue, 110);
    EXPECT_EQ(analogGain(), 500);
    EXPECT_EQ(camera->settings().gain, 500);
    EXPECT_EQ(frameSpeed(), 3);
    EXPECT_EQ(camera->settings().speed, 3);
    EXPECT_EQ(exposureMs(), 1000u);
    EXPECT_EQ(camera->exposureRows(), 2773);
    EXPECT_EQ(mirror(0), 1);
    EXPECT_EQ(mirror(1), 1);
    EXPECT_EQ(dataWide(), 1);
    EXPECT_EQ(camera->settings().bytesPerSample, 2);
    EXPECT_EQ(saturation(), 90);
    int flag = -1;
    EXPECT_EQ(OstraIICameraGetColorEnhancement(&flag), 1);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(OstraIICameraGetMonochrome(&flag), 1);
    EXPECT_EQ(flag, 0);
    // Long-exposure power belongs to no team: back to off.
    EXPECT_EQ(OstraIICameraGetLongExpPower(&flag), 1);
    EXPECT_EQ(flag, 0);

    // Team 0 on request. Reading a team does not record it in the store, so the store
    // still names team 2, but team 0 is now the one UnInit saves into.
    EXPECT_EQ(OstraIICameraReadParameter(0), 1);
    EXPECT_EQ(team(), 2);
    EXPECT_EQ(gamma(), 77);
    EXPECT_EQ(contrast(), 33);
    g = gains();
    EXPECT_EQ(g.red, 80);
    EXPECT_EQ(g.blue, 96);
    EXPECT_EQ(analogGain(), 300);
    EXPECT_EQ(frameSpeed(), 4);
    EXPECT_EQ(exposureMs(), 100u);
    EXPECT_EQ(mirror(0), 1);
    EXPECT_EQ(mirror(1), 0);
    EXPECT_EQ(dataWide(), 0);
    EXPECT_EQ(saturation(), 200);
    // A team never saved changes nothing, not even the team in use.
    EXPECT_EQ(OstraIICameraReadParameter(5), 1);
    EXPECT_EQ(gamma(), 77);
    ASSERT_EQ(OstraIICameraSetGamma(55), 1);
    EXPECT_EQ(OstraIICameraUnInit(), 1);

    // UnInit saved into team 0 and recorded it; team 2 kept what it had.
    ASSERT_EQ(OstraIICameraInit(0, nullptr, nullptr), 1);
    EXPECT_EQ(team(), 0);
    EXPECT_EQ(gamma(), 55);
    EXPECT_EQ(OstraIICameraReadParameter(2), 1);
    EXPECT_EQ(gamma(), 99);
    EXPECT_EQ(contrast(), 44);
}

TEST_F(Ostra, TeamSavedBeforeTeamZeroDoesNotBecomeTheTeamInUse) {
    open(0);
    ASSERT_EQ(OstraIICameraSetGamma(120), 1);
    EXPECT_EQ(OstraIICameraSaveParameter(1), 1);
    EXPECT_EQ(team(), 0) << "no team-0 key yet, so nothing records team 1";
    ASSERT_EQ(OstraIICameraSetGamma(90), 1);
    ASSERT_EQ(OstraIICameraUnInit(), 1);  // saves team 1 (in use in this session)

    ASSERT_EQ(OstraIICameraInit(0, nullptr, nullptr), 1);
    EXPECT_EQ(team(), 0);
    EXPECT_EQ(gamma(), 100) << "team 0 was never saved: the defaults";
    EXPECT_EQ(OstraIICameraReadParameter(1), 1);
    EXPECT_EQ(gamma(), 90);
}

// ---------------------------------------------------------------------------------
// Setters on one thread while another grabs and decodes

// Grabs and decodes until told to stop and one more frame has come; counts results.
struct Grabber {
    std::atomic<bool> settersDone{false};
    std::atomic<int> calls{0}, frames{0}, busy{0}, failed{0}, unexpected{0}, framesAfter{0};
    std::thread thread;

    void start() {
        thread = std::thread([this] {
            std::vector<std::uint8_t> raw(OstraIICameraGrabBytes(0, 1));
            std::vector<std::uint8_t> rgb(3032u * 2018u * 6u);
            // The setters run for at most 20 s; then a frame has the liveness bound to come.
            const auto end = Clock::now() + 20s + kLiveness;
            while (Clock::now() < end) {
                const bool last = settersDone.load();
                const int r = OstraIICameraGrabFrame(raw.data());
                calls.fetch_add(1);
                if (r == 1) {
                    frames.fetch_add(1);
                    OstraIICameraDecode(raw.data(), rgb.data(), 0, 0, 1);
                    if (last) {
                        framesAfter.fetch_add(1);
                        break;
                    }
                } else if (r == -3) {
                    busy.fetch_add(1);
                } else if (r == 0) {
                    failed.fetch_add(1);
                } else {
                    unexpected.fetch_add(1);
                }
            }
        });
    }
    void finish() {
        settersDone = true;
        thread.join();
        std::printf("grabs %d: frames %d, busy %d, failed check %d\n", calls.load(), frames.load(),
                    busy.load(), failed.load());
    }
};

TEST_F(Ostra, SettersWhileAnotherThreadGrabs) {
    open(4);
    Grabber grabber;
    grabber.start();
    const auto end = Clock::now() + 20s;
    int round = 0;
    while ((grabber.calls < 12 || round < 20) && Clock::now() < end) {
        OstraIICameraSetAnalogGain(20 + round % 200);
        OstraIICameraSetExposureTime(round % 7);
        OstraIICameraSetFrameSpeed(2 + round % 3);
        OstraIICameraSetGamma(40 + round % 100);
        OstraIICameraSetContrast(round % 60);
        OstraIICameraSetGain(60 + round % 10, 64, 70 - round % 10);
        OstraIICameraSetColorEnhancement(round % 2);
        OstraIICameraSetSaturation(100 + round % 100);
        OstraIICameraSetMonochrome(round % 5 == 0);
        OstraIICameraSetMirror(round % 2, (round / 2) % 2);
        OstraIICameraSetLongExpPower(round % 2);
        OstraIICameraSetAWBState(round % 3 == 0);
        if (round % 4 == 0) OstraIICameraRestartLongExposure(0);
        unsigned ms = 0;
        OstraIICameraGetExposureTime(&ms);
        int r = 0, g = 0, b = 0;
        if (round % 8 == 0) OstraIICameraGetGain(&r, &g, &b);
        ++round;
    }
    grabber.finish();
    EXPECT_EQ(grabber.unexpected.load(), 0) << "grab results are 1, 0 or -3 only";
    EXPECT_EQ(grabber.framesAfter.load(), 1) << "no frame came once the setters stopped";
    EXPECT_GE(round, 20);
}

TEST_F(Ostra, ModeAndWidthChangesWhileAnotherThreadGrabs) {
    open(4);
    Grabber grabber;
    grabber.start();
    const auto end = Clock::now() + 20s;
    int round = 0;
    while ((grabber.calls < 12 || round < 10) && Clock::now() < end) {
        OstraIICameraSetResolution(round % 5);
        OstraIICameraSetDataWide(round % 2);
        int w = 0, h = 0;
        OstraIICameraGetImageSize(&w, &h);
        ++round;
    }
    grabber.finish();
    EXPECT_EQ(grabber.unexpected.load(), 0);
    EXPECT_EQ(grabber.framesAfter.load(), 1);
}

}  // namespace
