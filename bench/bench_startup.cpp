// Start-up: from process start to the first painted main window, offscreen. The baseline is a
// bare Qt main window with a menu bar, started the same way in the same run. Its menus carry
// Japanese captions too, so both pay for loading the Japanese fonts. Each child says when it has
// painted; the time to that word is the start-up, what follows (closing, which for Tarvex stores
// the settings) is not. Tarvex's settings file is made before its children start. Beside the wall
// time each child reports the processor time it used up to its first paint (all its threads),
// which other programs running on the machine disturb far less.

#include "app/main_window.h"
#include "bench_support.h"
#include "platform/fonts.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>
#include <cstdio>

using namespace tarvex;

namespace {

// Says so as soon as the window has painted once, and ends the process.
class FirstPaint final : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && !painted_) {
      painted_ = true;
      rusage usage{};
      getrusage(RUSAGE_SELF, &usage);
      const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
      std::printf("%.2f\n", ms(usage.ru_utime) + ms(usage.ru_stime));
      std::fflush(stdout);
      QMetaObject::invokeMethod(qApp, &QApplication::quit, Qt::QueuedConnection);
    }
    return false;
  }

 private:
  bool painted_ = false;
};

int child(int argc, char** argv, bool bare, const QString& settings_folder) {
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
  bench::SilentMessages messages;
  Platform platform;
  platform.messages = &messages;
  platform.settings_folder = settings_folder;
  platform.start_folder = settings_folder;
  Form1 window(platform);
  window.installEventFilter(&first_paint);
  window.show();
  return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && (qstrcmp(argv[1], "--bare") == 0 || qstrcmp(argv[1], "--tarvex") == 0)) {
    return child(argc, argv, qstrcmp(argv[1], "--bare") == 0,
                 argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString());
  }
  QCoreApplication app(argc, argv);
  // A settings file with a valid count, so that start-up shows no message; the children find it
  // made.
  QTemporaryDir settings;
  bench::SilentMessages messages;
  bench::bench_platform(settings.path(), &messages);
  constexpr int kRuns = 11;
  QList<double> bare, tarvex, bare_cpu, tarvex_cpu;
  for (int i = 0; i < kRuns; ++i) {
    double ms = 0;
    bare_cpu << bench::run_child({"--bare"}, nullptr, &ms).toDouble();
    bare << ms;
    tarvex_cpu << bench::run_child({"--tarvex", settings.path()}, nullptr, &ms).toDouble();
    tarvex << ms;
  }
  const double b = bench::median(bare), t = bench::median(tarvex);
  const double bc = bench::median(bare_cpu), tc = bench::median(tarvex_cpu);
  std::printf("start-up to first paint, offscreen, median of %d runs     wall   processor\n",
              kRuns);
  std::printf("  bare Qt main window with menu bar:             %8.1f ms %8.1f ms\n", b, bc);
  std::printf("  Tarvex main window:                            %8.1f ms %8.1f ms\n", t, tc);
  std::printf("  ratio Tarvex / bare (target <= 1.5):           %8.2f    %8.2f\n", t / b, tc / bc);
  return 0;
}
