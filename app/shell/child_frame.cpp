#include "shell/child_frame.h"

#include <QImage>
#include <QMetaObject>
#include <vector>

#include "shell/kd_gel_view.h"
#include "ui/messages.h"

CChildFrame::CChildFrame(FrameContext* context, QWidget* parent, PreviewCalls calls)
    : QMdiSubWindow(parent),
      context_(context),
      view_(new CKdGelView(context, &preview_, this)),
      preview_(*context, calls, notices()) {
    // No system menu, sizing border or maximise box: the main frame places the window.
    setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowMinimizeButtonHint);
    setWidget(view_);
    kdWindow_ = KdWindow{this, &CChildFrame::kdAlive, &CChildFrame::kdDraw, &CChildFrame::kdPost};
}

CChildFrame::~CChildFrame() {
    alive_.store(0, std::memory_order_relaxed);
    preview_.stop();
}

PreviewNotices CChildFrame::notices() {
    PreviewNotices n;
    n.frameShown = [this] {
        postMessage(context_->mainFrame, msg::RestartExposure);
        postMessage(context_->mainFrame, msg::RefreshHistogram);
        postMessage(this, msg::FrameDisplayed);
    };
    n.redisplayed = [this] {
        view_->update();
        postMessage(context_->mainFrame, msg::RefreshHistogram);
    };
    return n;
}

bool CChildFrame::event(QEvent* event) {
    if (event->type() == KdMessageEvent::eventType()) {
        auto* message = static_cast<KdMessageEvent*>(event);
        message->result = handleMessage(message->message);
        return true;
    }
    return QMdiSubWindow::event(event);
}

long CChildFrame::handleMessage(unsigned message) {
    switch (message) {
        case msg::OpenCamera: {
            const int result = preview_.start();
            if (result == KD_DONE) sendMessage(context_->mainFrame, msg::RestartExposure);
            if (result < 0) emit previewStartFailed(result);
            return result;
        }
        case msg::CloseCamera:
            preview_.stop();
            // The last frame must not stay on screen once the preview is gone.
            view_->update();
            return 0;
        case msg::PausePreview:
            preview_.pause();
            return 0;
        case msg::ResumePreview:
            preview_.resume();
            return 0;
        case msg::FrameDisplayed:
            ++displayedFrames_;
            setWindowTitle(QString::number(displayedFrames_));
            sendMessage(context_->mainFrame, msg::FrameDisplayed);
            view_->update();
            return 0;
        case msg::Redisplay:
            preview_.redisplay();
            return 0;
        default:
            return 0;
    }
}

int CChildFrame::kdAlive(void* context) {
    return static_cast<CChildFrame*>(context)->alive_.load(std::memory_order_relaxed);
}

void CChildFrame::kdDraw(void* context, const unsigned char* bgr, int width, int height) {
    auto* frame = static_cast<CChildFrame*>(context);
    if (bgr == nullptr || width <= 0 || height <= 0 || width > (1 << 20) || !kdAlive(context))
        return;
    // Copied here, before returning, then turned upright the way the preview turns its
    // frames; the view shows it later.
    QImage picture = QImage(bgr, width, height, width * 3, QImage::Format_BGR888).copy();
    if (picture.isNull()) return;
    std::vector<unsigned char> rowScratch(static_cast<std::size_t>(picture.bytesPerLine()));
    flipPictureRows(picture.bits(), rowScratch.size(), height, rowScratch.data());
    CKdGelView* view = frame->view_;
    QMetaObject::invokeMethod(
        view, [view, picture] { view->setDriverPicture(picture); }, Qt::QueuedConnection);
}

void CChildFrame::kdPost(void* context, unsigned int message, unsigned long wparam, long lparam) {
    postMessage(static_cast<CChildFrame*>(context), message, wparam, lparam);
}
