#ifndef KD_WINDOW_H
#define KD_WINDOW_H
/* The window handle the driver libraries take in place of a native window: a small
 * set of callbacks owned by the caller and valid until the library's UnInit. The
 * callbacks may run on a library thread, so an implementation only posts (queues
 * work for its user-interface thread) and never paints or blocks there. */
#ifdef __cplusplus
extern "C" {
#endif

typedef struct KdWindow {
    void* context;
    /* Non-zero while the window exists. */
    int (*alive)(void* context);
    /* A bottom-up picture of width x height pixels, 3 bytes each in blue-green-red
     * order, rows back to back; the window copies what it needs before returning. */
    void (*draw)(void* context, const unsigned char* bgr, int width, int height);
    /* Posts a message (the window-message number and its two parameters). */
    void (*post)(void* context, unsigned int message, unsigned long wparam, long lparam);
} KdWindow;

#ifdef __cplusplus
}
#endif
#endif
