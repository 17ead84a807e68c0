#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace corvalis {

// Writes `size` bytes as a new file, replacing an existing one only once the new one is
// complete (replaceFile). On failure the reason goes to standard error, the earlier
// file stays as it was, and the result is false.
bool writeWholeFile(const std::string& path, const std::uint8_t* data, std::size_t size);

}  // namespace corvalis
