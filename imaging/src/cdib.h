#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "vantelo.h"

// One picture as a packed device-independent bitmap in one owned byte block: the
// 40-byte information header, the colour table (4 bytes an entry), then the rows bottom
// row first, each padded to a multiple of 4 bytes. An empty picture has no block.
// Operations that build a new block leave the old picture in place when they fail.
class CDib {
  public:
    CDib() = default;
    CDib(const CDib&) = delete;
    CDib& operator=(const CDib&) = delete;
    CDib(CDib&&) noexcept = default;
    CDib& operator=(CDib&&) noexcept = default;

    // A new zeroed picture; bit counts are raised to 1, 4, 8 or 24 (8 bits get the grey
    // table). 1 done, 0 refused (size or memory).
    int CreateBlank(int width, int height, int bits);
    // A 24-bit picture from packed top-down rows of width x 3 bytes. A null `pixels`
    // does nothing. 1 done, 0 refused.
    int SetFromPixels(const unsigned char* pixels, int width, int height);
    // Reads a BMP file holding an uncompressed bottom-up picture of 1, 4, 8, 24 or 32
    // bits; 1 done, 0 refused (the picture stays as it was). Every size in the file is
    // checked against the file's length before it is used.
    int LoadBmpFile(const char* path);
    // Nearest-neighbour resampling to a new 24-bit picture (indexed pixels through
    // their colour table); the same size leaves the picture as it is. 0 for a zero size.
    int Resample(int width, int height);
    // Draws the picture stretched into `rect`.
    void DrawStretched(QPainter* dc, const RECT* rect) const;
    // The picture as a new QImage the caller deletes; null for an empty picture.
    QImage* MakeBitmap(QPainter* dc) const;

    // Makes the picture a 24-bit one of width x height whose rows the caller then fills
    // (bottom row first, Stride(width, 24) bytes apart, padding left alone); the block
    // is reused when it already has that form. Null when refused, the picture unchanged.
    unsigned char* PrepareRows24(int width, int height);

    int Width() const;
    int Height() const;
    int BitCount() const;
    // Entries of the colour table: the header's used-colours count, else 2, 16 or 256
    // for 1, 4 or 8 bits, else none.
    int ColorCount() const;
    bool IsEmpty() const { return block_.empty(); }
    // The whole packed block (header, colour table, rows).
    const std::vector<std::uint8_t>& Block() const { return block_; }
    // Bytes per stored row of a picture of this width and bit count.
    static std::size_t Stride(int width, int bits);

    // Largest side and largest block a picture may have.
    static constexpr int kMaxSide = 1 << 16;
    static constexpr std::size_t kMaxBlockBytes = std::size_t{1} << 30;

  private:
    const std::uint8_t* Rows() const;
    // Blue, green, red of the pixel at stored row `row` (bottom row 0) and column `col`.
    void PixelBgr(int row, int col, std::uint8_t bgr[3]) const;
    // The rows in storage order as a 24-bit image: a view of the block for 24-bit
    // pictures, a converted copy for the others. Null for an empty picture.
    QImage StorageImage() const;

    std::vector<std::uint8_t> block_;
};
