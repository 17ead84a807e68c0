#pragma once
#include <cstdint>
#include <string>

namespace corvalis {

// Writes a 24-bit uncompressed bitmap: the 54-byte file and info headers (height
// positive, rows bottom-up) followed by the rows, each padded to a multiple of four
// bytes as the format requires (no padding arises for widths whose row is already a
// multiple of four bytes). `bottomUpBgr` holds width x height pixels, blue-green-red,
// bottom row first, rows back to back. An existing file is replaced only once the new
// one is complete (replaceFile). Returns false, with errno set, when the file cannot be
// written whole; the earlier file then stays as it was.
bool writeBmp24(const std::string& path, const std::uint8_t* bottomUpBgr, int width, int height);

}  // namespace corvalis
