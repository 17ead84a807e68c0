#pragma once
#include <cstdint>

namespace corvalis {

// The colour of the top-left 2 x 2 cell of a Bayer mosaic, read row by row: GRBG is
// green, red on the first row and blue, green on the second. The pattern of a picture
// cut out of a mosaic, or turned over, follows from the parities of where its first
// pixel came from; this type does that arithmetic once.
class BayerPattern {
  public:
    enum Kind : std::uint8_t { RGGB, GRBG, GBRG, BGGR };

    constexpr BayerPattern(Kind kind) : kind_(kind) {}

    constexpr Kind kind() const { return kind_; }
    // "RGGB", "GRBG", "GBRG" or "BGGR", as the FITS keyword BAYERPAT writes it.
    const char* name() const;
    // The SER header's ColorID for this mosaic.
    std::int32_t serColorId() const;

    // The pattern of the picture whose first pixel is pixel (x, y) of this one.
    constexpr BayerPattern shifted(int x, int y) const {
        const int column = (x & 1) ^ (kind_ & 1);
        const int row = (y & 1) ^ ((kind_ >> 1) & 1);
        return BayerPattern(static_cast<Kind>(row << 1 | column));
    }
    // The pattern of a `width` x `height` picture after it is mirrored left to right
    // and/or top to bottom: the new first pixel is the old last column or row.
    constexpr BayerPattern flipped(bool horizontal, bool vertical, int width, int height) const {
        return shifted(horizontal ? width - 1 : 0, vertical ? height - 1 : 0);
    }

    friend constexpr bool operator==(BayerPattern a, BayerPattern b) = default;

  private:
    Kind kind_;
};

}  // namespace corvalis
