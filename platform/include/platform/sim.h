#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/export.h"
#include "platform/usb.h"

// Test controls of the simulated devices. They act on the device list the USB layer
// uses when CORVALIS_CAMERA is "simulator" (a first-family camera, 0547:D002, on bus 1
// port 1) or "simulator-nimbus" (a second-family device, 0547:A004, listed only).
// Set the variable before the first USB call of the process.
namespace corvalis::platform::sim {

// Faults for the next bulk reads, one fault per read, in the order injected.
enum class Fault {
    MissingMarker,         // the header does not start with the 0x88 marker
    DoubledMarker,         // a second marker at a 512-byte boundary inside the frame
    ZeroLengthRead,        // the read returns 0 bytes at once
    Stall,                 // the read never completes until cancelled, closed or unplugged
    UnplugDuringExposure,  // the camera is unplugged halfway through the exposure
};

// What the camera keeps from the vendor requests it received.
struct CameraSettings {
    int modeValue = 0xC1;            // last 0xB4 value: 0xC1 full read-out, 0xC0 half (mode 1)
    bool halfReadout = false;        // modeValue == 0xC0
    int speed = 1;                   // 1..4, from 0xB5 0xA0..0xA3
    int bytesPerSample = 1;          // 1 (0xB9 0x0A) or 2 (0xB9 0x05)
    int gain = 25;                   // 0xB7 index 1
    int blackLevelValue = 16 * 256;  // 0xB7 index 2, as sent (level x 256)
    int blackLevel = 16;             // blackLevelValue / 256
    int exposureLow = 56;            // 0xB7 index 0x63
    int exposureHigh = 0;            // 0xB7 index 0x62
    int longExposurePowerValue = 0;  // 0xB0 value as sent, 0x00 or 0x11
    bool longExposurePower = false;
};

// One frame as the camera exposed it (fixed at its 0xB3).
struct FrameInfo {
    std::uint64_t index = 0;       // frame number of the scene (drift and noise)
    int windowX = 0, windowY = 0;  // read-out window on the chip
    int rawWidth = 0, rawHeight = 0;
    int fieldBStart = 0, fieldPairs = 0;
    int bytesPerSample = 1;
    bool header = true;  // false at frame speed 4
    double rowMicros = 0, exposureMicros = 0, readoutMicros = 0;
    int gain = 0, blackLevel = 0;
    std::size_t bytes = 0;  // header + raw frame
};

class CORVALIS_PLATFORM_API Camera {
  public:
    virtual ~Camera();
    virtual CameraSettings settings() const = 0;
    // Every request received, in wire form, oldest first.
    virtual std::vector<usb::VendorRequestBytes> requests() const = 0;
    virtual void clearRequests() = 0;
    virtual void injectFault(Fault fault) = 0;
    virtual void clearFaults() = 0;
    // Exposure rows (high x N + low), the row time and the two durations for the
    // current settings, in device microseconds.
    virtual long exposureRows() const = 0;
    virtual double rowMicros() const = 0;
    virtual double exposureMicros() const = 0;
    virtual double readoutMicros() const = 0;
    // The frame the last 0xB3 started (index 0 before any), and the last one a read
    // delivered.
    virtual FrameInfo lastStarted() const = 0;
    virtual FrameInfo lastDelivered() const = 0;
    // The de-interlaced picture of `frame` (rawWidth x rawHeight, 12-bit values) as the
    // scene rendered it; rows from 2 x fieldPairs on are not sent and are 0 here.
    virtual std::vector<std::uint16_t> expectedPicture(const FrameInfo& frame) const = 0;
    virtual int waitingReads() const = 0;  // bulk reads blocked right now
    // Bulk reads held by an injected stall right now: a test sees the stall taken
    // before it acts on it, and ended afterwards.
    virtual int stalledReads() const = 0;
    virtual bool plugged() const = 0;
};

// True when CORVALIS_CAMERA selects the simulated devices.
CORVALIS_PLATFORM_API bool active();

// The camera of the first simulated camera device in list order (what openDevice
// opens), null when none is plugged.
CORVALIS_PLATFORM_API std::shared_ptr<Camera> camera();

// Plugs a device at `where` (vendor, product, bus, port path); with `withCamera` it
// is a simulated camera that opens and answers, else it is only listed. Fires a
// hot-plug arrival. Returns its handle (> 0).
CORVALIS_PLATFORM_API int plug(const usb::DeviceInfo& where, bool withCamera);
// Unplugs a device: its reads end with 0, later requests give -1, it leaves the list
// and a hot-plug removal fires. False for an unknown handle.
CORVALIS_PLATFORM_API bool unplug(int handle);
CORVALIS_PLATFORM_API std::shared_ptr<Camera> cameraOf(int handle);
// Handles of the plugged devices, in plug order.
CORVALIS_PLATFORM_API std::vector<int> devices();
// Unplugs everything and plugs the default device of CORVALIS_CAMERA anew, with a
// camera in its power-on state. Returns its handle.
CORVALIS_PLATFORM_API int reset();

}  // namespace corvalis::platform::sim
