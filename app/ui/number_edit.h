#pragma once
#include <QLineEdit>

#include "ui/number_edit_rule.h"

// CNumberEdit: a field for a whole number in a range. Every change of its text, typed
// or set, goes through NumberEditRule; a refused value brings the last valid one back
// with a beep.
class CNumberEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit CNumberEdit(QWidget* parent = nullptr);

    void setRange(int minimum, int maximum);
    int minimum() const { return rule_.minimum(); }
    int maximum() const { return rule_.maximum(); }
    // The last valid value, -1 while the field is empty.
    int value() const { return rule_.lastValid(); }
    void setValue(int value);

  signals:
    // The text was refused and the last valid value restored.
    void refused();

  private:
    void textUpdated(const QString& text);

    NumberEditRule rule_;
    bool rewriting_ = false;
};
