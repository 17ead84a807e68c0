#include "common/tiff_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace corvalis {

namespace {

void printTiffMessage(const char* prefix, const char* module, const char* fmt, va_list ap) {
    std::fputs(prefix, stderr);
    if (module != nullptr) std::fprintf(stderr, "%s: ", module);
    std::vfprintf(stderr, fmt, ap);
    std::fputc('\n', stderr);
}

void tiffError(const char* module, const char* fmt, va_list ap) {
    printTiffMessage("", module, fmt, ap);
}
void tiffWarning(const char* module, const char* fmt, va_list ap) {
    printTiffMessage("Warning, ", module, fmt, ap);
}

// libtiff's handlers are global to the process, so they are installed once.
void installTiffHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(tiffError);
        TIFFSetWarningHandler(tiffWarning);
    });
}

// The file as libtiff sees it. Appending a page rewrites only a few bytes of the old
// file (the link to the new page); those are saved before they are overwritten, so a
// failed append can put the file back exactly as it was.
struct AppendFile {
    struct Saved {
        off_t offset;
        std::vector<std::uint8_t> bytes;
    };
    int fd = -1;
    off_t originalSize = 0;
    bool created = false;
    bool failed = false;  // once set, no write reaches the file any more
    std::vector<Saved> saved;
};

AppendFile& fileOf(thandle_t handle) {
    return *static_cast<AppendFile*>(handle);
}

bool readFully(int fd, void* buffer, std::size_t size, off_t at) {
    auto* p = static_cast<std::uint8_t*>(buffer);
    while (size > 0) {
        const ssize_t n = ::pread(fd, p, size, at);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            return false;
        }
        p += n;
        at += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool writeFully(int fd, const void* buffer, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

tmsize_t readProc(thandle_t handle, void* buffer, tmsize_t size) {
    if (size < 0) return -1;
    return ::read(fileOf(handle).fd, buffer, static_cast<std::size_t>(size));
}

// Keeps the old bytes a write at the current position is about to replace.
bool saveOverwritten(AppendFile& f, std::size_t size) {
    const off_t at = ::lseek(f.fd, 0, SEEK_CUR);
    if (at < 0) return false;
    if (at >= f.originalSize) return true;
    const off_t end = std::min<off_t>(at + static_cast<off_t>(size), f.originalSize);
    try {
        AppendFile::Saved old{at, std::vector<std::uint8_t>(static_cast<std::size_t>(end - at))};
        if (!readFully(f.fd, old.bytes.data(), old.bytes.size(), at)) return false;
        f.saved.push_back(std::move(old));
    } catch (const std::bad_alloc&) {
        return false;  // nothing may unwind into libtiff
    }
    return true;
}

tmsize_t writeProc(thandle_t handle, void* buffer, tmsize_t size) {
    AppendFile& f = fileOf(handle);
    if (!f.failed && size >= 0 && saveOverwritten(f, static_cast<std::size_t>(size)) &&
        writeFully(f.fd, buffer, static_cast<std::size_t>(size)))
        return size;
    // A failed write ends the append.
    f.failed = true;
    return -1;
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
    const off_t at = ::lseek(fileOf(handle).fd, static_cast<off_t>(offset), whence);
    return at < 0 ? static_cast<toff_t>(-1) : static_cast<toff_t>(at);
}

// The descriptor is closed by appendTiffRgb, after a possible undo.
int closeProc(thandle_t) {
    return 0;
}

toff_t sizeProc(thandle_t handle) {
    struct stat st {};
    if (::fstat(fileOf(handle).fd, &st) != 0) return 0;
    return static_cast<toff_t>(st.st_size);
}

int mapProc(thandle_t, void**, toff_t*) {
    return 0;
}
void unmapProc(thandle_t, void*, toff_t) {}

// Puts the file back as it was before the append.
void undo(AppendFile& f, const std::string& path) {
    for (auto it = f.saved.rbegin(); it != f.saved.rend(); ++it) {
        if (::pwrite(f.fd, it->bytes.data(), it->bytes.size(), it->offset) !=
            static_cast<ssize_t>(it->bytes.size()))
            std::fprintf(stderr, "%s: could not restore the file: %s\n", path.c_str(),
                         std::strerror(errno));
    }
    if (f.created) {
        ::unlink(path.c_str());
        return;
    }
    struct stat st {};
    if (::fstat(f.fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size != f.originalSize) {
        if (::ftruncate(f.fd, f.originalSize) != 0)
            std::fprintf(stderr, "%s: could not restore the file: %s\n", path.c_str(),
                         std::strerror(errno));
    }
}

bool setTags(TIFF* tif, int width, int height, int bitsPerSample) {
    return TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width)) &&
           TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height)) &&
           TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
           TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3) &&
           TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bitsPerSample) &&
           TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB) &&
           TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
           TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
           TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT) &&
           TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
           TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
}

}  // namespace

bool appendTiffRgb(const std::string& path, const void* topDownRgb, int width, int height,
                   int bitsPerSample) {
    installTiffHandlers();
    if (topDownRgb == nullptr || width <= 0 || height <= 0 ||
        (bitsPerSample != 8 && bitsPerSample != 16)) {
        std::fprintf(stderr, "%s: no picture to write\n", path.c_str());
        return false;
    }
    const std::size_t rowBytes =
        static_cast<std::size_t>(width) * 3 * static_cast<std::size_t>(bitsPerSample / 8);
    // libtiff may byte-swap a scanline in place for a file of the other byte order, so
    // each row goes through a copy and the caller's picture stays untouched.
    std::vector<std::uint8_t> row;
    try {
        row.resize(rowBytes);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: out of memory\n", path.c_str());
        return false;
    }

    AppendFile f;
    f.fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (f.fd < 0 && errno == ENOENT) {
        f.fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        f.created = f.fd >= 0;
    }
    struct stat st {};
    if (f.fd < 0 || ::fstat(f.fd, &st) != 0) {
        std::fprintf(stderr, "Cannot open file for output.\n%s: %s\n", path.c_str(),
                     std::strerror(errno));
        if (f.fd >= 0) ::close(f.fd);
        return false;
    }
    // A file without any write bit is read-only also for a user the system lets write.
    if (!f.created && (st.st_mode & 0222) == 0) {
        std::fprintf(stderr, "Cannot open file for output.\n%s: %s\n", path.c_str(),
                     std::strerror(EACCES));
        ::close(f.fd);
        return false;
    }
    f.originalSize = st.st_size;

    TIFF* tif = TIFFClientOpen(path.c_str(), "a", &f, readProc, writeProc, seekProc, closeProc,
                               sizeProc, mapProc, unmapProc);
    if (tif == nullptr) {
        std::fprintf(stderr, "Cannot open file for output.\n");
        undo(f, path);
        ::close(f.fd);
        return false;
    }

    bool ok = setTags(tif, width, height, bitsPerSample);
    const auto* pixels = static_cast<const std::uint8_t*>(topDownRgb);
    for (int y = 0; ok && y < height; ++y) {
        std::memcpy(row.data(), pixels + rowBytes * static_cast<std::size_t>(y), rowBytes);
        if (TIFFWriteScanline(tif, row.data(), static_cast<std::uint32_t>(y), 0) != 1) {
            std::fprintf(stderr, "scanline %lu: Write error.\n", static_cast<unsigned long>(y));
            ok = false;
        }
    }
    ok = ok && TIFFWriteDirectory(tif) == 1 && !f.failed;
    // A failed page must not be linked in when libtiff closes the file.
    if (!ok) f.failed = true;
    TIFFClose(tif);

    if (!ok) undo(f, path);
    if (::close(f.fd) != 0 && ok) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), std::strerror(errno));
        ok = false;
    }
    return ok;
}

}  // namespace corvalis
