#pragma once
#include <cstddef>
#include <cstdint>

#include "mode_geometry.h"

namespace ostra {

inline constexpr std::size_t kFrameHeaderBytes = 512;
inline constexpr std::uint8_t kFrameStartMarker = 0x88;
inline constexpr int kFrameStartMarkerLength = 10;

// Bytes of one read-out as the sensor sends it (after the header).
std::size_t rawFrameBytes(const ModeGeometry& g, int bytesPerSample);
// The length a frame read gives the channel: the raw size rounded up to whole
// 512-byte blocks with one block to spare.
std::size_t readLength(const ModeGeometry& g, int bytesPerSample);
// What the channel then asks the camera for (it rounds once more): room for the
// header and the frame.
std::size_t readRequestBytes(const ModeGeometry& g, int bytesPerSample);
// Bytes of the built frame (processing width x height samples).
std::size_t builtFrameBytes(const ModeGeometry& g, int bytesPerSample);

// The integrity check of one read of `length` bytes: more than ten bytes; the first
// ten are the frame-start marker unless the frame speed is 4 (no header then); and
// no later 512-byte block starts with the marker (a second frame in the read).
bool frameIntact(const std::uint8_t* data, std::size_t length, int frameSpeed);

// Builds the frame callers see from one read-out: skips the header (absent at frame
// speed 4), de-interlaces the two fields, crops the mode's window and, in modes 2-4,
// sums same-colour samples 2 x 2, 3 x 3 or 4 x 4 (saturating at full scale; 16-bit
// samples read and written big-endian). `read` holds at least the header (if any)
// and rawFrameBytes(); `target` receives builtFrameBytes(). All in one pass, with no
// buffer of its own.
void buildFrame(const ModeGeometry& g, int bytesPerSample, bool hasHeader, const std::uint8_t* read,
                std::uint8_t* target);

}  // namespace ostra
