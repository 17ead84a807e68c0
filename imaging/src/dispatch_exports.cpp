// The six KdCamera_* exports: detection, the command dispatcher and the frame
// pass-throughs to the library of the record's camera family.
#include "camera_family.h"
#include "camera_scanner.h"
#include "dispatcher.h"
#include "export_guard.h"
#include "kd_frame_info.h"
#include "resolution_names.h"
#include "vantelo.h"

using vantelo::guardedExport;

extern "C" {

VANTELO_API int KdCamera_RefreshCamera(CameraRecord* record) {
    if (record == nullptr) return KD_NOTHING_DONE;
    // Whatever stops the walk, the record says "no camera" rather than keeping an old type.
    record->camera_type = KD_FAMILY_NONE;
    return guardedExport("KdCamera_RefreshCamera", int{KD_DONE}, [&]() -> int {
        vantelo::CameraScanner scanner;
        scanner.scan();
        record->camera_type = scanner.type();
        return KD_DONE;
    });
}

VANTELO_API int KdCamera_ReadWrite(CameraRecord* record, int command, int read) {
    if (record == nullptr) return KD_NOTHING_DONE;
    return guardedExport("KdCamera_ReadWrite", int{KD_NOTHING_DONE}, [&]() -> int {
        if (!vantelo::ensureDispatcher()) return KD_NOTHING_DONE;
        return vantelo::dispatcher()->readWrite(*record, command, read != 0);
    });
}

VANTELO_API int KdCamera_GrabFrame(CameraRecord* record, void* raw_buffer) {
    if (record == nullptr || raw_buffer == nullptr) return KD_NOTHING_DONE;
    return guardedExport("KdCamera_GrabFrame", int{KD_NOTHING_DONE},
                         [&] { return vantelo::grabFamilyFrame(*record, raw_buffer); });
}

VANTELO_API int KdCamera_Decode(CameraRecord* record, const void* raw, void* out, int width,
                                int height, int flag) {
    if (record == nullptr || raw == nullptr || out == nullptr) return KD_NOTHING_DONE;
    return guardedExport("KdCamera_Decode", int{KD_NOTHING_DONE}, [&] {
        return vantelo::decodeFamilyFrame(*record, raw, out, width, height, flag);
    });
}

VANTELO_API int KdCamera_GetImageSize(CameraRecord* record, int* width, int* height) {
    if (record == nullptr || width == nullptr || height == nullptr) return KD_NOTHING_DONE;
    return guardedExport("KdCamera_GetImageSize", int{KD_NOTHING_DONE},
                         [&] { return vantelo::familyImageSize(*record, width, height); });
}

VANTELO_API int KdCamera_Registerpixel(CameraRecord* record, KdNameSink sink, void* context) {
    if (record == nullptr) return KD_NOTHING_DONE;
    return guardedExport("KdCamera_Registerpixel", int{KD_NOTHING_DONE}, [&]() -> int {
        if (sink != nullptr) {
            for (const char* name : vantelo::resolutionNames(record->camera_type))
                sink(context, name);
        }
        return KD_DONE;
    });
}

VANTELO_API int CorvalisKdFrameInfo(CameraRecord* record, KdFrameInfo* info) {
    if (record == nullptr || info == nullptr) return KD_NOTHING_DONE;
    return guardedExport("CorvalisKdFrameInfo", int{KD_NOTHING_DONE},
                         [&] { return vantelo::familyFrameInfo(*record, *info); });
}

}  // extern "C"
