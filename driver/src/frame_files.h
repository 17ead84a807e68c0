#pragma once
#include <mutex>
#include <string>

#include "frame_reader.h"
#include "frame_stream.h"
#include "sensor_device.h"

namespace ostra {

// Formats of a capture; the bits may be combined.
enum FrameFileFormat : int {
    kFrameJpeg = 1,    // "<base>.jpg", 8-bit RGB, quality 75
    kFrameBitmap = 2,  // "<base>.bmp", 24-bit bottom-up
    kFrameRaw = 4,     // "<base>.raw", the Bayer frame as read (16-bit samples big-endian)
    kFrameTiff = 8,    // "<base>.tif", one more page of 8 or 16 bits per sample
};

// Results of a capture.
inline constexpr int kCaptureDone = 1;
inline constexpr int kCaptureFailed = 0;     // no frame came, or a requested file was not written
inline constexpr int kCaptureNoMemory = -2;  // a frame buffer could not be allocated

// Reads one fresh frame and writes it in every format `formats` asks for, each file
// named `basePath` plus its extension. A running stream (`stream` may be null) is
// stopped for the capture, so that its reader never reads at the same time, and put
// back in the state it was found in afterwards. After 100 failed reads, 20 ms apart,
// nothing is written. Every file that cannot be written is reported on standard error
// and makes the result kCaptureFailed; the other files are still written.
int captureFrameFiles(SensorDevice& device, FrameReader& reader, std::mutex& decodeLock,
                      FrameStream* stream, const std::string& basePath, int formats);

}  // namespace ostra
