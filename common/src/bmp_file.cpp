#include "common/bmp_file.h"

#include "common/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace corvalis {

namespace {
void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
}  // namespace

bool writeBmp24(const std::string& path, const std::uint8_t* bottomUpBgr, int width, int height) {
    if (width <= 0 || height <= 0 || bottomUpBgr == nullptr) {
        errno = EINVAL;
        return false;
    }
    const std::size_t row = static_cast<std::size_t>(width) * 3;
    const std::size_t stride = (row + 3) & ~std::size_t{3};
    const std::uint64_t dataSize =
        static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height);
    if (dataSize + 54 > 0xFFFFFFFFu) {
        errno = EFBIG;
        return false;
    }
    std::uint8_t header[54] = {};
    put16(header + 0, 0x4D42);
    put32(header + 2, static_cast<std::uint32_t>(dataSize + 54));
    put32(header + 10, 54);
    put32(header + 14, 40);
    put32(header + 18, static_cast<std::uint32_t>(width));
    put32(header + 22, static_cast<std::uint32_t>(height));
    put16(header + 26, 1);
    put16(header + 28, 24);

    std::string error;  // errno carries the reason to the caller
    return replaceFile(
        path,
        [&](std::FILE* f) {
            if (std::fwrite(header, 1, sizeof header, f) != sizeof header) return false;
            if (stride == row) return std::fwrite(bottomUpBgr, 1, dataSize, f) == dataSize;
            std::vector<std::uint8_t> padded(stride, 0);
            for (int y = 0; y < height; ++y) {
                std::memcpy(padded.data(), bottomUpBgr + row * static_cast<std::size_t>(y), row);
                if (std::fwrite(padded.data(), 1, stride, f) != stride) return false;
            }
            return true;
        },
        error);
}

}  // namespace corvalis
