#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvalis {

// Records frames into a SER video: a 178-byte header, the frames back to back, and a
// trailer of each frame's UTC time. 16-bit samples go little-endian with the header's
// LittleEndian field 0, which is what the common readers expect. The header's frame
// count follows every frame written, so a file cut short by a crash or a full disk
// never claims a frame it does not hold.
class SerWriter {
  public:
    // The header's ColorID values this program writes.
    enum ColorId : std::int32_t {
        kMono = 0,
        kBayerRggb = 8,
        kBayerGrbg = 9,
        kBayerGbrg = 10,
        kBayerBggr = 11,
        kRgb = 100,
    };
    static constexpr std::size_t kHeaderBytes = 178;

    struct Format {
        int width = 0;
        int height = 0;
        int bitsPerPlane = 8;  // 8, or 9-16 stored as 16-bit words
        std::int32_t colorId = kMono;
        std::string observer, instrument, telescope;  // up to 40 characters each
    };

    SerWriter() = default;
    ~SerWriter();
    SerWriter(const SerWriter&) = delete;
    SerWriter& operator=(const SerWriter&) = delete;

    // Creates `path`, which must not exist yet; `startUtc` goes into the header.
    bool open(const std::string& path, const Format& format,
              std::chrono::system_clock::time_point startUtc);
    // Appends one frame of width x height samples (x 3 interleaved for kRgb), host
    // order, taken at `utc`. After a failure (a full disk) the file keeps the frames
    // written before it and every later append is refused.
    bool append(const void* samples, std::chrono::system_clock::time_point utc);
    // Writes the trailer and closes the file. Also done by the destructor.
    bool finish();

    bool isOpen() const { return fd_ >= 0; }
    int frames() const { return static_cast<int>(times_.size()); }
    std::uint64_t bytesWritten() const;
    std::size_t frameBytes() const { return frameBytes_; }
    // Why the last call failed, with the path and the system's reason.
    const std::string& error() const { return error_; }

    // Ticks of 100 ns since 0001-01-01 00:00, the unit of SER times.
    static std::int64_t serTicks(std::chrono::system_clock::time_point time);

  private:
    bool fail(const char* what, int err);
    bool writeCount();

    int fd_ = -1;
    std::string path_;
    std::size_t frameBytes_ = 0;
    bool wide_ = false;
    bool broken_ = false;
    std::vector<std::int64_t> times_;
    std::vector<std::uint8_t> swapped_;  // staging for big-endian hosts only
    std::string error_;
};

}  // namespace corvalis
