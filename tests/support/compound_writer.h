#pragma once

#include <QByteArray>
#include <QString>

namespace tarvex {

// A compound file holding one stream in its root storage. The stream is padded to 4096 bytes so
// that it lives in regular sectors (no mini stream). With 512-byte sectors the stream may be up
// to about 6.8 MB, with 4096-byte sectors up to about 450 MB; beyond, the result is empty.
QByteArray compound_file(const QString& stream_name, QByteArray stream, int sector_size = 512);

}  // namespace tarvex
