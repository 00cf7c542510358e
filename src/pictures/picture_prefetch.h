#pragma once

#include "pictures/picture_loader.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <vector>

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

// Decodes the picture the slideshow shows next on a worker thread while the current one is on
// display. One picture is prepared at a time; asking for another drops the earlier one.
class PicturePrefetch {
 public:
  PicturePrefetch() = default;
  ~PicturePrefetch();
  PicturePrefetch(const PicturePrefetch&) = delete;
  PicturePrefetch& operator=(const PicturePrefetch&) = delete;

  // Starts decoding `path` (at `decode_size`, as the image pane would) unless that is already
  // prepared or under way.
  void prepare(const QString& path, QSize decode_size);

  // The prepared picture of `path` when it was decoded at `decode_size` from the file as it is
  // now; waits for a decode still under way. Nothing otherwise (then the caller loads the file
  // itself). The prepared picture is handed over once.
  std::optional<DecodedPicture> take(const QString& path, QSize decode_size);

  // Forgets what was prepared.
  void drop();

  // Told each time a decode starts, with its path (tests watch the look-ahead through it).
  std::function<void(const QString& path)> started;

  // What decodes a file: the picture loader, or what a test puts in its place. It runs on the
  // worker thread; whatever it throws stays there and counts as no picture.
  using Decoder = std::function<std::optional<LoadedPicture>(const QString& path, QSize size)>;
  Decoder decoder = [](const QString& path, QSize size) { return load_picture_file(path, size); };

  bool pending() const { return job_.valid(); }
  // A decode was asked for and has finished.
  bool ready() const {
    return job_.valid() && job_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }

 private:
  QString path_;
  QSize decode_size_;
  std::future<std::optional<DecodedPicture>> job_;
  // Decodes no longer wanted, kept until they finish so that dropping one never waits for it.
  std::vector<std::future<std::optional<DecodedPicture>>> abandoned_;
};

}  // namespace tarvex
