#ifndef KD_FRAME_INFO_H
#define KD_FRAME_INFO_H
/* What is known about a frame beside its samples, for the metadata of astronomy files:
 * the last frame grabbed through KdCamera_GrabFrame, or a frame of the captured-frame
 * list, which keeps it from the moment the frame was snapped. */

#include <stdint.h>

#include "vantelo.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct KdFrameInfo {
    /* UTC at which the camera started the (first) exposure, in microseconds since
     * 1970-01-01 00:00:00; 0 when the camera family cannot tell. */
    int64_t start_utc_us;
    /* The exposure as the camera was programmed, in seconds (it can be shorter than
     * the one asked for); for a stacked frame, the sum over its frames. */
    double exposure_s;
    int32_t gain;      /* the camera's analogue gain setting, not electrons per count */
    int32_t mode;      /* the first family's sensor mode 0-4; -1 for the second family */
    int32_t data_wide; /* 1 for 16-bit samples */
    int32_t combined;  /* frames added up into this one: 1, or more when stacked */
} KdFrameInfo;

/* The last frame KdCamera_GrabFrame delivered for the record's camera family.
 * KD_DONE; KD_NO_FRAME when none has been grabbed; KD_NOTHING_DONE for a null argument
 * or a record without a known family; KD_NO_CAMERA without an open camera. */
VANTELO_API int CorvalisKdFrameInfo(CameraRecord* record, KdFrameInfo* info);

/* The information kept with frame `frame_number` (from 1) of the captured-frame list.
 * KD_DONE; KD_NOTHING_DONE for no such frame or a null argument. */
VANTELO_API int CorvalisKdListFrameInfo(CameraRecord* record, int frame_number, KdFrameInfo* info);

/* Mes_SnapToBuffList for a frame whose information the caller carried with it (a copy
 * the preview made earlier): `info` is kept with the frame instead of the last grab's.
 * When integrating, exposures add up and the start stays the first frame's. Results as
 * Mes_SnapToBuffList's. Mes_SnapToBuffList itself keeps the last grab's information. */
VANTELO_API int CorvalisKdSnapToBuffList(CameraRecord* record, void* raw_frame, int integrate,
                                         const KdFrameInfo* info);

#ifdef __cplusplus
}
#endif
#endif
