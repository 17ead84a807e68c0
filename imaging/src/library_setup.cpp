// Mes_Init and Mes_UnInit: set-up and release of the library's process-wide parts.
#include "dispatcher.h"
#include "display_picture.h"
#include "export_guard.h"
#include "frame_list.h"
#include "vantelo.h"

extern "C" VANTELO_API int Mes_Init(CameraRecord* record) {
    if (record == nullptr) return KD_NOTHING_DONE;
    // Whatever goes wrong here is a part that could not be set up for want of memory.
    return vantelo::guardedExport("Mes_Init", int{KD_OUT_OF_MEMORY}, [&]() -> int {
        vantelo::resetDisplayPicture(record->crop_right - record->crop_left,
                                     record->crop_bottom - record->crop_top);
        vantelo::ensureDispatcher();
        vantelo::resetFrameList();
        return KD_DONE;
    });
}

extern "C" VANTELO_API int Mes_UnInit(CameraRecord* /*record*/) {
    vantelo::destroyDisplayPicture();
    vantelo::destroyDispatcher();
    vantelo::releaseFrameList();
    return KD_DONE;
}
