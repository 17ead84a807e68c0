#pragma once
// For widget tests (they link Qt; the support library itself does not).
#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <functional>
#include <string>

#include "eventually.h"

// The one QApplication of a widget test binary: made before the first test and
// deleted after the last. Register it with
//   ::testing::AddGlobalTestEnvironment(new QtTestApplication("name_test"));
class QtTestApplication : public ::testing::Environment {
  public:
    explicit QtTestApplication(std::string name) : name_(std::move(name)) {}
    void SetUp() override {
        argv_[0] = name_.data();
        app_ = new QApplication(argc_, argv_);
    }
    void TearDown() override { delete app_; }

  private:
    std::string name_;
    int argc_ = 1;  // QApplication keeps references to argc and argv
    char* argv_[2] = {nullptr, nullptr};
    QApplication* app_ = nullptr;
};

// eventually() that runs the event loop between its polls, for conditions that wait
// on posted events or timers.
inline bool eventuallyWithEvents(const std::function<bool()>& done,
                                 std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    return eventually(
        [&] {
            if (done()) return true;
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            return false;
        },
        limit);
}
