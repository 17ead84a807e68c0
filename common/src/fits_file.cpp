#include "common/fits_file.h"

#include <fitsio.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "common/atomic_file.h"

namespace corvalis {

namespace {

constexpr std::size_t kBlock = 2880;  // FITS files come in blocks of this many bytes

constexpr std::size_t kMaxHeaderBytes = 64 * kBlock;

// Lets cfitsio's memory file grow as far as a header needs, never to the data unit: on
// closing, cfitsio would fill the whole declared image with zeros (tens of megabytes),
// which this writer never reads.
void* headerRealloc(void* block, std::size_t size) {
    return size > kMaxHeaderBytes ? nullptr : std::realloc(block, size);
}

// The header of a FITS file, formatted card by card by cfitsio in memory. The pixels do
// not go through cfitsio: writeFits converts them straight into the file's buffer, one
// pass instead of cfitsio's buffered copies.
class FitsHeader {
  public:
    FitsHeader() {
        size_ = 4 * kBlock;
        buffer_ = std::malloc(size_);
        if (buffer_ == nullptr) {
            status_ = MEMORY_ALLOCATION;
            return;
        }
        fits_create_memfile(&file_, &buffer_, &size_, kBlock, headerRealloc, &status_);
    }
    ~FitsHeader() {
        if (file_ != nullptr) {
            int ignored = 0;  // refused: the zero fill of the data unit (headerRealloc)
            fits_delete_file(file_, &ignored);
        }
        std::free(buffer_);
    }
    FitsHeader(const FitsHeader&) = delete;
    FitsHeader& operator=(const FitsHeader&) = delete;

    fitsfile* file() { return file_; }
    int& status() { return status_; }
    bool ok() const { return status_ == 0; }

    // The cards written so far, the END card, and blanks to the end of the block.
    std::string cards() {
        int count = 0, room = 0;
        fits_get_hdrspace(file_, &count, &room, &status_);
        std::string header;
        char card[FLEN_CARD] = {};
        for (int i = 1; i <= count && status_ == 0; ++i) {
            fits_read_record(file_, i, card, &status_);
            header += card;
            header.resize((header.size() + 79) / 80 * 80, ' ');
        }
        header += "END";
        header.resize((header.size() + kBlock - 1) / kBlock * kBlock, ' ');
        return status_ == 0 ? header : std::string();
    }

  private:
    fitsfile* file_ = nullptr;
    void* buffer_ = nullptr;
    std::size_t size_ = 0;
    int status_ = 0;
};

void writeString(FitsHeader& fits, const char* key, const std::string& value, const char* comment) {
    fits_update_key_str(fits.file(), key, value.c_str(), comment, &fits.status());
}
void writeInt(FitsHeader& fits, const char* key, long value, const char* comment) {
    fits_update_key_lng(fits.file(), key, value, comment, &fits.status());
}

void writeFrameInfo(FitsHeader& fits, const FitsFrameInfo& info, int bitsPerSample) {
    fits_update_key_dbl(fits.file(), "EXPTIME", info.exposureSeconds, -6,
                        info.combined > 1 ? "[s] summed exposure of the combined frames"
                                          : "[s] exposure as programmed",
                        &fits.status());
    writeString(fits, "DATE-OBS", isoUtcMilliseconds(info.startUtc), "UTC start of the exposure");
    if (!info.instrument.empty()) writeString(fits, "INSTRUME", info.instrument, "camera");
    if (!info.software.empty())
        writeString(fits, "SWCREATE", info.software, "software that wrote this file");
    writeInt(fits, "GAIN", info.gain, "camera gain setting, not electrons per count");
    writeInt(fits, "XBINNING", info.xBinning, "binning of the columns");
    writeInt(fits, "YBINNING", info.yBinning, "binning of the rows");
    writeString(fits, "ROWORDER", "TOP-DOWN", "first row stored is the top of the picture");
    if (!info.object.empty()) writeString(fits, "OBJECT", info.object, "target");
    writeString(fits, "IMAGETYP", info.imageType, "frame type");
    if (info.combined > 1)
        writeInt(fits, "NCOMBINE", info.combined, "frames added up into this one");
    if (info.bayer) {
        writeString(fits, "BAYERPAT", info.bayer->name(), "colour filter at the first pixel");
        writeInt(fits, "XBAYROFF", 0, "pattern offset in x, already applied to BAYERPAT");
        writeInt(fits, "YBAYROFF", 0, "pattern offset in y, already applied to BAYERPAT");
    }
    if (bitsPerSample == 16 && info.significantBits > 0 && info.significantBits < 16) {
        char text[72];
        std::snprintf(text, sizeof text,
                      "Samples carry %d significant bits in the top of each 16-bit word.",
                      info.significantBits);
        fits_write_comment(fits.file(), text, &fits.status());
    }
    fits_write_date(fits.file(), &fits.status());
}

bool checkShape(const std::string& path, int width, int height, int bitsPerSample) {
    if (width > 0 && height > 0 && width <= 65536 && height <= 65536 &&
        (bitsPerSample == 8 || bitsPerSample == 16))
        return true;
    std::fprintf(stderr, "Cannot write %s: a %d x %d picture of %d-bit samples is not writable.\n",
                 path.c_str(), width, height, bitsPerSample);
    return false;
}

bool reportFitsError(const std::string& path, int status) {
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status, text);
    std::fprintf(stderr, "Cannot write %s: %s\n", path.c_str(), text);
    return false;
}

// A sample as FITS stores it, in memory order: big-endian, and for 16-bit samples a
// signed value offset by BZERO = 32768, which flips the top bit.
inline std::uint8_t bigEndianStored(std::uint8_t value) {
    return value;
}
inline std::uint16_t bigEndianStored(std::uint16_t value) {
    const auto stored = static_cast<std::uint16_t>(value ^ 0x8000u);
    if constexpr (std::endian::native == std::endian::little) return __builtin_bswap16(stored);
    return stored;
}

// Writes `planes` planes of width x height samples; `sampleAt(plane, i)` gives the
// i-th sample of a plane.
template <typename Sample, typename SampleAt>
bool writeFits(const std::string& path, int width, int height, int planes,
               const FitsFrameInfo& info, SampleAt&& sampleAt) {
    constexpr bool wide = sizeof(Sample) == 2;
    FitsHeader header;
    long axes[3] = {width, height, planes};
    fits_create_img(header.file(), wide ? USHORT_IMG : BYTE_IMG, planes == 1 ? 2 : 3, axes,
                    &header.status());
    writeFrameInfo(header, info, wide ? 16 : 8);
    const std::string cards = header.cards();
    if (!header.ok() || cards.empty()) return reportFitsError(path, header.status());

    const std::size_t area = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const std::size_t dataBytes = area * static_cast<std::size_t>(planes) * sizeof(Sample);
    std::string error;
    const bool written = replaceFile(
        path,
        [&](std::FILE* file) {
            if (std::fwrite(cards.data(), 1, cards.size(), file) != cards.size()) return false;
            // Converted a slice at a time, so the buffer stays in the cache.
            constexpr std::size_t kSlice = 32768;
            Sample slice[kSlice];
            for (int p = 0; p < planes; ++p) {
                for (std::size_t start = 0; start < area; start += kSlice) {
                    const std::size_t count = std::min(kSlice, area - start);
                    for (std::size_t j = 0; j < count; ++j)
                        slice[j] = bigEndianStored(sampleAt(p, start + j));
                    const std::size_t bytes = count * sizeof(Sample);
                    if (std::fwrite(slice, 1, bytes, file) != bytes) return false;
                }
            }
            // The data unit is filled with zeros to a whole block.
            const std::size_t fill = (kBlock - dataBytes % kBlock) % kBlock;
            static constexpr std::uint8_t kZeros[kBlock] = {};
            return std::fwrite(kZeros, 1, fill, file) == fill;
        },
        error);
    if (!written) std::fprintf(stderr, "%s\n", error.c_str());
    return written;
}

template <typename Sample>
bool writeRgbPlanes(const std::string& path, const Sample* rgb, int width, int height,
                    const FitsFrameInfo& info) {
    return writeFits<Sample>(path, width, height, 3, info,
                             [&](int p, std::size_t i) { return rgb[i * 3 + p]; });
}

}  // namespace

std::string isoUtcMilliseconds(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(time);
    const std::time_t seconds = system_clock::to_time_t(floor<std::chrono::seconds>(ms));
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    const long millis = static_cast<long>((ms - floor<std::chrono::seconds>(ms)).count());
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03ld", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
    return text;
}

bool writeFitsMosaic(const std::string& path, const void* samples, int width, int height,
                     int bitsPerSample, const FitsFrameInfo& info) {
    if (samples == nullptr || !checkShape(path, width, height, bitsPerSample)) return false;
    if (bitsPerSample == 8) {
        const auto* s = static_cast<const std::uint8_t*>(samples);
        return writeFits<std::uint8_t>(path, width, height, 1, info,
                                       [s](int, std::size_t i) { return s[i]; });
    }
    const auto* s = static_cast<const std::uint16_t*>(samples);
    return writeFits<std::uint16_t>(path, width, height, 1, info,
                                    [s](int, std::size_t i) { return s[i]; });
}

bool writeFitsRgb(const std::string& path, const void* topDownRgb, int width, int height,
                  int bitsPerSample, const FitsFrameInfo& info) {
    if (topDownRgb == nullptr || !checkShape(path, width, height, bitsPerSample)) return false;
    if (bitsPerSample == 8)
        return writeRgbPlanes(path, static_cast<const std::uint8_t*>(topDownRgb), width, height,
                              info);
    return writeRgbPlanes(path, static_cast<const std::uint16_t*>(topDownRgb), width, height, info);
}

}  // namespace corvalis
