#include "ui/colour_button.h"

#include <QStyle>

CColourButton::CColourButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    resetColours();
}

void CColourButton::setFaceColour(State state, const QColor& colour) {
    faces_[state] = colour;
    applyColours();
}

void CColourButton::setTextColour(State state, const QColor& colour) {
    texts_[state] = colour;
    applyColours();
}

void CColourButton::resetColours() {
    const QPalette standard = style()->standardPalette();
    faces_.fill(standard.color(QPalette::Button));
    texts_.fill(standard.color(QPalette::ButtonText));
    setStyleSheet(QString());
}

void CColourButton::applyColours() {
    // A style sheet is the one way to colour a button's face under every Qt style.
    setStyleSheet(
        QStringLiteral("QPushButton { background-color: %1; color: %2; padding: 3px 8px; }"
                       "QPushButton:hover { background-color: %3; color: %4; }"
                       "QPushButton:pressed { background-color: %5; color: %6; }")
            .arg(faces_[Normal].name(), texts_[Normal].name(), faces_[Hover].name(),
                 texts_[Hover].name(), faces_[Pressed].name(), texts_[Pressed].name()));
}
