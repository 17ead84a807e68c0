// The exported functions of libostra.so: each finds the one camera context and hands
// the call to it. No exception leaves an export: running out of memory gives OSTRA_OUT_OF_MEMORY,
// anything else the export's failure result.
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <utility>

#include "camera_context.h"
#include "frame_decode.h"
#include "frame_files.h"
#include "ostra.h"
#include "ostra_frame_info.h"
#include "platform/clock.h"

using ostra::CameraContext;
using ostra::SensorDevice;
namespace device_clock = corvalis::platform::clock;

namespace {

// Init and UnInit take turns under lifeLock. The other exports find the context under
// contextLock and count themselves as its users while they run, so that a context is
// closed and freed only after every export using it has left.
std::mutex lifeLock;
std::mutex contextLock;
std::condition_variable usersLeft;
CameraContext* current = nullptr;  // under contextLock
int users = 0;                     // under contextLock
constexpr std::chrono::milliseconds kCancelRepeat{1};

constexpr int kGainWaitPolls = 10;
constexpr std::uint32_t kGainWaitMs = 100;
constexpr std::uint32_t kRestartSettleMs = 200;

// The one guard of every export: no exception leaves the library.
template <typename F>
int guarded(F&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return OSTRA_OUT_OF_MEMORY;
    } catch (...) {
        return OSTRA_NO_CAMERA;
    }
}

// Runs `body(context, sensor)` when a camera context exists, else OSTRA_NO_CAMERA.
template <typename F>
int withCamera(F&& body) {
    CameraContext* context = nullptr;
    {
        std::lock_guard lock(contextLock);
        if (current == nullptr) return OSTRA_NO_CAMERA;
        context = current;
        ++users;
    }
    struct Leave {
        ~Leave() {
            std::lock_guard lock(contextLock);
            --users;
            usersLeft.notify_all();
        }
    } leave;
    return guarded([&] { return body(*context, context->sensor()); });
}

// Takes the context away from the exports and waits until those still using it have
// left; a read any of them waits on is cancelled, again and again, until it returns.
// The caller holds lifeLock. Null when there was no context.
std::unique_ptr<CameraContext> withdrawContext() {
    std::unique_lock lock(contextLock);
    std::unique_ptr<CameraContext> context(std::exchange(current, nullptr));
    if (!context) return context;
    context->beginClosing();
    while (!usersLeft.wait_for(lock, kCancelRepeat, [] { return users == 0; }))
        context->cancelRead();
    return context;
}

// A setter that programs the sensor: as withCamera, but a request that did not reach
// the camera meanwhile (it went away) makes the result OSTRA_NO_CAMERA.
template <typename F>
int withSensor(F&& body) {
    return withCamera([&](CameraContext& c, SensorDevice& s) -> int {
        const std::uint64_t failed = s.channel().failedRequests();
        const int result = body(c, s);
        if (result == OSTRA_DONE && s.channel().failedRequests() != failed) return OSTRA_NO_CAMERA;
        return result;
    });
}

// A getter: writes through `target` when it is not null.
template <typename T, typename F>
int get(T* target, F&& value) {
    return withCamera([&](CameraContext& c, SensorDevice& s) {
        if (target == nullptr) return OSTRA_NOTHING_DONE;
        *target = static_cast<T>(value(c, s));
        return OSTRA_DONE;
    });
}

int lowByte(int value) {
    return value & 0xFF;
}
int low16(int value) {
    return value & 0xFFFF;
}

std::uint32_t rowsFor(std::uint32_t micros, float rowTime) {
    return static_cast<std::uint32_t>((static_cast<float>(micros) + rowTime - 1.0f) / rowTime);
}

}  // namespace

extern "C" {

int OstraIICameraInit(int mode, KdWindow* display, KdWindow* notify) {
    std::lock_guard life(lifeLock);
    // A context left from before is replaced whole: its grabs end and its camera is
    // released first.
    withdrawContext().reset();
    return guarded([&] {
        auto context = std::make_unique<CameraContext>();
        if (!context->open(lowByte(mode), display, notify)) return OSTRA_NO_CAMERA;
        std::lock_guard lock(contextLock);
        current = context.release();
        return OSTRA_DONE;
    });
}

int OstraIICameraUnInit(void) {
    std::lock_guard life(lifeLock);
    std::unique_ptr<CameraContext> context = withdrawContext();
    if (!context) return OSTRA_NO_CAMERA;
    return guarded([&] {
        context->close();
        return OSTRA_DONE;
    });
}

int OstraIICameraPlay(void) {
    return withCamera([](CameraContext& c, SensorDevice&) { return c.stream().play(); });
}
int OstraIICameraPause(void) {
    return withCamera([](CameraContext& c, SensorDevice&) { return c.stream().pause(); });
}
int OstraIICameraStop(void) {
    return withCamera([](CameraContext& c, SensorDevice&) {
        const int result = c.stream().stop();
        c.endGrabs();
        return result;
    });
}
int OstraIICameraSetVideoMessage(unsigned int message) {
    return withCamera([&](CameraContext& c, SensorDevice&) {
        c.stream().setVideoMessage(message);
        return OSTRA_DONE;
    });
}
int OstraIICameraDisplayEnable(int on) {
    return withCamera([&](CameraContext& c, SensorDevice&) {
        c.stream().setDisplayEnabled(on);
        return OSTRA_DONE;
    });
}

int OstraIICameraGrabFrame(unsigned char* destination) {
    return withCamera([&](CameraContext& c, SensorDevice&) {
        return destination ? c.grab(destination) : OSTRA_NOTHING_DONE;
    });
}

int OstraIICameraDecode(unsigned char* raw, unsigned char* rgb, int, int, int to8) {
    return withCamera([&](CameraContext& c, SensorDevice& s) {
        if (raw == nullptr || rgb == nullptr) return OSTRA_NOTHING_DONE;
        ostra::decodeFrame(c.decodeLock(), s.processor8(), s.processor16(), s.state().dataWidth,
                           s.frameLayout(), raw, rgb, to8 != 0);
        return OSTRA_DONE;
    });
}

int OstraIICameraCaptureFile(const char* basePath, int formats) {
    return withCamera([&](CameraContext& c, SensorDevice& s) -> int {
        if (basePath == nullptr) return OSTRA_NOTHING_DONE;
        return ostra::captureFrameFiles(s, c.reader(), c.decodeLock(), &c.stream(), basePath,
                                        formats);
    });
}

int OstraIICameraSetResolution(int mode) {
    return withSensor([&](CameraContext&, SensorDevice& s) {
        return s.setMode(lowByte(mode)) ? OSTRA_DONE : OSTRA_NOTHING_DONE;
    });
}
int OstraIICameraGetResolution(unsigned char* mode) {
    return get(mode, [](CameraContext&, SensorDevice& s) { return s.mode(); });
}
int OstraIICameraGetImageSize(int* width, int* height) {
    return withCamera([&](CameraContext&, SensorDevice& s) {
        if (width == nullptr || height == nullptr) return OSTRA_NOTHING_DONE;
        s.imageSize(*width, *height);
        return OSTRA_DONE;
    });
}

int OstraIICameraSetAeState(int on) {
    return withSensor([&](CameraContext& c, SensorDevice& s) {
        c.controls().setAeState(on, s);
        return OSTRA_DONE;
    });
}
int OstraIICameraGetAeState(int* on) {
    return get(on, [](CameraContext& c, SensorDevice&) { return c.controls().aeState(); });
}

int OstraIICameraSetExposureTime(int milliseconds) {
    return withSensor([&](CameraContext&, SensorDevice& s) {
        // The product wraps like the camera's 32-bit arithmetic.
        const std::uint32_t micros = static_cast<std::uint32_t>(milliseconds) * 1000u;
        s.setExposureRows(rowsFor(micros, s.rowTime()));
        return OSTRA_DONE;
    });
}
int OstraIICameraGetExposureTime(unsigned int* milliseconds) {
    return get(milliseconds, [](CameraContext&, SensorDevice& s) {
        return static_cast<unsigned int>(static_cast<float>(s.exposureRows()) * s.rowTime() *
                                         0.001f);
    });
}
int OstraIICameraGetRowTime(float* microseconds) {
    return get(microseconds, [](CameraContext&, SensorDevice& s) { return s.rowTime(); });
}

int OstraIICameraRestartLongExposure(int restartStreaming) {
    return withSensor([&](CameraContext& c, SensorDevice& s) {
        if (restartStreaming != 0 && c.stream().state() == ostra::FrameStream::kStreaming) {
            c.stream().stop();
            s.restart();
            device_clock::sleepMs(kRestartSettleMs);
            c.stream().play();
        } else {
            s.restart();
        }
        // A grab waiting on the abandoned exposure might never be answered.
        c.endGrabs();
        return OSTRA_DONE;
    });
}

int OstraIICameraSetLongExpPower(int on) {
    return withSensor([&](CameraContext&, SensorDevice& s) {
        s.setLongExposurePower(on);
        return OSTRA_DONE;
    });
}
int OstraIICameraGetLongExpPower(int* on) {
    return get(on, [](CameraContext&, SensorDevice& s) { return s.longExposurePower(); });
}
int OstraIICameraSetAnalogGain(int gain) {
    return withSensor([&](CameraContext&, SensorDevice& s) {
        s.setAnalogueGain(low16(gain));
        return OSTRA_DONE;
    });
}
int OstraIICameraGetAnalogGain(unsigned short* gain) {
    return get(gain, [](CameraContext&, SensorDevice& s) { return s.analogueGain(); });
}

int OstraIICameraSetAWBState(int armed) {
    return withCamera([&](CameraContext& c, SensorDevice&) {
        c.setWhiteBalancePending(armed != 0);
        return OSTRA_DONE;
    });
}
int OstraIICameraGetAWBState(int* pending) {
    return get(pending,
               [](CameraContext& c, SensorDevice&) { return c.whiteBalancePending() ? 1 : 0; });
}
int OstraIICameraSetGain(int red, int green, int blue) {
    return withCamera([&](CameraContext&, SensorDevice& s) {
        s.setGains(low16(red), low16(green), low16(blue));
        return OSTRA_DONE;
    });
}
int OstraIICameraGetGain(int* red, int* green, int* blue) {
    return withCamera([&](CameraContext& c, SensorDevice&) {
        if (red == nullptr || green == nullptr || blue == nullptr) return OSTRA_NOTHING_DONE;
        // A pending one-push balance is measured by the next decode: give it about a second.
        for (int poll = 0; poll < kGainWaitPolls && c.whiteBalancePending(); ++poll)
            device_clock::sleepMs(kGainWaitMs);
        c.adoptProcessorGains(*red, *green, *blue);
        return OSTRA_DONE;
    });
}

int OstraIICameraSetGamma(int gamma) {
    return withCamera([&](CameraContext&, SensorDevice& s) {
        s.setGamma(lowByte(gamma));
        return OSTRA_DONE;
    });
}
int OstraIICameraGetGamma(unsigned char* gamma) {
    return get(gamma, [](CameraContext&, SensorDevice& s) { return s.gamma(); });
}
int OstraIICameraSetContrast(int contrast) {
    return withCamera([&](CameraContext&, SensorDevice& s) {
        s.setContrast(lowByte(contrast));
        return OSTRA_DONE;
    });
}
int OstraIICameraGetContrast(unsigned char* contrast) {
    return get(contrast, [](CameraContext&, SensorDevice& s) { return s.contrast(); });
}
int OstraIICameraSetSaturation(int saturation) {
    return withCamera([&](CameraContext& c, SensorDevice& s) {
        c.controls().setSaturation(saturation, s);
        return OSTRA_DONE;
    });
}
int OstraIICameraGetSaturation(unsigned char* saturation) {
    return get(saturation,
               [](CameraContext& c, SensorDevice&) { return c.controls().saturation(); });
}
int OstraIICameraSetColorEnhancement(int on) {
    return withCamera([&](CameraContext& c, SensorDevice& s) {
        c.controls().setColorEnhancement(on, s);
        return OSTRA_DONE;
    });
}
int OstraIICameraGetColorEnhancement(int* on) {
    return get(on, [](CameraContext& c, SensorDevice&) { return c.controls().colorEnhancement(); });
}
int OstraIICameraSetMonochrome(int on) {
    return withCamera([&](CameraContext& c, SensorDevice& s) {
        c.controls().setMonochrome(on, s);
        return OSTRA_DONE;
    });
}
int OstraIICameraGetMonochrome(int* on) {
    return get(on, [](CameraContext& c, SensorDevice&) { return c.controls().monochrome(); });
}

int OstraIICameraSetMirror(int axis, int on) {
    return withCamera([&](CameraContext&, SensorDevice& s) {
        if (axis == 0 || axis == 1) s.setMirror(axis, on != 0);
        return OSTRA_DONE;
    });
}
int OstraIICameraGetMirror(int axis, int* on) {
    return withCamera([&](CameraContext&, SensorDevice& s) {
        if ((axis == 0 || axis == 1) && on != nullptr) *on = s.mirror(axis) ? 1 : 0;
        return OSTRA_DONE;
    });
}

int OstraIICameraSetFrameSpeed(int speed) {
    return withSensor([&](CameraContext&, SensorDevice& s) {
        const int value = lowByte(speed);
        if (value == 1 && s.dataWidth() == 2) return OSTRA_REFUSED;
        // The exposure keeps its duration across the change of row time.
        const float duration = static_cast<float>(s.exposureRows()) * s.rowTime();
        s.setFrameSpeed(value);
        const float rowTime = s.rowTime();
        s.setExposureRows(static_cast<std::uint32_t>((rowTime + duration - 1.0f) / rowTime));
        return OSTRA_DONE;
    });
}
int OstraIICameraGetFrameSpeed(unsigned char* speed) {
    return get(speed, [](CameraContext&, SensorDevice& s) { return s.frameSpeed(); });
}
int OstraIICameraSetDataWide(int wide) {
    return withSensor([&](CameraContext&, SensorDevice& s) {
        s.setDataWidth(wide != 0 ? 2 : 1);
        return OSTRA_DONE;
    });
}
int OstraIICameraGetDataWide(int* wide) {
    return get(wide, [](CameraContext&, SensorDevice& s) { return s.dataWidth() == 2 ? 1 : 0; });
}

int OstraIICameraSaveParameter(int team) {
    return withCamera([&](CameraContext& c, SensorDevice& s) {
        c.teams().save(lowByte(team), s, c.controls());
        return OSTRA_DONE;
    });
}
int OstraIICameraReadParameter(int team) {
    return withSensor([&](CameraContext& c, SensorDevice& s) {
        c.teams().read(lowByte(team), s, c.controls());
        return OSTRA_DONE;
    });
}
int OstraIICameraGetCurrentParameterTeam(unsigned char* team) {
    return get(team, [](CameraContext& c, SensorDevice&) { return c.teams().storedTeam(); });
}

int CorvalisOstraFrameInfo(CorvalisOstraFrame* info) {
    return withCamera([&](CameraContext& c, SensorDevice&) {
        if (info == nullptr) return OSTRA_NOTHING_DONE;
        return c.lastGrabbed(*info) ? OSTRA_DONE : OSTRA_NO_FRAME;
    });
}

}  // extern "C"
