#include "common/whole_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace corvalis {

bool writeWholeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "Cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    bool ok = std::fwrite(data, 1, size, file) == size;
    int error = errno;
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        std::remove(path.c_str());
        std::fprintf(stderr, "Cannot write %s: %s\n", path.c_str(), std::strerror(error));
    }
    return ok;
}

}  // namespace corvalis
