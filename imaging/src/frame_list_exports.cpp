// The captured-frame list's exports: snap, clear, thumbnail, full-size display, save.
#include <cstdio>
#include <exception>
#include <new>

#include "cdib.h"
#include "frame_list.h"
#include "frame_picture.h"
#include "frame_save.h"
#include "vantelo.h"

namespace {

int reportFailure(const char* function, const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", function, e.what());
    return 0;
}

}  // namespace

extern "C" VANTELO_API int Mes_SnapToBuffList(CameraRecord* record, void* raw_frame,
                                              int integrate) {
    if (record == nullptr || raw_frame == nullptr) return 0;
    try {
        return vantelo::snapToFrameList(*record, static_cast<std::uint8_t*>(raw_frame), integrate);
    } catch (const std::bad_alloc&) {
        return -2;
    } catch (const std::exception& e) {
        return reportFailure("Mes_SnapToBuffList", e);
    } catch (...) {
        return 0;
    }
}

extern "C" VANTELO_API int Mes_ClearBuffList(CameraRecord* /*record*/) {
    vantelo::releaseFrameList();
    return 1;
}

extern "C" VANTELO_API QImage* Mes_ShowBuffList(CameraRecord* /*record*/, int frame_number,
                                                int /*max_width*/, int /*max_height*/,
                                                QPainter* dc) {
    try {
        const vantelo::BufferedFrame* frame = vantelo::bufferedFrame(frame_number);
        if (frame == nullptr || frame->thumbnail == nullptr) return nullptr;
        return frame->thumbnail->MakeBitmap(dc);
    } catch (...) {
        return nullptr;
    }
}

extern "C" VANTELO_API int Mes_DisplayBuffList(CameraRecord* record, int frame_number, QPainter* dc,
                                               RECT* rect) {
    if (record == nullptr || dc == nullptr || rect == nullptr) return 0;
    try {
        const vantelo::BufferedFrame* frame = vantelo::bufferedFrame(frame_number);
        if (frame == nullptr || !vantelo::cropFitsPicture(*record)) return 0;
        vantelo::ByteBuffer decoded;
        if (!vantelo::decodeStoredFrame(*record, frame->raw, true, decoded)) return 0;
        vantelo::ByteBuffer crop =
            vantelo::cropLevelled8(*record, decoded, vantelo::Rows::TopFirst);
        decoded = vantelo::ByteBuffer{};
        CDib picture;
        if (picture.SetFromPixels(crop.data(), record->crop_right - record->crop_left,
                                  record->crop_bottom - record->crop_top) != 1) {
            return -2;
        }
        picture.DrawStretched(dc, rect);
        return 1;
    } catch (const std::bad_alloc&) {
        return -2;
    } catch (const std::exception& e) {
        return reportFailure("Mes_DisplayBuffList", e);
    } catch (...) {
        return 0;
    }
}

extern "C" VANTELO_API int Mes_SaveBuffList(CameraRecord* record, const char* path,
                                            int frame_number) {
    if (record == nullptr || path == nullptr) return 0;
    try {
        const vantelo::BufferedFrame* frame = vantelo::bufferedFrame(frame_number);
        if (frame == nullptr) {
            std::fprintf(stderr, "Mes_SaveBuffList: no frame %d in the list.\n", frame_number);
            return 0;
        }
        return vantelo::saveFrame(*record, *frame, path);
    } catch (const std::bad_alloc&) {
        return -2;
    } catch (const std::exception& e) {
        return reportFailure("Mes_SaveBuffList", e);
    } catch (...) {
        return 0;
    }
}
