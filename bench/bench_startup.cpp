// Start-up: from process start to the first painted main window, offscreen. The baseline is a
// bare Qt main window with a menu bar, started the same way in the same run. Its menus carry
// Japanese captions too, so both pay for loading the Japanese fonts.

#include "app/main_window.h"
#include "bench_support.h"
#include "platform/fonts.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

using namespace tarvex;

namespace {

// Ends the process as soon as the window has painted once.
class FirstPaint final : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint)
      QMetaObject::invokeMethod(qApp, &QApplication::quit, Qt::QueuedConnection);
    return false;
  }
};

int child(int argc, char** argv, bool bare) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  FirstPaint first_paint;
  if (bare) {
    QMainWindow window;
    for (const char* title :
         {"イメージ(&I)", "テキスト(&T)", "表示(&V)", "環境設定(&P)", "ヘルプ(&H)"}) {
      QMenu* menu = window.menuBar()->addMenu(QString::fromUtf8(title));
      for (int i = 0; i < 8; ++i) menu->addAction(QStringLiteral("Item %1").arg(i));
    }
    window.resize(644, 439);
    window.installEventFilter(&first_paint);
    window.show();
    return app.exec();
  }
  install_font_substitutions();
  QTemporaryDir dir;
  bench::SilentMessages messages;
  const Platform platform = bench::bench_platform(dir.path(), &messages);
  Form1 window(platform);
  window.installEventFilter(&first_paint);
  window.show();
  return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && (qstrcmp(argv[1], "--bare") == 0 || qstrcmp(argv[1], "--tarvex") == 0)) {
    return child(argc, argv, qstrcmp(argv[1], "--bare") == 0);
  }
  QCoreApplication app(argc, argv);
  constexpr int kRuns = 7;
  QList<double> bare, tarvex;
  for (int i = 0; i < kRuns; ++i) {
    double ms = 0;
    bench::run_child({"--bare"}, &ms);
    bare << ms;
    bench::run_child({"--tarvex"}, &ms);
    tarvex << ms;
  }
  const double b = bench::median(bare), t = bench::median(tarvex);
  std::printf("start-up to first paint, offscreen, median of %d runs\n", kRuns);
  std::printf("  bare Qt main window with menu bar: %8.1f ms\n", b);
  std::printf("  Tarvex main window:                %8.1f ms\n", t);
  std::printf("  ratio Tarvex / bare:               %8.2f  (target <= 1.5)\n", t / b);
  return 0;
}
