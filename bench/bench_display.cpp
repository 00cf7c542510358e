// Showing a file: from the display dispatcher to the painted pane, for JPEG photos, a 12 MP HEIC
// photo and code page 932 texts of several sizes. Baselines in the same run: the bare
// QImageReader::read of the same JPEG photo, libheif's own decoding of the HEIC (which the picture
// loader alone is also measured against); for a text, reading and decoding the same file once,
// and the same window showing a 1 KB text (its first screen and its peak memory). Each
// measurement runs in a process of its own so that its peak memory is its own.
//
// A text row gives: the first screen painted, and its first line read through the accessible
// text interface (an assistive tool's view); the whole text available (the pane no longer
// loading), as a ratio to reading and decoding the file once; then, on the whole text, Ctrl+End,
// find-next of a string on the last line, Ctrl+A; the slowest and the median frame of scrolling
// by wheel, page keys, the dragged bar and Ctrl+End/Ctrl+Home; the longest the event loop waited
// while the text was loading; the peak resident memory (VmHWM) and its growth over the 1 KB text.
//
// A last row gives the longest the window waited on slow media (reads of 5 MB/s) in each step:
// showing a text of 8 MB, selecting a place near its end (as find-next does) before it is read
// that far, reading it anew once changed, and showing the next text (a slideshow's step).
//
// bench_display [runs] [largest MB] [encoding]: runs per row (3), the largest text (1024, a 1 GB
// file written to the temporary folder and removed at the end) and the texts' encoding, by the
// decoder's name (windows-31j; also UTF-8, EUC-JP, ISO-2022-JP, UTF-16LE).

#include "app/main_window.h"
#include "bench_support.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "pictures/picture_loader.h"
#include "platform/fonts.h"
#include "platform/text_codecs.h"
#include "text/text_index.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include <sys/time.h>
#include <unistd.h>

using namespace tarvex;

namespace {

const QString kMarker = QStringLiteral("終わりの印");

// One line in the encoding, on its own (an ISO-2022-JP line ends in ASCII). Code page 932 has the
// NEC symbols that the others lack.
QByteArray encoded(const QString& line, const QByteArray& codec) {
  if (codec == "windows-31j") return encode_cp932(line);
  QString text = line;
  text.replace(QStringLiteral("①②③"), QStringLiteral("一二三"));
  return QStringEncoder(codec.constData()).encode(text);
}

// A text of about `bytes` bytes in the encoding; its last line but one holds kMarker.
void make_text(const QString& path, qint64 bytes, const QByteArray& codec) {
  const QByteArray line =
      encoded(QStringLiteral(
                  "これは表示速度を測るための日本語の行です。ソフト表示①②③ ABC abc 0123456789\r\n"),
              codec);
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) std::exit(1);
  QByteArray block;
  while (block.size() < std::min<qint64>(bytes, 1024 * 1024)) block += line;
  qint64 written = 0;
  while (written + block.size() <= bytes) written += f.write(block);
  while (written + line.size() <= bytes) written += f.write(line);
  f.write(encoded(kMarker + QStringLiteral("\r\n"), codec) + line);
}

QAbstractScrollArea* shown_view(TextPane* pane) {
  for (QAbstractScrollArea* area : pane->findChildren<QAbstractScrollArea*>()) {
    if (area->isVisibleTo(pane)) return area;
  }
  return nullptr;
}

void key(QWidget* w, int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, k, mods);
  QCoreApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, k, mods);
  QCoreApplication::sendEvent(w, &release);
}

// The first characters of the text as an assistive tool reads them, "" when none.
QString accessible_head(TextPane* pane) {
  QWidget* w = pane->focusProxy() ? pane->focusProxy() : pane;
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
  if (!iface || !iface->textInterface()) return QString();
  return iface->textInterface()->text(0, 10);
}

// Child: one text measurement; prints its figures on one line.
int measure_text(const QString& path) {
  QTemporaryDir dir;
  bench::SilentMessages messages;
  const Platform platform = bench::bench_platform(dir.path(), &messages);
  Form1 window(platform);
  window.resize(1000, 750);
  window.show();
  window.st.search_exts = {QStringLiteral(".txt")};
  QCoreApplication::processEvents();
  // The longest wait of the event loop while the text loads.
  QElapsedTimer since_tick;
  double stall = 0;
  QTimer probe;
  probe.setInterval(5);
  QObject::connect(&probe, &QTimer::timeout, &probe, [&] {
    stall = std::max(stall, since_tick.nsecsElapsed() / 1e6 - 5);
    since_tick.restart();
  });

  QElapsedTimer timer;
  timer.start();
  window.ファイルの表示(path, 1);
  window.text_pane->repaint();
  const double first = timer.nsecsElapsed() / 1e6;
  if (window.st.txt.last < 0) return 1;
  while (accessible_head(window.text_pane).isEmpty()) {
    if (timer.elapsed() > 600000) return 1;
    QCoreApplication::processEvents();
  }
  const double readable = timer.nsecsElapsed() / 1e6;
  since_tick.start();
  probe.start();
  while (window.text_pane->loading())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  const double whole = timer.nsecsElapsed() / 1e6;
  probe.stop();

  QAbstractScrollArea* view = shown_view(window.text_pane);
  if (!view) return 1;
  view->setFocus();
  auto timed = [&view](auto&& step) {
    QElapsedTimer t;
    t.start();
    step();
    view->viewport()->repaint();
    return t.nsecsElapsed() / 1e6;
  };
  const double end = timed([&] { key(view, Qt::Key_End, Qt::ControlModifier); });
  key(view, Qt::Key_Home, Qt::ControlModifier);
  window.st.hit_path = path;
  window.st.search_ready = 0;
  QElapsedTimer t;
  t.start();
  window.文字列検索(kMarker);
  const double find = t.nsecsElapsed() / 1e6;
  if (window.st.hit_pos < 2) return 1;
  window.text_pane->focus();
  const double select_all = timed([&] { key(view, Qt::Key_A, Qt::ControlModifier); });

  QList<double> frames;
  view->viewport()->repaint();
  const QPointF at(view->viewport()->width() / 2.0, view->viewport()->height() / 2.0);
  for (int i = 0; i < 30; ++i) {
    frames << timed([&] {
      QWheelEvent wheel(at, view->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120),
                        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      QCoreApplication::sendEvent(view->viewport(), &wheel);
    });
  }
  for (int i = 0; i < 30; ++i) frames << timed([&] { key(view, Qt::Key_PageDown); });
  std::mt19937 random(17);
  QScrollBar* bar = view->verticalScrollBar();
  for (int i = 0; i < 30; ++i) {
    frames << timed([&] {
      bar->setSliderDown(true);
      bar->setSliderPosition(int(random() % quint32(bar->maximum() + 1)));
      bar->setSliderDown(false);
    });
  }
  for (int i = 0; i < 5; ++i) {
    frames << timed([&] { key(view, Qt::Key_End, Qt::ControlModifier); });
    frames << timed([&] { key(view, Qt::Key_Home, Qt::ControlModifier); });
  }
  std::sort(frames.begin(), frames.end());
  std::printf("%.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f\n", first, readable, whole, stall,
              end, find, select_all, frames.back(), bench::median(frames), bench::peak_memory_mb());
  return 0;
}

// Slow media: every read of a text's file takes as long as 5 MB/s give it.
ssize_t slow_read(int fd, void* buffer, size_t count, off_t offset) {
  std::this_thread::sleep_for(std::chrono::microseconds(qint64(count) / 5));
  return ::pread(fd, buffer, count, offset);
}

// Child: the window on slow media; prints the longest wait of the window, in milliseconds.
int measure_slow(const QString& path, const QString& next) {
  QTemporaryDir dir;
  bench::SilentMessages messages;
  const Platform platform = bench::bench_platform(dir.path(), &messages);
  Form1 window(platform);
  window.resize(1000, 750);
  window.show();
  QCoreApplication::processEvents();
  set_text_read_function(&slow_read);
  QList<double> waits;
  // A step's own time, and the longest gap between the event loop's turns after it.
  auto step = [&](auto&& work) {
    QElapsedTimer t;
    t.start();
    work();
    double longest = t.nsecsElapsed() / 1e6;
    QElapsedTimer since_tick, span;
    since_tick.start();
    span.start();
    while (span.elapsed() < 300) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      longest = std::max(longest, since_tick.nsecsElapsed() / 1e6);
      since_tick.restart();
    }
    waits << longest;
  };
  step([&] {
    window.ファイルの表示(path, 1);
    window.text_pane->repaint();
  });
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return 1;
  const qint64 size = file.size();
  step([&] { window.text_pane->select(size - 100, 10); });
  step([&] {
    // Written over in place, as an editor saves: the text is read anew.
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite) || f.write("changed") != 7) std::exit(1);
    f.close();
    const timeval later[2] = {{time(nullptr), 0}, {time(nullptr) + 60, 0}};
    ::utimes(QFile::encodeName(path).constData(), later);
    window.text_pane->repaint();
  });
  step([&] {
    window.ファイルの表示(next, 1);
    window.text_pane->repaint();
  });
  std::printf("%.1f %.1f %.1f %.1f\n", waits[0], waits[1], waits[2], waits[3]);
  return 0;
}

// Child: one picture measurement or one baseline; prints "milliseconds peak-megabytes".
int measure(int argc, char** argv, const QString& what, const QString& path,
            const QByteArray& codec) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  install_font_substitutions();
  if (what == "text") return measure_text(path);
  if (what == "slow") return argc > 5 ? measure_slow(path, QString::fromLocal8Bit(argv[5])) : 1;
  QElapsedTimer timer;
  double ms = 0;
  if (what == "image-baseline") {
    timer.start();
    QImageReader reader(path);
    reader.setAllocationLimit(512);
    const QImage image = reader.read();
    ms = timer.nsecsElapsed() / 1e6;
    if (image.isNull()) return 1;
  } else if (what == "heif-baseline") {
    ms = bench::libheif_decode_ms(path);
  } else if (what == "image-load") {
    // The picture loader alone, as the window calls it for a picture shown at its own size.
    timer.start();
    const std::optional<LoadedPicture> loaded = load_picture_file(path);
    ms = timer.nsecsElapsed() / 1e6;
    if (!loaded) return 1;
  } else if (what == "text-baseline") {
    // Reading and decoding the whole file into one string, in pieces that the decoder takes
    // (one call gives up beyond 1 GB).
    timer.start();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return 1;
    QStringDecoder decoder(codec.constData());
    QString text;
    text.reserve(f.size());
    for (QByteArray piece = f.read(64 << 20); !piece.isEmpty(); piece = f.read(64 << 20)) {
      text += decoder.decode(piece);
    }
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
    window.image_pane->repaint();
    ms = timer.nsecsElapsed() / 1e6;
    if (window.st.img.last < 0) return 1;
  }
  std::printf("%.1f %.1f\n", ms, bench::peak_memory_mb());
  return 0;
}

QList<double> figures(const QString& line, int count) {
  QList<double> out;
  for (const QString& s : line.split(u' ')) out << s.toDouble();
  if (out.size() != count) {
    std::printf("unexpected output: %s\n", qPrintable(line));
    std::exit(1);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && qstrcmp(argv[1], "--measure") == 0) {
    return measure(argc, argv, QString::fromLatin1(argv[2]), QString::fromLocal8Bit(argv[3]),
                   argc > 4 ? QByteArray(argv[4]) : QByteArray("windows-31j"));
  }
  const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
  const int largest_mb = argc > 2 ? std::max(1, atoi(argv[2])) : 1024;
  const QByteArray codec = argc > 3 ? QByteArray(argv[3]) : QByteArray("windows-31j");
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);  // for the JPEG writer
  QTemporaryDir dir;
  std::printf("making the test files...\n");
  std::fflush(stdout);

  const std::pair<const char*, QSize> photos[] = {{"JPEG 2000x1500", {2000, 1500}},
                                                  {"JPEG 6000x4000", {6000, 4000}}};
  std::printf("%-16s %10s %11s %7s %10s %11s\n", "picture", "shown ms", "baseline ms", "ratio",
              "Tarvex MB", "baseline MB");
  for (const auto& [name, size] : photos) {
    const QString path = dir.filePath(QStringLiteral("photo_%1.jpg").arg(size.width()));
    bench::make_jpeg(path, size.width(), size.height());
    QList<double> ours, base, ours_mb, base_mb;
    for (int run = 0; run < runs; ++run) {
      const QList<double> a = figures(bench::run_child({"--measure", "image", path}), 2);
      const QList<double> b = figures(bench::run_child({"--measure", "image-baseline", path}), 2);
      ours << a[0];
      ours_mb << a[1];
      base << b[0];
      base_mb << b[1];
    }
    const double o = bench::median(ours), b = bench::median(base);
    std::printf("%-16s %10.1f %11.1f %7.2f %10.1f %11.1f\n", name, o, b, o / b,
                bench::median(ours_mb), bench::median(base_mb));
  }

  {
    // A phone photo of 12 megapixels, against libheif's own decoding of it; and the picture
    // loader alone against the same.
    const QString path = dir.filePath(QStringLiteral("IMG_0001.heic"));
    bench::make_heic(path, 4032, 3024);
    QList<double> ours, loads, base, ours_mb, base_mb;
    for (int run = 0; run < runs; ++run) {
      const QList<double> a = figures(bench::run_child({"--measure", "image", path}), 2);
      const QList<double> l = figures(bench::run_child({"--measure", "image-load", path}), 2);
      const QList<double> b = figures(bench::run_child({"--measure", "heif-baseline", path}), 2);
      ours << a[0];
      ours_mb << a[1];
      loads << l[0];
      base << b[0];
      base_mb << b[1];
    }
    const double o = bench::median(ours), l = bench::median(loads), b = bench::median(base);
    std::printf("%-16s %10.1f %11.1f %7.2f %10.1f %11.1f\n", "HEIC 4032x3024", o, b, o / b,
                bench::median(ours_mb), bench::median(base_mb));
    std::printf("%-16s %10.1f %11.1f %7.2f   (the picture loader alone; baseline: libheif)\n",
                "HEIC decoded", l, b, l / b);
  }

  std::printf(
      "\n%s texts (milliseconds; \"read\" is reading and decoding the file once; "
      "\"+a11y\"\nand \"+MB\" are the growth of the time to the readable first screen and of the "
      "peak memory\nover the same window showing a 1 KB text)\n",
      codec == "windows-31j" ? "code page 932" : codec.constData());
  std::printf("%-8s %7s %7s %8s %8s %6s %7s %7s %7s %7s %7s %7s %7s %7s %8s\n", "text", "first",
              "a11y", "whole", "read", "ratio", "+a11y", "end", "find", "all", "frame", "median",
              "stall", "MB", "+MB");
  QList<qint64> sizes{1024};
  for (qint64 mb : {1, 100, 1024}) {
    if (mb <= largest_mb) sizes << mb * 1024 * 1024;
  }
  double small_readable = 0, small_mb = 0;
  for (qint64 size : sizes) {
    const QString path = dir.filePath(QStringLiteral("text_%1.txt").arg(size));
    make_text(path, size, codec);
    QList<QList<double>> ours;
    QList<double> base;
    const int n = size > 512LL * 1024 * 1024 ? std::min(runs, 2) : runs;
    for (int run = 0; run < n; ++run) {
      ours << figures(bench::run_child({"--measure", "text", path}), 10);
      base << figures(
          bench::run_child({"--measure", "text-baseline", path, QString::fromLatin1(codec)}), 2)[0];
    }
    QList<double> m;
    for (int k = 0; k < 10; ++k) {
      QList<double> column;
      for (const QList<double>& o : ours) column << o[k];
      m << bench::median(column);
    }
    const double read = bench::median(base);
    if (size == 1024) {
      small_readable = m[1];
      small_mb = m[9];
    }
    const QString name = size < 1024 * 1024            ? QStringLiteral("1 KB")
                         : size < 1024LL * 1024 * 1024 ? QStringLiteral("%1 MB").arg(size >> 20)
                                                       : QStringLiteral("%1 GB").arg(size >> 30);
    std::printf(
        "%-8s %7.1f %7.1f %8.1f %8.1f %6.2f %7.1f %7.1f %7.1f %7.1f %7.1f %7.1f %7.1f "
        "%7.1f %8.1f\n",
        qPrintable(name), m[0], m[1], m[2], read, m[2] / read, m[1] - small_readable, m[4], m[5],
        m[6], m[7], m[8], m[3], m[9], m[9] - small_mb);
    std::fflush(stdout);
    QFile::remove(path);
  }

  const QString slow = dir.filePath(QStringLiteral("slow.txt"));
  const QString next = dir.filePath(QStringLiteral("next.txt"));
  make_text(slow, 8 * 1024 * 1024, codec);
  make_text(next, 1024, codec);
  QList<QList<double>> waits(4);
  for (int run = 0; run < runs; ++run) {
    const QList<double> w =
        figures(bench::run_child({"--measure", "slow", slow, QString::fromLatin1(codec), next}), 4);
    for (int k = 0; k < 4; ++k) waits[k] << w[k];
  }
  std::printf(
      "\nslow media (5 MB/s), 8 MB text: the window's longest wait, ms: show %.1f, select near the "
      "end %.1f, read anew %.1f, next text %.1f\n",
      bench::median(waits[0]), bench::median(waits[1]), bench::median(waits[2]),
      bench::median(waits[3]));
  return 0;
}
