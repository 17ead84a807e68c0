#pragma once
#include <QGroupBox>

#include "ui/messages.h"

// A group of the panel that later work fills: the sequence and custom capture controls,
// the histogram, the area display and the settings configurations. It has its place and
// title now; the messages that will be its own already reach it.
class ReservedGroup : public QGroupBox {
    Q_OBJECT
  public:
    ReservedGroup(const QString& title, QWidget* parent = nullptr);
    virtual void applyEnableRules() {}
    // A window message this group owns (1247, 1261, 1262, 1075, 1690, 1691).
    virtual long message(const KdMessageEvent& message);
    int messagesSeen() const { return messagesSeen_; }

  private:
    int messagesSeen_ = 0;
};
