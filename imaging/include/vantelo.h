#ifndef VANTELO_H
#define VANTELO_H
/* Vantelo: camera detection and command dispatch over the two camera families, the
 * captured-frame list, the display picture, crop, histogram and levels.
 *
 * Every export takes the program's CameraRecord, which the library never keeps between
 * calls. Results: 1 done; 0 nothing done (unknown command or camera type); -1 no camera
 * or initialisation refused; -2 out of memory; -3 no frame available; -4 a setting
 * refused. The library takes no lock: callers serialise display and frame-list calls. */

#include <stdint.h>

#include "kd_window.h"

#ifdef __cplusplus
class QPainter;
class QImage;
extern "C" {
#else
typedef struct QPainter QPainter;
typedef struct QImage QImage;
#endif

#if defined(__GNUC__)
#define VANTELO_API __attribute__((visibility("default")))
#else
#define VANTELO_API
#endif

/* A rectangle with exclusive right and bottom edges. */
typedef struct RECT {
    int32_t left, top, right, bottom;
} RECT;

/* Results of the exports. */
enum {
    KD_DONE = 1,
    KD_NOTHING_DONE = 0,
    KD_NO_CAMERA = -1, /* no camera, or initialisation refused */
    KD_OUT_OF_MEMORY = -2,
    KD_NO_FRAME = -3,
    KD_REFUSED = -4
};

/* Camera families, as CameraRecord.camera_type holds them. */
enum { KD_FAMILY_NONE = -1, KD_FAMILY_OSTRA = 21, KD_FAMILY_NIMBUS = 31 };

/* Lifecycle states of CameraRecord.state: init, start, stop and uninit move it round. */
enum {
    KD_STATE_INITIALISED = 0,
    KD_STATE_STARTED = 1,
    KD_STATE_STOPPED = 3,
    KD_STATE_UNINITIALISED = 4
};

/* CameraRecord.save_format: which file Mes_SaveBuffList writes. KD_SAVE_FITS writes
 * the first family's raw mosaic under the crop as "<path>.fits"; any value not listed
 * here writes a bitmap. */
enum { KD_SAVE_JPEG = 1, KD_SAVE_BMP = 2, KD_SAVE_RAW = 4, KD_SAVE_TIFF = 8, KD_SAVE_FITS = 16 };

/* Length of the record's text fields, terminating zero included. */
#define CAMERA_RECORD_TEXT 260

/* The one camera record, owned by the program; fields in their fixed order. */
typedef struct CameraRecord {
    int32_t state;            /* KD_STATE_* */
    int32_t camera_type;      /* KD_FAMILY_* */
    int32_t resolution_index; /* low byte handed to the camera at initialisation */
    KdWindow* init_window_1;  /* display window given at initialisation */
    KdWindow* init_window_2;  /* notification window given at initialisation */
    int32_t image_width;
    int32_t image_height;
    int32_t auto_exposure;
    uint32_t exposure_ms;
    int32_t long_exp_power;                 /* first family only */
    int32_t analog_gain;                    /* low 16 bits passed */
    int32_t roi_x0, roi_y0, roi_x1, roi_y1; /* program's own */
    int32_t frame_speed;                    /* low byte passed */
    int32_t gain_r, gain_g, gain_b;         /* 1/64 units, low 16 bits passed */
    int32_t saturation;                     /* low byte passed, 128 neutral */
    int32_t color_enhancement;
    int32_t monochrome;
    int32_t awb_state;
    float exposure_range[3]; /* milliseconds, from the second family's range query */
    int32_t param_range[3];  /* last second-family parameter range queried */
    uint8_t contrast;
    uint8_t gamma;
    int32_t data_width_16;
    int32_t over_exposure_warning;                        /* program's own */
    int32_t mirror_1;                                     /* horizontal, mirror axis 0 */
    int32_t mirror_2;                                     /* vertical, mirror axis 1 */
    int32_t frame_speed_index;                            /* low byte used */
    int32_t crop_left, crop_top, crop_right, crop_bottom; /* right and bottom exclusive */
    int32_t full_screen, area_selected, custom_sequence;  /* program's own */
    int32_t stack_checked;                                /* program's own */
    int32_t sequence_count;                               /* program's own */
    int32_t frame_time_ms, frame_time_copy_ms;            /* program's own */
    int32_t custom_exposure_ms[10];                       /* program's own */
    char file_name[CAMERA_RECORD_TEXT];                   /* program's own */
    int32_t file_index;                                   /* program's own */
    int32_t save_format;                                  /* KD_SAVE_* */
    int32_t file_use_time;                                /* program's own */
    char save_directory[CAMERA_RECORD_TEXT];              /* program's own */
    /* Program's own series counters and flags. */
    int32_t captured_total;
    int32_t captured_current;
    int32_t series_flag;
    int32_t stack_series; /* the integrate flag passed to Mes_SnapToBuffList */
    int32_t auto_levels;
} CameraRecord;

/* Command codes of KdCamera_ReadWrite. */
enum {
    CAMCMD_FRAME_SPEED = 2,
    CAMCMD_DATA_WIDTH = 3,
    CAMCMD_WHITE_BALANCE = 6,
    CAMCMD_RGB_GAIN = 7,
    CAMCMD_MONOCHROME = 8,
    CAMCMD_COLOR_ENHANCE = 9,
    CAMCMD_GAMMA = 10,
    CAMCMD_CONTRAST = 11,
    CAMCMD_SATURATION = 12,
    CAMCMD_AUTO_EXPOSURE = 15,
    CAMCMD_ANALOG_GAIN = 17,
    CAMCMD_EXPOSURE = 18,
    CAMCMD_IMAGE_SIZE = 20,
    CAMCMD_FRAME_SPEED_INDEX = 21,
    CAMCMD_LONG_EXP_POWER = 22,
    CAMCMD_INIT = 23,
    CAMCMD_UNINIT = 24,
    CAMCMD_START = 25,
    CAMCMD_STOP = 27,
    CAMCMD_APPLY_EXPOSURE = 34,
    CAMCMD_APPLY_EXPOSURE_RESTART = 35,
    CAMCMD_RESTART_LONG_EXP_1 = 36,
    CAMCMD_RESTART_LONG_EXP_0 = 37,
    CAMCMD_DISPLAY_ENABLE = 39,
    CAMCMD_MIRROR_1 = 40,
    CAMCMD_MIRROR_2 = 41,
    CAMCMD_OVER_EXPOSURE = 42,
    CAMCMD_EXPOSURE_RANGE = 44,
    CAMCMD_ANALOG_GAIN_RANGE = 45,
    CAMCMD_CONTRAST_RANGE = 46,
    CAMCMD_GAMMA_RANGE = 47,
    CAMCMD_SATURATION_RANGE = 48,
    CAMCMD_GAIN_RANGE = 49,
    CAMCMD_NOISE_REDUCTION_2 = 50
};

/* Receives one resolution name from KdCamera_Registerpixel (in place of a combo box). */
typedef void (*KdNameSink)(void* context, const char* name);

/* Camera detection and dispatch. */
VANTELO_API int KdCamera_RefreshCamera(CameraRecord* record);
VANTELO_API int KdCamera_ReadWrite(CameraRecord* record, int command, int read);
VANTELO_API int KdCamera_GrabFrame(CameraRecord* record, void* raw_buffer);
VANTELO_API int KdCamera_Decode(CameraRecord* record, const void* raw, void* out, int width,
                                int height, int flag);
VANTELO_API int KdCamera_GetImageSize(CameraRecord* record, int* width, int* height);
VANTELO_API int KdCamera_Registerpixel(CameraRecord* record, KdNameSink sink, void* context);

/* Library set-up and the captured-frame list (frame numbers from 1). */
VANTELO_API int Mes_Init(CameraRecord* record);
VANTELO_API int Mes_UnInit(CameraRecord* record);
VANTELO_API int Mes_SnapToBuffList(CameraRecord* record, void* raw_frame, int integrate);
VANTELO_API int Mes_ClearBuffList(CameraRecord* record);
VANTELO_API int Mes_SaveBuffList(CameraRecord* record, const char* path, int frame_number);
/* The frame's thumbnail as a new picture the caller deletes; null for none. */
VANTELO_API QImage* Mes_ShowBuffList(CameraRecord* record, int frame_number, int max_width,
                                     int max_height, QPainter* dc);
VANTELO_API int Mes_DisplayBuffList(CameraRecord* record, int frame_number, QPainter* dc,
                                    RECT* rect);

/* Crop, the display picture and image files. Pixels are packed rows, top row first,
 * 3 bytes (6 for 16-bit) per pixel in blue-green-red order. */
VANTELO_API int Mes_Crop(CameraRecord* record, const unsigned char* source, unsigned char* target);
VANTELO_API int Mes_Crop16(CameraRecord* record, const unsigned char* source,
                           unsigned char* target);
VANTELO_API int Mes_CopyToShowBuffer(CameraRecord* record, unsigned char* pixels);
VANTELO_API int Mes_ShowBuffer(CameraRecord* record, QPainter* dc, RECT* rect);
/* A thumbnail of an image file as a new picture the caller deletes; null for none. */
VANTELO_API QImage* Mes_ShowFile(const char* path, int max_width, int max_height, QPainter* dc);
VANTELO_API int Mes_DisplayFile(const char* path, QPainter* dc, RECT* rect);

/* Histogram and levels. */
VANTELO_API int Mes_InitHistogram(void);
VANTELO_API int Mes_DrawHistogramFram(QPainter* dc, RECT* rect);
VANTELO_API int Mes_DrawHistogramData(QPainter* dc, RECT* rect);
VANTELO_API int Mes_SetLevelsValues(int black, int white);
VANTELO_API int Mes_GetLevelsValues(short* black, short* white);
VANTELO_API int Mes_AutoLevels(int on);

#ifdef __cplusplus
}
#endif
#endif
