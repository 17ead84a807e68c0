#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "vantelo.h"

// The way from a buffered raw frame to the picture the user sees: the decode of the
// camera's family, rows turned upright, the crop rectangle cut out and the levels
// applied. Shared by the thumbnail, the full-size display and the saved files.
namespace vantelo {

// An owned byte buffer whose contents start undefined.
struct ByteBuffer {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t size = 0;

    // Throws std::bad_alloc when the memory cannot be had.
    static ByteBuffer allocate(std::size_t size);
    std::uint8_t* data() const { return bytes.get(); }
};

// Where the samples (and the decoded picture) start in a frame buffer: the second
// family puts a header of its own in front of both.
std::size_t rawDataOffset(int cameraType);

// True when the record's picture size is plausible and its crop rectangle is a
// non-empty rectangle inside the picture, so that cropping stays inside the frame.
bool cropFitsPicture(const CameraRecord& record);

// Bytes of one raw frame as the record's camera delivers it, header included. The
// first family's frame is the whole Bayer read-out of the camera's current mode (in
// mode 1 twice the picture's width); without a camera it falls back to W x H x 2.
// The second family's buffer is sized W x H x 2 past its header, the room the frame
// list's integration and copy-back work in.
std::size_t rawFrameBytes(const CameraRecord& record);

// Bytes of samples from rawDataOffset() that make up the frame, for integration and
// for a raw file of the whole frame.
std::size_t rawSampleBytes(const CameraRecord& record, std::size_t frameBytes);

// Decodes `raw` with the decoder of the record's camera family into a new buffer;
// the picture (bottom-up, blue-green-red) starts at rawDataOffset(). `to8` asks the
// first family for 8-bit output whatever the data width. The first family's decode
// reworks `raw` in place (16-bit samples are byte-swapped). Camera types without a
// decoder give a black picture. False when the decoder refused the frame.
bool decodeFrame(const CameraRecord& record, std::uint8_t* raw, bool to8, ByteBuffer& decoded);

// Decodes a copy of a stored frame, so that the stored bytes stay as captured. The copy
// is padded with zeros to the whole frame of the camera's current mode, which is what
// the first family's decoder reads.
bool decodeStoredFrame(const CameraRecord& record, const ByteBuffer& stored, bool to8,
                       ByteBuffer& decoded);

// Row order of a cut-out picture.
enum class Rows { TopFirst, BottomFirst };

// The crop rectangle of a decoded (bottom-up) picture as it stands upright, levelled:
// crop width x crop height pixels of 3 bytes (8-bit) or of three 16-bit samples in
// host order (16-bit), rows in the order asked for. The crop must fit the picture
// (cropFitsPicture).
ByteBuffer cropLevelled8(const CameraRecord& record, const ByteBuffer& decoded, Rows rows);
ByteBuffer cropLevelled16(const CameraRecord& record, const ByteBuffer& decoded);

}  // namespace vantelo
