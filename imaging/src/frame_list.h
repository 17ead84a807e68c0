#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "cdib.h"
#include "frame_picture.h"
#include "kd_frame_info.h"
#include "vantelo.h"

// The process-wide list of captured frames and their thumbnails.
namespace vantelo {

// Frame numbers run from 1 to this; a further snap is refused.
inline constexpr int kFrameListCapacity = 50;

// One captured frame: its raw data exactly as the camera delivered it (integrated
// onto the previous frame when asked) and its thumbnail, which is null when it could
// not be made. Keeping the thumbnail with its frame means a missing one never shifts
// the others onto the wrong frame numbers.
struct BufferedFrame {
    ByteBuffer raw;
    KdFrameInfo info{};  // start 0 when the camera family could not tell
    std::unique_ptr<CDib> thumbnail;
};

// Frees every raw frame and sets the count to 0. The thumbnails go with their frames:
// no frame number can reach them any more.
void resetFrameList();
// Frees every raw frame and every thumbnail and sets the count to 0.
void releaseFrameList();

int frameCount();
// The frame with this number, or null outside 1 .. frameCount().
const BufferedFrame* bufferedFrame(int frameNumber);

// Appends the raw frame in `rawFrame` (rawFrameBytes(record) bytes) as the next frame,
// integrated onto the previous one when `integrate` is 1 (never for the first), leaves
// the integrated samples in `rawFrame` too, decodes it there and makes the thumbnail.
// 1 done; 0 refused (list full, record unusable: nothing stored) or the frame could
// not be decoded (stored without a thumbnail); -2 out of memory (nothing stored, or
// stored without a thumbnail when only the picture failed).
// The frame keeps `carried` as its information, or without it the information of the
// family's last grab; integrated, it keeps the previous frame's start and adds up the
// exposures and frame counts.
int snapToFrameList(CameraRecord& record, std::uint8_t* rawFrame, int integrate,
                    const KdFrameInfo* carried = nullptr);

// Thumbnail size for a picture of width x height: the longer side brought down to 200
// (width) or 150 (height), never up. The scale is a 32-bit float and the sizes its
// truncated products with the picture's sides, as the browser's cells expect.
void thumbnailSize(int width, int height, int& thumbWidth, int& thumbHeight);

// Adds `previous` onto `current` sample by sample with saturation: 16-bit samples as
// the camera packs them (high byte first, 12 significant bits) up to 4095, bytes up
// to 255.
void integrateSamples(std::uint8_t* current, const std::uint8_t* previous, std::size_t bytes,
                      bool wide);

}  // namespace vantelo
