#include "common/whole_file.h"

#include <cstdio>

#include "common/atomic_file.h"

namespace corvalis {

bool writeWholeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::string error;
    const bool ok = replaceFile(
        path, [&](std::FILE* file) { return std::fwrite(data, 1, size, file) == size; }, error);
    if (!ok) std::fprintf(stderr, "%s\n", error.c_str());
    return ok;
}

}  // namespace corvalis
