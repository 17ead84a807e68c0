#include "cdib.h"

#include <QImage>
#include <QPainter>
#include <QTransform>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr std::size_t kInfoHeaderBytes = 40;
constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::uint32_t kCoreHeaderBytes = 12;
constexpr int kMaxColours = 256;

// Offsets in the information header.
constexpr std::size_t kWidthAt = 4, kHeightAt = 8, kPlanesAt = 12, kBitsAt = 14,
                      kCompressionAt = 16, kImageSizeAt = 20, kUsedColoursAt = 32;

std::uint32_t get32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}
std::uint16_t get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

int raisedBitCount(int bits) {
    if (bits <= 1) return 1;
    if (bits <= 4) return 4;
    if (bits <= 8) return 8;
    return 24;
}

int defaultColours(int bits) {
    return bits == 1 ? 2 : bits == 4 ? 16 : bits == 8 ? 256 : 0;
}

// Bytes of the pixel rows, or 0 when the picture would be too large to hold.
std::size_t imageBytes(int width, int height, int bits) {
    if (width <= 0 || height <= 0 || width > CDib::kMaxSide || height > CDib::kMaxSide) return 0;
    const std::size_t bytes = CDib::Stride(width, bits) * static_cast<std::size_t>(height);
    return bytes <= CDib::kMaxBlockBytes ? bytes : 0;
}

void writeHeader(std::uint8_t* h, int width, int height, int bits, std::size_t image,
                 int usedColours) {
    put32(h, kInfoHeaderBytes);
    put32(h + kWidthAt, static_cast<std::uint32_t>(width));
    put32(h + kHeightAt, static_cast<std::uint32_t>(height));
    put16(h + kPlanesAt, 1);
    put16(h + kBitsAt, static_cast<std::uint16_t>(bits));
    put32(h + kImageSizeAt, static_cast<std::uint32_t>(image));
    put32(h + kUsedColoursAt, static_cast<std::uint32_t>(usedColours));
}

// A file read through stdio that knows its own length, closed on every path.
class BmpReader {
  public:
    explicit BmpReader(const char* path) : f_(std::fopen(path, "rb")) {
        if (f_ != nullptr && fseeko(f_, 0, SEEK_END) == 0) {
            const off_t end = ftello(f_);
            if (end >= 0 && fseeko(f_, 0, SEEK_SET) == 0) length_ = static_cast<std::uint64_t>(end);
        }
    }
    ~BmpReader() {
        if (f_ != nullptr) std::fclose(f_);
    }
    BmpReader(const BmpReader&) = delete;
    BmpReader& operator=(const BmpReader&) = delete;

    bool ok() const { return f_ != nullptr; }
    std::uint64_t length() const { return length_; }
    // Reads exactly `count` bytes at `offset`, which must lie inside the file.
    bool readAt(std::uint64_t offset, std::uint8_t* out, std::size_t count) {
        if (offset > length_ || count > length_ - offset) return false;
        if (count == 0) return true;
        if (fseeko(f_, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
        return std::fread(out, 1, count, f_) == count;
    }

  private:
    std::FILE* f_;
    std::uint64_t length_ = 0;
};

}  // namespace

std::size_t CDib::Stride(int width, int bits) {
    if (width <= 0 || bits <= 0) return 0;
    return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32 * 4;
}

int CDib::Width() const {
    return block_.empty() ? 0 : static_cast<std::int32_t>(get32(block_.data() + kWidthAt));
}
int CDib::Height() const {
    return block_.empty() ? 0 : static_cast<std::int32_t>(get32(block_.data() + kHeightAt));
}
int CDib::BitCount() const {
    return block_.empty() ? 0 : get16(block_.data() + kBitsAt);
}

int CDib::ColorCount() const {
    if (block_.empty()) return 0;
    const std::uint32_t used = get32(block_.data() + kUsedColoursAt);
    return used != 0 ? static_cast<int>(used) : defaultColours(BitCount());
}

const std::uint8_t* CDib::Rows() const {
    return block_.data() + kInfoHeaderBytes + 4 * ColorCount();
}

int CDib::CreateBlank(int width, int height, int bits) {
    bits = raisedBitCount(bits);
    const std::size_t image = imageBytes(width, height, bits);
    if (image == 0) return 0;
    const int colours = defaultColours(bits);
    std::vector<std::uint8_t> block;
    try {
        block.assign(kInfoHeaderBytes + 4 * static_cast<std::size_t>(colours) + image, 0);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    writeHeader(block.data(), width, height, bits, image, 0);
    if (bits == 8) {
        std::uint8_t* table = block.data() + kInfoHeaderBytes;
        for (int i = 0; i < 256; ++i)
            table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = static_cast<std::uint8_t>(i);
    }
    block_ = std::move(block);
    return 1;
}

unsigned char* CDib::PrepareRows24(int width, int height) {
    const bool sameForm = !block_.empty() && BitCount() == 24 && ColorCount() == 0 &&
                          Width() == width && Height() == height && width > 0 && height > 0;
    if (!sameForm && CreateBlank(width, height, 24) == 0) return nullptr;
    return block_.data() + kInfoHeaderBytes;
}

int CDib::SetFromPixels(const unsigned char* pixels, int width, int height) {
    if (pixels == nullptr) return 0;
    unsigned char* rows = PrepareRows24(width, height);
    if (rows == nullptr) return 0;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    const std::size_t stride = Stride(width, 24);
    // Source rows run top-down; stored rows bottom-up.
    for (int i = 0; i < height; ++i)
        std::memcpy(rows + static_cast<std::size_t>(height - 1 - i) * stride, pixels + i * rowBytes,
                    rowBytes);
    return 1;
}

void CDib::PixelBgr(int row, int col, std::uint8_t bgr[3]) const {
    const std::uint8_t* line = Rows() + static_cast<std::size_t>(row) * Stride(Width(), BitCount());
    const int bits = BitCount();
    if (bits == 24 || bits == 32) {
        const std::uint8_t* p = line + static_cast<std::size_t>(col) * (bits / 8);
        bgr[0] = p[0], bgr[1] = p[1], bgr[2] = p[2];
        return;
    }
    int index = 0;
    if (bits == 8) index = line[col];
    if (bits == 4) index = (line[col / 2] >> (col % 2 == 0 ? 4 : 0)) & 0x0F;
    if (bits == 1) index = (line[col / 8] >> (7 - col % 8)) & 1;
    // An index past a short colour table shows black.
    if (index >= ColorCount()) {
        bgr[0] = bgr[1] = bgr[2] = 0;
        return;
    }
    const std::uint8_t* entry =
        block_.data() + kInfoHeaderBytes + 4 * static_cast<std::size_t>(index);
    bgr[0] = entry[0], bgr[1] = entry[1], bgr[2] = entry[2];
}

int CDib::LoadBmpFile(const char* path) {
    if (path == nullptr) return 0;
    try {
        BmpReader file(path);
        if (!file.ok()) return 0;
        std::uint8_t fileHeader[kFileHeaderBytes];
        std::uint8_t info[kInfoHeaderBytes];
        if (!file.readAt(0, fileHeader, sizeof fileHeader) || fileHeader[0] != 'B' ||
            fileHeader[1] != 'M')
            return 0;
        if (!file.readAt(kFileHeaderBytes, info, sizeof info)) return 0;
        // The older 12-byte core header is not read; later, longer headers start with
        // the same 40 bytes and are read as those.
        const std::uint32_t headerBytes = get32(info);
        if (headerBytes == kCoreHeaderBytes || headerBytes < kInfoHeaderBytes) return 0;
        const auto width = static_cast<std::int32_t>(get32(info + kWidthAt));
        const auto height = static_cast<std::int32_t>(get32(info + kHeightAt));
        const int bits = get16(info + kBitsAt);
        // Only uncompressed bottom-up pictures of the depths the drawing understands.
        if (get32(info + kCompressionAt) != 0) return 0;
        if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return 0;
        const std::size_t image = imageBytes(width, height, bits);
        if (image == 0) return 0;
        const std::uint32_t declaredImage = get32(info + kImageSizeAt);
        if (declaredImage != 0 && declaredImage < image) return 0;
        const std::uint32_t used = get32(info + kUsedColoursAt);
        if (used > kMaxColours) return 0;
        const int colours = used != 0 ? static_cast<int>(used) : defaultColours(bits);

        const std::uint64_t tableAt = kFileHeaderBytes + std::uint64_t{headerBytes};
        const std::uint32_t pixelOffset = get32(fileHeader + 10);
        const std::uint64_t pixelsAt =
            pixelOffset != 0 ? pixelOffset : tableAt + 4 * std::uint64_t(colours);
        if (pixelsAt < tableAt) return 0;  // rows inside the headers
        // Sizes are checked against the file before anything is allocated for them.
        if (tableAt + 4 * std::uint64_t(colours) > file.length() ||
            pixelsAt + image > file.length())
            return 0;

        std::vector<std::uint8_t> block(
            kInfoHeaderBytes + 4 * static_cast<std::size_t>(colours) + image, 0);
        std::memcpy(block.data(), info, kInfoHeaderBytes);
        // The block always carries a plain 40-byte header describing exactly its rows.
        put32(block.data(), kInfoHeaderBytes);
        put16(block.data() + kPlanesAt, 1);
        put32(block.data() + kImageSizeAt, static_cast<std::uint32_t>(image));
        if (!file.readAt(tableAt, block.data() + kInfoHeaderBytes,
                         4 * static_cast<std::size_t>(colours)))
            return 0;
        if (!file.readAt(pixelsAt, block.data() + kInfoHeaderBytes + 4 * colours, image)) return 0;
        block_ = std::move(block);
        return 1;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

int CDib::Resample(int width, int height) {
    if (block_.empty() || width <= 0 || height <= 0) return 0;
    const int oldWidth = Width(), oldHeight = Height();
    if (width == oldWidth && height == oldHeight) return 1;
    CDib resampled;
    if (resampled.CreateBlank(width, height, 24) == 0) return 0;
    const float rh = static_cast<float>(static_cast<double>(oldHeight) / height);
    const float rw = static_cast<float>(static_cast<double>(oldWidth) / width);
    std::uint8_t* rows = resampled.block_.data() + kInfoHeaderBytes;
    const std::size_t stride = Stride(width, 24);
    for (int i = 0; i < height; ++i) {
        const int sourceRow = std::min(static_cast<int>(rh * static_cast<float>(i)), oldHeight - 1);
        std::uint8_t* out = rows + static_cast<std::size_t>(i) * stride;
        for (int j = 0; j < width; ++j) {
            const int sourceCol =
                std::min(static_cast<int>(rw * static_cast<float>(j)), oldWidth - 1);
            PixelBgr(sourceRow, sourceCol, out + 3 * static_cast<std::size_t>(j));
        }
    }
    block_ = std::move(resampled.block_);
    return 1;
}

QImage CDib::StorageImage() const {
    if (block_.empty()) return QImage();
    const int width = Width(), height = Height();
    if (BitCount() == 24)
        return QImage(Rows(), width, height, static_cast<qsizetype>(Stride(width, 24)),
                      QImage::Format_BGR888);
    QImage image(width, height, QImage::Format_BGR888);
    if (image.isNull()) return image;
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < width; ++x) PixelBgr(y, x, line + 3 * static_cast<std::size_t>(x));
    }
    return image;
}

void CDib::DrawStretched(QPainter* dc, const RECT* rect) const {
    if (dc == nullptr || rect == nullptr) return;
    const QImage image = StorageImage();
    if (image.isNull()) return;
    const double sx = static_cast<double>(rect->right - rect->left) / image.width();
    const double sy = static_cast<double>(rect->bottom - rect->top) / image.height();
    dc->save();
    // Stored row 0 is the bottom row, so the picture is drawn with y running upwards
    // from the rectangle's bottom edge; pixels are repeated, never blended.
    dc->setRenderHint(QPainter::SmoothPixmapTransform, false);
    dc->setTransform(QTransform(sx, 0, 0, -sy, rect->left, rect->bottom), true);
    dc->drawImage(QPointF(0, 0), image);
    dc->restore();
}

QImage* CDib::MakeBitmap(QPainter* /*dc*/) const {
    const QImage image = StorageImage();
    if (image.isNull()) return nullptr;
    // A deep copy turned upright: the caller keeps it after this picture is gone.
    QImage upright = image.copy();
    if (upright.isNull()) return nullptr;
    upright = std::move(upright).mirrored(false, true);
    return new QImage(std::move(upright));
}
