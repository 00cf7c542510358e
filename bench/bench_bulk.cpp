// Bulk registration of a folder of 100,000 names into a register of 501 entries: the ring step
// alone, and the whole image command on the window (question answered, list rebuilt, notice
// started). Baseline in the same run: listing the folder with the file box's pattern and
// switches, which every bulk command needs before it can register anything.

#include "app/main_window.h"
#include "bench_support.h"
#include "browse/file_box.h"
#include "browse/file_filter.h"
#include "registers/bulk_register.h"
#include "settings/settings_file.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>
#include <cstdio>

using namespace tarvex;

namespace {

// The bulk question is answered with OK; anything else means the set-up is wrong.
class AnswerOk final : public MessageService {
 public:
  int msgbox(const QString& text, MsgButtons buttons) override {
    if (buttons != MsgButtons::OkCancel) {
      std::fprintf(stderr, "unexpected message: %s\n", qPrintable(text));
    }
    return kAnswerOk;
  }
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir dir;
  const QString folder = dir.filePath(QStringLiteral("photos"));
  QDir().mkpath(folder);
  constexpr int kFiles = 100000;
  constexpr int kMaxIndex = 500;
  std::printf("making %d files...\n", kFiles);
  std::fflush(stdout);
  for (int i = 0; i < kFiles; ++i) {
    const QByteArray name = QFile::encodeName(folder + QStringLiteral("/photo_%1.jpg").arg(i));
    ::close(::open(name.constData(), O_CREAT | O_WRONLY, 0644));
  }

  bench::SilentMessages silent;
  Platform platform = bench::bench_platform(dir.path(), &silent);
  SettingsFile(dir.path())
      .ini_write(QStringLiteral("最大ファイル数"), QStringLiteral("ファイル数"),
                 QString::number(kMaxIndex));
  AnswerOk answers;
  platform.messages = &answers;
  Form1 window(platform);
  window.show();
  window.browse_to(folder);
  if (window.file_box->entries().size() != kFiles) {
    std::fprintf(stderr, "the file box lists %lld names\n",
                 static_cast<long long>(window.file_box->entries().size()));
    return 1;
  }

  QList<double> base, core, command;
  for (int run = 0; run < 5; ++run) {
    QElapsedTimer t;
    t.start();
    const auto names = list_files(folder, QStringLiteral("*.*"), FileAttributes{});
    base << t.nsecsElapsed() / 1e6;
    if (!names || names->size() != kFiles) return 1;

    Register r;
    r.reset(kMaxIndex);
    t.restart();
    const int taken = bulk_register(r, BulkKind::Images, folder, *names, {});
    core << t.nsecsElapsed() / 1e6;
    if (taken != kFiles || r.list_lines().size() != kMaxIndex + 1) return 1;

    t.restart();
    window.img_all_load_Click();
    command << t.nsecsElapsed() / 1e6;
    if (window.image_list->count() != kMaxIndex + 1) return 1;
  }
  const double b = bench::median(base);
  std::printf("folder of %d names into %d entries, median of 5 runs\n", kFiles, kMaxIndex + 1);
  std::printf("  listing the folder (baseline):     %8.1f ms\n", b);
  std::printf("  ring step over the names:          %8.1f ms  ratio %.2f\n", bench::median(core),
              bench::median(core) / b);
  std::printf(
      "  image bulk command on the window:  %8.1f ms  ratio %.2f  (target well under 1 s)\n",
      bench::median(command), bench::median(command) / b);
  return 0;
}
