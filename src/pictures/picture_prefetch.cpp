#include "pictures/picture_prefetch.h"

#include "pictures/picture_loader.h"

#include <QDateTime>
#include <QFileInfo>

#include <chrono>
#include <system_error>

namespace tarvex {

std::optional<FileStamp> FileStamp::of(const QString& path) {
  const QFileInfo info(path);
  if (!info.isFile()) return std::nullopt;
  return FileStamp{info.size(), info.lastModified().toMSecsSinceEpoch()};
}

namespace {

std::optional<DecodedPicture> decode(const PicturePrefetch::Decoder& decoder, const QString& path,
                                     QSize decode_size) {
  // The window takes the result with std::future::get, which would throw there what the decode
  // threw here (a failed allocation): nothing but a picture or none crosses to the window.
  try {
    const std::optional<FileStamp> before = FileStamp::of(path);
    if (!before) return std::nullopt;
    std::optional<LoadedPicture> picture = decoder(path, decode_size);
    // A file that changed while it was read may have given a mixed picture: not used.
    if (!picture || FileStamp::of(path) != before) return std::nullopt;
    return DecodedPicture{path, decode_size, *before, std::move(*picture)};
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace

PicturePrefetch::~PicturePrefetch() {
  drop();
  for (auto& job : abandoned_) job.wait();
}

void PicturePrefetch::prepare(const QString& path, QSize decode_size) {
  if (job_.valid() && path == path_ && decode_size == decode_size_) return;
  drop();
  if (path.isEmpty()) return;
  try {
    job_ = std::async(std::launch::async, decode, decoder, path, decode_size);
  } catch (const std::system_error&) {
    // No thread to be had: the slideshow decodes the picture when it is due, as without look-ahead.
    return;
  }
  path_ = path;
  decode_size_ = decode_size;
  if (started) started(path);
}

std::optional<DecodedPicture> PicturePrefetch::take(const QString& path, QSize decode_size) {
  if (!job_.valid() || path != path_ || decode_size != decode_size_) return std::nullopt;
  std::optional<DecodedPicture> picture = job_.get();
  path_.clear();
  if (!picture) return std::nullopt;
  if (FileStamp::of(path) != picture->stamp) return std::nullopt;
  return picture;
}

void PicturePrefetch::drop() {
  // A decode under way finishes on its thread; its picture is thrown away then.
  std::erase_if(abandoned_, [](const auto& job) {
    return job.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  });
  if (job_.valid()) abandoned_.push_back(std::move(job_));
  job_ = {};
  path_.clear();
}

}  // namespace tarvex
