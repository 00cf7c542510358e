#pragma once

#include <QByteArray>
#include <QString>

namespace tarvex {

// The most pixels the pictures inside one drawing may declare together: Qt's SVG reader decodes
// every one of them whole while it reads the drawing, before Tarvex can refuse anything.
inline constexpr qint64 kMaxEmbeddedPixels = 64LL * 1024 * 1024;

// An SVG drawing is shown only when it stands alone. Qt's SVG reader loads the file named by an
// <image> element's reference while it reads the drawing, and a reference to a pipe or a device
// would block it for good. A drawing stands alone when every <image> reference is one Qt's
// reader takes as inline data (it begins with "data"; even "#part" is a file name to it), the
// pictures in that data declare no more than kMaxEmbeddedPixels together, and every one that is a
// drawing again stands alone too, to a depth of four. A compressed drawing (SVGZ) cannot be checked
// without inflating it first and is never taken; neither is text that is no well-formed XML.
bool svg_stands_alone(const QByteArray& bytes);

}  // namespace tarvex
