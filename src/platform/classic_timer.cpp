#include "platform/classic_timer.h"

namespace tarvex {

ClassicTimer::ClassicTimer(QObject* parent) : QObject(parent) {
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, [this] {
    if (handler_) handler_();
  });
  sync();
}

void ClassicTimer::set_enabled(bool on) {
  enabled_ = on;
  sync();
}

bool ClassicTimer::set_interval(long long ms) {
  if (ms < 0 || ms > kMaxInterval) return false;
  interval_ = static_cast<int>(ms);
  sync();
  return true;
}

void ClassicTimer::sync() {
  if (enabled_ && interval_ > 0) {
    timer_.start(interval_);
  } else {
    timer_.stop();
  }
}

}  // namespace tarvex
