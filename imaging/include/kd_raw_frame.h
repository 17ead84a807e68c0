#ifndef KD_RAW_FRAME_H
#define KD_RAW_FRAME_H
/* The raw frames of the two camera families, for callers that size buffers for them:
 * where the samples start and how many bytes a grab writes. Header-only; it adds no
 * export to the imaging library. */

#include <stddef.h>

#include "nimbus.h"
#include "ostra.h"
#include "vantelo.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Bytes in front of the samples of a raw frame, and in front of the picture a decode
 * writes: the second family puts a header of its own there. */
static inline size_t KdRawHeaderBytes(int family) {
    return family == KD_FAMILY_NIMBUS ? (size_t)NIMBUS_HEADER_BYTES : 0;
}

/* Bytes one grab writes: for the first family the whole read-out of `mode` (16-bit
 * samples when `dataWide` is non-zero), which is not the picture's size; for the second
 * family its header and one byte a pixel of the `width` x `height` picture. 0 for an
 * unknown family, mode or size. */
static inline size_t KdRawGrabBytes(int family, int mode, int dataWide, int width, int height) {
    if (family == KD_FAMILY_OSTRA) return (size_t)OstraIICameraGrabBytes(mode, dataWide);
    if (family == KD_FAMILY_NIMBUS && width > 0 && height > 0)
        return KdRawHeaderBytes(family) + (size_t)width * (size_t)height;
    return 0;
}

#ifdef __cplusplus
}
#endif
#endif
