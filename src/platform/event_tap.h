#pragma once

#include <QEvent>
#include <QObject>

#include <functional>

namespace tarvex {

// Hands the events of one object to a function before the object sees them; the function returns
// true to keep an event from the object. The tap belongs to the watched object.
class EventTap final : public QObject {
 public:
  using Handler = std::function<bool(QEvent*)>;

  static void install(QObject* watched, Handler handler) {
    watched->installEventFilter(new EventTap(watched, std::move(handler)));
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override { return handler_(event); }

 private:
  EventTap(QObject* parent, Handler handler) : QObject(parent), handler_(std::move(handler)) {}
  Handler handler_;
};

}  // namespace tarvex
