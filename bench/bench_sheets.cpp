// Spreadsheet preview: from the display dispatcher to the painted pane for a 5 MB .xls and a
// 1 MB .wk4, and for workbooks ten times larger. The preview reads only a small block, so the
// figure that matters is how the time grows with the file. Baselines in the same run: the same
// window showing a plain text of the block's size (what the pane costs without a workbook), and
// reading the workbook file's bytes alone. Each measurement runs in a process of its own.

#include "app/main_window.h"
#include "bench_support.h"
#include "display/text_pane.h"
#include "platform/fonts.h"
#include "settings/setting_keys.h"
#include "settings/settings_file.h"
#include "sheets/sheet_readers.h"
#include "workbook_writers.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

constexpr int kColumns = 100;

void write_file(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  f.open(QIODevice::WriteOnly);
  f.write(bytes);
}

// A sheet of `bytes` or so: rows of numbers with a Japanese label in front.
void make_xls(const QString& path, qint64 bytes) {
  XlsSheet sheet{QStringLiteral("Sheet1"), {}, -1, -1};
  const qint64 rows = bytes / (kColumns * 18);
  for (int r = 0; r < rows; ++r) {
    sheet.cells.append({r, 0, XlsCell::Text, 0, QStringLiteral("品目%1").arg(r % 500)});
    for (int c = 1; c < kColumns; ++c) sheet.cells.append({r, c, XlsCell::Number, r * 0.5 + c, {}});
  }
  write_file(path, xls_file({{sheet}, 0, false, false, 0, 4096}));
}

void make_wk4(const QString& path, qint64 bytes) {
  QList<WkCell> cells;
  const qint64 rows = bytes / (kColumns * 18);
  for (int r = 0; r < rows; ++r) {
    cells.append({0, r, 0, true, 0, QStringLiteral("品目%1").arg(r % 500)});
    for (int c = 1; c < kColumns; ++c) cells.append({0, r, c, false, r * 0.5 + c, {}});
  }
  write_file(path, wk3_file(cells, 0x1002));
}

// The peak resident memory of this process since it started its program. getrusage would also
// count the parent's memory at the fork that started it (the workbooks it has just written).
double own_peak_mb() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return bench::peak_memory_mb();
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmHWM:"))
      return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
  }
  return bench::peak_memory_mb();
}

// Child: one measurement; prints "milliseconds peak-megabytes".
int measure(int argc, char** argv, const QString& what, const QString& path) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  install_font_substitutions();
  QElapsedTimer timer;
  if (what == "bytes") {
    timer.start();
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    const QByteArray all = f.readAll();
    const double ms = timer.nsecsElapsed() / 1e6;
    std::printf("%.1f %.1f\n", ms, own_peak_mb());
    return all.isEmpty() ? 1 : 0;
  }
  QTemporaryDir dir;
  bench::SilentMessages messages;
  const Platform platform = bench::bench_platform(dir.path(), &messages);
  const bool lotus = path.endsWith(QLatin1String(".wk4"));
  SettingsFile settings(dir.path());
  settings.ini_write(lotus ? keys::kLotusExtensions : keys::kExcelExtensions, keys::slot_key(0),
                     lotus ? QStringLiteral("wk4") : QStringLiteral("xls"));
  settings.ini_write(keys::kApplicationSection, keys::kApplication,
                     keys::kApplicationNames[lotus ? 0 : 1]);
  Form1 window(platform);
  window.show();
  QCoreApplication::processEvents();
  timer.start();
  window.ファイルの表示(path, 1);
  while (window.sheet_reading_pending())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  window.text_pane->repaint();
  const double ms = timer.nsecsElapsed() / 1e6;
  if (window.text_pane->text().isEmpty()) return 1;
  std::printf("%.1f %.1f\n", ms, own_peak_mb());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && qstrcmp(argv[1], "--measure") == 0) {
    return measure(argc, argv, QString::fromLatin1(argv[2]), QString::fromLocal8Bit(argv[3]));
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  std::printf("making the workbooks...\n");
  std::fflush(stdout);
  struct Case {
    const char* name;
    QString path;
  };
  const QList<Case> cases = {{".xls 5 MB", dir.filePath("book5.xls")},
                             {".xls 50 MB", dir.filePath("book50.xls")},
                             {".wk4 1 MB", dir.filePath("book1.wk4")},
                             {".wk4 10 MB", dir.filePath("book10.wk4")}};
  make_xls(cases[0].path, 5 << 20);
  make_xls(cases[1].path, 50 << 20);
  make_wk4(cases[2].path, 1 << 20);
  make_wk4(cases[3].path, 10 << 20);
  // The plain-text baseline: the block's own text, shown as a text file.
  const QString block = dir.filePath("block.txt");
  QFile out(block);
  out.open(QIODevice::WriteOnly);
  out.write(excel_block_text(cases[0].path).toUtf8());
  out.close();

  std::printf("%-12s %8s %10s %10s %10s %7s %10s\n", "case", "size MB", "shown ms", "text ms",
              "bytes ms", "ratio", "peak MB");
  for (const Case& c : cases) {
    QList<double> ours, text, bytes, peak;
    for (int run = 0; run < 3; ++run) {
      const QStringList a = bench::run_child({"--measure", "preview", c.path}).split(' ');
      const QStringList b = bench::run_child({"--measure", "text", block}).split(' ');
      const QStringList r = bench::run_child({"--measure", "bytes", c.path}).split(' ');
      if (a.size() != 2 || b.size() != 2 || r.size() != 2) {
        std::printf("%-12s failed\n", c.name);
        return 1;
      }
      ours << a[0].toDouble();
      peak << a[1].toDouble();
      text << b[0].toDouble();
      bytes << r[0].toDouble();
    }
    const double o = bench::median(ours), t = bench::median(text);
    std::printf("%-12s %8.1f %10.1f %10.1f %10.1f %7.2f %10.1f\n", c.name,
                QFile(c.path).size() / 1048576.0, o, t, bench::median(bytes), o / t,
                bench::median(peak));
  }
  return 0;
}
