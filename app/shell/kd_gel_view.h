#pragma once
#include <QImage>
#include <QRect>
#include <QWidget>

#include "shell/frame_context.h"

class CChildFrame;

// The image window's view. While the camera runs it shows the preview's show buffer
// (drawn under the child frame's display lock) and the crop selection on top; while it
// does not, a white area with the engraved name mark. The user drags the selection with
// the left button while the camera runs.
class CKdGelView : public QWidget {
    Q_OBJECT
  public:
    CKdGelView(FrameContext* context, CChildFrame* frame, QWidget* parent = nullptr);

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
    void paintNameMark(QPainter& painter);
    void paintTracker(QPainter& painter);
    void finishTracking();

    FrameContext* context_;
    CChildFrame* frame_;
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
