#pragma once
#include <QString>

class QGridLayout;
class QLabel;
class QSlider;

// One line of a panel: a caption ("Gain:"), a horizontal slider and its value label. The
// caption is the slider's buddy, so the slider's accessible name is the caption.
struct SliderRow {
    QLabel* caption = nullptr;
    QSlider* slider = nullptr;
    QLabel* value = nullptr;

    // Adds the row at `row` of `grid`; `sliderId` and `valueId` become object names, and
    // `valueName` names the value label for assistive tools.
    static SliderRow add(QGridLayout* grid, int row, const QString& caption, int captionId,
                         int sliderId, int valueId, const QString& valueName);
    void setEnabled(bool on) const;
    void setValueText(const QString& text) const;
    // Range and position without the slider's handlers seeing the change.
    void show(int minimum, int maximum, int position, const QString& text) const;
};
