#pragma once
#include <QColor>
#include <QPushButton>
#include <array>

// A push button whose face and text colours can change while the program runs (the
// Capture button blinks). It keeps a face and a text colour for each of three states;
// all six start as the style's own button colours.
class CColourButton : public QPushButton {
    Q_OBJECT
  public:
    enum State { Normal = 0, Hover = 1, Pressed = 2 };

    explicit CColourButton(const QString& text, QWidget* parent = nullptr);

    QColor faceColour(State state) const { return faces_[state]; }
    QColor textColour(State state) const { return texts_[state]; }
    void setFaceColour(State state, const QColor& colour);
    void setTextColour(State state, const QColor& colour);
    // Back to the style's button colours in every state.
    void resetColours();

  private:
    void applyColours();

    std::array<QColor, 3> faces_;
    std::array<QColor, 3> texts_;
};
