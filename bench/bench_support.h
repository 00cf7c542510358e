#pragma once

#include "platform/message_box.h"
#include "platform/platform.h"

#include <QImage>
#include <QString>
#include <QStringList>

namespace tarvex::bench {

// Message boxes during a benchmark mean the set-up is wrong: say so and fail the benchmark.
class SilentMessages final : public MessageService {
 public:
  MsgAnswer msgbox(const QString& text, MsgButtons) override;
};

// A platform for a benchmark window: silent messages and a settings folder in `folder` whose
// file count is valid, so start-up shows no message.
Platform bench_platform(const QString& folder, SilentMessages* messages);

// Peak resident memory of this program so far (VmHWM), in megabytes.
double peak_memory_mb();

// Runs this program again with `args` and returns its standard output (the child prints its
// figures); the wall time from start to exit goes to `elapsed_ms`, and from start to the child's
// first output to `first_output_ms`. A child that crashes, hangs or exits with a code other than 0
// ends the whole benchmark with exit code 1.
QString run_child(const QStringList& args, double* elapsed_ms = nullptr,
                  double* first_output_ms = nullptr);

double median(QList<double> values);

// A photo-like picture of `w` × `h` pixels (gradients and circles).
QImage photo_like(int w, int h);
// It as a JPEG at quality 90.
void make_jpeg(const QString& path, int w, int h);
// It as a HEIC photo, encoded by libheif (HEVC, quality 80); ends the benchmark when it cannot.
void make_heic(const QString& path, int w, int h);
// The baseline for a HEIF picture: libheif's own reading and decoding of the file to 8-bit RGB
// (RGBA with alpha), in milliseconds; ends the benchmark when it fails.
double libheif_decode_ms(const QString& path);

// Resident memory of this process now, in megabytes.
double resident_memory_mb();

}  // namespace tarvex::bench
