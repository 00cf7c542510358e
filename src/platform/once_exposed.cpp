#include "platform/once_exposed.h"

#include <QEvent>
#include <QTimer>
#include <QWindow>

#include <utility>

namespace tarvex {

OnceExposed::OnceExposed(QWindow* window, std::function<void()> step)
    : QObject(window), step_(std::move(step)) {
  // Some platforms (offscreen, minimal) expose the window within show() itself.
  if (window->isExposed()) {
    run_soon();
  } else {
    window->installEventFilter(this);
  }
}

bool OnceExposed::eventFilter(QObject* watched, QEvent* event) {
  auto* window = static_cast<QWindow*>(watched);
  if (event->type() == QEvent::Expose && window->isExposed()) {
    window->removeEventFilter(this);
    run_soon();
  }
  return false;
}

void OnceExposed::run_soon() {
  QTimer::singleShot(0, this, [this] {
    step_();
    deleteLater();
  });
}

}  // namespace tarvex
