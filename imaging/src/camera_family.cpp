#include "camera_family.h"

#include "camera_calls.h"

namespace vantelo {

int grabFamilyFrame(const CameraRecord& record, void* raw) {
    switch (record.camera_type) {
        case KD_FAMILY_OSTRA:
            return ostraCalls().grabFrame(static_cast<unsigned char*>(raw));
        case KD_FAMILY_NIMBUS:
            return nimbusCalls().getImageData(raw);
        default:
            return KD_NOTHING_DONE;
    }
}

int decodeFamilyFrame(const CameraRecord& record, const void* raw, void* out, int width, int height,
                      int flag) {
    switch (record.camera_type) {
        case KD_FAMILY_OSTRA:
            // The driver reads the raw frame only; its parameter is not const-qualified.
            return ostraCalls().decode(static_cast<unsigned char*>(const_cast<void*>(raw)),
                                       static_cast<unsigned char*>(out), width, height, flag);
        case KD_FAMILY_NIMBUS:
            return nimbusCalls().decode(raw, out, width, height, flag);
        default:
            return KD_NOTHING_DONE;
    }
}

int familyImageSize(const CameraRecord& record, int* width, int* height) {
    switch (record.camera_type) {
        case KD_FAMILY_OSTRA:
            return ostraCalls().getImageSize(width, height);
        case KD_FAMILY_NIMBUS:
            return nimbusCalls().getImageSize(width, height);
        default:
            return KD_NOTHING_DONE;
    }
}

int familyMode(const CameraRecord& record, int* mode) {
    if (record.camera_type != KD_FAMILY_OSTRA) return KD_NOTHING_DONE;
    unsigned char value = 0;
    const int result = ostraCalls().getResolution(&value);
    if (result == KD_DONE) *mode = value;
    return result;
}

int familyDataWide(const CameraRecord& record, int* wide) {
    if (record.camera_type != KD_FAMILY_OSTRA) return KD_NOTHING_DONE;
    return ostraCalls().getDataWide(wide);
}

int familyFrameInfo(const CameraRecord& record, KdFrameInfo& info) {
    if (record.camera_type != KD_FAMILY_OSTRA) return KD_NOTHING_DONE;
    if (ostraCalls().frameInfo == nullptr) return KD_NO_FRAME;
    CorvalisOstraFrame frame{};
    const int result = ostraCalls().frameInfo(&frame);
    if (result != KD_DONE) return result;
    info.start_utc_us = frame.start_utc_us;
    info.exposure_s = frame.exposure_s;
    info.gain = frame.gain;
    info.mode = frame.mode;
    info.data_wide = frame.data_wide;
    info.combined = 1;
    return KD_DONE;
}

}  // namespace vantelo
