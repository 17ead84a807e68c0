#pragma once
#include <atomic>
#include <cstddef>
#include <memory>

#include "vantelo.h"

class QObject;

// The main frame's data that the image window and its preview threads share. The main
// frame owns it and hands its address to the image window it creates; it outlives
// every window and thread that uses it.
struct FrameContext {
    // The one camera record, passed to every camera and imaging call.
    CameraRecord record{};
    // Where the preview's notifications for the main frame go (1262, 1263, 1247).
    QObject* mainFrame = nullptr;

    // The latest displayed raw frame, for the capture code. Allocated with the preview
    // buffers at start, freed at stop; guarded by the image window's display lock.
    std::unique_ptr<unsigned char[]> rawFrameCopy;
    std::size_t rawFrameCopyBytes = 0;
    // Set by the display thread just before it draws; the capture code clears it.
    std::atomic<int> frameShown{0};
    // The sharpen switch and strength (0.1 x the panel's slider position).
    std::atomic<int> sharpenOn{0};
    std::atomic<float> sharpenStrength{0.0f};

    // The selection rectangle in the view's client coordinates, written by the view;
    // `record.area_selected` says whether it is valid.
    RECT selection{};
};
