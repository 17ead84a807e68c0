#ifndef NIMBUS_H
#define NIMBUS_H
/* Nimbus: the library of the second camera family (USB 0547:A004, a 2584 x 1936
 * colour sensor). This build drives an in-process model of the camera; the device must
 * be present in the platform's device list (CORVALIS_CAMERA=simulator-nimbus lists one).
 *
 * Results: 1 done; 0 failed (no frame, a refused value, a device that went away);
 * -1 not initialised. Setters clamp to the ranges their range query reports.
 *
 * Resolutions (the one-byte resolution number):
 *   0 2584 x 1936 full frame       1 1272 x 952 skipping 2      2 632 x 472 skipping 4
 *   3 1272 x 952 2 x 2 binning     4 632 x 472 4 x 4 binning
 *
 * Raw buffer (CameraGetImageData): a NIMBUS_HEADER_BYTES header (NimbusFrameHeader at
 * its start, the rest zero), then width x height samples of one byte each in the
 * sensor's Bayer order (even rows green, red; odd rows blue, green), top row first.
 * NIMBUS_RAW_BYTES(w, h) bytes in all.
 *
 * Decoded buffer (CameraDecode): the raw buffer's NIMBUS_HEADER_BYTES header copied,
 * then width x height pixels of 3 bytes in blue, green, red order, rows bottom-up with
 * no padding, every picture setting applied. NIMBUS_DECODED_BYTES(w, h) bytes in all.
 * Callers that hold frames of either family size their buffers for the larger one. */

#include <stdint.h>

#include "kd_window.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define NIMBUS_API __attribute__((visibility("default")))
#else
#define NIMBUS_API
#endif

#define NIMBUS_HEADER_BYTES 512
#define NIMBUS_RAW_BYTES(w, h) (NIMBUS_HEADER_BYTES + (w) * (h))
#define NIMBUS_DECODED_BYTES(w, h) (NIMBUS_HEADER_BYTES + (w) * (h) * 3)

/* The start of a raw buffer's header. */
typedef struct NimbusFrameHeader {
    char magic[4]; /* "NBF1" */
    uint32_t width;
    uint32_t height;
    uint32_t frame_number; /* counts from 1 after CameraInit */
    float exposure_ms;
    uint16_t analog_gain;
    uint8_t resolution;
    uint8_t reserved;
} NimbusFrameHeader;

/* Life of the camera. `device_index` chooses among attached cameras (0 the first). */
NIMBUS_API int CameraInit(int device_index, uint8_t resolution, KdWindow* display, KdWindow* notify);
NIMBUS_API int CameraUnInit(void);

/* Frames: waits for the next exposed frame and writes NIMBUS_RAW_BYTES of the current
 * size; 1 when a frame was written. The decode ignores width, height and flag (the
 * size is in the raw header; the output is always 8 bits per channel). */
NIMBUS_API int CameraGetImageData(void* raw);
NIMBUS_API int CameraDecode(const void* raw, void* out, int width, int height, int flag);
NIMBUS_API int CameraGetImageSize(int* width, int* height);
NIMBUS_API int CameraDisplayEnable(int on);

NIMBUS_API int CameraGetFrameSpeed(uint8_t* speed);
NIMBUS_API int CameraSetFrameSpeed(uint8_t speed);
NIMBUS_API int CameraGetAeState(int* on);
NIMBUS_API int CameraSetAeState(int on);
NIMBUS_API int CameraGetExposureTimeMS(float* milliseconds);
NIMBUS_API int CameraSetExposureTimeMS(float milliseconds);
NIMBUS_API int CameraGetAnalogGain(uint16_t* gain);
NIMBUS_API int CameraSetAnalogGain(uint16_t gain);
/* Colour gains in 1/64 units (64 = x1.00). */
NIMBUS_API int CameraGetGain(uint16_t* red, uint16_t* green, uint16_t* blue);
NIMBUS_API int CameraSetGain(uint16_t red, uint16_t green, uint16_t blue);
NIMBUS_API int CameraGetGamma(uint8_t* gamma);
NIMBUS_API int CameraSetGamma(uint8_t gamma);
NIMBUS_API int CameraGetContrast(uint8_t* contrast);
NIMBUS_API int CameraSetContrast(uint8_t contrast);
NIMBUS_API int CameraGetSaturation(uint8_t* saturation);
NIMBUS_API int CameraSetSaturation(uint8_t saturation);
NIMBUS_API int CameraSetMonochrome(int on);
NIMBUS_API int CameraSetColorEnhancement(int on);
/* Axis 0 horizontal, 1 vertical. */
NIMBUS_API int CameraSetMirror(int axis, int on);
/* One automatic white balance on the next frame: sets the colour gains so that the
 * frame's channel means match green. */
NIMBUS_API int CameraWhiteBalance(void);

/* Ranges as (minimum, maximum, default). */
NIMBUS_API int CameraGetExposureTimeRange(float* minimum, float* maximum, float* preset);
NIMBUS_API int CameraGetAnalogGainRange(int* minimum, int* maximum, int* preset);
NIMBUS_API int CameraGetContrastRange(int* minimum, int* maximum, int* preset);
NIMBUS_API int CameraGetGammaRange(int* minimum, int* maximum, int* preset);
NIMBUS_API int CameraGetSaturationRange(int* minimum, int* maximum, int* preset);
NIMBUS_API int CameraGetGainRange(int* minimum, int* maximum, int* preset);

#ifdef __cplusplus
}
#endif
#endif
