#include "session/window_fit.h"

#include <algorithm>
#include <cmath>

namespace {

// A product that is not a finite, non-negative number (an empty crop, no room left
// beside the pane) places nothing rather than converting garbage to int.
int truncatedSize(double value) {
    if (!std::isfinite(value) || value <= 0) return 0;
    if (value >= 1e9) return 1000000000;
    return static_cast<int>(value);
}

int clampTo(int value, int low, int high) {
    return std::max(low, std::min(value, high));
}

int scaleEdge(int edge, int origin, int extent, int imageExtent) {
    return static_cast<int>(static_cast<double>(edge - origin) / extent * imageExtent);
}

}  // namespace

WindowPlacement fitImageWindow(const RECT& crop, int imageWidth, int imageHeight,
                               int availableWidth, int availableHeight, bool fullScreen) {
    int cw = std::min(std::max(crop.right - crop.left, 0), imageWidth - 1);
    int ch = std::min(std::max(crop.bottom - crop.top, 0), imageHeight - 1);
    cw = std::max(cw, 0);
    ch = std::max(ch, 0);

    WindowPlacement place;
    if (cw < availableWidth && ch < availableHeight && !fullScreen) {
        place.x = (availableWidth - cw) / 2;
        place.y = (availableHeight - ch) / 2;
        place.width = cw;
        place.height = ch;
        return place;
    }
    const double scale = std::min(static_cast<double>(availableHeight) / ch,
                                  static_cast<double>(availableWidth) / cw);
    place.width = truncatedSize(cw * scale);
    place.height = truncatedSize(ch * scale);
    return place;
}

bool cropFromSelection(const RECT& client, const RECT& selection, int imageWidth, int imageHeight,
                       SelectionCrop& out) {
    const int clientWidth = client.right - client.left;
    const int clientHeight = client.bottom - client.top;
    if (clientWidth <= 0 || clientHeight <= 0) return false;

    const int left = clampTo(selection.left, client.left, client.right);
    const int right = clampTo(selection.right, left, client.right);
    const int top = clampTo(selection.top, client.top, client.bottom);
    const int bottom = clampTo(selection.bottom, top, client.bottom);

    RECT crop;
    crop.left = scaleEdge(left, client.left, clientWidth, imageWidth);
    crop.right = scaleEdge(right, client.left, clientWidth, imageWidth);
    crop.top = scaleEdge(top, client.top, clientHeight, imageHeight);
    crop.bottom = scaleEdge(bottom, client.top, clientHeight, imageHeight);

    SelectionCrop mapped;
    mapped.roiX0 = std::max(crop.left + crop.left % 2, 1);
    mapped.roiY0 = std::max(crop.top + crop.top % 2, 1);
    const int w = crop.right - crop.left;
    const int h = crop.bottom - crop.top;
    mapped.roiX1 = w + w % 2 - 1;
    mapped.roiY1 = h + h % 2 - 1;

    crop.left -= crop.left % 2;
    crop.top -= crop.top % 2;
    crop.right -= crop.right % 2;
    crop.bottom -= crop.bottom % 2;
    if (crop.right - crop.left < 2 || crop.bottom - crop.top < 2) return false;
    mapped.crop = crop;
    out = mapped;
    return true;
}
