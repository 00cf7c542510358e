#pragma once

#include <QtGlobal>

#include <vector>

namespace tarvex {

// Up to eight bytes at fixed distances from each other that mark a possible occurrence: byte j
// stands `rel[j]` bytes after the first (rel[0] is 0, within kMaxSpan). `offset` is where the
// first lies from the start of the occurrence.
struct ByteAnchor {
  static constexpr int kMaxBytes = 8;
  static constexpr int kMaxSpan = 32;
  uchar bytes[kMaxBytes]{};
  uchar rel[kMaxBytes]{};
  int len = 0;
  qsizetype offset = 0;

  void add(uchar byte, int at) {
    bytes[len] = byte;
    rel[len] = static_cast<uchar>(at);
    ++len;
  }
  int span() const { return len == 0 ? 0 : rel[len - 1] + 1; }
  // Whether the anchor's bytes stand at data[q] (all of them before n).
  bool at(const uchar* data, qsizetype q, qsizetype n) const {
    if (q + span() > n) return false;
    for (int i = 0; i < len; ++i) {
      if (data[q + rel[i]] != bytes[i]) return false;
    }
    return true;
  }
  bool same_bytes(const ByteAnchor& o) const {
    if (len != o.len) return false;
    for (int i = 0; i < len; ++i) {
      if (bytes[i] != o.bytes[i] || rel[i] != o.rel[i]) return false;
    }
    return true;
  }
};

// Finds the next offset where any of a few anchors occurs, comparing 16 or 32 offsets at a time.
class AnchorScanner {
 public:
  explicit AnchorScanner(const std::vector<ByteAnchor>& anchors);

  // The first offset q in [from, n) where an anchor's bytes stand, all before n; n if none.
  qsizetype next(const uchar* data, qsizetype from, qsizetype n) const;

  static constexpr int kMaxAnchors = 16;

 private:
  bool matches_at(const uchar* data, qsizetype q, qsizetype n) const;

  std::vector<ByteAnchor> anchors_;
  int max_span_ = 0;
};

}  // namespace tarvex
