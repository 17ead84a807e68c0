#pragma once
#include <string>

// The rule of the range-checked number field, without the widget: it holds a minimum,
// a maximum and the last valid value, and decides what each edit of the text leaves.
// Only digits are taken, and a number too long to hold counts as out of range.
class NumberEditRule {
  public:
    // What an edit leaves in the field.
    struct Outcome {
        std::string text;           // the field's text afterwards
        bool rewritten = false;     // the text differs from what was typed
        bool caretAtStart = false;  // leading zeros were dropped: caret at the start
        bool beep = false;          // refused: the last valid value came back
    };

    // Stores the range; the last valid value becomes the minimum.
    void setRange(int minimum, int maximum);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    // -1 while the field is empty.
    int lastValid() const { return lastValid_; }

    Outcome update(const std::string& text);

  private:
    Outcome refuse();

    int minimum_ = 0;
    int maximum_ = 100;
    int lastValid_ = 0;
};
