#pragma once
#include <QImage>
#include <QRect>
#include <QWidget>

#include "session/frame_context.h"

class PreviewLoop;

// The image window's view. While its preview runs it shows the show buffer (drawn
// under the frame context's display lock) and the crop selection on top; otherwise a
// white area with the engraved name mark. A view without a running preview (a file's
// window, or the camera's after "Stop Camera") never touches the shared show buffer.
// The user drags the selection with the left button while the view's preview runs.
class CKdGelView : public QWidget {
    Q_OBJECT
  public:
    // `preview` is the preview the view paints; it may be null (no camera in it).
    CKdGelView(FrameContext* context, const PreviewLoop* preview, QWidget* parent = nullptr);

    // The selection tracker's rectangle in client coordinates (normalised, may be empty).
    QRect trackerRect() const { return tracker_; }
    // While set, nothing is painted with the camera running.
    void setHidden(int hidden) { hidden_ = hidden; }
    int hiddenFlag() const { return hidden_; }
    // A picture the camera library drew itself (only while the preview is stopped).
    void setDriverPicture(const QImage& picture);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    // How a press relates to the tracker: outside it, on a resize handle, or inside.
    enum Hit { Outside = -1, Inside = 0, Left = 1, Top = 2, Right = 4, Bottom = 8 };
    int hitTest(const QPoint& p) const;
    QRect handleRect(int edges) const;
    // True while the view's own preview runs (it is the camera's window).
    bool showsPreview() const;
    void paintClosed(QPainter& painter);
    void paintNameMark(QPainter& painter);
    void paintTracker(QPainter& painter);
    void finishTracking();

    FrameContext* context_;
    const PreviewLoop* preview_;
    QRect tracker_;
    int hidden_ = 0;
    QImage driverPicture_;

    // The drag in progress.
    bool tracking_ = false;
    int trackEdges_ = Outside;  // Outside: new rubber band; Inside: move; else edges
    QPoint pressPoint_;
    QRect startRect_;
    QRect trackRect_;  // may be inverted while dragging
};
