#ifndef OSTRA_H
#define OSTRA_H
/* Ostra: the driver library of the first camera family. One process-wide camera
 * context, created by OstraIICameraInit and destroyed by OstraIICameraUnInit; every
 * other function acts on it.
 *
 * Results: 1 done; 0 nothing done (or a frame that failed its check); -1 no camera
 * context (or no sensor device); -2 out of memory; -3 no frame available; -4 a
 * setting refused. Getters write through the pointer they are given; its width is
 * part of the interface. Setters clamp silently. */

#include "kd_window.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define OSTRA_API __attribute__((visibility("default")))
#else
#define OSTRA_API
#endif

/* Results of the exports. */
enum {
    OSTRA_DONE = 1,
    OSTRA_NOTHING_DONE = 0, /* or a frame that failed its check */
    OSTRA_NO_CAMERA = -1,   /* no camera context, or no sensor device */
    OSTRA_OUT_OF_MEMORY = -2,
    OSTRA_NO_FRAME = -3,
    OSTRA_REFUSED = -4
};

/* The files OstraIICameraCaptureFile writes, as bits of its `formats`. OSTRA_FILE_FITS
 * writes the raw mosaic as read, with its exposure and Bayer pattern, as "<base>.fits". */
enum {
    OSTRA_FILE_JPEG = 1,
    OSTRA_FILE_BMP = 2,
    OSTRA_FILE_RAW = 4,
    OSTRA_FILE_TIFF = 8,
    OSTRA_FILE_FITS = 16
};

/* Bytes a grab writes for one raw frame in `mode` (0-4) with 16-bit samples when
 * `dataWide` is non-zero: the whole Bayer frame the decode consumes (in mode 1 twice
 * the picture's width). Size grab destinations with it. 0 for an unknown mode. */
static inline int OstraIICameraGrabBytes(int mode, int dataWide) {
    static const int samples[5] = {3032 * 2018, 3032 * 844, 1516 * 1008, 1008 * 672, 756 * 504};
    if (mode < 0 || mode > 4) return 0;
    return samples[mode] * (dataWide ? 2 : 1);
}

/* Life of the camera context. The windows may be null; they stay the caller's and
 * must stay valid until UnInit. */
OSTRA_API int OstraIICameraInit(int mode, KdWindow* display, KdWindow* notify);
OSTRA_API int OstraIICameraUnInit(void);

/* Streaming into the display window, with a message per frame to the notify window. */
OSTRA_API int OstraIICameraPlay(void);
OSTRA_API int OstraIICameraPause(void);
OSTRA_API int OstraIICameraStop(void);
OSTRA_API int OstraIICameraSetVideoMessage(unsigned int message);
OSTRA_API int OstraIICameraDisplayEnable(int on);

/* Frames: a grab writes OstraIICameraGrabBytes(mode, wide) bytes; the decode writes
 * output width x height x 3 bytes (x 2 for 16-bit data unless to8), bottom-up
 * blue-green-red, and ignores `width` and `height`. */
OSTRA_API int OstraIICameraGrabFrame(unsigned char* destination);
OSTRA_API int OstraIICameraDecode(unsigned char* raw, unsigned char* rgb, int width, int height,
                                  int to8);
OSTRA_API int OstraIICameraCaptureFile(const char* basePath, int formats); /* OSTRA_FILE_* bits */

OSTRA_API int OstraIICameraSetResolution(int mode);
OSTRA_API int OstraIICameraGetResolution(unsigned char* mode);
OSTRA_API int OstraIICameraGetImageSize(int* width, int* height);

OSTRA_API int OstraIICameraSetAeState(int on);
OSTRA_API int OstraIICameraGetAeState(int* on);
OSTRA_API int OstraIICameraSetExposureTime(int milliseconds);
OSTRA_API int OstraIICameraGetExposureTime(unsigned int* milliseconds);
OSTRA_API int OstraIICameraGetRowTime(float* microseconds);
OSTRA_API int OstraIICameraRestartLongExposure(int restartStreaming);
OSTRA_API int OstraIICameraSetLongExpPower(int on);
OSTRA_API int OstraIICameraGetLongExpPower(int* on);
OSTRA_API int OstraIICameraSetAnalogGain(int gain);
OSTRA_API int OstraIICameraGetAnalogGain(unsigned short* gain);

OSTRA_API int OstraIICameraSetAWBState(int armed);
OSTRA_API int OstraIICameraGetAWBState(int* pending);
OSTRA_API int OstraIICameraSetGain(int red, int green, int blue);
OSTRA_API int OstraIICameraGetGain(int* red, int* green, int* blue);
OSTRA_API int OstraIICameraSetGamma(int gamma);
OSTRA_API int OstraIICameraGetGamma(unsigned char* gamma);
OSTRA_API int OstraIICameraSetContrast(int contrast);
OSTRA_API int OstraIICameraGetContrast(unsigned char* contrast);
OSTRA_API int OstraIICameraSetSaturation(int saturation);
OSTRA_API int OstraIICameraGetSaturation(unsigned char* saturation);
OSTRA_API int OstraIICameraSetColorEnhancement(int on);
OSTRA_API int OstraIICameraGetColorEnhancement(int* on);
OSTRA_API int OstraIICameraSetMonochrome(int on);
OSTRA_API int OstraIICameraGetMonochrome(int* on);
OSTRA_API int OstraIICameraSetMirror(int axis, int on); /* axis 0 horizontal, 1 vertical */
OSTRA_API int OstraIICameraGetMirror(int axis, int* on);
OSTRA_API int OstraIICameraSetFrameSpeed(int speed);
OSTRA_API int OstraIICameraGetFrameSpeed(unsigned char* speed);
OSTRA_API int OstraIICameraSetDataWide(int wide);
OSTRA_API int OstraIICameraGetDataWide(int* wide);

/* Parameter teams in the user's key store. */
OSTRA_API int OstraIICameraSaveParameter(int team);
OSTRA_API int OstraIICameraReadParameter(int team);
OSTRA_API int OstraIICameraGetCurrentParameterTeam(unsigned char* team);

#ifdef __cplusplus
}
#endif
#endif
