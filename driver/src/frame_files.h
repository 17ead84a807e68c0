#pragma once
#include <mutex>
#include <string>

#include "frame_reader.h"
#include "frame_stream.h"
#include "ostra.h"
#include "sensor_device.h"

namespace ostra {

// Formats of a capture, the capture export's bits; they may be combined.
//   jpeg    "<base>.jpg", 8-bit RGB, quality 75
//   bitmap  "<base>.bmp", 24-bit bottom-up
//   raw     "<base>.raw", the Bayer frame as read (16-bit samples big-endian)
//   tiff    "<base>.tif", one more page of 8 or 16 bits per sample
//   fits    "<base>.fits", the Bayer frame as read (16-bit samples in host order, the
//           12 significant bits at the top), its exposure start, exposure, gain,
//           binning and pattern (GRBG)
enum FrameFileFormat : int {
    kFrameJpeg = OSTRA_FILE_JPEG,
    kFrameBitmap = OSTRA_FILE_BMP,
    kFrameRaw = OSTRA_FILE_RAW,
    kFrameTiff = OSTRA_FILE_TIFF,
    kFrameFits = OSTRA_FILE_FITS,
};

// Results of a capture, the capture export's: done; failed (no frame came, or a file
// was not written); out of memory (a frame buffer could not be allocated).
inline constexpr int kCaptureDone = OSTRA_DONE;
inline constexpr int kCaptureFailed = OSTRA_NOTHING_DONE;
inline constexpr int kCaptureNoMemory = OSTRA_OUT_OF_MEMORY;

// Reads one fresh frame and writes it in every format `formats` asks for, each file
// named `basePath` plus its extension. A running stream (`stream` may be null) is
// stopped for the capture, so that its reader never reads at the same time, and put
// back in the state it was found in afterwards. After 100 failed reads, 20 ms apart,
// nothing is written. Every file that cannot be written is reported on standard error
// and makes the result kCaptureFailed; the other files are still written.
int captureFrameFiles(SensorDevice& device, FrameReader& reader, std::mutex& decodeLock,
                      FrameStream* stream, const std::string& basePath, int formats);

}  // namespace ostra
