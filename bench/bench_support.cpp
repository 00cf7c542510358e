#include "bench_support.h"

#include "heif_writer.h"
#include "settings/settings_file.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>

#include <libheif/heif.h>

#include <sys/resource.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tarvex::bench {

MsgAnswer SilentMessages::msgbox(const QString& text, MsgButtons) {
  // A message box means the measured path went wrong: the benchmark fails rather than printing
  // the figures of a different path.
  std::fprintf(stderr, "unexpected message: %s\n", qPrintable(text));
  std::exit(1);
}

Platform bench_platform(const QString& folder, SilentMessages* messages) {
  SettingsFile(folder).ini_write(QStringLiteral("最大ファイル数"), QStringLiteral("ファイル数"),
                                 QStringLiteral("200"));
  // Phone photos are pictures, as with the shipped settings.
  SettingsFile(folder).ini_write(QStringLiteral("イメージ拡張子"), QStringLiteral("拡張子0"),
                                 QStringLiteral("heic"));
  Platform platform;
  platform.messages = messages;
  platform.settings_folder = folder;
  platform.start_folder = folder;
  return platform;
}

double peak_memory_mb() {
  // VmHWM counts this program alone; getrusage would also count the parent's memory at the fork
  // that started a benchmark's child.
  QFile status(QStringLiteral("/proc/self/status"));
  if (status.open(QIODevice::ReadOnly)) {
    for (const QByteArray& line : status.readAll().split('\n')) {
      if (line.startsWith("VmHWM:"))
        return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

QString run_child(const QStringList& args, double* elapsed_ms, double* first_output_ms) {
  QProcess child;
  child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  QElapsedTimer timer;
  timer.start();
  child.start(QCoreApplication::applicationFilePath(), args);
  if (first_output_ms) {
    child.waitForReadyRead(600000);
    *first_output_ms = timer.nsecsElapsed() / 1e6;
  }
  const bool finished = child.waitForFinished(600000);
  if (elapsed_ms) *elapsed_ms = timer.nsecsElapsed() / 1e6;
  // A child that crashed, hung or failed measured nothing: the whole benchmark fails.
  if (!finished || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
    std::fprintf(stderr, "benchmark child %s failed (%s, exit code %d)\n",
                 qPrintable(args.join(u' ')),
                 !finished                                    ? "did not finish"
                 : child.exitStatus() != QProcess::NormalExit ? "crashed"
                                                              : "exited",
                 child.exitCode());
    child.kill();
    std::exit(1);
  }
  return QString::fromUtf8(child.readAllStandardOutput()).trimmed();
}

double median(QList<double> values) {
  if (values.isEmpty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

QImage photo_like(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  QPainter p(&image);
  QLinearGradient g(0, 0, w, h);
  g.setColorAt(0, Qt::darkBlue);
  g.setColorAt(1, Qt::yellow);
  p.fillRect(image.rect(), g);
  for (int i = 0; i < 200; ++i) {
    p.setPen(QColor::fromHsv((i * 37) % 360, 200, 220));
    p.drawEllipse(QPoint((i * 7919) % w, (i * 104729) % h), w / 20, h / 20);
  }
  p.end();
  return image;
}

void make_jpeg(const QString& path, int w, int h) {
  QImageWriter writer(path, "jpeg");
  writer.setQuality(90);
  writer.write(photo_like(w, h));
}

void make_heic(const QString& path, int w, int h) {
  const QByteArray bytes = testing::heif_bytes(photo_like(w, h), testing::HeifCodec::hevc, 1, 80);
  QFile f(path);
  if (bytes.isEmpty() || !f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
    std::fprintf(stderr, "could not write %s\n", qPrintable(path));
    std::exit(1);
  }
}

double libheif_decode_ms(const QString& path) {
  QElapsedTimer timer;
  timer.start();
  heif_context* context = heif_context_alloc();
  heif_image_handle* handle = nullptr;
  heif_image* image = nullptr;
  const bool ok =
      heif_context_read_from_file(context, QFile::encodeName(path).constData(), nullptr).code ==
          heif_error_Ok &&
      heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok &&
      heif_decode_image(handle, &image, heif_colorspace_RGB,
                        heif_image_handle_has_alpha_channel(handle) ? heif_chroma_interleaved_RGBA
                                                                    : heif_chroma_interleaved_RGB,
                        nullptr)
              .code == heif_error_Ok;
  const double ms = timer.nsecsElapsed() / 1e6;
  heif_image_release(image);
  heif_image_handle_release(handle);
  heif_context_free(context);
  if (!ok) {
    std::fprintf(stderr, "libheif could not decode %s\n", qPrintable(path));
    std::exit(1);
  }
  return ms;
}

double resident_memory_mb() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:"))
      return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
  }
  return 0;
}

}  // namespace tarvex::bench
