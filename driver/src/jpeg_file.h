#pragma once
#include <cstdint>
#include <string>

namespace ostra {

// Writes a baseline JPEG of `topDownRgb` (width x height pixels, red-green-blue, 8 bits
// per sample, top row first). With `colour` 0 the file holds one grey component,
// grey = truncate(0.299 red + 0.587 green + 0.114 blue); otherwise three RGB
// components. The file is written beside the target and renamed over it once complete
// (replaceFile), so a failure leaves an earlier file of that name byte for byte. The
// reason for a failure is printed to standard error. Returns false on failure.
bool writeJpeg(const std::string& path, const std::uint8_t* topDownRgb, int width, int height,
               int colour, int quality);

}  // namespace ostra
