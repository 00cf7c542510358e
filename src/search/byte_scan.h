#pragma once

#include <QtGlobal>

#include <vector>

namespace tarvex {

// One byte, or two bytes in a row, that mark a possible occurrence; `offset` is where the first
// of them lies from the start of the occurrence.
struct ByteAnchor {
  uchar b0 = 0;
  uchar b1 = 0;
  bool pair = false;
  qsizetype offset = 0;
};

// Finds the next offset where any of a few anchors occurs, comparing 16 or 32 bytes at a time.
class AnchorScanner {
 public:
  explicit AnchorScanner(const std::vector<ByteAnchor>& anchors);

  // The first offset q in [from, n) where an anchor starts (a pair needs q + 1 < n); n if none.
  qsizetype next(const uchar* data, qsizetype from, qsizetype n) const;

  static constexpr int kMaxAnchors = 16;

 private:
  bool matches_at(const uchar* data, qsizetype q, qsizetype n) const;

  int count_ = 0;
  uchar first_[kMaxAnchors]{};
  uchar second_[kMaxAnchors]{};
  bool pair_[kMaxAnchors]{};
  std::vector<ByteAnchor> rest_;  // beyond kMaxAnchors: checked one byte at a time
};

}  // namespace tarvex
