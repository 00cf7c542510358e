#pragma once

#include <QtEndian>

namespace tarvex {

// The little-endian numbers of a workbook's records and of the compound file around them, read
// from bytes the caller has checked are there.
inline quint16 u16(const char* p) {
  return qFromLittleEndian<quint16>(p);
}
inline quint32 u32(const char* p) {
  return qFromLittleEndian<quint32>(p);
}

}  // namespace tarvex
