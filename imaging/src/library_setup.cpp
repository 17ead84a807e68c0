// Mes_Init and Mes_UnInit: set-up and release of the library's process-wide parts.
#include "dispatcher.h"
#include "display_picture.h"
#include "frame_list.h"
#include "vantelo.h"

extern "C" VANTELO_API int Mes_Init(CameraRecord* record) {
    if (record == nullptr) return 0;
    try {
        vantelo::resetDisplayPicture(record->crop_right - record->crop_left,
                                     record->crop_bottom - record->crop_top);
        vantelo::ensureDispatcher();
        vantelo::resetFrameList();
        return 1;
    } catch (...) {
        return -2;
    }
}

extern "C" VANTELO_API int Mes_UnInit(CameraRecord* /*record*/) {
    vantelo::destroyDisplayPicture();
    vantelo::destroyDispatcher();
    vantelo::releaseFrameList();
    return 1;
}
