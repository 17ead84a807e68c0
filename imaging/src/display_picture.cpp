#include "display_picture.h"

#include <cstring>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

namespace vantelo {

namespace {
// Used by the preview and user-interface threads in turn, under the caller's lock.
std::unique_ptr<CDib> g_picture;

bool endsWith(const std::string& text, const char* tail) {
    const std::size_t n = std::strlen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// A JPEG or TIFF file as a 24-bit picture; grey files get three equal channels.
bool decodeWithOpenCv(const std::string& path, CDib& picture) {
    try {
        cv::Mat image = cv::imread(path, cv::IMREAD_COLOR);
        if (image.empty() || image.type() != CV_8UC3) return false;
        if (!image.isContinuous()) image = image.clone();
        return picture.SetFromPixels(image.data, image.cols, image.rows) == 1;
    } catch (const cv::Exception&) {
        return false;
    }
}
}  // namespace

void resetDisplayPicture(int width, int height) {
    if (!g_picture) g_picture = std::make_unique<CDib>();
    // A crop the picture cannot take leaves no picture rather than the last session's.
    if (g_picture->CreateBlank(width, height, 24) == 0) *g_picture = CDib();
}

void destroyDisplayPicture() {
    g_picture.reset();
}

CDib* displayPicture() {
    return g_picture.get();
}

bool loadPictureFile(const std::string& path, CDib& picture) {
    if (endsWith(path, "jpg") || endsWith(path, "tif")) return decodeWithOpenCv(path, picture);
    return picture.LoadBmpFile(path.c_str()) == 1;
}

}  // namespace vantelo
