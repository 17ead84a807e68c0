// Crop, the display picture of the live view, and the two ways of showing an image file.
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstring>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>

#include "cdib.h"
#include "display_picture.h"
#include "export_guard.h"
#include "histogram_levels.h"
#include "vantelo.h"

namespace {

// Copies the record's crop rectangle out of a full frame of `pixelBytes`-byte pixels.
// A rectangle that is empty or not inside the frame copies nothing and gives 0.
int cropFrame(const CameraRecord* record, const unsigned char* source, unsigned char* target,
              int pixelBytes) {
    if (record == nullptr || source == nullptr || target == nullptr) return KD_NOTHING_DONE;
    const std::int64_t frameWidth = record->image_width, frameHeight = record->image_height;
    const std::int64_t left = record->crop_left, top = record->crop_top;
    const std::int64_t right = record->crop_right, bottom = record->crop_bottom;
    if (left < 0 || top < 0 || right <= left || bottom <= top || right > frameWidth ||
        bottom > frameHeight)
        return KD_NOTHING_DONE;
    const std::size_t rowBytes = static_cast<std::size_t>(right - left) * pixelBytes;
    for (std::int64_t y = top; y < bottom; ++y) {
        std::memcpy(target, source + static_cast<std::size_t>(left + y * frameWidth) * pixelBytes,
                    rowBytes);
        target += rowBytes;
    }
    return KD_DONE;
}

bool endsWith(const std::string& text, const char* tail) {
    const std::size_t n = std::strlen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

}  // namespace

extern "C" VANTELO_API int Mes_Crop(CameraRecord* record, const unsigned char* source,
                                    unsigned char* target) {
    return cropFrame(record, source, target, 3);
}

extern "C" VANTELO_API int Mes_Crop16(CameraRecord* record, const unsigned char* source,
                                      unsigned char* target) {
    return cropFrame(record, source, target, 6);
}

extern "C" VANTELO_API int Mes_CopyToShowBuffer(CameraRecord* record, unsigned char* pixels) {
    if (record == nullptr || pixels == nullptr) return KD_NOTHING_DONE;
    CDib* picture = vantelo::displayPicture();
    if (picture == nullptr) return KD_NOTHING_DONE;
    const std::int64_t width = std::int64_t{record->crop_right} - record->crop_left;
    const std::int64_t height = std::int64_t{record->crop_bottom} - record->crop_top;
    if (width <= 0 || height <= 0 || width > CDib::kMaxSide || height > CDib::kMaxSide)
        return KD_NOTHING_DONE;
    // Whatever goes wrong on the way counts as no room for the picture.
    return vantelo::guardedExport("Mes_CopyToShowBuffer", int{KD_OUT_OF_MEMORY}, [&]() -> int {
        const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
        vantelo::updateHistogram(pixels, static_cast<std::size_t>(width * height));
        std::uint8_t table[256];
        vantelo::buildLevelsTable8(table);
        unsigned char* rows =
            picture->PrepareRows24(static_cast<int>(width), static_cast<int>(height));
        if (rows == nullptr) {
            // No room for the new picture: the frame still gets its levels, the old
            // picture stays.
            vantelo::lookupBytes(table, pixels, nullptr,
                                 rowBytes * static_cast<std::size_t>(height));
            return KD_NOTHING_DONE;
        }
        // Levels and the bottom-up copy in one pass over the frame.
        const std::size_t stride = CDib::Stride(static_cast<int>(width), 24);
        for (std::int64_t i = 0; i < height; ++i)
            vantelo::lookupBytes(table, pixels + static_cast<std::size_t>(i) * rowBytes,
                                 rows + static_cast<std::size_t>(height - 1 - i) * stride,
                                 rowBytes);
        return KD_DONE;
    });
}

extern "C" VANTELO_API int Mes_ShowBuffer(CameraRecord* /*record*/, QPainter* dc, RECT* rect) {
    const CDib* picture = vantelo::displayPicture();
    if (picture == nullptr || dc == nullptr || rect == nullptr) return KD_NOTHING_DONE;
    return vantelo::guardedExport("Mes_ShowBuffer", int{KD_NOTHING_DONE}, [&]() -> int {
        picture->DrawStretched(dc, rect);
        return KD_DONE;
    });
}

extern "C" VANTELO_API QImage* Mes_ShowFile(const char* path, int max_width, int max_height,
                                            QPainter* dc) {
    if (path == nullptr) return nullptr;
    return vantelo::guardedExport("Mes_ShowFile", static_cast<QImage*>(nullptr), [&]() -> QImage* {
        const std::string file(path);
        if (endsWith(file, "raw")) return nullptr;
        CDib picture;
        if (!vantelo::loadPictureFile(file, picture)) return nullptr;
        const int width = picture.Width(), height = picture.Height();
        float scale = height < width ? static_cast<float>(max_width) / static_cast<float>(width)
                                     : static_cast<float>(max_height) / static_cast<float>(height);
        if (scale > 1.0f) scale = 1.0f;
        picture.Resample(static_cast<int>(static_cast<float>(width) * scale),
                         static_cast<int>(static_cast<float>(height) * scale));
        return picture.MakeBitmap(dc);
    });
}

extern "C" VANTELO_API int Mes_DisplayFile(const char* path, QPainter* dc, RECT* rect) {
    if (path == nullptr || dc == nullptr || rect == nullptr) return KD_NOTHING_DONE;
    return vantelo::guardedExport("Mes_DisplayFile", int{KD_NOTHING_DONE}, [&]() -> int {
        const cv::Mat image = cv::imread(path, cv::IMREAD_COLOR);
        if (image.empty()) return KD_DONE;
        const QImage view(image.data, image.cols, image.rows, static_cast<qsizetype>(image.step),
                          QImage::Format_BGR888);
        dc->save();
        dc->setRenderHint(QPainter::SmoothPixmapTransform, false);
        dc->drawImage(
            QRectF(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top),
            view);
        dc->restore();
        return KD_DONE;
    });
}
