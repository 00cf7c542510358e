#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QSize>

#include <memory>
#include <optional>

namespace tarvex {

// Bytes of a file's start that tell whether it is a HEIF container: its file-type box, which
// lists a dozen brands at most.
inline constexpr qint64 kHeifHeadBytes = 256;

// The first bytes of a file are those of a HEIF container whose pictures libheif decodes: a
// phone's HEIC photo (HEVC), an AVIF picture (AV1) or another HEIF image. Qt has no reader for
// them; an MP4 film, whose box structure is the same, is no picture.
bool looks_like_heif(const QByteArray& head);

// The primary picture of a HEIF container, read through libheif, which tells its size before
// anything is decoded, so that the picture loader checks that size against its limits first.
class HeifPicture {
 public:
  // Reads the container's structure from `device` (open for reading, at any position; only read
  // while this object lives). Nothing when it is no HEIF container or is damaged.
  static std::optional<HeifPicture> open(QIODevice& device);

  HeifPicture(HeifPicture&&) noexcept;
  HeifPicture& operator=(HeifPicture&&) noexcept;
  ~HeifPicture();

  // The picture's size as it is shown: after the container's rotation, mirroring and cropping.
  QSize size() const;

  // Decodes the picture upright and mirrored as the container says (the EXIF orientation some
  // cameras also store is not applied on top: in HEIF the container's transformations are the
  // ones that count). Deeper pictures (10 or 12 bits) come at 8 bits a channel. A null image
  // when decoding fails, the file proves damaged or the result is not of the declared size.
  QImage decode() const;

 private:
  struct State;
  explicit HeifPicture(std::unique_ptr<State> state);
  static std::optional<HeifPicture> open_unguarded(QIODevice& device);
  QImage decode_unguarded() const;
  std::unique_ptr<State> state_;
};

}  // namespace tarvex
