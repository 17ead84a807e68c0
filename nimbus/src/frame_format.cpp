#include "frame_format.h"

#include <array>
#include <cstring>

namespace corvalis::nimbus {

namespace {
constexpr char kMagic[4] = {'N', 'B', 'F', '1'};

constexpr std::array<Resolution, NIMBUS_RESOLUTION_COUNT> kResolutions = {{
    {2584, 1936, 1, false},
    {1272, 952, 2, false},
    {632, 472, 4, false},
    {1272, 952, 2, true},
    {632, 472, 4, true},
}};
}  // namespace

const Resolution* resolution(int number) {
    if (number < 0 || number >= static_cast<int>(kResolutions.size())) return nullptr;
    return &kResolutions[static_cast<std::size_t>(number)];
}

void writeHeader(std::uint8_t* raw, const NimbusFrameHeader& header) {
    std::memset(raw, 0, NIMBUS_HEADER_BYTES);
    NimbusFrameHeader h = header;
    std::memcpy(h.magic, kMagic, sizeof kMagic);
    std::memcpy(raw, &h, sizeof h);
}

std::optional<NimbusFrameHeader> readHeader(const std::uint8_t* raw) {
    NimbusFrameHeader h;
    std::memcpy(&h, raw, sizeof h);
    if (std::memcmp(h.magic, kMagic, sizeof kMagic) != 0) return std::nullopt;
    const Resolution* r = resolution(h.resolution);
    if (r == nullptr) return std::nullopt;
    if (h.width != static_cast<std::uint32_t>(r->width) ||
        h.height != static_cast<std::uint32_t>(r->height)) {
        return std::nullopt;
    }
    return h;
}

}  // namespace corvalis::nimbus
