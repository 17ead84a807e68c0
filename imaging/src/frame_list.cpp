#include "frame_list.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <new>

#include "camera_family.h"

namespace vantelo {

namespace {

struct FrameList {
    std::array<BufferedFrame, kFrameListCapacity> frames;
    int count = 0;
};

FrameList& frameList() {
    static FrameList list;
    return list;
}

}  // namespace

void resetFrameList() {
    releaseFrameList();
}

void releaseFrameList() {
    FrameList& list = frameList();
    for (int i = list.count - 1; i >= 0; --i)
        list.frames[static_cast<std::size_t>(i)] = BufferedFrame{};
    list.count = 0;
}

int frameCount() {
    return frameList().count;
}

const BufferedFrame* bufferedFrame(int frameNumber) {
    FrameList& list = frameList();
    if (frameNumber < 1 || frameNumber > list.count) return nullptr;
    return &list.frames[static_cast<std::size_t>(frameNumber - 1)];
}

void thumbnailSize(int width, int height, int& thumbWidth, int& thumbHeight) {
    // The scale is rounded to a float, the products are not: 3032 wide gives 199, not
    // the 200 a float product would round to.
    float scale =
        height < width ? 200.0f / static_cast<float>(width) : 150.0f / static_cast<float>(height);
    if (scale > 1.0f) scale = 1.0f;
    thumbWidth = static_cast<int>(static_cast<double>(width) * scale);
    thumbHeight = static_cast<int>(static_cast<double>(height) * scale);
}

void integrateSamples(std::uint8_t* current, const std::uint8_t* previous, std::size_t bytes,
                      bool wide) {
    if (!wide) {
        for (std::size_t i = 0; i < bytes; ++i) {
            const unsigned sum = unsigned{current[i]} + previous[i];
            current[i] = static_cast<std::uint8_t>(std::min(sum, 255u));
        }
        return;
    }
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        const unsigned a = (unsigned{current[i]} << 4) | (current[i + 1] >> 4);
        const unsigned b = (unsigned{previous[i]} << 4) | (previous[i + 1] >> 4);
        const unsigned sum = std::min(a + b, 4095u);
        current[i] = static_cast<std::uint8_t>(sum >> 4);
        current[i + 1] = static_cast<std::uint8_t>((sum & 0xF) << 4);
    }
}

int snapToFrameList(CameraRecord& record, std::uint8_t* rawFrame, int integrate,
                    const KdFrameInfo* carried) {
    FrameList& list = frameList();
    if (list.count >= kFrameListCapacity) {
        std::fprintf(stderr, "Frame list full (%d frames): clear it before capturing more.\n",
                     kFrameListCapacity);
        return KD_NOTHING_DONE;
    }
    if (!cropFitsPicture(record)) {
        std::fprintf(
            stderr,
            "Frame not buffered: the crop rectangle does not lie inside the %d x %d picture.\n",
            record.image_width, record.image_height);
        return KD_NOTHING_DONE;
    }
    const std::size_t frameBytes = rawFrameBytes(record);
    const std::size_t offset = rawDataOffset(record.camera_type);
    BufferedFrame frame;
    try {
        frame.raw = ByteBuffer::allocate(frameBytes);
    } catch (const std::bad_alloc&) {
        return KD_OUT_OF_MEMORY;
    }
    std::memcpy(frame.raw.data(), rawFrame, frameBytes);
    if (carried != nullptr) {
        frame.info = *carried;
    } else if (familyFrameInfo(record, frame.info) != KD_DONE) {
        frame.info = KdFrameInfo{};
        frame.info.mode = -1;
    }
    frame.info.combined = std::max(frame.info.combined, 1);

    if (list.count > 0 && integrate == 1) {
        const ByteBuffer& previous = list.frames[static_cast<std::size_t>(list.count - 1)].raw;
        const bool wide = record.data_width_16 != 0;
        std::size_t bytes = rawSampleBytes(record, frameBytes);
        bytes = std::min(bytes, previous.size > offset ? previous.size - offset : 0);
        if (wide) bytes &= ~std::size_t{1};
        integrateSamples(frame.raw.data() + offset, previous.data() + offset, bytes, wide);
        const KdFrameInfo& before = list.frames[static_cast<std::size_t>(list.count - 1)].info;
        frame.info.start_utc_us = before.start_utc_us;
        frame.info.exposure_s += before.exposure_s;
        frame.info.combined += before.combined;
        // The caller shows and keeps the integrated frame.
        std::memcpy(rawFrame + offset, frame.raw.data() + offset, bytes);
    }
    BufferedFrame& stored = list.frames[static_cast<std::size_t>(list.count)];
    stored = std::move(frame);
    ++list.count;

    // From here on the frame stays buffered whatever becomes of its thumbnail.
    try {
        ByteBuffer decoded;
        if (!decodeFrame(record, rawFrame, true, decoded)) {
            std::fprintf(stderr, "Frame %d buffered without a thumbnail: the decoder refused it.\n",
                         list.count);
            return KD_NOTHING_DONE;
        }
        ByteBuffer crop = cropLevelled8(record, decoded, Rows::TopFirst);
        decoded = ByteBuffer{};
        auto thumbnail = std::make_unique<CDib>();
        if (thumbnail->SetFromPixels(crop.data(), record.crop_right - record.crop_left,
                                     record.crop_bottom - record.crop_top) != 1) {
            return KD_OUT_OF_MEMORY;
        }
        crop = ByteBuffer{};
        int width = 0;
        int height = 0;
        thumbnailSize(thumbnail->Width(), thumbnail->Height(), width, height);
        // A zero side (a picture a few pixels across) keeps the picture as it is.
        if (width > 0 && height > 0 && thumbnail->Resample(width, height) != 1)
            return KD_OUT_OF_MEMORY;
        stored.thumbnail = std::move(thumbnail);
        return KD_DONE;
    } catch (const std::bad_alloc&) {
        return KD_OUT_OF_MEMORY;
    }
}

}  // namespace vantelo
