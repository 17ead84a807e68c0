#pragma once
#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>

#include "vantelo.h"

class QObject;

// The camera's data that the session, the camera's image window and its preview
// threads share. The camera session owns it; it outlives every window and thread that
// uses it. Only the image window that holds the camera touches the shared frame state
// (the show buffer, the crop rectangle while a preview runs, the raw frame copy);
// windows showing files never do.
struct FrameContext {
    // The one camera record, passed to every camera and imaging call.
    CameraRecord record{};
    // Where the preview's notifications for the main frame go (1262, 1263, 1247).
    QObject* mainFrame = nullptr;

    // The display lock: held by the display thread for one frame's processing, by the
    // view while it paints the show buffer, by the capture code while it snaps the raw
    // frame copy, and around every change of the crop rectangle or of the show buffer
    // (Mes_UnInit/Mes_Init). One lock for the process, because the show buffer is one.
    std::mutex displayLock;

    // The latest displayed raw frame, for the capture code. Allocated with the preview
    // buffers at start, freed at stop; guarded by the display lock.
    std::unique_ptr<unsigned char[]> rawFrameCopy;
    std::size_t rawFrameCopyBytes = 0;
    // The preview that holds the raw frame copy and fills the show buffer, null when
    // none runs; guarded by the display lock. A second preview over the same camera
    // would free the first one's copy while it is written, so it is refused.
    const void* runningPreview = nullptr;
    // Set by the display thread just before it draws; the capture code clears it.
    std::atomic<int> frameShown{0};
    // The sharpen switch and strength (0.1 x the panel's slider position).
    std::atomic<int> sharpenOn{0};
    std::atomic<float> sharpenStrength{0.0f};

    // The selection rectangle in the view's client coordinates, written by the view;
    // `record.area_selected` says whether it is valid.
    RECT selection{};
};
