// The captured-frame list's exports: snap, clear, thumbnail, full-size display, save.
#include <cstdio>

#include "cdib.h"
#include "export_guard.h"
#include "frame_list.h"
#include "frame_picture.h"
#include "frame_save.h"
#include "kd_frame_info.h"
#include "vantelo.h"

using vantelo::guardedExport;

extern "C" VANTELO_API int Mes_SnapToBuffList(CameraRecord* record, void* raw_frame,
                                              int integrate) {
    if (record == nullptr || raw_frame == nullptr) return KD_NOTHING_DONE;
    return guardedExport("Mes_SnapToBuffList", int{KD_NOTHING_DONE}, [&] {
        return vantelo::snapToFrameList(*record, static_cast<std::uint8_t*>(raw_frame), integrate);
    });
}

extern "C" VANTELO_API int Mes_ClearBuffList(CameraRecord* /*record*/) {
    vantelo::releaseFrameList();
    return KD_DONE;
}

extern "C" VANTELO_API QImage* Mes_ShowBuffList(CameraRecord* /*record*/, int frame_number,
                                                int /*max_width*/, int /*max_height*/,
                                                QPainter* dc) {
    return guardedExport("Mes_ShowBuffList", static_cast<QImage*>(nullptr), [&]() -> QImage* {
        const vantelo::BufferedFrame* frame = vantelo::bufferedFrame(frame_number);
        if (frame == nullptr || frame->thumbnail == nullptr) return nullptr;
        return frame->thumbnail->MakeBitmap(dc);
    });
}

extern "C" VANTELO_API int Mes_DisplayBuffList(CameraRecord* record, int frame_number, QPainter* dc,
                                               RECT* rect) {
    if (record == nullptr || dc == nullptr || rect == nullptr) return KD_NOTHING_DONE;
    return guardedExport("Mes_DisplayBuffList", int{KD_NOTHING_DONE}, [&]() -> int {
        const vantelo::BufferedFrame* frame = vantelo::bufferedFrame(frame_number);
        if (frame == nullptr || !vantelo::cropFitsPicture(*record)) return KD_NOTHING_DONE;
        vantelo::ByteBuffer decoded;
        if (!vantelo::decodeStoredFrame(*record, frame->raw, true, decoded)) return KD_NOTHING_DONE;
        vantelo::ByteBuffer crop =
            vantelo::cropLevelled8(*record, decoded, vantelo::Rows::TopFirst);
        decoded = vantelo::ByteBuffer{};
        CDib picture;
        if (picture.SetFromPixels(crop.data(), record->crop_right - record->crop_left,
                                  record->crop_bottom - record->crop_top) != KD_DONE) {
            return KD_OUT_OF_MEMORY;
        }
        picture.DrawStretched(dc, rect);
        return KD_DONE;
    });
}

extern "C" VANTELO_API int Mes_SaveBuffList(CameraRecord* record, const char* path,
                                            int frame_number) {
    if (record == nullptr || path == nullptr) return KD_NOTHING_DONE;
    return guardedExport("Mes_SaveBuffList", int{KD_NOTHING_DONE}, [&]() -> int {
        const vantelo::BufferedFrame* frame = vantelo::bufferedFrame(frame_number);
        if (frame == nullptr) {
            std::fprintf(stderr, "Mes_SaveBuffList: no frame %d in the list.\n", frame_number);
            return KD_NOTHING_DONE;
        }
        return vantelo::saveFrame(*record, *frame, path);
    });
}

extern "C" VANTELO_API int CorvalisKdSnapToBuffList(CameraRecord* record, void* raw_frame,
                                                    int integrate, const KdFrameInfo* info) {
    if (record == nullptr || raw_frame == nullptr || info == nullptr) return KD_NOTHING_DONE;
    return guardedExport("CorvalisKdSnapToBuffList", int{KD_NOTHING_DONE}, [&] {
        return vantelo::snapToFrameList(*record, static_cast<std::uint8_t*>(raw_frame), integrate,
                                        info);
    });
}

extern "C" VANTELO_API int CorvalisKdListFrameInfo(CameraRecord* /*record*/, int frame_number,
                                                   KdFrameInfo* info) {
    if (info == nullptr) return KD_NOTHING_DONE;
    const vantelo::BufferedFrame* frame = vantelo::bufferedFrame(frame_number);
    if (frame == nullptr) return KD_NOTHING_DONE;
    *info = frame->info;
    return KD_DONE;
}
