#include "frame_picture.h"

#include <sys/mman.h>
#include <unistd.h>
#include <algorithm>
#include <cstring>
#include <new>

#include "camera_family.h"
#include "histogram_levels.h"
#include "kd_raw_frame.h"

namespace vantelo {

namespace {

// Larger than either family's sensor; keeps every size product far from overflow.
constexpr int kMaxSide = 16384;

std::size_t pictureArea(const CameraRecord& record) {
    return static_cast<std::size_t>(record.image_width) *
           static_cast<std::size_t>(record.image_height);
}

// The first family's picture size in its current mode, or the record's without a camera.
std::size_t firstFamilyArea(const CameraRecord& record, bool& wide) {
    int width = 0;
    int height = 0;
    int cameraWide = 0;
    wide = false;
    if (familyImageSize(record, &width, &height) != KD_DONE || width <= 0 || height <= 0)
        return pictureArea(record);
    if (familyDataWide(record, &cameraWide) == KD_DONE) wide = cameraWide != 0;
    return std::max(pictureArea(record),
                    static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
}

bool nimbusHeaderMatches(const CameraRecord& record, const std::uint8_t* raw) {
    NimbusFrameHeader header;
    std::memcpy(&header, raw, sizeof header);
    return std::memcmp(header.magic, "NBF1", 4) == 0 &&
           header.width == static_cast<std::uint32_t>(record.image_width) &&
           header.height == static_cast<std::uint32_t>(record.image_height);
}

int cropWidth(const CameraRecord& record) {
    return record.crop_right - record.crop_left;
}
int cropHeight(const CameraRecord& record) {
    return record.crop_bottom - record.crop_top;
}

}  // namespace

ByteBuffer ByteBuffer::allocate(std::size_t size) {
    ByteBuffer buffer;
    buffer.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    buffer.size = size;
    // Frames and pictures are tens of megabytes, written once from end to end: on huge
    // pages they cost a few hundred page faults instead of thousands.
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    if (size >= 2 * kHugePage) {
        const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        const auto begin = reinterpret_cast<std::uintptr_t>(buffer.data());
        const std::uintptr_t start = (begin + page - 1) & ~(page - 1);
        ::madvise(reinterpret_cast<void*>(start), begin + size - start, MADV_HUGEPAGE);
    }
    return buffer;
}

std::size_t rawDataOffset(int cameraType) {
    return KdRawHeaderBytes(cameraType);
}

bool cropFitsPicture(const CameraRecord& record) {
    const int width = record.image_width;
    const int height = record.image_height;
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide &&
           record.crop_left >= 0 && record.crop_top >= 0 && record.crop_left < record.crop_right &&
           record.crop_top < record.crop_bottom && record.crop_right <= width &&
           record.crop_bottom <= height;
}

std::size_t rawFrameBytes(const CameraRecord& record) {
    const std::size_t fallback = pictureArea(record) * 2;
    if (record.camera_type == KD_FAMILY_NIMBUS)
        return KdRawHeaderBytes(record.camera_type) + fallback;
    if (record.camera_type != KD_FAMILY_OSTRA) return fallback;
    int mode = 0;
    int cameraWide = 0;
    if (familyMode(record, &mode) != KD_DONE) return fallback;
    familyDataWide(record, &cameraWide);
    // The decode reads by the camera's data width, the frame list by the record's:
    // room for whichever is wider.
    const std::size_t bytes =
        KdRawGrabBytes(record.camera_type, mode, record.data_width_16 != 0 || cameraWide != 0,
                       record.image_width, record.image_height);
    return bytes > 0 ? bytes : fallback;
}

std::size_t rawSampleBytes(const CameraRecord& record, std::size_t frameBytes) {
    const std::size_t offset = rawDataOffset(record.camera_type);
    if (record.camera_type == KD_FAMILY_OSTRA) return frameBytes - offset;
    const std::size_t samples = pictureArea(record) * (record.data_width_16 ? 2 : 1);
    return std::min(samples, frameBytes - offset);
}

bool decodeFrame(const CameraRecord& record, std::uint8_t* raw, bool to8, ByteBuffer& decoded) {
    const std::size_t offset = rawDataOffset(record.camera_type);
    const std::size_t pixelBytes = to8 ? 3 : 6;
    std::size_t written = 0;  // bytes the decoder fills; the rest is cleared
    bool ok = true;
    if (record.camera_type == KD_FAMILY_OSTRA) {
        bool cameraWide = false;
        const std::size_t area = firstFamilyArea(record, cameraWide);
        decoded = ByteBuffer::allocate(area * pixelBytes);
        ok = decodeFamilyFrame(record, raw, decoded.data(), record.image_width, record.image_height,
                               to8 ? 1 : 0) == KD_DONE;
        if (ok) {
            int width = 0;
            int height = 0;
            familyImageSize(record, &width, &height);
            written = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3 *
                      (cameraWide && !to8 ? 2 : 1);
        }
    } else if (record.camera_type == KD_FAMILY_NIMBUS) {
        decoded = ByteBuffer::allocate(offset + pictureArea(record) * pixelBytes);
        // The decoder sizes its output from the frame's own header: only a header that
        // matches the record may reach it.
        ok = nimbusHeaderMatches(record, raw) &&
             decodeFamilyFrame(record, raw, decoded.data(), record.image_width, record.image_height,
                               0) == KD_DONE;
        if (ok) written = NIMBUS_DECODED_BYTES(pictureArea(record), 1);
    } else {
        decoded = ByteBuffer::allocate(offset + pictureArea(record) * pixelBytes);
    }
    if (!ok) return false;
    written = std::min(written, decoded.size);
    std::memset(decoded.data() + written, 0, decoded.size - written);
    return true;
}

bool decodeStoredFrame(const CameraRecord& record, const ByteBuffer& stored, bool to8,
                       ByteBuffer& decoded) {
    const std::size_t size = std::max(stored.size, rawFrameBytes(record));
    ByteBuffer raw = ByteBuffer::allocate(size);
    std::memcpy(raw.data(), stored.data(), stored.size);
    std::memset(raw.data() + stored.size, 0, size - stored.size);
    return decodeFrame(record, raw.data(), to8, decoded);
}

namespace {

// Copies the crop rectangle out of the bottom-up picture in one pass; row y of the
// upright picture is stored row H - 1 - y.
ByteBuffer copyCrop(const CameraRecord& record, const ByteBuffer& decoded, std::size_t pixelBytes,
                    Rows rows) {
    const std::uint8_t* picture = decoded.data() + rawDataOffset(record.camera_type);
    const std::size_t width = static_cast<std::size_t>(record.image_width);
    const std::size_t rowBytes = static_cast<std::size_t>(cropWidth(record)) * pixelBytes;
    const int height = cropHeight(record);
    ByteBuffer crop = ByteBuffer::allocate(rowBytes * static_cast<std::size_t>(height));
    for (int i = 0; i < height; ++i) {
        const int y = record.crop_top + (rows == Rows::TopFirst ? i : height - 1 - i);
        const std::size_t stored = static_cast<std::size_t>(record.image_height - 1 - y);
        std::memcpy(
            crop.data() + rowBytes * static_cast<std::size_t>(i),
            picture + (stored * width + static_cast<std::size_t>(record.crop_left)) * pixelBytes,
            rowBytes);
    }
    return crop;
}

}  // namespace

ByteBuffer cropLevelled8(const CameraRecord& record, const ByteBuffer& decoded, Rows rows) {
    ByteBuffer crop = copyCrop(record, decoded, 3, rows);
    applyLevels8(crop.data(), crop.size);
    return crop;
}

ByteBuffer cropLevelled16(const CameraRecord& record, const ByteBuffer& decoded) {
    ByteBuffer crop = copyCrop(record, decoded, 6, Rows::TopFirst);
    applyLevels16(reinterpret_cast<std::uint16_t*>(crop.data()), crop.size / 2);
    return crop;
}

}  // namespace vantelo
