// The slideshow. First the time of one image tick on a 6000 × 4000 JPEG, with the next picture
// decoded ahead and without, beside the bare QImageReader::read of the same file, and the same on
// a 12-megapixel HEIC photo beside libheif's own decoding of it. Then a soak:
// 10,000 ticks at an interval of 1 ms over small pictures and texts whose files are removed and
// made again while it runs, the missing-file question answered Yes and No in turn; it prints the
// ticks per second and the resident memory at the start and the end. Last a text soak: 10,000
// text ticks over rich texts, workbooks (.xls, .xlsx, WK1) and plain texts in code page 932 and
// UTF-8, with Excel or Lotus 1-2-3 chosen in turn and the workbook of the current entry previewed
// every fourth tick, as the arrow does; files vanish and come back. Its resident memory must stay
// flat: within 20 MB from after the first 1,000 ticks to the end.
//
//   bench_slideshow [soak ticks, default 10000; -1 leaves both soaks out]

#include "app/main_window.h"
#include "bench_support.h"
#include "display/image_pane.h"
#include "pictures/picture_prefetch.h"
#include "platform/classic_timer.h"
#include "platform/text_codecs.h"
#include "workbook_writers.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>

#include <cstdio>

using namespace tarvex;

namespace {

// Answers the missing-file question Yes and No in turn, and every notice with OK.
class AlternatingAnswers final : public MessageService {
 public:
  MsgAnswer msgbox(const QString& text, MsgButtons buttons) override {
    ++shown;
    if (buttons == MsgButtons::YesNo)
      return (yes_next = !yes_next) ? MsgAnswer::Yes : MsgAnswer::No;
    if (!text.contains(QStringLiteral("存在しません"))) {
      std::fprintf(stderr, "unexpected message: %s\n", qPrintable(text));
    }
    return MsgAnswer::Ok;
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
  f.image_pane->repaint();
  return {tick, t.nsecsElapsed() / 1e6};
}

// The image tick on two photos: 6000 × 4000 JPEGs against Qt's reader, or 12-megapixel HEIC
// photos against libheif's own decoding.
void image_tick(const QString& folder, bool heic) {
  std::printf(heic ? "making two 4032x3024 HEIC photos...\n" : "making two 6000x4000 JPEGs...\n");
  std::fflush(stdout);
  const QString a = folder + (heic ? "/photo_a.heic" : "/photo_a.jpg");
  const QString b = folder + (heic ? "/photo_b.heic" : "/photo_b.jpg");
  if (heic) {
    // Encoding takes long; the second file is a copy, decoded like any other file.
    bench::make_heic(a, 4032, 3024);
    QFile::remove(b);
    QFile::copy(a, b);
  } else {
    bench::make_jpeg(a, 6000, 4000);
    bench::make_jpeg(b, 6000, 4000);
  }
  QList<double> base, plain, ahead, plain_tick, ahead_tick;
  for (int run = 0; run < 3; ++run) {
    if (heic) {
      base << bench::libheif_decode_ms(b);
      continue;
    }
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
    f.ファイルの表示(a, DisplayTarget::ShowPane);
    f.ファイルの表示(b, DisplayTarget::ShowPane);
    // Ticks are run here, one by one; the running timer never fires within the run.
    f.image_timer->set_interval(60000);
    f.continuous_checks[0]->click();
    f.連続画像_Timer();  // entry 0
    for (int run = 0; run < 4; ++run) {
      // The interval passes with the window taking its events, as between two ticks of the
      // running timer: the picture ahead is decoded and handed to the window meanwhile. A decode
      // that outlasts the interval is finished by the tick, which this row then times too.
      QElapsedTimer interval;
      interval.start();
      while (!interval.hasExpired(heic ? 3000 : 1500))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
      const auto [tick, painted] = time_tick(f);
      (prefetch ? ahead : plain) << painted;
      (prefetch ? ahead_tick : plain_tick) << tick;
    }
  }
  const double bm = bench::median(base);
  std::printf("%-34s %9s %7s %11s\n",
              heic ? "one image tick, 4032x3024 HEIC" : "one image tick, 6000x4000 JPEG", "ms",
              "ratio", "painted ms");
  std::printf("%-34s %9.1f %7.2f\n",
              heic ? "baseline libheif decode" : "baseline QImageReader::read", bm, 1.0);
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
      if (QFile::exists(p)) f.ファイルの表示(p, DisplayTarget::ShowPane);
    }
  };
  fill(true);
  fill(false);
  int ticks = 0;
  int churn = 0;
  auto run_side = [&](int index) {
    ClassicTimer* timer = index == 0 ? f.image_timer : f.text_timer;
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
      if (!f.continuous_checks[index]->isChecked()) {
        if ((index == 0 ? f.st.img : f.st.txt).top_index() < 5) fill(index == 0);
        f.continuous_checks[index]->click();
      }
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    f.continuous_checks[index]->setChecked(false);
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

// The text soak's files: rich texts, workbooks and plain texts, each kind a few times over.
struct TextSoakFiles {
  QStringList paths;
  void write(int i) const {
    const QString& path = paths[i];
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (path.endsWith(".rtf")) {
      QByteArray rtf =
          "{\\rtf1\\ansi\\ansicpg932{\\fonttbl{\\f0\\fnil\\fcharset128 Gothic;}}"
          "{\\colortbl;\\red200\\green0\\blue0;}\\f0\\fs24 ";
      for (int p = 0; p < 40 + 20 * i; ++p)
        rtf += "\\b Tarvex\\b0  \\cf1 \\'82\\'a0\\'82\\'a2\\cf0  \\i line\\i0\\par ";
      f.write(rtf + "}");
    } else if (path.endsWith(".xls")) {
      tarvex::testing::XlsSheet sheet{QStringLiteral("Sheet1"), {}};
      for (int r = 0; r < 20; ++r) {
        for (int c = 0; c < 10; ++c) {
          sheet.cells.append({r, c, tarvex::testing::XlsCell::Number, double(r * 10 + c + i), {}});
        }
      }
      sheet.cells.append(
          {0, 0, tarvex::testing::XlsCell::Text, 0, QStringLiteral("売上%1").arg(i)});
      f.write(tarvex::testing::xls_file({{sheet}}));
    } else if (path.endsWith(".xlsx")) {
      QByteArray rows;
      for (int r = 1; r <= 20; ++r) {
        rows += "<row r=\"" + QByteArray::number(r) + "\"><c r=\"A" + QByteArray::number(r) +
                "\"><v>" + QByteArray::number(r * i) + "</v></c></row>";
      }
      f.write(tarvex::testing::xlsx_file({{QStringLiteral("Sheet1"), rows}}, 0));
    } else if (path.endsWith(".wk1")) {
      QList<tarvex::testing::WkCell> cells;
      for (int r = 0; r < 30; ++r) cells.append({0, r, 0, false, double(r + i), {}});
      cells.append({0, 0, 1, true, 0, QStringLiteral("見出し%1").arg(i)});
      f.write(tarvex::testing::wk1_file(cells));
    } else if (i % 2 == 0) {
      f.write(tarvex::encode_cp932(QStringLiteral("シフトJISの行 %1\r\n").arg(i).repeated(200)));
    } else {
      f.write(QStringLiteral("UTF-8 の行 %1\n").arg(i).repeated(200).toUtf8());
    }
  }
};

void text_soak(const QString& folder, int total_ticks) {
  const QString data = folder + "/text_soak";
  QDir().mkpath(data);
  TextSoakFiles files;
  const char* kinds[] = {"rtf", "xls", "xlsx", "wk1", "txt", "txt"};
  for (int i = 0; i < 30; ++i) {
    files.paths << data + QStringLiteral("/f%1.%2").arg(i).arg(QLatin1String(kinds[i % 6]));
    files.write(i);
  }
  QTemporaryDir settings;
  bench::SilentMessages unused;
  Platform platform = bench::bench_platform(settings.path(), &unused);
  AlternatingAnswers answers;
  platform.messages = &answers;
  Form1 f(platform);
  f.show();
  // ".xlsx" ends in "lsx": both Excel extensions, and WK1 for Lotus 1-2-3.
  f.st.excel_exts[0] = QStringLiteral("xls");
  f.st.excel_exts[1] = QStringLiteral("lsx");
  f.st.lotus_exts[0] = QStringLiteral("wk1");
  f.st.sheet_app = SheetApp::Excel;
  auto fill = [&] {
    for (const QString& p : files.paths) {
      if (QFile::exists(p)) f.ファイルの表示(p, DisplayTarget::ShowPane);
    }
  };
  fill();
  int ticks = 0;
  f.text_timer->set_interval(1);
  f.text_timer->set_handler([&] {
    ++ticks;
    f.連続テキスト_Timer();
    // The spreadsheet choice changes now and then; every fourth tick the current entry is shown
    // as the arrow shows it, through the preview.
    if (ticks % 1000 == 0) {
      f.st.sheet_app = f.st.sheet_app == SheetApp::Excel ? SheetApp::Lotus : SheetApp::Excel;
    }
    if (ticks % 4 == 0 && !f.message_open()) {
      f.st.sheet_app == SheetApp::Excel ? f.Excelで表示(SheetEntry::Current)
                                        : f.Lotus123で表示(SheetEntry::Current);
    }
    if (ticks % 7 == 0) QFile::remove(files.paths[(ticks * 13) % files.paths.size()]);
    if (ticks % 29 == 0) {
      for (int i = 0; i < files.paths.size(); ++i) {
        if (!QFile::exists(files.paths[i])) files.write(i);
      }
    }
  });
  double rss_warm = 0;
  QElapsedTimer t;
  t.start();
  while (ticks < total_ticks) {
    if (!f.continuous_checks[1]->isChecked()) {
      if (f.st.txt.top_index() < 10) fill();
      f.continuous_checks[1]->click();
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    if (rss_warm == 0 && ticks >= total_ticks / 10) rss_warm = bench::resident_memory_mb();
  }
  f.continuous_checks[1]->setChecked(false);
  // The last reading ends and is handed over.
  while (f.sheet_reading_pending())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  const double seconds = t.nsecsElapsed() / 1e9;
  const double rss_end = bench::resident_memory_mb();
  std::printf("\ntext soak: %d ticks in %.1f s = %.0f ticks/s, %d questions answered\n", ticks,
              seconds, ticks / seconds, answers.shown);
  std::printf(
      "resident memory: %.1f MB after %d ticks, %.1f MB at the end (growth %.1f MB, target "
      "<= 20)\n",
      rss_warm, total_ticks / 10, rss_end, rss_end - rss_warm);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir dir;
  // An argument gives the soak's ticks; -1 leaves the soak out.
  const int ticks = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 10000;
  image_tick(dir.path(), false);
  image_tick(dir.path(), true);
  if (ticks >= 0) soak(dir.path(), ticks > 0 ? ticks : 10000);
  if (ticks >= 0) text_soak(dir.path(), ticks > 0 ? ticks : 10000);
  return 0;
}
