// The slideshow. First the time of one image tick on a 6000 × 4000 JPEG, with the next picture
// decoded ahead and without, beside the bare QImageReader::read of the same file. Then a soak:
// 10,000 ticks at an interval of 1 ms over small pictures and texts whose files are removed and
// made again while it runs, the missing-file question answered Yes and No in turn; it prints the
// ticks per second and the resident memory at the start and the end.

#include "app/main_window.h"
#include "bench_support.h"
#include "display/image_pane.h"
#include "pictures/picture_prefetch.h"
#include "platform/classic_timer.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

using namespace tarvex;

namespace {

// Answers the missing-file question Yes and No in turn, and every notice with OK.
class AlternatingAnswers final : public MessageService {
 public:
  int msgbox(const QString& text, MsgButtons buttons) override {
    ++shown;
    if (buttons == MsgButtons::YesNo) return (yes_next = !yes_next) ? kAnswerYes : kAnswerNo;
    if (!text.contains(QStringLiteral("存在しません"))) {
      std::fprintf(stderr, "unexpected message: %s\n", qPrintable(text));
    }
    return kAnswerOk;
  }
  int shown = 0;
  bool yes_next = false;
};

// The tick, and the tick with the pane painted.
std::pair<double, double> time_tick(Form1& f) {
  QElapsedTimer t;
  t.start();
  f.連続画像_Timer();
  const double tick = t.nsecsElapsed() / 1e6;
  f.Image1->repaint();
  return {tick, t.nsecsElapsed() / 1e6};
}

void image_tick(const QString& folder) {
  std::printf("making two 6000x4000 JPEGs...\n");
  std::fflush(stdout);
  const QString a = folder + "/photo_a.jpg";
  const QString b = folder + "/photo_b.jpg";
  bench::make_jpeg(a, 6000, 4000);
  bench::make_jpeg(b, 6000, 4000);
  QList<double> base, plain, ahead, plain_tick, ahead_tick;
  for (int run = 0; run < 3; ++run) {
    QElapsedTimer t;
    t.start();
    QImageReader reader(b);
    reader.setAllocationLimit(512);
    if (reader.read().isNull()) std::printf("baseline read failed\n");
    base << t.nsecsElapsed() / 1e6;
  }
  for (bool prefetch : {false, true}) {
    QTemporaryDir settings;
    bench::SilentMessages messages;
    Form1 f(bench::bench_platform(settings.path(), &messages));
    f.show();
    f.prefetch_enabled = prefetch;
    f.ファイルの表示(a, 1);
    f.ファイルの表示(b, 1);
    // Ticks are run here, one by one; the running timer never fires within the run.
    f.連続画像->set_interval(60000);
    f.Check1[0]->click();
    f.連続画像_Timer();  // entry 0
    for (int run = 0; run < 4; ++run) {
      // The interval passes: the picture ahead is decoded meanwhile.
      QThread::msleep(1500);
      const auto [tick, painted] = time_tick(f);
      (prefetch ? ahead : plain) << painted;
      (prefetch ? ahead_tick : plain_tick) << tick;
    }
  }
  const double bm = bench::median(base);
  std::printf("%-34s %9s %7s %11s\n", "one image tick, 6000x4000 JPEG", "ms", "ratio",
              "painted ms");
  std::printf("%-34s %9.1f %7.2f\n", "baseline QImageReader::read", bm, 1.0);
  std::printf("%-34s %9.1f %7.2f %11.1f\n", "tick, decoded in the tick", bench::median(plain_tick),
              bench::median(plain_tick) / bm, bench::median(plain));
  std::printf("%-34s %9.1f %7.2f %11.1f\n", "tick, decoded ahead", bench::median(ahead_tick),
              bench::median(ahead_tick) / bm, bench::median(ahead));
}

void write_small_picture(const QString& path, int i) {
  QImage image(64 + i % 7, 48, QImage::Format_RGB32);
  image.fill(QColor::fromHsv((i * 40) % 360, 200, 200));
  QImageWriter(path, "bmp").write(image);
}

void write_small_text(const QString& path, int i) {
  QFile f(path);
  f.open(QIODevice::WriteOnly | QIODevice::Truncate);
  f.write(QByteArray("line of text ").repeated(50 + i));
}

void soak(const QString& folder, int total_ticks) {
  const QString data = folder + "/soak";
  QDir().mkpath(data);
  constexpr int kFiles = 30;
  QStringList pictures, texts;
  for (int i = 0; i < kFiles; ++i) {
    pictures << data + QStringLiteral("/p%1.bmp").arg(i);
    texts << data + QStringLiteral("/t%1.txt").arg(i);
    write_small_picture(pictures.back(), i);
    write_small_text(texts.back(), i);
  }
  QTemporaryDir settings;
  bench::SilentMessages unused;
  Platform platform = bench::bench_platform(settings.path(), &unused);
  AlternatingAnswers answers;
  platform.messages = &answers;
  Form1 f(platform);
  f.show();
  auto fill = [&](bool image) {
    for (const QString& p : image ? pictures : texts) {
      if (QFile::exists(p)) f.ファイルの表示(p, 1);
    }
  };
  fill(true);
  fill(false);
  int ticks = 0;
  int churn = 0;
  auto run_side = [&](int index) {
    ClassicTimer* timer = index == 0 ? f.連続画像 : f.連続テキスト;
    timer->set_interval(1);
    const int target = ticks + total_ticks / 2;
    timer->set_handler([&, index] {
      ++ticks;
      index == 0 ? f.連続画像_Timer() : f.連続テキスト_Timer();
      // Files go and come back while the display runs.
      ++churn;
      const QStringList& files = index == 0 ? pictures : texts;
      if (churn % 7 == 0) QFile::remove(files[(churn * 13) % kFiles]);
      if (churn % 29 == 0) {
        for (int i = 0; i < kFiles; ++i) {
          if (QFile::exists(files[i])) continue;
          index == 0 ? write_small_picture(files[i], i) : write_small_text(files[i], i);
        }
      }
    });
    while (ticks < target) {
      // A removal with Yes stops the display, or the register runs low: start it again.
      if (!f.Check1[index]->isChecked()) {
        if ((index == 0 ? f.st.img : f.st.txt).top_index() < 5) fill(index == 0);
        f.Check1[index]->click();
      }
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    f.Check1[index]->setChecked(false);
  };
  const double rss_start = bench::resident_memory_mb();
  QElapsedTimer t;
  t.start();
  run_side(0);
  run_side(1);
  const double seconds = t.nsecsElapsed() / 1e9;
  const double rss_end = bench::resident_memory_mb();
  std::printf("\nsoak: %d ticks in %.1f s = %.0f ticks/s, %d questions answered\n", ticks, seconds,
              ticks / seconds, answers.shown);
  std::printf("resident memory: %.1f MB at the start, %.1f MB at the end (growth %.1f MB)\n",
              rss_start, rss_end, rss_end - rss_start);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir dir;
  // An argument gives the soak's ticks; -1 leaves the soak out.
  const int ticks = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 10000;
  image_tick(dir.path());
  if (ticks >= 0) soak(dir.path(), ticks > 0 ? ticks : 10000);
  return 0;
}
