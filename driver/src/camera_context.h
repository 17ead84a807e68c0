#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "frame_reader.h"
#include "frame_stream.h"
#include "kd_window.h"
#include "parameter_teams.h"
#include "picture_controls.h"
#include "sensor_device.h"

namespace ostra {

// The one camera of the process behind the exported functions: the sensor device,
// its frame reader, the streaming threads, the picture controls, the parameter teams
// and the grab's staging buffer, with the decode lock they share.
//
// Life: open() attaches the camera, loads the team in use and programs the sensor
// (anything failing leaves nothing behind); close() saves the team in use and stops
// the sensor; the destructor frees the rest.
class CameraContext {
  public:
    CameraContext();
    ~CameraContext();
    CameraContext(const CameraContext&) = delete;
    CameraContext& operator=(const CameraContext&) = delete;

    // False when no camera opens or a buffer cannot be allocated.
    bool open(int mode, KdWindow* display, KdWindow* notify);
    void close();

    SensorDevice& sensor() { return *device_; }
    FrameReader& reader() { return *reader_; }
    FrameStream& stream() { return *stream_; }
    PictureControls& controls() { return controls_; }
    ParameterTeams& teams() { return teams_; }
    std::mutex& decodeLock() { return decodeLock_; }

    // One frame read into staging, then the whole frame copied out; the read's result,
    // or OSTRA_NO_CAMERA when the context began closing meanwhile.
    int grab(std::uint8_t* destination);
    // What the frame the last grab copied out was (false before the first).
    bool lastGrabbed(CorvalisOstraFrame& facts);
    // Ends the grabs in progress (their reads are cancelled until each has returned)
    // and waits for them; grabs that start afterwards run as usual.
    void endGrabs();
    // The first step of closing: reads end for good, and a read in progress is
    // cancelled. The caller then waits for its exports to leave before close().
    void beginClosing();
    // Cancels the read in progress, if any.
    void cancelRead() { reader_->cancel(); }
    // The colour processor of the data width in force.
    void setWhiteBalancePending(bool pending);
    bool whiteBalancePending();
    // The gains measured or set in the processor of the data width in force, as
    // 1/64 units (truncated), made the sensor's gains.
    void adoptProcessorGains(int& red, int& green, int& blue);

  private:
    std::mutex decodeLock_;
    std::unique_ptr<SensorDevice> device_;
    std::unique_ptr<FrameReader> reader_;
    std::unique_ptr<FrameStream> stream_;
    PictureControls controls_;
    ParameterTeams teams_;
    std::vector<std::uint8_t> staging_;
    int stagingBytesPerSample_ = 1;
    CorvalisOstraFrame stagingFacts_{};  // under grabLock_, describes staging
    std::mutex grabLock_;                // one staging buffer
    // Held only to copy the facts: a grab holds grabLock_ for a whole exposure.
    std::mutex frameFactsLock_;
    CorvalisOstraFrame grabbedFacts_{};  // under frameFactsLock_
    bool grabbedAny_ = false;            // under frameFactsLock_
    // Grabs entered and left; endGrabs() waits until those entered before it have left.
    std::atomic<std::uint64_t> grabsEntered_{0};
    std::atomic<std::uint64_t> grabsLeft_{0};
};

}  // namespace ostra
