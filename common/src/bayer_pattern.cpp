#include "common/bayer_pattern.h"

namespace corvalis {

const char* BayerPattern::name() const {
    static constexpr const char* kNames[] = {"RGGB", "GRBG", "GBRG", "BGGR"};
    return kNames[kind_];
}

std::int32_t BayerPattern::serColorId() const {
    // SER numbers the four mosaics from 8 in this same order.
    return 8 + static_cast<std::int32_t>(kind_);
}

}  // namespace corvalis
