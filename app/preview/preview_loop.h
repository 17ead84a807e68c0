#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "preview/sharpen_filter.h"
#include "session/frame_context.h"

// The camera and imaging calls the preview makes, always with the main frame's record.
// The defaults are the library's exports; tests drive the loop with fakes.
struct PreviewCalls {
    std::function<int(CameraRecord*, int*, int*)> getImageSize = KdCamera_GetImageSize;
    std::function<int(CameraRecord*, void*)> grabFrame = KdCamera_GrabFrame;
    std::function<int(CameraRecord*, const void*, void*, int, int, int)> decode = KdCamera_Decode;
    std::function<int(CameraRecord*, int, int)> readWrite = KdCamera_ReadWrite;
    std::function<int(CameraRecord*, const unsigned char*, unsigned char*)> crop = Mes_Crop;
    std::function<int(CameraRecord*, unsigned char*)> copyToShowBuffer = Mes_CopyToShowBuffer;
};

// What the loop tells its window. Both only post: frameShown runs on the display thread
// with the display lock held; redisplayed runs on the user-interface thread.
struct PreviewNotices {
    std::function<void()> frameShown;   // a frame is in the show buffer: post 1263, 1262, 1247
    std::function<void()> redisplayed;  // a redisplay drew: post 1262, repaint the view
};

// The single slot between the grab and the display thread. The newest frame always
// wins: a frame published while an earlier one waits replaces it. Only pointers move.
class FrameExchange {
  public:
    // Publish (value 1) always swaps `mine` with the slot and marks it ready; take
    // (value 0) swaps only when a frame is ready and clears the mark. True on a swap.
    bool exchange(unsigned char*& mine, int value);
    void setSlot(unsigned char* slot);
    void clearReady() { ready_.store(0, std::memory_order_relaxed); }
    bool ready() const { return ready_.load(std::memory_order_relaxed) != 0; }

  private:
    std::mutex lock_;
    unsigned char* slot_ = nullptr;
    std::atomic<int> ready_{0};  // also cleared without the lock by start, pause and resume
};

// Turns a picture of `rows` rows of `rowBytes` bytes upside down in place, through
// one row of scratch.
void flipPictureRows(unsigned char* picture, std::size_t rowBytes, int rows,
                     unsigned char* rowScratch);

// The live preview of the image window: a grab thread that drains the camera into the
// exchange and a display thread that decodes the newest frame, turns it upright, crops
// it, optionally sharpens it and hands it to the show buffer. It never paints: the view
// draws the show buffer under the frame context's display lock when told a frame is there.
//
// Every method except the threads' own runs on the user-interface thread.
class PreviewLoop {
  public:
    enum RunState { Running = 0, Paused = 1, Stopped = 2 };

    explicit PreviewLoop(FrameContext& context, PreviewCalls calls = {},
                         PreviewNotices notices = {});
    ~PreviewLoop();  // stops
    PreviewLoop(const PreviewLoop&) = delete;
    PreviewLoop& operator=(const PreviewLoop&) = delete;

    // Start request. KD_DONE started; KD_NOTHING_DONE already running (only drops the
    // pending frame); KD_NO_CAMERA the camera reports no picture size; KD_OUT_OF_MEMORY
    // a buffer could not be allocated; KD_REFUSED another preview already runs over the
    // same frame context.
    // On a failure nothing is left allocated or running.
    int start();
    // Ends both threads (shortening a long exposure first) and frees the buffers.
    // Nothing happens when the preview is already stopped.
    void stop();
    void pause();
    void resume();
    // Reprocesses the last displayed raw frame into the show buffer; true when it was
    // also to be drawn (running), false when ignored (nothing shown yet) or paused.
    bool redisplay();

    int runState() const { return runState_.load(std::memory_order_relaxed); }
    // 1 until a frame has been shown since the last start, and again after the display
    // thread has ended.
    bool idle() const { return idle_.load(std::memory_order_relaxed) != 0; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Bytes of each raw frame buffer and of the raw frame copy since the last start.
    std::size_t rawBytes() const { return rawBytes_; }
    // The frame context's display lock, which the loop takes for each frame.
    std::mutex& displayLock() { return context_.displayLock; }

    // Bytes a raw frame buffer needs for a camera of `cameraType` whose picture is
    // width x height in resolution mode `mode`: room for three 16-bit samples per pixel
    // and at least the whole raw frame the family's grab writes. 0 on overflow.
    static std::size_t rawFrameBytes(int cameraType, int mode, int width, int height);
    // Bytes of a raw frame the display thread copies for the capture code: the whole
    // raw frame the family's grab writes (16-bit for the first family, whose data width
    // may change while running), and at least 2 bytes per pixel.
    static std::size_t rawFrameCopyBytes(int cameraType, int mode, int width, int height);

  private:
    void grabThread();
    void displayThread();
    // Decodes `raw`, turns it upright and crops it into the crop buffer. The crop size,
    // or false when the crop rectangle does not lie inside the picture.
    bool decodeFlipCrop(const unsigned char* raw, int& cropWidth, int& cropHeight);
    // Sleeps `ms` milliseconds or until a stop request.
    void sleepUnlessStopped(int ms);
    void shortenExposure(bool restartLongExposure);
    void freeBuffers();

    FrameContext& context_;
    CameraRecord& record_;
    PreviewCalls calls_;
    PreviewNotices notices_;

    std::atomic<int> runState_{Stopped};
    std::atomic<int> idle_{1};
    int width_ = 0, height_ = 0;
    std::size_t rawBytes_ = 0;
    std::size_t copyBytes_ = 0;
    std::size_t pictureOffset_ = 0;  // where the pixels start in the decoded buffer

    // The three raw frame buffers; their roles (grab, exchange, work) move by pointer.
    std::unique_ptr<unsigned char[]> frames_[3];
    unsigned char* grabBuffer_ = nullptr;  // grab thread's own
    unsigned char* workBuffer_ = nullptr;  // display thread's own
    FrameExchange exchange_;
    // Display thread's scratch, held from start to stop rather than made per frame.
    std::unique_ptr<unsigned char[]> decoded_;
    std::unique_ptr<unsigned char[]> cropBuffer_;
    std::unique_ptr<unsigned char[]> flipRow_;
    // What a redisplay decodes: a copy of the raw frame copy, because the decoders rework
    // the buffer they are given (16-bit samples are byte-swapped in place) and the raw
    // frame copy must stay as the camera sent it.
    std::unique_ptr<unsigned char[]> redisplayRaw_;
    SharpenFilter sharpen_;

    std::mutex sleepLock_;
    std::condition_variable stopRequested_;
    std::thread grab_, display_;
};
