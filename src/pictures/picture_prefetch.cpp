#include "pictures/picture_prefetch.h"

#include "pictures/picture_loader.h"

#include <QDateTime>
#include <QFileInfo>

#include <utility>

namespace tarvex {

std::optional<FileStamp> FileStamp::of(const QString& path) {
  const QFileInfo info(path);
  if (!info.isFile()) return std::nullopt;
  return FileStamp{info.size(), info.lastModified().toMSecsSinceEpoch()};
}

std::optional<DecodedPicture> decode_ahead(const PictureDecoder& decoder, const QString& path,
                                           QSize decode_size, const JobControl& control) {
  if (control.stopped()) return std::nullopt;
  const std::optional<FileStamp> before = FileStamp::of(path);
  if (!before) return std::nullopt;
  std::optional<LoadedPicture> picture = decoder(path, decode_size);
  // A file that changed while it was read may have given a mixed picture: not used.
  if (!picture || control.stopped() || FileStamp::of(path) != before) return std::nullopt;
  return DecodedPicture{path, decode_size, *before, std::move(*picture)};
}

void DecodeHandoff::put(std::optional<DecodedPicture> picture) {
  {
    const std::lock_guard lock(mutex_);
    picture_ = std::move(picture);
    done_ = true;
  }
  ended_.notify_all();
}

std::optional<DecodedPicture> DecodeHandoff::wait_take() {
  std::unique_lock lock(mutex_);
  ended_.wait(lock, [this] { return done_; });
  return std::exchange(picture_, std::nullopt);
}

void decode_into(const PictureDecoder& decoder, const QString& path, QSize decode_size,
                 const JobControl& control, DecodeHandoff& handoff) {
  std::optional<DecodedPicture> picture;
  try {
    picture = decode_ahead(decoder, path, decode_size, control);
  } catch (...) {
    picture.reset();
  }
  handoff.put(std::move(picture));
}

bool PicturePrefetch::expects(const QString& path, QSize decode_size) const {
  return (handoff_ || picture_) && path == path_ && decode_size == decode_size_;
}

void PicturePrefetch::expect(const QString& path, QSize decode_size, std::uint64_t generation,
                             std::shared_ptr<DecodeHandoff> handoff) {
  path_ = path;
  decode_size_ = decode_size;
  awaited_ = generation;
  handoff_ = std::move(handoff);
  picture_.reset();
  if (started) started(path);
}

void PicturePrefetch::hold(std::uint64_t generation) {
  if (!handoff_ || awaited_ != generation) return;
  // The job has ended: its picture is there, and taking it waits for nothing.
  std::optional<DecodedPicture> picture = std::exchange(handoff_, nullptr)->wait_take();
  // A failed decode leaves nothing prepared: the tick loads the file itself.
  if (!picture) {
    path_.clear();
    return;
  }
  picture_ = std::move(picture);
}

std::optional<DecodedPicture> PicturePrefetch::take(const QString& path, QSize decode_size) {
  if (!expects(path, decode_size)) return std::nullopt;
  if (handoff_) {
    // Its decode is under way: the rest of it is shorter than decoding the file again.
    picture_ = std::exchange(handoff_, nullptr)->wait_take();
  }
  std::optional<DecodedPicture> picture = std::exchange(picture_, std::nullopt);
  drop();
  if (!picture || FileStamp::of(path) != picture->stamp) return std::nullopt;
  return picture;
}

void PicturePrefetch::drop() {
  path_.clear();
  handoff_.reset();
  picture_.reset();
}

}  // namespace tarvex
