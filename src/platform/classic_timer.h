#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace tarvex {

// A timer with the classic semantics the window relies on: it is enabled or not, its interval is
// in milliseconds, an interval of 0 never fires, and a value outside 0 … 65535 is refused (the
// timer keeps its interval). Ticks run on the user-interface thread.
class ClassicTimer final : public QObject {
  Q_OBJECT
 public:
  static constexpr int kInitialInterval = 500;
  static constexpr long long kMaxInterval = 65535;

  explicit ClassicTimer(QObject* parent = nullptr);

  bool enabled() const { return enabled_; }
  void set_enabled(bool on);
  int interval() const { return interval_; }
  // False, with the interval unchanged, when `ms` lies outside 0 … 65535.
  bool set_interval(long long ms);

  // The handler each tick calls.
  void set_handler(std::function<void()> handler) { handler_ = std::move(handler); }

 private:
  void sync();

  QTimer timer_;
  bool enabled_ = true;
  int interval_ = kInitialInterval;
  std::function<void()> handler_;
};

}  // namespace tarvex
