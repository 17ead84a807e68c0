#include "frame_save.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <utility>
#include <vector>

#include "common/bmp_file.h"
#include "common/configuration_folder.h"
#include "common/tiff_file.h"
#include "common/whole_file.h"
#include "frame_fits.h"

namespace vantelo {

namespace {

void reportUnwritten(const std::string& path, int error) {
    std::fprintf(stderr, "Cannot write %s: %s\n", path.c_str(), std::strerror(error));
}

bool wholePictureCropped(const CameraRecord& record) {
    return record.crop_left == 0 && record.crop_top == 0 &&
           record.crop_right == record.image_width && record.crop_bottom == record.image_height;
}

// The raw file holds the camera's bytes unchanged: the whole frame when the crop is the
// whole picture, else as many bytes from its start as the crop has samples.
int saveRaw(const CameraRecord& record, const BufferedFrame& frame, const std::string& basePath) {
    const std::size_t sampleBytes = record.data_width_16 ? 2 : 1;
    std::size_t bytes = static_cast<std::size_t>(record.crop_right - record.crop_left) *
                        static_cast<std::size_t>(record.crop_bottom - record.crop_top) *
                        sampleBytes;
    if (wholePictureCropped(record)) {
        bytes = rawDataOffset(record.camera_type) + rawSampleBytes(record, frame.raw.size);
    }
    bytes = std::min(bytes, frame.raw.size);
    return corvalis::writeWholeFile(basePath + ".raw", frame.raw.data(), bytes) ? KD_DONE
                                                                                : KD_NOTHING_DONE;
}

bool decodeForSaving(const CameraRecord& record, const BufferedFrame& frame, bool to8,
                     ByteBuffer& decoded) {
    if (decodeStoredFrame(record, frame.raw, to8, decoded)) return true;
    std::fprintf(stderr, "Frame not saved: the decoder refused it.\n");
    return false;
}

template <typename Sample>
void swapRedBlue(Sample* pixels, std::size_t pixelCount) {
    for (std::size_t i = 0; i < pixelCount; ++i) std::swap(pixels[3 * i], pixels[3 * i + 2]);
}

int saveTiff(const CameraRecord& record, const BufferedFrame& frame, const std::string& basePath) {
    ByteBuffer decoded;
    const bool wide = record.data_width_16 != 0;
    if (!decodeForSaving(record, frame, false, decoded)) return KD_NOTHING_DONE;
    ByteBuffer crop =
        wide ? cropLevelled16(record, decoded) : cropLevelled8(record, decoded, Rows::TopFirst);
    decoded = ByteBuffer{};
    const int width = record.crop_right - record.crop_left;
    const int height = record.crop_bottom - record.crop_top;
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (wide) {
        swapRedBlue(reinterpret_cast<std::uint16_t*>(crop.data()), pixels);
    } else {
        swapRedBlue(crop.data(), pixels);
    }
    return corvalis::appendTiffRgb(basePath + ".tif", crop.data(), width, height, wide ? 16 : 8)
               ? 1
               : 0;
}

// Copies the logo into the picture's bottom-right corner when the logo loads and fits.
void stampLogo(cv::Mat& picture) {
    const std::string logoPath = corvalis::configurationFolder() + kLogoFileName;
    std::error_code error;
    if (!std::filesystem::is_regular_file(logoPath, error))
        return;  // no logo: nothing to stamp, nothing to warn
    const cv::Mat logo =
        cv::imread(logoPath, picture.channels() == 1 ? cv::IMREAD_GRAYSCALE : cv::IMREAD_COLOR);
    if (logo.empty()) return;
    if (logo.cols > picture.cols || logo.rows > picture.rows) {
        std::fprintf(stderr, "Logo %s (%d x %d) is larger than the picture; saved without it.\n",
                     logoPath.c_str(), logo.cols, logo.rows);
        return;
    }
    logo.copyTo(picture(
        cv::Rect(picture.cols - logo.cols, picture.rows - logo.rows, logo.cols, logo.rows)));
}

// The JPEG is coded in memory from the levelled crop (bottom row first) and written
// like every other file, so no temporary file ever stands beside the user's.
int saveJpeg(ByteBuffer& bottomUpBgr, int width, int height, const std::string& jpegPath) {
    const cv::Mat bottomUp(height, width, CV_8UC3, bottomUpBgr.data());
    cv::Mat picture;
    cv::flip(bottomUp, picture, 0);
    bottomUpBgr = ByteBuffer{};
    stampLogo(picture);
    std::vector<std::uint8_t> coded;
    bool encoded = false;
    try {
        encoded = cv::imencode(".jpg", picture, coded);
    } catch (const cv::Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    if (!encoded) {
        std::fprintf(stderr, "Cannot write %s: the picture could not be coded.\n",
                     jpegPath.c_str());
        return KD_NOTHING_DONE;
    }
    return corvalis::writeWholeFile(jpegPath, coded.data(), coded.size()) ? KD_DONE
                                                                          : KD_NOTHING_DONE;
}

// Bitmap rows of a width of a multiple of four pixels need no padding, so the crop is
// narrowed (or widened by one) to such a width for good, in the record. A widening
// that would pass the picture's right edge narrows instead.
int bitmapCropWidth(const CameraRecord& record) {
    const int width = record.crop_right - record.crop_left;
    const int rounded = (width + 1) & ~3;
    return record.crop_left + rounded <= record.image_width ? rounded : width & ~3;
}

int saveBitmap(CameraRecord& record, const BufferedFrame& frame, const std::string& basePath,
               bool jpeg) {
    const int width = bitmapCropWidth(record);
    const int height = record.crop_bottom - record.crop_top;
    if (width <= 0) {
        std::fprintf(stderr, "Frame not saved: a crop %d pixels wide is too narrow for a bitmap.\n",
                     record.crop_right - record.crop_left);
        return KD_NOTHING_DONE;
    }
    ByteBuffer decoded;
    if (!decodeForSaving(record, frame, true, decoded)) return KD_NOTHING_DONE;
    record.crop_right = record.crop_left + width;
    // A bitmap stores its bottom row first.
    ByteBuffer crop = cropLevelled8(record, decoded, Rows::BottomFirst);
    decoded = ByteBuffer{};
    if (jpeg) return saveJpeg(crop, width, height, basePath + ".jpg");
    const std::string bitmapPath = basePath + ".bmp";
    if (!corvalis::writeBmp24(bitmapPath, crop.data(), width, height)) {
        reportUnwritten(bitmapPath, errno);
        return KD_NOTHING_DONE;
    }
    return KD_DONE;
}

}  // namespace

int saveFrame(CameraRecord& record, const BufferedFrame& frame, const std::string& basePath) {
    if (!cropFitsPicture(record)) {
        std::fprintf(
            stderr,
            "Frame not saved: the crop rectangle does not lie inside the %d x %d picture.\n",
            record.image_width, record.image_height);
        return KD_NOTHING_DONE;
    }
    switch (record.save_format) {
        case kSaveRaw:
            return saveRaw(record, frame, basePath);
        case kSaveTiff:
            return saveTiff(record, frame, basePath);
        case kSaveJpeg:
            return saveBitmap(record, frame, basePath, true);
        case kSaveFits:
            return saveFits(record, frame, basePath);
        default:
            return saveBitmap(record, frame, basePath, false);
    }
}

}  // namespace vantelo
