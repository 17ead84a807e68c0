#include "control/reserved_groups.h"

ReservedGroup::ReservedGroup(const QString& title, QWidget* parent) : QGroupBox(title, parent) {
    setObjectName(title);
    setAccessibleName(title);
}

long ReservedGroup::message(const KdMessageEvent&) {
    ++messagesSeen_;
    return 0;
}
