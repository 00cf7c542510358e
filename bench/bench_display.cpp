// Showing a file: from the display dispatcher to the painted pane, for JPEG photos and code page
// 932 texts of several sizes; for a long text also until the whole text is in the view. The
// ratio compares the time to the painted pane with the baseline. Baselines in the same run: the
// bare QImageReader::read of the same photo, and reading and decoding the same text file. Each
// measurement runs in a process of its own so that its peak memory is its own.

#include "app/main_window.h"
#include "bench_support.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "platform/fonts.h"
#include "platform/text_codecs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>

#include <cstdio>

using namespace tarvex;

namespace {

void make_text(const QString& path, qint64 bytes) {
  const QByteArray line = encode_cp932(QStringLiteral(
      "これは表示速度を測るための日本語の行です。ソフト表示①②③ ABC abc 0123456789\r\n"));
  QFile f(path);
  f.open(QIODevice::WriteOnly);
  QByteArray block;
  while (block.size() < 1024 * 1024) block += line;
  for (qint64 written = 0; written < bytes; written += block.size()) f.write(block);
}

// Child: one measurement; prints "milliseconds peak-megabytes".
int measure(int argc, char** argv, const QString& what, const QString& path) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  install_font_substitutions();
  QElapsedTimer timer;
  double ms = 0;
  if (what == "image-baseline") {
    timer.start();
    QImageReader reader(path);
    reader.setAllocationLimit(512);
    const QImage image = reader.read();
    ms = timer.nsecsElapsed() / 1e6;
    if (image.isNull()) return 1;
  } else if (what == "text-baseline") {
    timer.start();
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    const QString text = decode_cp932(f.readAll());
    ms = timer.nsecsElapsed() / 1e6;
    if (text.isEmpty()) return 1;
  } else {
    QTemporaryDir dir;
    bench::SilentMessages messages;
    const Platform platform = bench::bench_platform(dir.path(), &messages);
    Form1 window(platform);
    window.show();
    QCoreApplication::processEvents();
    timer.start();
    window.ファイルの表示(path, 1);
    if (what == "image") {
      window.Image1->repaint();
    } else {
      window.RichTextBox1->repaint();
    }
    ms = timer.nsecsElapsed() / 1e6;
    if (window.st.img.last < 0 && window.st.txt.last < 0) return 1;
    // A long text goes on arriving in slices while the window stays alive; the time until the
    // whole text is in the view is reported beside the time to the first painted pane.
    while (window.RichTextBox1->loading()) QCoreApplication::processEvents();
    const double full_ms = timer.nsecsElapsed() / 1e6;
    std::printf("%.1f %.1f %.1f\n", ms, bench::peak_memory_mb(), full_ms);
    return 0;
  }
  std::printf("%.1f %.1f %.1f\n", ms, bench::peak_memory_mb(), ms);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && qstrcmp(argv[1], "--measure") == 0) {
    return measure(argc, argv, QString::fromLatin1(argv[2]), QString::fromLocal8Bit(argv[3]));
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);  // for the JPEG writer
  QTemporaryDir dir;
  struct Case {
    const char* name;
    const char* kind;
    QString path;
  };
  QList<Case> cases;
  std::printf("making the test files...\n");
  std::fflush(stdout);
  cases.append({"JPEG 2000x1500", "image", dir.filePath("photo_2000.jpg")});
  bench::make_jpeg(cases.back().path, 2000, 1500);
  cases.append({"JPEG 6000x4000", "image", dir.filePath("photo_6000.jpg")});
  bench::make_jpeg(cases.back().path, 6000, 4000);
  for (int mb : {1, 10, 100}) {
    cases.append({mb == 1    ? "CP932 text 1 MB"
                  : mb == 10 ? "CP932 text 10 MB"
                             : "CP932 text 100 MB",
                  "text", dir.filePath(QStringLiteral("text_%1.txt").arg(mb))});
    make_text(cases.back().path, qint64(mb) * 1024 * 1024);
  }
  std::printf("%-18s %10s %10s %11s %7s %10s %11s\n", "case", "shown ms", "whole ms", "baseline ms",
              "ratio", "Tarvex MB", "baseline MB");
  for (const Case& c : cases) {
    QList<double> ours, whole, base, ours_mb, base_mb;
    for (int run = 0; run < 3; ++run) {
      const QStringList a = bench::run_child({"--measure", c.kind, c.path}).split(' ');
      const QStringList b =
          bench::run_child({"--measure", QString(c.kind) + "-baseline", c.path}).split(' ');
      if (a.size() != 3 || b.size() != 3) {
        std::printf("%-18s failed\n", c.name);
        return 1;
      }
      ours << a[0].toDouble();
      whole << a[2].toDouble();
      ours_mb << a[1].toDouble();
      base << b[0].toDouble();
      base_mb << b[1].toDouble();
    }
    const double o = bench::median(ours), b = bench::median(base);
    std::printf("%-18s %10.1f %10.1f %11.1f %7.2f %10.1f %11.1f\n", c.name, o, bench::median(whole),
                b, o / b, bench::median(ours_mb), bench::median(base_mb));
  }
  return 0;
}
