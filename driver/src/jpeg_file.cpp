#include "jpeg_file.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

// libjpeg's header expects size_t and FILE to be declared already.
#include <jpeglib.h>

#include "common/atomic_file.h"

namespace ostra {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return; it jumps
// back into compress(), which holds nothing that needs destroying but the compressor.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf back;
};

void errorExit(j_common_ptr cinfo) {
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    std::fprintf(stderr, "JPEG Error\n%s\n", message);
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->back, 1);
}

// Plain C-style code only: a long jump out of libjpeg lands here, so no object with a
// destructor may live in this function.
bool compress(std::FILE* file, const std::uint8_t* pixels, int width, int height, int components,
              int quality) {
    jpeg_compress_struct cinfo;
    ErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = errorExit;
    if (setjmp(errors.back) != 0) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const std::size_t stride =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(components);
    while (cinfo.next_scanline < cinfo.image_height) {
        // libjpeg does not write through its row pointers.
        JSAMPROW row = const_cast<JSAMPROW>(pixels + stride * cinfo.next_scanline);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace

bool writeJpeg(const std::string& path, const std::uint8_t* topDownRgb, int width, int height,
               int colour, int quality) {
    // JPEG's own limit on either side.
    constexpr int kMaxSide = 65500;
    if (topDownRgb == nullptr || width <= 0 || height <= 0 || width > kMaxSide ||
        height > kMaxSide) {
        std::fprintf(stderr, "JpegFile :\nNo picture to write to %s\n", path.c_str());
        return false;
    }
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<std::uint8_t> grey;
    if (colour == 0) {
        try {
            grey.resize(count);
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "Memory error\n");
            return false;
        }
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* p = topDownRgb + 3 * i;
            grey[i] = static_cast<std::uint8_t>(0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]);
        }
    }

    // Written beside the target and renamed over it once complete, so a failed save
    // leaves an earlier file of that name as it was.
    bool encoded = true;
    std::string error;
    const bool ok = corvalis::replaceFile(
        path,
        [&](std::FILE* file) {
            encoded = colour == 0 ? compress(file, grey.data(), width, height, 1, quality)
                                  : compress(file, topDownRgb, width, height, 3, quality);
            return encoded;
        },
        error);
    // libjpeg has said why it stopped; anything else is the file's fault.
    if (!ok && encoded)
        std::fprintf(stderr, "JpegFile :\nCan't open %s\n%s\n", path.c_str(), error.c_str());
    return ok;
}

}  // namespace ostra
