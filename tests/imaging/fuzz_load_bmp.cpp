// libFuzzer target for the bitmap reader: any bytes as a file (in shared memory).
// Whatever the reader accepts is also resampled, drawn and copied out, so that a
// picture it should have refused cannot hide behind a successful read. Built and run
// by scripts/fuzz-load-bmp.sh, not by the tests; its findings are replayed by the
// tests from tests/imaging/bmp_regressions/.
#include <unistd.h>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "cdib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/dev/shm/fuzz_load_bmp_" + std::to_string(::getpid()) + ".bmp";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    const bool written = std::fwrite(data, 1, size, f) == size;
    std::fclose(f);
    if (!written) return 0;

    CDib dib;
    if (dib.LoadBmpFile(path.c_str()) != 1) return 0;
    std::unique_ptr<QImage> bitmap(dib.MakeBitmap(nullptr));
    if (!bitmap || bitmap->width() != dib.Width() || bitmap->height() != dib.Height())
        __builtin_trap();
    QImage canvas(8, 8, QImage::Format_RGB32);
    {
        QPainter painter(&canvas);
        const RECT rect{0, 0, 8, 8};
        dib.DrawStretched(&painter, &rect);
    }
    if (dib.Resample(5, 3) != 1 || dib.Width() != 5 || dib.Height() != 3) __builtin_trap();
    return 0;
}
