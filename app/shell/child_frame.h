#pragma once
#include <QMdiSubWindow>
#include <atomic>
#include <memory>
#include <mutex>

#include "kd_window.h"
#include "preview/preview_loop.h"
#include "session/frame_context.h"
#include "shell/kd_gel_doc.h"

class CKdGelView;

// The image window: an MDI child that holds the view, the document and the live
// preview. It takes the window messages 1245 (start preview; the result is 1 started,
// 0 already running, -1 or -2 when the preview could not start, which leaves it
// stopped), 1246 (stop; the view then shows the closed-camera picture), 1264 (pause), 1265
// (resume), 1247 (a frame was displayed) and 1692 (show the last frame again). Its caption counts
// the displayed frames.
class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
  public:
    explicit CChildFrame(FrameContext* context, QWidget* parent = nullptr, PreviewCalls calls = {});
    ~CChildFrame() override;

    CKdGelView* view() const { return view_; }
    CKdGelDoc* document() { return &document_; }
    // The handle the main frame gives the camera libraries as init_window_1 and 2.
    KdWindow* kdWindow() { return &kdWindow_; }
    // The frame context's display lock (see FrameContext).
    std::mutex& displayLock() { return context_->displayLock; }
    PreviewLoop& preview() { return preview_; }
    int displayedFrames() const { return displayedFrames_; }

  signals:
    // The preview could not start (result of 1245: -1 no picture size, -2 out of memory).
    void previewStartFailed(int result);

  protected:
    bool event(QEvent* event) override;

  private:
    long handleMessage(unsigned message);
    PreviewNotices notices();
    // The KdWindow callbacks; they may run on a library thread and only post.
    static int kdAlive(void* context);
    static void kdDraw(void* context, const unsigned char* bgr, int width, int height);
    static void kdPost(void* context, unsigned int message, unsigned long wparam, long lparam);

    FrameContext* context_;
    CKdGelDoc document_;
    CKdGelView* view_;
    KdWindow kdWindow_{};
    std::atomic<int> alive_{1};
    int displayedFrames_ = 0;
    PreviewLoop preview_;  // last: its threads stop before the rest goes
};
