#ifndef OSTRA_H
#define OSTRA_H
/* Ostra: the driver library of the first camera family. */

#ifdef __cplusplus
extern "C" {
#endif

/* Bytes a grab writes for one raw frame in `mode` (0-4) with 16-bit samples when
 * `dataWide` is non-zero: the whole Bayer frame the decode consumes (in mode 1 twice
 * the picture's width). Size grab destinations with it. 0 for an unknown mode. */
static inline int OstraIICameraGrabBytes(int mode, int dataWide) {
    static const int samples[5] = {3032 * 2018, 3032 * 844, 1516 * 1008, 1008 * 672, 756 * 504};
    if (mode < 0 || mode > 4) return 0;
    return samples[mode] * (dataWide ? 2 : 1);
}

#ifdef __cplusplus
}
#endif
#endif
