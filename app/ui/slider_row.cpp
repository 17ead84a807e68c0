#include "ui/slider_row.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include "ui/control_ids.h"

SliderRow SliderRow::add(QGridLayout* grid, int row, const QString& caption, int captionId,
                         int sliderId, int valueId, const QString& valueName) {
    QWidget* parent = grid->parentWidget();
    SliderRow r;
    r.caption = new QLabel(caption, parent);
    r.caption->setObjectName(ctrl::name(captionId));
    r.slider = new QSlider(Qt::Horizontal, parent);
    r.slider->setObjectName(ctrl::name(sliderId));
    r.slider->setMinimumWidth(120);
    r.caption->setBuddy(r.slider);
    r.value = new QLabel(parent);
    r.value->setObjectName(ctrl::name(valueId));
    r.value->setAccessibleName(valueName);
    r.value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Wide enough for "26.007 dB" so the row does not jump as the value changes.
    r.value->setMinimumWidth(
        QFontMetrics(r.value->font()).horizontalAdvance(QStringLiteral("00.000 dB")));
    grid->addWidget(r.caption, row, 0);
    grid->addWidget(r.slider, row, 1);
    grid->addWidget(r.value, row, 2);
    return r;
}

void SliderRow::setEnabled(bool on) const {
    caption->setEnabled(on);
    slider->setEnabled(on);
    value->setEnabled(on);
}

void SliderRow::setValueText(const QString& text) const {
    value->setText(text);
}

void SliderRow::show(int minimum, int maximum, int position, const QString& text) const {
    const QSignalBlocker quiet(slider);
    slider->setRange(minimum, maximum);
    slider->setValue(position);
    value->setText(text);
}
