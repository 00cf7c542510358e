#pragma once

#include <QByteArray>
#include <QImage>

namespace tarvex::testing {

enum class HeifCodec { hevc, av1 };

// `image` encoded by libheif's own encoders (x265 for HEVC, aom for AV1) as a HEIF container whose
// rotation and mirroring show it as the EXIF orientation `orientation` (1 to 8) says: the pixels
// are stored as `image` has them and a viewer turns them. Empty when the encoder fails.
QByteArray heif_bytes(const QImage& image, HeifCodec codec = HeifCodec::hevc, int orientation = 1,
                      int quality = 90);

}  // namespace tarvex::testing
