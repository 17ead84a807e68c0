#include "common/ser_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace corvalis {

namespace {

constexpr std::int64_t kTicksToUnixEpoch = 621355968000000000LL;  // 0001-01-01 to 1970-01-01
constexpr off_t kFrameCountAt = 38;

void put32(std::uint8_t* at, std::int32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
void put64(std::uint8_t* at, std::int64_t value) {
    for (int i = 0; i < 8; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
void putText(std::uint8_t* at, const std::string& text) {
    std::memcpy(at, text.data(), std::min<std::size_t>(text.size(), 40));
}

// Writes all of `size` bytes at `offset`, or at the end when offset is -1.
bool writeAll(int fd, const std::uint8_t* data, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t n = offset < 0 ? ::write(fd, data, size) : ::pwrite(fd, data, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        if (offset >= 0) offset += n;
    }
    return true;
}

// Cuts a partly written frame or trailer off again; should even that fail, the header's
// frame count still tells readers where the whole frames end.
void cutBack(int fd, std::uint64_t size) {
    if (::ftruncate(fd, static_cast<off_t>(size)) == 0) ::lseek(fd, 0, SEEK_END);
}

}  // namespace

std::int64_t SerWriter::serTicks(std::chrono::system_clock::time_point time) {
    const auto units =
        std::chrono::duration_cast<std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>>(
            time.time_since_epoch());
    return units.count() + kTicksToUnixEpoch;
}

SerWriter::~SerWriter() {
    finish();
}

bool SerWriter::fail(const char* what, int err) {
    error_ = "Cannot " + std::string(what) + " " + path_ + ": " + std::strerror(err);
    return false;
}

std::uint64_t SerWriter::bytesWritten() const {
    return kHeaderBytes + static_cast<std::uint64_t>(frameBytes_) * times_.size();
}

bool SerWriter::open(const std::string& path, const Format& format,
                     std::chrono::system_clock::time_point startUtc) {
    finish();
    path_ = path;
    error_.clear();
    broken_ = false;
    times_.clear();
    const bool rgb = format.colorId == kRgb;
    if (format.width <= 0 || format.height <= 0 || format.width > 65536 || format.height > 65536 ||
        format.bitsPerPlane < 1 || format.bitsPerPlane > 16)
        return fail("record", EINVAL);
    wide_ = format.bitsPerPlane > 8;
    frameBytes_ = static_cast<std::size_t>(format.width) * static_cast<std::size_t>(format.height) *
                  (rgb ? 3 : 1) * (wide_ ? 2 : 1);

    std::uint8_t header[kHeaderBytes] = {};
    std::memcpy(header, "LUCAM-RECORDER", 14);
    put32(header + 14, 0);  // LuID
    put32(header + 18, format.colorId);
    put32(header + 22, 0);  // LittleEndian: 0 is what readers take for little-endian samples
    put32(header + 26, format.width);
    put32(header + 30, format.height);
    put32(header + 34, format.bitsPerPlane);
    put32(header + 38, 0);  // FrameCount, kept up to date as frames arrive
    putText(header + 42, format.observer);
    putText(header + 82, format.instrument);
    putText(header + 122, format.telescope);
    const std::time_t seconds = std::chrono::system_clock::to_time_t(startUtc);
    std::tm local{};
    localtime_r(&seconds, &local);
    const std::int64_t utcTicks = serTicks(startUtc);
    put64(header + 162, utcTicks + static_cast<std::int64_t>(local.tm_gmtoff) * 10000000LL);
    put64(header + 170, utcTicks);

    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0) return fail("create", errno);
    if (!writeAll(fd_, header, sizeof header, -1)) {
        const int err = errno;
        ::close(fd_);
        fd_ = -1;
        ::unlink(path.c_str());
        return fail("write", err);
    }
    return true;
}

bool SerWriter::writeCount() {
    std::uint8_t count[4];
    put32(count, frames());
    return writeAll(fd_, count, sizeof count, kFrameCountAt);
}

bool SerWriter::append(const void* samples, std::chrono::system_clock::time_point utc) {
    if (fd_ < 0 || broken_ || samples == nullptr) {
        if (error_.empty()) error_ = "No SER file open for " + path_;
        return false;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(samples);
    if (wide_ && std::endian::native == std::endian::big) {
        swapped_.resize(frameBytes_);
        for (std::size_t i = 0; i + 1 < frameBytes_; i += 2) {
            swapped_[i] = bytes[i + 1];
            swapped_[i + 1] = bytes[i];
        }
        bytes = swapped_.data();
    }
    if (!writeAll(fd_, bytes, frameBytes_, -1)) {
        const int err = errno;
        broken_ = true;
        cutBack(fd_, bytesWritten());
        return fail("write", err);
    }
    times_.push_back(serTicks(utc));
    if (!writeCount()) {
        broken_ = true;
        return fail("write", errno);
    }
    return true;
}

bool SerWriter::finish() {
    if (fd_ < 0) return error_.empty();
    bool ok = !broken_;
    std::vector<std::uint8_t> trailer(times_.size() * 8);
    for (std::size_t i = 0; i < times_.size(); ++i) put64(trailer.data() + i * 8, times_[i]);
    // A trailer that does not fit is cut back off: the frames stay readable without it.
    if (!broken_ && !writeAll(fd_, trailer.data(), trailer.size(), -1)) {
        ok = fail("write", errno);
        cutBack(fd_, bytesWritten());
    }
    if (!writeCount() && ok) ok = fail("write", errno);
    if (::close(fd_) != 0 && ok) ok = fail("close", errno);
    fd_ = -1;
    return ok;
}

}  // namespace corvalis
