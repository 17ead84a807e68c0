#ifndef OSTRA_FRAME_INFO_H
#define OSTRA_FRAME_INFO_H
/* What the driver knows about the last frame OstraIICameraGrabFrame delivered, for the
 * metadata of astronomy files: when its exposure started and how it was taken. */

#include <stdint.h>

#include "ostra.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The camera's name, as files name their instrument. */
#define OSTRA_INSTRUMENT_NAME "Ostra colour CCD"

typedef struct CorvalisOstraFrame {
    /* UTC at which the driver started the frame's exposure, in microseconds since
     * 1970-01-01 00:00:00. With the simulated camera it counts on in device time from
     * the moment the camera was opened. */
    int64_t start_utc_us;
    /* The exposure the sensor was programmed with: exposure rows x row time at the
     * frame speed in force, no longer than the mode's longest exposure. It can be
     * shorter than the one asked for. */
    double exposure_s;
    int32_t gain;        /* the analogue gain setting (16..1023), not electrons per count */
    int32_t mode;        /* sensor mode, 0-4 */
    int32_t data_wide;   /* 1 for 16-bit samples, 0 for 8-bit */
    int32_t frame_speed; /* 1-4 */
} CorvalisOstraFrame;

/* Fills `info` for the last frame a grab delivered. OSTRA_DONE; OSTRA_NO_FRAME when
 * no grab of this camera context has delivered a frame yet (info untouched);
 * OSTRA_NOTHING_DONE for a null `info`; OSTRA_NO_CAMERA without a camera context. */
OSTRA_API int CorvalisOstraFrameInfo(CorvalisOstraFrame* info);

#ifdef __cplusplus
}
#endif
#endif
