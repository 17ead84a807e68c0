#include "display_picture.h"

#include <memory>

namespace vantelo {

namespace {
// Used by the preview and user-interface threads in turn, under the caller's lock.
std::unique_ptr<CDib> g_picture;
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

}  // namespace vantelo
