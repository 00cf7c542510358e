#pragma once

#include "pictures/picture_loader.h"
#include "platform/job_control.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace tarvex {

// The size and modification time a picture was decoded from: a prefetched picture is shown only
// while its file is unchanged.
struct FileStamp {
  qint64 bytes = -1;
  qint64 modified_ms = -1;
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
  static std::optional<FileStamp> of(const QString& path);
};

struct DecodedPicture {
  QString path;
  QSize decode_size;
  FileStamp stamp;
  LoadedPicture picture;
};

// What decodes a file: the picture loader, or what a test puts in its place.
using PictureDecoder = std::function<std::optional<LoadedPicture>(const QString& path, QSize size)>;

// The look-ahead's job, run off the window's thread: `path` decoded at `decode_size` with the
// stamp of the file it was read from. Nothing when the file is missing or unreadable, when it
// changed while it was read (the picture may be mixed), or when the job was stopped first.
// Whatever the decoder throws is left to whoever runs the job.
std::optional<DecodedPicture> decode_ahead(const PictureDecoder& decoder, const QString& path,
                                           QSize decode_size, const JobControl& control);

// Where a look-ahead job leaves its picture: filled once, on the job's thread, when the decode
// ends; taken on the window's thread when the job's end is delivered, or earlier by a tick that
// finishes the decode under way rather than decoding the same file a second time.
class DecodeHandoff {
 public:
  void put(std::optional<DecodedPicture> picture);
  // Waits until the decode has ended, then takes its picture (once).
  std::optional<DecodedPicture> wait_take();

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  std::optional<DecodedPicture> picture_;
};

// The look-ahead's job: decode_ahead into `handoff`, which is always filled, with nothing when
// the decoder threw (a failed allocation stays on the job's thread).
void decode_into(const PictureDecoder& decoder, const QString& path, QSize decode_size,
                 const JobControl& control, DecodeHandoff& handoff);

// The picture the slideshow shows next, decoded ahead while the current one is on display. The
// window starts the decode as a job with its handoff and tells this when the job has ended; this
// keeps which decode is awaited and the picture it left, and hands that over only for the same
// file, unchanged, at the same size. One picture is prepared at a time; asking for another
// forgets the earlier. Used on the window's thread only.
class PicturePrefetch {
 public:
  // A decode of `path` at `decode_size` is prepared or under way: no need to start another.
  bool expects(const QString& path, QSize decode_size) const;

  // The window has started the decode of `path` at `decode_size` as its job `generation`, which
  // leaves its picture in `handoff`; what was prepared before is forgotten.
  void expect(const QString& path, QSize decode_size, std::uint64_t generation,
              std::shared_ptr<DecodeHandoff> handoff);

  // Job `generation` has ended: its picture (nothing when the decode failed) is kept when that is
  // the job awaited.
  void hold(std::uint64_t generation);

  // The prepared picture of `path` when it was decoded at `decode_size` from the file as it is
  // now, handed over once; nothing otherwise (the caller loads the file itself). A decode of it
  // still under way is finished first: the tick that shows the picture then waits only for the
  // rest of that decode instead of decoding the file again beside it.
  std::optional<DecodedPicture> take(const QString& path, QSize decode_size);

  // Forgets what was prepared or awaited.
  void drop();

  // Told each time a decode starts, with its path (tests watch the look-ahead through it).
  std::function<void(const QString& path)> started;

  // What the look-ahead's jobs decode with. It runs off the window's thread.
  PictureDecoder decoder = [](const QString& path, QSize size) {
    return load_picture_file(path, size);
  };

  // A decode was asked for and its picture has been delivered.
  bool ready() const { return picture_.has_value(); }
  // A decode was asked for and has not been delivered yet.
  bool under_way() const { return handoff_ != nullptr; }

 private:
  QString path_;
  QSize decode_size_;
  // While a decode is under way: where its job leaves the picture, and the job's generation.
  std::shared_ptr<DecodeHandoff> handoff_;
  std::uint64_t awaited_ = 0;
  std::optional<DecodedPicture> picture_;
};

}  // namespace tarvex
