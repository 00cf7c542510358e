#pragma once

#include "pictures/picture_loader.h"
#include "platform/job_control.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>
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

// The picture the slideshow shows next, decoded ahead while the current one is on display. The
// window starts the decode as a job and hands its result here; this keeps which decode is
// awaited and the picture it delivered, and hands that over only for the same file, unchanged,
// at the same size. One picture is prepared at a time; asking for another forgets the earlier.
// Used on the window's thread only; it never waits for a decode.
class PicturePrefetch {
 public:
  // A decode of `path` at `decode_size` is prepared or under way: no need to start another.
  bool expects(const QString& path, QSize decode_size) const;

  // The window has started the decode of `path` at `decode_size` as its job `generation`; what
  // was prepared before is forgotten.
  void expect(const QString& path, QSize decode_size, std::uint64_t generation);

  // The result of job `generation` (nothing when the decode failed or threw). Kept only when that
  // is the job awaited.
  void hold(std::uint64_t generation, std::optional<DecodedPicture> picture);

  // The prepared picture of `path` when it was decoded at `decode_size` from the file as it is
  // now, handed over once. Nothing otherwise, also while its decode is still under way: then the
  // caller loads the file itself and the decode's result, when it comes, is not used.
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
  bool under_way() const { return awaited_.has_value(); }

 private:
  QString path_;
  QSize decode_size_;
  std::optional<std::uint64_t> awaited_;  // the job whose result is wanted
  std::optional<DecodedPicture> picture_;
};

}  // namespace tarvex
