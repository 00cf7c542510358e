// Listing a folder of 100,000 files in the file box. Baseline in the same run: reading the
// folder's names with readdir alone.

#include "bench_support.h"
#include "browse/file_box.h"
#include "browse/file_filter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <cstdio>

using namespace tarvex;

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir dir;
  constexpr int kFiles = 100000;
  std::printf("making %d files...\n", kFiles);
  std::fflush(stdout);
  for (int i = 0; i < kFiles; ++i) {
    const QByteArray name = QFile::encodeName(dir.filePath(QStringLiteral("file_%1.txt").arg(i)));
    ::close(::open(name.constData(), O_CREAT | O_WRONLY, 0644));
  }
  QList<double> base, core, box;
  for (int run = 0; run < 5; ++run) {
    QElapsedTimer t;
    t.start();
    int n = 0;
    DIR* d = ::opendir(QFile::encodeName(dir.path()).constData());
    while (dirent* e = ::readdir(d)) n += e->d_name[0] != '.';
    ::closedir(d);
    base << t.nsecsElapsed() / 1e6;
    if (n != kFiles) return 1;

    t.restart();
    const auto names = list_files(dir.path(), QStringLiteral("*.*"), FileAttributes{});
    core << t.nsecsElapsed() / 1e6;
    if (!names || names->size() != kFiles) return 1;

    FileBox file_box;
    file_box.resize(145, 152);
    file_box.show();
    t.restart();
    file_box.set_path(dir.path());
    file_box.repaint();
    box << t.nsecsElapsed() / 1e6;
  }
  const double b = bench::median(base);
  std::printf("folder of %d files, median of 5 runs\n", kFiles);
  std::printf("  readdir alone (baseline):          %8.1f ms\n", b);
  std::printf("  list with pattern and switches:    %8.1f ms  ratio %.2f\n", bench::median(core),
              bench::median(core) / b);
  std::printf("  file box filled and painted:       %8.1f ms  ratio %.2f\n", bench::median(box),
              bench::median(box) / b);
  return 0;
}
