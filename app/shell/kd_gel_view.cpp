#include "shell/kd_gel_view.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "preview/preview_loop.h"
#include "session/window_fit.h"

namespace {

constexpr int kHandle = 6;  // resize handles, drawn outside the rectangle
const char kNameMark[] = "Corvalis";

}  // namespace

CKdGelView::CKdGelView(FrameContext* context, const PreviewLoop* preview, QWidget* parent)
    : QWidget(parent), context_(context), preview_(preview) {
    // The live picture stays on screen between frames; the view never wipes it first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
}

void CKdGelView::setDriverPicture(const QImage& picture) {
    driverPicture_ = picture;
    update();
}

void CKdGelView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (context_->record.state != KD_STATE_STARTED) {
        paintClosed(painter);
        return;
    }
    if (hidden_) return;
    if (showsPreview()) {
        std::lock_guard<std::mutex> guard(context_->displayLock);
        RECT target{0, 0, width(), height()};
        Mes_ShowBuffer(&context_->record, &painter, &target);
    } else if (!driverPicture_.isNull()) {
        painter.drawImage(rect(), driverPicture_);
    } else {
        paintClosed(painter);  // not the camera's picture to show
    }
    if (tracker_.width() > 0 && tracker_.height() > 0 && context_->record.area_selected)
        paintTracker(painter);
    else
        tracker_ = QRect();
}

bool CKdGelView::showsPreview() const {
    return preview_ != nullptr && preview_->runState() != PreviewLoop::Stopped;
}

void CKdGelView::paintClosed(QPainter& painter) {
    painter.fillRect(rect(), Qt::white);
    paintNameMark(painter);
}

void CKdGelView::paintNameMark(QPainter& painter) {
    QFont font(QStringLiteral("Times New Roman"));
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(36);
    font.setBold(true);
    font.setItalic(true);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const QString text = QString::fromLatin1(kNameMark);
    const int average = metrics.averageCharWidth();
    const QRect client = rect();
    QRect box = client;
    box.setLeft(client.right() + 1 - average / 2 - metrics.horizontalAdvance(text));
    box.setTop(client.bottom() + 1 - metrics.height() / 5 - metrics.height());
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    // Three copies, offset left and right, give the engraved look.
    painter.setPen(Qt::black);
    painter.drawText(box, flags, text);
    painter.setPen(Qt::white);
    painter.drawText(box.translated(-(average * 3) / 5, 0), flags, text);
    painter.setPen(palette().color(QPalette::Button));
    painter.drawText(box.translated(average / 5, 0), flags, text);
}

QRect CKdGelView::handleRect(int edges) const {
    const QRect& r = tracker_;
    int x = r.left() + r.width() / 2 - kHandle / 2;
    int y = r.top() + r.height() / 2 - kHandle / 2;
    if (edges & Left) x = r.left() - kHandle;
    if (edges & Right) x = r.left() + r.width();
    if (edges & Top) y = r.top() - kHandle;
    if (edges & Bottom) y = r.top() + r.height();
    return QRect(x, y, kHandle, kHandle);
}

namespace {
const int kHandleEdges[] = {1 | 2, 4 | 2, 1 | 8, 4 | 8, 2, 8, 1, 4};
}

void CKdGelView::paintTracker(QPainter& painter) {
    painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(tracker_.adjusted(0, 0, -1, -1));
    for (int edges : kHandleEdges) painter.fillRect(handleRect(edges), Qt::black);
}

int CKdGelView::hitTest(const QPoint& p) const {
    if (tracker_.isEmpty()) return Outside;
    for (int edges : kHandleEdges)
        if (handleRect(edges).contains(p)) return edges;
    return tracker_.contains(p) ? Inside : Outside;
}

void CKdGelView::mousePressEvent(QMouseEvent* event) {
    // Only the camera's picture takes a selection: it is shared frame state, and a
    // rectangle drawn over a file's picture would crop the camera somewhere else.
    if (event->button() == Qt::LeftButton && context_->record.state == KD_STATE_STARTED &&
        showsPreview()) {
        tracking_ = true;
        pressPoint_ = event->position().toPoint();
        trackEdges_ = hitTest(pressPoint_);
        startRect_ = tracker_;
        trackRect_ = trackEdges_ == Outside ? QRect(pressPoint_, QSize(0, 0)) : tracker_;
    }
    QWidget::mousePressEvent(event);
}

namespace {
// The rectangle between two corners, whichever way round they are.
QRect spanned(int l, int t, int r, int b) {
    return QRect(std::min(l, r), std::min(t, b), std::abs(r - l), std::abs(b - t));
}
}  // namespace

void CKdGelView::mouseMoveEvent(QMouseEvent* event) {
    if (tracking_) {
        const QPoint p = event->position().toPoint();
        const QPoint delta = p - pressPoint_;
        // Edges with exclusive right and bottom; they may cross while dragging.
        int l = startRect_.left(), t = startRect_.top();
        int r = l + startRect_.width(), b = t + startRect_.height();
        if (trackEdges_ == Outside) {
            l = pressPoint_.x(), t = pressPoint_.y(), r = p.x(), b = p.y();
        } else if (trackEdges_ == Inside) {
            l += delta.x(), r += delta.x(), t += delta.y(), b += delta.y();
        } else {
            if (trackEdges_ & Left) l += delta.x();
            if (trackEdges_ & Right) r += delta.x();
            if (trackEdges_ & Top) t += delta.y();
            if (trackEdges_ & Bottom) b += delta.y();
        }
        trackRect_ = spanned(l, t, r, b);
        tracker_ = trackRect_;
        update();
    }
    QWidget::mouseMoveEvent(event);
}

void CKdGelView::mouseReleaseEvent(QMouseEvent* event) {
    if (tracking_ && event->button() == Qt::LeftButton) {
        tracking_ = false;
        finishTracking();
    }
    QWidget::mouseReleaseEvent(event);
}

void CKdGelView::finishTracking() {
    // A press that drew or changed nothing clears the selection.
    const bool drawn = trackRect_.width() > 0 && trackRect_.height() > 0;
    const bool changed = trackEdges_ == Outside ? drawn : trackRect_ != startRect_;
    tracker_ = changed ? trackRect_ : QRect();
    RECT& s = context_->selection;
    s = tracker_.isNull()
            ? RECT{0, 0, 0, 0}
            : RECT{tracker_.left(), tracker_.top(), tracker_.left() + tracker_.width(),
                   tracker_.top() + tracker_.height()};
    // A selection touching the view's left or top edge is not a valid crop; nor is an
    // earlier selection once this one replaced it, nor one too small to leave a picture
    // (the crop would be empty and the image window would shrink to nothing).
    const CameraRecord& r = context_->record;
    SelectionCrop mapped;
    const RECT client{0, 0, width(), height()};
    const bool edges = s.left != 0 && s.top != 0 && s.right != 0 && s.bottom != 0;
    context_->record.area_selected =
        edges && cropFromSelection(client, s, r.image_width, r.image_height, mapped) ? 1 : 0;
    update();
}
