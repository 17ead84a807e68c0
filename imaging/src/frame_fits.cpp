#include "frame_fits.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "camera_family.h"
#include "common/fits_file.h"
#include "ostra_frame_info.h"

namespace vantelo {

namespace {

constexpr int kModeCount = 5;
constexpr int kHalfWidthMode = 1;
// Samples summed per side of a picture pixel in each mode (mode 1 halves columns in
// the decode, not in the mosaic).
constexpr int kBinning[kModeCount] = {1, 1, 2, 3, 4};
constexpr int kSignificantBits = 12;

}  // namespace

MosaicCut mosaicCutOfCrop(const CameraRecord& record, int mode) {
    const int columnsPerPixel = mode == kHalfWidthMode ? 2 : 1;
    const int width = record.image_width;
    const int height = record.image_height;
    MosaicCut cut;
    const bool horizontal = record.mirror_1 != 0;
    const bool vertical = record.mirror_2 != 0;
    cut.left = horizontal ? width - record.crop_right : record.crop_left;
    cut.right = horizontal ? width - record.crop_left : record.crop_right;
    cut.top = vertical ? height - record.crop_bottom : record.crop_top;
    cut.bottom = vertical ? height - record.crop_top : record.crop_bottom;
    cut.left *= columnsPerPixel;
    cut.right *= columnsPerPixel;
    return cut;
}

corvalis::BayerPattern cutPattern(const MosaicCut& cut) {
    return corvalis::BayerPattern(corvalis::BayerPattern::GRBG).shifted(cut.left, cut.top);
}

int saveFits(const CameraRecord& record, const BufferedFrame& frame, const std::string& basePath) {
    if (record.camera_type != KD_FAMILY_OSTRA) {
        std::fprintf(stderr, "Frame not saved: FITS holds the first family's mosaic only.\n");
        return KD_NOTHING_DONE;
    }
    int mode = frame.info.mode;
    if (mode < 0 || mode >= kModeCount) {
        if (familyMode(record, &mode) != KD_DONE || mode < 0 || mode >= kModeCount) {
            std::fprintf(stderr, "Frame not saved: the camera's mode is not known.\n");
            return KD_NOTHING_DONE;
        }
    }
    const bool wide = record.data_width_16 != 0;
    const std::size_t sampleBytes = wide ? 2 : 1;
    const int mosaicWidth = record.image_width * (mode == kHalfWidthMode ? 2 : 1);
    const int mosaicHeight = record.image_height;
    const std::size_t needed = static_cast<std::size_t>(mosaicWidth) *
                               static_cast<std::size_t>(mosaicHeight) * sampleBytes;
    if (frame.raw.size < needed) {
        std::fprintf(stderr, "Frame not saved: %zu bytes stored, a %d x %d mosaic needs %zu.\n",
                     frame.raw.size, mosaicWidth, mosaicHeight, needed);
        return KD_NOTHING_DONE;
    }
    const MosaicCut cut = mosaicCutOfCrop(record, mode);
    const int width = cut.right - cut.left;
    const int height = cut.bottom - cut.top;
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint16_t> words;
    const std::uint8_t* stored = frame.raw.data();
    if (wide) {
        words.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    } else {
        bytes.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    }
    for (int y = 0; y < height; ++y) {
        const std::size_t from =
            (static_cast<std::size_t>(cut.top + y) * mosaicWidth + cut.left) * sampleBytes;
        const std::size_t to = static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            if (wide) {
                // The camera sends the high byte first.
                const std::uint8_t* s = stored + from + 2 * static_cast<std::size_t>(x);
                words[to + x] = static_cast<std::uint16_t>(s[0] << 8 | s[1]);
            } else {
                bytes[to + x] = stored[from + x];
            }
        }
    }

    corvalis::FitsFrameInfo info;
    info.startUtc = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::microseconds(frame.info.start_utc_us)));
    info.exposureSeconds = frame.info.exposure_s;
    info.gain = frame.info.gain;
    info.xBinning = info.yBinning = kBinning[mode];
    info.instrument = OSTRA_INSTRUMENT_NAME;
    info.software = CORVALIS_SOFTWARE;
    info.object = std::string(record.file_name, strnlen(record.file_name, sizeof record.file_name));
    info.combined = frame.info.combined;
    info.bayer = cutPattern(cut);
    info.significantBits = wide ? kSignificantBits : 0;
    const void* samples = wide ? static_cast<const void*>(words.data()) : bytes.data();
    return corvalis::writeFitsMosaic(basePath + ".fits", samples, width, height, wide ? 16 : 8,
                                     info)
               ? KD_DONE
               : KD_NOTHING_DONE;
}

}  // namespace vantelo
