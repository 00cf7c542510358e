#include "search/byte_scan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TARVEX_X86_SCAN 1
#endif

namespace tarvex {

double byte_commonness(uchar b) {
  if (b == ' ' || b == '\r' || b == '\n') return 30;
  if (b >= 'a' && b <= 'z') return 12;
  if ((b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9')) return 4;
  if (b >= 0x21 && b < 0x7F) return 3;
  if (b < 0x20 || b == 0x7F) return 0.01;
  if (b >= 0x81 && b <= 0x83) return 40;  // code page 932: symbols, kana
  if (b == 0xE3) return 40;               // UTF-8: kana, CJK symbols
  if (b >= 0xE4 && b <= 0xE9) return 20;  // UTF-8: kanji
  if (b >= 0x80 && b <= 0xBF) return 9;   // UTF-8 continuation bytes, trail bytes
  return 5;
}

namespace {

// Whether one of the anchors stands at q, all of it before n.
bool any_at(const std::vector<ByteAnchor>& anchors, const uchar* data, qsizetype q, qsizetype n) {
  for (const ByteAnchor& a : anchors) {
    if (a.at(data, q, n)) return true;
  }
  return false;
}

#ifdef TARVEX_X86_SCAN
// Where the anchors cannot be keyed (below), or without AVX2, the loop compares two bytes of
// every anchor at once, its first and its last, for 16 offsets; the few offsets where both stand
// are checked byte by byte. It stops at the first offset where an anchor matches whole, or where
// fewer than a vector and the anchors' span remain.

qsizetype scan_sse2(const uchar* data, qsizetype from, qsizetype n,
                    const std::vector<ByteAnchor>& anchors, int max_span) {
  const int count = static_cast<int>(anchors.size());
  __m128i first[AnchorScanner::kMaxAnchors], last[AnchorScanner::kMaxAnchors];
  int last_rel[AnchorScanner::kMaxAnchors];
  for (int k = 0; k < count; ++k) {
    const ByteAnchor& a = anchors[size_t(k)];
    first[k] = _mm_set1_epi8(static_cast<char>(a.bytes[0]));
    last[k] = _mm_set1_epi8(static_cast<char>(a.bytes[a.len - 1]));
    last_rel[k] = a.rel[a.len - 1];
  }
  qsizetype i = from;
  for (; i + 16 + max_span - 1 <= n; i += 16) {
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    __m128i hit = _mm_setzero_si128();
    for (int k = 0; k < count; ++k) {
      const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + last_rel[k]));
      hit = _mm_or_si128(hit,
                         _mm_and_si128(_mm_cmpeq_epi8(v0, first[k]), _mm_cmpeq_epi8(v1, last[k])));
    }
    for (unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(hit)); bits; bits &= bits - 1) {
      const qsizetype q = i + __builtin_ctz(bits);
      if (any_at(anchors, data, q, n)) return q;
    }
  }
  return i;
}

bool has_avx2() {
  static const bool yes = __builtin_cpu_supports("avx2");
  return yes;
}

// The first offset from `from` where `keys_at` (32 offsets at a time) marks a key, looking at
// 128 offsets a round with one test for all of them; stops where fewer than 128 offsets remain
// before `end` (returning that offset, which need not hold a key).
template <typename KeysAt>
__attribute__((target("avx2"), always_inline)) inline qsizetype first_key_avx2(qsizetype from,
                                                                               qsizetype end,
                                                                               KeysAt keys_at) {
  qsizetype i = from;
  for (; i + 128 <= end; i += 128) {
    const __m256i any = _mm256_or_si256(_mm256_or_si256(keys_at(i), keys_at(i + 32)),
                                        _mm256_or_si256(keys_at(i + 64), keys_at(i + 96)));
    if (__builtin_expect(_mm256_movemask_epi8(any) == 0, 1)) continue;
    for (int part = 0; part < 4; ++part, i += 32) {
      if (const unsigned bits = static_cast<unsigned>(_mm256_movemask_epi8(keys_at(i))))
        return i + __builtin_ctz(bits);
    }
  }
  return i;
}

// The first offset p from `from` where a key stands: data[p] equals the key byte of its low four
// bits, and data[p + distance] that key's second byte (or, with kAny, the key may take any).
// Looks at 128 offsets a round, with one test for all of them, and stops where fewer than
// 128 + distance bytes remain (returning that offset, which need not hold a key).
template <bool kAny>
__attribute__((target("avx2"))) qsizetype next_key_avx2(const uchar* data, qsizetype from,
                                                        qsizetype n, int distance,
                                                        const uchar* key_byte,
                                                        const uchar* key_next,
                                                        const uchar* key_any) {
  const __m256i bytes =
      _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(key_byte)));
  const __m256i nexts =
      _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(key_next)));
  const __m256i anys =
      _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(key_any)));
  const __m256i low = _mm256_set1_epi8(0x0F);
  auto keys_at = [&](qsizetype at) __attribute__((target("avx2"))) {
    const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at));
    const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at + distance));
    const __m256i slot = _mm256_and_si256(v0, low);
    __m256i second = _mm256_cmpeq_epi8(_mm256_shuffle_epi8(nexts, slot), v1);
    if constexpr (kAny) second = _mm256_or_si256(second, _mm256_shuffle_epi8(anys, slot));
    return _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_shuffle_epi8(bytes, slot), v0), second);
  };
  return first_key_avx2(from, n - distance, keys_at);
}

// The first offset p from `from` where data[p] equals the key byte of its low four bits. Looks
// at 128 offsets a round and stops where fewer than 128 bytes remain (returning that offset,
// which need not hold a key).
__attribute__((target("avx2"))) qsizetype next_byte_avx2(const uchar* data, qsizetype from,
                                                         qsizetype n, const uchar* key_byte) {
  const __m256i bytes =
      _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(key_byte)));
  const __m256i low = _mm256_set1_epi8(0x0F);
  auto keys_at = [&](qsizetype at) __attribute__((target("avx2"))) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at));
    return _mm256_cmpeq_epi8(_mm256_shuffle_epi8(bytes, _mm256_and_si256(v, low)), v);
  };
  return first_key_avx2(from, n, keys_at);
}
#endif

}  // namespace

AnchorScanner::AnchorScanner(const std::vector<ByteAnchor>& anchors,
                             [[maybe_unused]] Vectors vectors)
    : anchors_(anchors) {
  for (const ByteAnchor& a : anchors_) max_span_ = std::max(max_span_, a.span());
#ifdef TARVEX_X86_SCAN
  if (vectors == Vectors::Sse2 || !has_avx2()) return;
#endif
  static const auto kCommonness = [] {
    std::array<double, 256> table{};
    for (int b = 0; b < 256; ++b) table[size_t(b)] = byte_commonness(static_cast<uchar>(b));
    return table;
  }();
  keyed_ = choose_keys(keys_, kCommonness.data());
}

bool AnchorScanner::choose_keys(Keys& keys, const double* commonness) const {
#ifdef TARVEX_X86_SCAN
  if (anchors_.empty() || anchors_.size() > size_t(kMaxAnchors)) return false;
  struct Key {
    uchar byte, next;
    bool any_next;
    int rel;
    double cost;  // expected places per thousand bytes
  };
  // The keys of one anchor whose second byte stands `distance` on, rarest first; a single rare
  // byte followed by anything when no two of its bytes are that far apart.
  auto keys_of = [commonness](const ByteAnchor& a, int distance) {
    std::vector<Key> found;
    for (int j = 0; j < a.len; ++j) {
      const double alone = commonness[a.bytes[j]];
      found.push_back({a.bytes[j], 0, true, a.rel[j], alone});
      for (int t = j + 1; t < a.len; ++t) {
        if (a.rel[t] - a.rel[j] != distance) continue;
        // Bytes of different characters are rarer together, the more so the more characters
        // lie between them.
        const quint32 between = ((2u << a.rel[t]) - 1) & ~((2u << a.rel[j]) - 1);
        const double across = std::pow(0.3, std::popcount(a.starts & between));
        found.push_back({a.bytes[j], a.bytes[t], false, a.rel[j],
                         alone * commonness[a.bytes[t]] / 1000 * across});
      }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Key& x, const Key& y) { return x.cost < y.cost; });
    return found;
  };
  // Places the anchors' keys in the sixteen places of the low four bits, the anchors with the
  // fewest keys first; false when two anchors cannot be kept apart.
  auto place = [&keys](const std::vector<std::vector<Key>>& options, double* cost) {
    std::vector<size_t> order(options.size());
    for (size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(), [&options](size_t x, size_t y) {
      return options[x].size() < options[y].size();
    });
    bool used[16]{};
    *cost = 0;
    keys = Keys{};
    for (size_t k : order) {
      const auto fits = [&](const Key& key) {
        const int slot = key.byte & 0x0F;
        return !used[slot] || (keys.byte[slot] == key.byte && keys.next[slot] == key.next &&
                               (keys.any_next[slot] != 0) == key.any_next);
      };
      const auto it = std::find_if(options[k].begin(), options[k].end(), fits);
      if (it == options[k].end()) return false;
      const int slot = it->byte & 0x0F;
      used[slot] = true;
      keys.byte[slot] = it->byte;
      keys.next[slot] = it->next;
      keys.any_next[slot] = it->any_next ? 0xFF : 0;
      keys.anchors[slot] |= static_cast<quint16>(1u << k);
      keys.rel[k] = it->rel;
      *cost += it->cost;
    }
    // A free place holds a byte of other low bits, which no byte looked up there can equal.
    for (int slot = 0; slot < 16; ++slot) {
      if (!used[slot]) keys.byte[slot] = static_cast<uchar>(slot ^ 1);
    }
    return true;
  };
  // Only the distances between two bytes of some anchor can pair bytes; 1 stands for all others.
  quint32 distances = 2;
  for (const ByteAnchor& a : anchors_) {
    for (int j = 0; j < a.len; ++j) {
      for (int t = j + 1; t < a.len; ++t) distances |= 1u << (a.rel[t] - a.rel[j]);
    }
  }
  double best = 0;
  int best_distance = 0;
  for (int distance = 1; distance < ByteAnchor::kMaxSpan; ++distance) {
    if (!(distances & (1u << distance))) continue;
    std::vector<std::vector<Key>> options;
    for (const ByteAnchor& a : anchors_) options.push_back(keys_of(a, distance));
    double cost = 0;
    if (place(options, &cost) && (best_distance == 0 || cost < best)) {
      best = cost;
      best_distance = distance;
    }
  }
  if (best_distance == 0) return false;
  std::vector<std::vector<Key>> options;
  for (const ByteAnchor& a : anchors_) options.push_back(keys_of(a, best_distance));
  place(options, &best);
  keys.distance = best_distance;
  keys.finish(int(anchors_.size()));
  return true;
#else
  return false;
#endif
}

void AnchorScanner::Keys::finish(int count) {
  any = std::any_of(std::begin(any_next), std::end(any_next), [](uchar a) { return a != 0; });
  alone = true;
  for (int slot = 0; slot < 16; ++slot) alone = alone && (!anchors[slot] || any_next[slot]);
  max_rel = 0;
  for (int k = 0; k < count; ++k) max_rel = std::max(max_rel, rel[k]);
}

qsizetype AnchorScanner::first_match(const uchar* data, qsizetype lo, qsizetype hi,
                                     qsizetype n) const {
  for (qsizetype q = lo; q < hi; ++q) {
    if (matches_at(data, q, n)) return q;
  }
  return hi;
}

// An anchor at q is seen where its key stands, at q + its key's place; keys are taken in order,
// so an anchor that starts before the first one seen has its key further on, by less than the
// largest key place.
qsizetype AnchorScanner::next_by_keys(const Keys& keys, const uchar* data, qsizetype from,
                                      qsizetype n, qsizetype* misses) const {
  auto key_at = [&](qsizetype p) {
    const uchar b = data[p];
    const int slot = b & 0x0F;
    return keys.byte[slot] == b &&
           (keys.any_next[slot] ||
            (p + keys.distance < n && keys.next[slot] == data[p + keys.distance]));
  };
  for (qsizetype p = from; p < n; ++p) {
#ifdef TARVEX_X86_SCAN
    if (keys.alone) {
      p = next_byte_avx2(data, p, n, keys.byte);
    } else if (keys.any) {
      p = next_key_avx2<true>(data, p, n, keys.distance, keys.byte, keys.next, keys.any_next);
    } else {
      p = next_key_avx2<false>(data, p, n, keys.distance, keys.byte, keys.next, keys.any_next);
    }
#endif
    while (p < n && !key_at(p)) ++p;
    if (p >= n) break;
    qsizetype found = n;
    for (unsigned set = keys.anchors[data[p] & 0x0F]; set; set &= set - 1) {
      const int k = __builtin_ctz(set);
      const qsizetype q = p - keys.rel[k];
      if (q >= from && q < found && anchors_[size_t(k)].at(data, q, n)) found = q;
    }
    if (found < n) return first_match(data, std::max(from, p - keys.max_rel + 1), found, n);
    if (misses && --*misses < 0) return p;
  }
  return n;
}

bool AnchorScanner::matches_at(const uchar* data, qsizetype q, qsizetype n) const {
  return any_at(anchors_, data, q, n);
}

qsizetype AnchorScanner::next(const uchar* data, qsizetype from, qsizetype n) const {
  if (anchors_.empty()) return n;
  if (keyed_) return next_by_keys(keys_, data, from, n);
  qsizetype i = from;
#ifdef TARVEX_X86_SCAN
  if (anchors_.size() <= size_t(kMaxAnchors)) {
    i = scan_sse2(data, from, n, anchors_, max_span_);
  }
#endif
  for (; i < n; ++i) {
    if (matches_at(data, i, n)) return i;
  }
  return n;
}

// The sample's count of each byte picks, for each anchor, its rarest byte; where two anchors'
// picks would share their low four bits, the next rarest. Those keys are used only when the
// sample holds at most one of them; otherwise pairs are chosen on the sample's counts.
AnchorScanner::OneText::OneText(const AnchorScanner& scanner, const uchar* sample, qsizetype n)
    : scanner_(&scanner), sampled_(std::min(n, kSample)) {
  if (!scanner.keyed_) return;
  for (qsizetype i = 0; i < sampled_; ++i) ++counts_[sample[i]];
  bool used[16]{};
  quint32 seen = 0;
  for (size_t k = 0; k < scanner.anchors_.size(); ++k) {
    const ByteAnchor& a = scanner.anchors_[k];
    int best = -1;
    for (int j = 0; j < a.len; ++j) {
      const uchar b = a.bytes[j];
      const int slot = b & 0x0F;
      if (used[slot] && keys_.byte[slot] != b) continue;
      if (best < 0 || counts_[b] < counts_[a.bytes[best]] ||
          (counts_[b] == counts_[a.bytes[best]] &&
           byte_commonness(b) < byte_commonness(a.bytes[best])))
        best = j;
    }
    if (best < 0) {
      key_pairs();
      return;
    }
    const uchar b = a.bytes[best];
    const int slot = b & 0x0F;
    if (!used[slot]) seen += counts_[b];
    used[slot] = true;
    keys_.byte[slot] = b;
    keys_.any_next[slot] = 0xFF;
    keys_.anchors[slot] |= static_cast<quint16>(1u << k);
    keys_.rel[k] = a.rel[best];
  }
  if (seen > 1) {
    key_pairs();
    return;
  }
  for (int slot = 0; slot < 16; ++slot) {
    if (!used[slot]) keys_.byte[slot] = static_cast<uchar>(slot ^ 1);
  }
  keys_.finish(int(scanner.anchors_.size()));
  mode_ = Mode::RareBytes;
}

// Pairs of bytes keyed on how often the sample holds each byte (a sample too short to tell
// leaves the scanner's own keys).
void AnchorScanner::OneText::key_pairs() {
  mode_ = Mode::Scanner;
  if (sampled_ < kSample) return;
  double commonness[256];
  for (int b = 0; b < 256; ++b) commonness[b] = (counts_[b] + 0.25) * 1000 / double(sampled_);
  if (scanner_->choose_keys(keys_, commonness)) mode_ = Mode::Pairs;
}

// Each look on rare bytes allows a few places that hold a key but no anchor, one more per 8 KB;
// past that the rest is scanned on pairs, from where every anchor before is known.
qsizetype AnchorScanner::OneText::next(const uchar* data, qsizetype from, qsizetype n) {
  switch (mode_) {
    case Mode::RareBytes: {
      qsizetype misses = 4 + (n - from) / 8192;
      const qsizetype q = scanner_->next_by_keys(keys_, data, from, n, &misses);
      if (misses >= 0) return q;
      const qsizetype resume = std::max(from, q - keys_.max_rel);
      key_pairs();
      return next(data, resume, n);
    }
    case Mode::Pairs:
      return scanner_->next_by_keys(keys_, data, from, n);
    case Mode::Scanner:
      break;
  }
  return scanner_->next(data, from, n);
}

}  // namespace tarvex
