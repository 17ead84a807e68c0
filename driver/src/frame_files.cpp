#include "frame_files.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "common/bmp_file.h"
#include "common/fits_file.h"
#include "common/tiff_file.h"
#include "common/whole_file.h"
#include "frame_decode.h"
#include "jpeg_file.h"
#include "ostra_frame_info.h"
#include "platform/clock.h"

namespace ostra {

namespace {

constexpr int kReadTries = 100;
constexpr std::uint32_t kRetrySleepMs = 20;
constexpr int kJpegQuality = 75;
constexpr int kSignificantBits = 12;

// Stops a running stream for the length of a capture and leaves it as it was found.
// A paused stream is stopped too: its reader may still be finishing a read, and two
// reads must never share the reader.
class StreamHold {
  public:
    explicit StreamHold(FrameStream* stream)
        : stream_(stream), found_(stream ? stream->state() : FrameStream::kStopped) {
        if (found_ != FrameStream::kStopped) stream_->stop();
    }
    ~StreamHold() {
        if (found_ == FrameStream::kStopped) return;
        stream_->play();
        if (found_ == FrameStream::kPaused) stream_->pause();
    }
    StreamHold(const StreamHold&) = delete;
    StreamHold& operator=(const StreamHold&) = delete;

  private:
    FrameStream* stream_;
    int found_;
};

// The decode's bottom-up blue-green-red picture as top-down red-green-blue rows, the
// order JPEG and TIFF files keep.
template <typename Sample>
void toTopDownRgb(const std::uint8_t* bottomUpBgr, std::uint8_t* topDownRgb, int width,
                  int height) {
    constexpr std::size_t s = sizeof(Sample);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3 * s;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = bottomUpBgr + rowBytes * static_cast<std::size_t>(height - 1 - y);
        std::uint8_t* out = topDownRgb + rowBytes * static_cast<std::size_t>(y);
        for (int x = 0; x < width; ++x, in += 3 * s, out += 3 * s) {
            std::memcpy(out, in + 2 * s, s);
            std::memcpy(out + s, in + s, s);
            std::memcpy(out + 2 * s, in, s);
        }
    }
}

// 16-bit host-order samples to 8 bits by their high byte, packed in place.
void keepHighBytes(std::uint8_t* picture, std::size_t samples) {
    for (std::size_t i = 0; i < samples; ++i) {
        std::uint16_t v;
        std::memcpy(&v, picture + 2 * i, 2);
        picture[i] = static_cast<std::uint8_t>(v >> 8);
    }
}

// The mosaic as read, 16-bit samples (sent high byte first) turned to host order.
bool writeMosaicFits(const std::string& path, const std::uint8_t* raw, int width, int height,
                     int bytesPerSample, int binning, const CorvalisOstraFrame& facts) {
    corvalis::FitsFrameInfo info;
    info.startUtc = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::microseconds(facts.start_utc_us)));
    info.exposureSeconds = facts.exposure_s;
    info.gain = facts.gain;
    info.xBinning = info.yBinning = binning;
    info.instrument = OSTRA_INSTRUMENT_NAME;
    info.software = CORVALIS_SOFTWARE;
    info.bayer = corvalis::BayerPattern(corvalis::BayerPattern::GRBG);
    if (bytesPerSample == 1) return corvalis::writeFitsMosaic(path, raw, width, height, 8, info);
    info.significantBits = kSignificantBits;
    std::vector<std::uint16_t> words(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < words.size(); ++i)
        words[i] = static_cast<std::uint16_t>(raw[2 * i] << 8 | raw[2 * i + 1]);
    return corvalis::writeFitsMosaic(path, words.data(), width, height, 16, info);
}

}  // namespace

int captureFrameFiles(SensorDevice& device, FrameReader& reader, std::mutex& decodeLock,
                      FrameStream* stream, const std::string& basePath, int formats) {
    StreamHold hold(stream);
    const FrameLayout layout = device.frameLayout();
    const bool decode = (formats & (kFrameJpeg | kFrameBitmap | kFrameTiff)) != 0;
    std::vector<std::uint8_t> raw, picture, converted;
    try {
        // The reader may deliver a frame of any mode, should the mode change meanwhile.
        raw.resize(FrameReader::maxFrameBytes());
        if (decode) picture.resize(decodedBytes(layout, 2, false));
        if (formats & (kFrameJpeg | kFrameTiff)) converted.resize(picture.size());
    } catch (const std::bad_alloc&) {
        return kCaptureNoMemory;
    }

    int bytesPerSample = 1;
    CorvalisOstraFrame facts{};
    bool haveFrame = false;
    for (int tries = 0; tries < kReadTries && !haveFrame && !reader.closed(); ++tries) {
        haveFrame = reader.read(raw.data(), bytesPerSample, facts) == FrameReader::kDelivered;
        if (!haveFrame) corvalis::platform::clock::sleepMs(kRetrySleepMs);
    }
    if (!haveFrame) {
        std::fprintf(stderr, "%s: no frame from the camera after %d reads\n", basePath.c_str(),
                     kReadTries);
        return kCaptureFailed;
    }
    // The whole mosaic the decode consumes (in mode 1 twice the picture's width).
    const std::size_t frameBytes = static_cast<std::size_t>(layout.width) *
                                   static_cast<std::size_t>(layout.height) *
                                   static_cast<std::size_t>(bytesPerSample);
    if (frameBytes == 0 || frameBytes > raw.size()) {
        std::fprintf(stderr, "%s: the frame does not fit the current mode\n", basePath.c_str());
        return kCaptureFailed;
    }

    bool ok = true;
    if (formats & kFrameRaw)
        ok = corvalis::writeWholeFile(basePath + ".raw", raw.data(), frameBytes) && ok;
    // Before the decode, which reworks the samples in place.
    if (formats & kFrameFits) {
        try {
            ok = writeMosaicFits(basePath + ".fits", raw.data(), layout.width, layout.height,
                                 bytesPerSample, device.geometry().binning, facts) &&
                 ok;
        } catch (const std::bad_alloc&) {
            return kCaptureNoMemory;
        }
    }
    if (!decode) return ok ? kCaptureDone : kCaptureFailed;

    if (!decodeFrame(decodeLock, device.processor8(), device.processor16(), bytesPerSample, layout,
                     raw.data(), picture.data(), false)) {
        std::fprintf(stderr, "%s: the frame could not be decoded\n", basePath.c_str());
        return kCaptureFailed;
    }
    const int width = layout.outputWidth;
    const int height = layout.outputHeight;
    if (formats & kFrameTiff) {
        if (bytesPerSample == 2)
            toTopDownRgb<std::uint16_t>(picture.data(), converted.data(), width, height);
        else
            toTopDownRgb<std::uint8_t>(picture.data(), converted.data(), width, height);
        ok = corvalis::appendTiffRgb(basePath + ".tif", converted.data(), width, height,
                                     8 * bytesPerSample) &&
             ok;
    }
    if (bytesPerSample == 2)
        keepHighBytes(picture.data(), static_cast<std::size_t>(width) * height * 3);
    if (formats & kFrameJpeg) {
        toTopDownRgb<std::uint8_t>(picture.data(), converted.data(), width, height);
        ok = writeJpeg(basePath + ".jpg", converted.data(), width, height, 1, kJpegQuality) && ok;
    }
    if (formats & kFrameBitmap) {
        const std::string path = basePath + ".bmp";
        if (!corvalis::writeBmp24(path, picture.data(), width, height)) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), std::strerror(errno));
            ok = false;
        }
    }
    return ok ? kCaptureDone : kCaptureFailed;
}

}  // namespace ostra
