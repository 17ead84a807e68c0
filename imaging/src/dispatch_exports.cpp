// The six KdCamera_* exports: detection, the command dispatcher and the frame
// pass-throughs to the library of the record's camera family. No exception leaves
// them: running out of memory gives -2, anything else the export's failure result.
#include <new>

#include "camera_calls.h"
#include "camera_scanner.h"
#include "dispatcher.h"
#include "resolution_names.h"
#include "vantelo.h"

namespace {

constexpr int kOstraFamily = vantelo::CameraScanner::kOstraFamily;
constexpr int kNimbusFamily = vantelo::CameraScanner::kNimbusFamily;
constexpr int kNothingDone = 0;
constexpr int kDone = 1;
constexpr int kOutOfMemory = -2;

template <typename F>
int guarded(int failure, F&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (...) {
        return failure;
    }
}

}  // namespace

extern "C" {

VANTELO_API int KdCamera_RefreshCamera(CameraRecord* record) {
    if (record == nullptr) return kNothingDone;
    // Whatever stops the walk, the record says "no camera" rather than keeping an old type.
    record->camera_type = vantelo::CameraScanner::kNoCamera;
    return guarded(kDone, [&] {
        vantelo::CameraScanner scanner;
        scanner.scan();
        record->camera_type = scanner.type();
        return kDone;
    });
}

VANTELO_API int KdCamera_ReadWrite(CameraRecord* record, int command, int read) {
    if (record == nullptr) return kNothingDone;
    return guarded(kNothingDone, [&] {
        if (!vantelo::ensureDispatcher()) return kNothingDone;
        return vantelo::dispatcher()->readWrite(*record, command, read != 0);
    });
}

VANTELO_API int KdCamera_GrabFrame(CameraRecord* record, void* raw_buffer) {
    if (record == nullptr || raw_buffer == nullptr) return kNothingDone;
    return guarded(kNothingDone, [&] {
        switch (record->camera_type) {
            case kOstraFamily:
                return vantelo::ostraCalls().grabFrame(static_cast<unsigned char*>(raw_buffer));
            case kNimbusFamily:
                return vantelo::nimbusCalls().getImageData(raw_buffer);
            default:
                return kNothingDone;
        }
    });
}

VANTELO_API int KdCamera_Decode(CameraRecord* record, const void* raw, void* out, int width,
                                int height, int flag) {
    if (record == nullptr || raw == nullptr || out == nullptr) return kNothingDone;
    return guarded(kNothingDone, [&] {
        switch (record->camera_type) {
            case kOstraFamily:
                // The driver reads the raw frame only; its parameter is not const-qualified.
                return vantelo::ostraCalls().decode(
                    static_cast<unsigned char*>(const_cast<void*>(raw)),
                    static_cast<unsigned char*>(out), width, height, flag);
            case kNimbusFamily:
                return vantelo::nimbusCalls().decode(raw, out, width, height, flag);
            default:
                return kNothingDone;
        }
    });
}

VANTELO_API int KdCamera_GetImageSize(CameraRecord* record, int* width, int* height) {
    if (record == nullptr || width == nullptr || height == nullptr) return kNothingDone;
    return guarded(kNothingDone, [&] {
        switch (record->camera_type) {
            case kOstraFamily:
                return vantelo::ostraCalls().getImageSize(width, height);
            case kNimbusFamily:
                return vantelo::nimbusCalls().getImageSize(width, height);
            default:
                return kNothingDone;
        }
    });
}

VANTELO_API int KdCamera_Registerpixel(CameraRecord* record, KdNameSink sink, void* context) {
    if (record == nullptr) return kNothingDone;
    return guarded(kNothingDone, [&] {
        if (sink != nullptr) {
            for (const char* name : vantelo::resolutionNames(record->camera_type))
                sink(context, name);
        }
        return kDone;
    });
}

}  // extern "C"
