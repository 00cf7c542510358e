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
 private:
  // Each anchor keyed on one byte of it (its key) and, unless the key is that byte alone, the
  // byte `distance` after it; the keys' bytes differ in their low four bits, so one table lookup
  // on those bits names the only key a byte can start.
  struct Keys {
    int distance = 1;
    int max_rel = 0;     // the furthest place of a key in its anchor
    bool any = false;    // some key is a byte alone
    bool alone = false;  // every key is a byte alone
    alignas(16) uchar byte[16]{};
    alignas(16) uchar next[16]{};
    alignas(16) uchar any_next[16]{};  // 0xFF: the key's byte alone
    quint16 anchors[16]{};             // per low four bits: the anchors keyed there
    int rel[16]{};                     // where each anchor's key stands in it

    // Sets max_rel, any and alone from the keys of the first `count` anchors.
    void finish(int count);
  };

 public:
  // The vector instructions the scan may use: the best the processor has (AVX2, else SSE2), or
  // SSE2 alone, which the tests try too.
  enum class Vectors { Best, Sse2 };

  AnchorScanner() = default;  // finds nothing
  explicit AnchorScanner(const std::vector<ByteAnchor>& anchors, Vectors vectors = Vectors::Best);

  // The first offset q in [from, n) where an anchor's bytes stand, all before n; n if none.
  qsizetype next(const uchar* data, qsizetype from, qsizetype n) const;

  static constexpr int kMaxAnchors = 16;

  // The scan of one text, keyed on what is rare in a sample of that text (its first 4 KB): the
  // byte of each anchor that is rarest there, one table lookup per offset instead of two; or,
  // when those bytes are not rare there or turn up more often later, pairs of bytes chosen on
  // the sample's counts.
  class OneText {
   public:
    OneText(const AnchorScanner& scanner, const uchar* sample, qsizetype n);
    // As AnchorScanner::next.
    qsizetype next(const uchar* data, qsizetype from, qsizetype n);

   private:
    static constexpr qsizetype kSample = 4096;
    enum class Mode { Scanner, RareBytes, Pairs };
    void key_pairs();

    const AnchorScanner* scanner_;
    qsizetype sampled_;
    quint32 counts_[256]{};
    Keys keys_;
    Mode mode_ = Mode::Scanner;
  };

 private:
  bool matches_at(const uchar* data, qsizetype q, qsizetype n) const;
  // Keys the anchors on bytes of the given commonness (per thousand bytes); false when they
  // cannot be keyed.
  bool choose_keys(Keys& keys, const double* commonness) const;
  // The first anchor from `from` by the keys. With `misses`, gives up when more than that many
  // places hold a key but no anchor: returns where it stopped with *misses set to −1.
  qsizetype next_by_keys(const Keys& keys, const uchar* data, qsizetype from, qsizetype n,
                         qsizetype* misses = nullptr) const;
  // The first anchor at q in [lo, hi) of data[0, n) (hi if none), checked one offset at a time.
  qsizetype first_match(const uchar* data, qsizetype lo, qsizetype hi, qsizetype n) const;

  std::vector<ByteAnchor> anchors_;
  int max_span_ = 0;
  bool keyed_ = false;  // false when the anchors cannot be keyed so, or without AVX2
  Keys keys_;
};

}  // namespace tarvex
