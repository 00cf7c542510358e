#pragma once

#include <QObject>

#include <functional>

class QWindow;

namespace tarvex {

// Runs a step once a window is first on screen, where the window manager has placed and framed
// it: soon after its first exposure (on platforms that expose a window within show() itself, soon
// after show()). The watcher is owned by the window and removes itself after the step.
class OnceExposed final : public QObject {
 public:
  OnceExposed(QWindow* window, std::function<void()> step);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void run_soon();

  std::function<void()> step_;
};

}  // namespace tarvex
