#pragma once
#include <cstdint>
#include <string>

namespace corvalis {

// Adds one uncompressed RGB page (8 or 16 bits per sample, unsigned) to the TIFF file
// at `path`, creating the file when it does not exist. `topDownRgb` holds width x
// height pixels, red-green-blue, top row first, rows back to back; 16-bit samples in
// host order. On failure the reason is printed to standard error, the file is left
// exactly as it was before the call (a file created here is removed) and false is
// returned. A read-only file is refused and left alone.
//
// The page is appended in place rather than through a copy renamed over the file (which
// would rewrite every earlier page on each save of a long series): the few bytes of the
// old file that an append rewrites are kept and put back when it fails.
bool appendTiffRgb(const std::string& path, const void* topDownRgb, int width, int height,
                   int bitsPerSample);

}  // namespace corvalis
