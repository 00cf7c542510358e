#pragma once

#include <QtGlobal>

#include <vector>

namespace tarvex {

// How often a byte turns up in Japanese text, roughly, per thousand bytes: the scan keys on the
// rarest bytes of what it looks for.
double byte_commonness(uchar b);

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
  // Bit r set: a character starts r bytes after the first byte (when the builder knows). Two
  // adjacent bytes across a character boundary are rarer together than the two of one character.
  quint32 starts = 0;

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
  // The vector instructions the scan may use: the best the processor has (AVX2, else SSE2), or
  // SSE2 alone, which the tests try too.
  enum class Vectors { Best, Sse2 };

  AnchorScanner() = default;  // finds nothing
  explicit AnchorScanner(const std::vector<ByteAnchor>& anchors, Vectors vectors = Vectors::Best);

  // The first offset q in [from, n) where an anchor's bytes stand, all before n; n if none.
  qsizetype next(const uchar* data, qsizetype from, qsizetype n) const;

  static constexpr int kMaxAnchors = 16;

 private:
  bool matches_at(const uchar* data, qsizetype q, qsizetype n) const;
  void choose_keys();
  qsizetype next_by_keys(const uchar* data, qsizetype from, qsizetype n) const;
  // The first anchor at q in [lo, hi) of data[0, n) (hi if none), checked one offset at a time.
  qsizetype first_match(const uchar* data, qsizetype lo, qsizetype hi, qsizetype n) const;

  std::vector<ByteAnchor> anchors_;
  int max_span_ = 0;

  // Each anchor is keyed on a rare byte of its own and the byte `key_distance_` after it (or
  // that byte alone); the keys' first bytes differ in their low four bits, so one table lookup
  // on those bits names the only key a byte can start. keyed_ is false when the anchors cannot
  // be keyed so.
  bool keyed_ = false;
  int key_distance_ = 1;
  int max_key_rel_ = 0;
  alignas(16) uchar key_byte_[16]{};
  alignas(16) uchar key_next_[16]{};
  alignas(16) uchar key_any_[16]{};  // 0xFF: the key's first byte alone
  bool any_key_ = false;             // some key is a byte alone
  quint16 key_anchors_[16]{};        // per low four bits: the anchors keyed there
  int key_rel_[kMaxAnchors]{};       // where each anchor's key stands in it
};

}  // namespace tarvex
