#include "ui/number_edit.h"

#include <QApplication>

CNumberEdit::CNumberEdit(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textChanged, this, &CNumberEdit::textUpdated);
}

void CNumberEdit::setRange(int minimum, int maximum) {
    rule_.setRange(minimum, maximum);
}

void CNumberEdit::setValue(int value) {
    setText(QString::number(value));
}

void CNumberEdit::textUpdated(const QString& text) {
    if (rewriting_) return;
    const NumberEditRule::Outcome out = rule_.update(text.toStdString());
    if (out.rewritten) {
        rewriting_ = true;
        setText(QString::fromStdString(out.text));
        setCursorPosition(out.caretAtStart ? 0 : static_cast<int>(out.text.size()));
        rewriting_ = false;
    }
    if (out.beep) {
        QApplication::beep();
        emit refused();
    }
}
