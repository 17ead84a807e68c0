#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace corvalis {

// Writes `size` bytes as a new file (an existing one is replaced). On failure the
// reason goes to standard error as "Cannot write PATH: REASON", a partly written file
// is removed, and the result is false.
bool writeWholeFile(const std::string& path, const std::uint8_t* data, std::size_t size);

}  // namespace corvalis
