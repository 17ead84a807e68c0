#ifndef NIMBUS_H
#define NIMBUS_H
/* Nimbus: the library of the second camera family (USB 0547:A004, a 2584 x 1936
 * colour sensor). This build drives an in-process model of the camera; the device must
 * be present in the platform's device list (CORVALIS_CAMERA=simulator-nimbus lists one).
 *
 * Results: 1 done; 0 failed (no frame, a refused value, a device that went away);
 * -1 not initialised; -2 out of memory. Setters clamp to the ranges their range query reports.
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
 * The skipping resolutions keep every 2nd (4th) pair of rows and of columns, so the
 * Bayer order stays as above; the binning ones sum 2 x 2 (4 x 4) samples of the same
 * colour, clamped at full scale. Both read the centre of the full frame.
 *
 * Decoded buffer (CameraDecode): the raw buffer's NIMBUS_HEADER_BYTES header copied,
 * then width x height pixels of 3 bytes in blue, green, red order, rows bottom-up with
 * no padding, every picture setting applied. NIMBUS_DECODED_BYTES(w, h) bytes in all.
 * Callers that hold frames of either family size their buffers for the larger one.
 * The picture starts at byte NIMBUS_HEADER_BYTES (512) of both buffers and nowhere
 * else: nothing meaningful starts at byte 520; a reader starting there would be 8 bytes
 * (two pixels and two channels) into the first row.
 *
 * Frame timing: each CameraGetImageData exposes a new frame from the moment it is
 * called, for the exposure time, then reads it out in
 *     rows x (20 us + columns / pixel rate),  pixel rate 12, 24, 48 MHz at speed 0, 1, 2
 * (the full frame at speed 1: 247.2 ms). A change of exposure or speed applies to
 * the frame in progress, so shortening the exposure ends a long wait. The call returns
 * 0 when the camera leaves the device list or CameraUnInit runs meanwhile.
 *
 * Picture settings, applied by CameraDecode in this order:
 *   colour gains   each Bayer site x gain / 64, clamped (64 neutral);
 *   demosaic       bilinear;
 *   saturation     with colour enhancement on, each channel c becomes
 *                  Y + (c - Y) x saturation / 100,
 *                  Y = (77 R + 150 G + 29 B + 128) / 256
 *                  (100 neutral, 0 grey); with it off the colours stay as demosaiced;
 *   monochrome     every channel = Y;
 *   contrast       v -> 128 + (v - 128) x contrast / 128, clamped (128 neutral);
 *   gamma          v -> 255 x (v / 255) ^ (100 / gamma), rounded (100 neutral; larger
 *                  values brighten the middle tones);
 *   mirrors        axis 0 swaps left and right, axis 1 top and bottom.
 * The analogue gain acts at exposure: the signal is multiplied by (100 + gain) / 100.
 * Frame speed: 0 low, 1 normal, 2 high (the pixel rates above).
 * Auto exposure, when on, scales the exposure after each frame towards a mean level of
 * NIMBUS_AE_TARGET (at most x2 or /2 per frame, within the exposure range).
 * Ranges (minimum, maximum, default) are the NIMBUS_*_MIN/MAX/DEFAULT values below. */

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

/* Results of the functions. */
enum { NIMBUS_DONE = 1, NIMBUS_FAILED = 0, NIMBUS_NOT_INITIALISED = -1, NIMBUS_OUT_OF_MEMORY = -2 };

#define NIMBUS_HEADER_BYTES 512
#define NIMBUS_RAW_BYTES(w, h) (NIMBUS_HEADER_BYTES + (w) * (h))
#define NIMBUS_DECODED_BYTES(w, h) (NIMBUS_HEADER_BYTES + (w) * (h)*3)

/* Ranges of the settings, as the range queries report them (the third value is the
 * default the camera starts with at CameraInit). */
#define NIMBUS_EXPOSURE_MIN_MS 0.1f
#define NIMBUS_EXPOSURE_MAX_MS 3600000.0f /* one hour */
#define NIMBUS_EXPOSURE_DEFAULT_MS 200.0f
#define NIMBUS_ANALOG_GAIN_MIN 0
#define NIMBUS_ANALOG_GAIN_MAX 300
#define NIMBUS_ANALOG_GAIN_DEFAULT 0
#define NIMBUS_CONTRAST_MIN 0
#define NIMBUS_CONTRAST_MAX 255
#define NIMBUS_CONTRAST_DEFAULT 128
#define NIMBUS_GAMMA_MIN 10
#define NIMBUS_GAMMA_MAX 250
#define NIMBUS_GAMMA_DEFAULT 100
#define NIMBUS_SATURATION_MIN 0
#define NIMBUS_SATURATION_MAX 200
#define NIMBUS_SATURATION_DEFAULT 100
#define NIMBUS_COLOR_GAIN_MIN 0
#define NIMBUS_COLOR_GAIN_MAX 255
#define NIMBUS_COLOR_GAIN_DEFAULT 64
#define NIMBUS_FRAME_SPEED_MIN 0
#define NIMBUS_FRAME_SPEED_MAX 2
#define NIMBUS_FRAME_SPEED_DEFAULT 1
#define NIMBUS_RESOLUTION_COUNT 5
/* Mean raw level (8 bits) auto exposure aims at. */
#define NIMBUS_AE_TARGET 100

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

/* Life of the camera. `device_index` chooses among attached cameras (0 the first).
 * CameraInit: 1 when the camera was found and opened with every setting at its default;
 * 0 when there is no such camera, the resolution is not 0..4, or the camera is already
 * initialised (it stays as it was). CameraUnInit: 1, or -1 when not initialised; a
 * CameraGetImageData waiting on another thread returns 0 at once.
 * Setters and getters return 1, or -1 when not initialised; a setting that cannot be
 * clamped (a NaN exposure) is refused with 0. `display`, when given and while display is
 * enabled (the default), receives every grabbed frame decoded; `notify` is not used. */
NIMBUS_API int CameraInit(int device_index, uint8_t resolution, KdWindow* display,
                          KdWindow* notify);
NIMBUS_API int CameraUnInit(void);

/* Frames: waits for the next exposed frame and writes NIMBUS_RAW_BYTES of the current
 * size; 1 when a frame was written, 0 when the camera went away or was released
 * meanwhile, -1 when not initialised. The decode ignores width, height and flag (the
 * size is in the raw header; the output is always 8 bits per channel); it works with
 * the latest picture settings also while the camera is closed, and returns 1, or 0
 * (writing nothing) for a null buffer or a raw header that is not one of ours (wrong
 * magic, or a size and resolution that do not match the table above). */
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
/* One automatic white balance: sets the colour gains so that the channel means of a
 * frame match green (green gain 64, the others clamped to their range). It uses the
 * latest frame CameraGetImageData delivered, so the gains read back at once; before the
 * first frame it is armed and the next frame applies it. A black frame leaves the gains
 * as they are. 1, or -1 when not initialised. */
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
