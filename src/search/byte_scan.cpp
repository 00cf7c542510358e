#include "search/byte_scan.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TARVEX_X86_SCAN 1
#endif

namespace tarvex {

namespace {

#ifdef TARVEX_X86_SCAN
// The vector loops compare two bytes of every anchor at once, its first and its last, for 16 or
// 32 offsets; the few offsets where both stand are checked byte by byte. They stop at the first
// offset where an anchor matches whole, or where fewer than a vector and the anchors' span remain.

bool any_at(const std::vector<ByteAnchor>& anchors, const uchar* data, qsizetype q, qsizetype n) {
  for (const ByteAnchor& a : anchors) {
    if (a.at(data, q, n)) return true;
  }
  return false;
}

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

// With the number of anchors known when compiling, their bytes stay in registers.
template <int kCount>
__attribute__((target("avx2"))) qsizetype scan_avx2_fixed(const uchar* data, qsizetype from,
                                                          qsizetype n,
                                                          const std::vector<ByteAnchor>& anchors,
                                                          int max_span) {
  __m256i first[kCount], last[kCount];
  int last_rel[kCount];
  for (int k = 0; k < kCount; ++k) {
    const ByteAnchor& a = anchors[size_t(k)];
    first[k] = _mm256_set1_epi8(static_cast<char>(a.bytes[0]));
    last[k] = _mm256_set1_epi8(static_cast<char>(a.bytes[a.len - 1]));
    last_rel[k] = a.rel[a.len - 1];
  }
  auto hits_at = [&](qsizetype at) __attribute__((target("avx2"))) {
    const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at));
    __m256i hit = _mm256_setzero_si256();
    for (int k = 0; k < kCount; ++k) {
      const __m256i v1 =
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at + last_rel[k]));
      hit = _mm256_or_si256(
          hit, _mm256_and_si256(_mm256_cmpeq_epi8(v0, first[k]), _mm256_cmpeq_epi8(v1, last[k])));
    }
    return hit;
  };
  auto check = [&](qsizetype at, __m256i hit) __attribute__((target("avx2")))->qsizetype {
    for (unsigned bits = static_cast<unsigned>(_mm256_movemask_epi8(hit)); bits; bits &= bits - 1) {
      const qsizetype q = at + __builtin_ctz(bits);
      if (any_at(anchors, data, q, n)) return q;
    }
    return -1;
  };
  qsizetype i = from;
  // Two vectors a round: most rounds find nothing in either.
  for (; i + 64 + max_span - 1 <= n; i += 64) {
    const __m256i a = hits_at(i), b = hits_at(i + 32);
    if (_mm256_testz_si256(_mm256_or_si256(a, b), _mm256_or_si256(a, b))) continue;
    if (const qsizetype q = check(i, a); q >= 0) return q;
    if (const qsizetype q = check(i + 32, b); q >= 0) return q;
  }
  for (; i + 32 + max_span - 1 <= n; i += 32) {
    if (const qsizetype q = check(i, hits_at(i)); q >= 0) return q;
  }
  return i;
}

qsizetype scan_avx2(const uchar* data, qsizetype from, qsizetype n,
                    const std::vector<ByteAnchor>& anchors, int max_span) {
  switch (anchors.size()) {
    case 1:
      return scan_avx2_fixed<1>(data, from, n, anchors, max_span);
    case 2:
      return scan_avx2_fixed<2>(data, from, n, anchors, max_span);
    case 3:
      return scan_avx2_fixed<3>(data, from, n, anchors, max_span);
    case 4:
      return scan_avx2_fixed<4>(data, from, n, anchors, max_span);
    case 5:
      return scan_avx2_fixed<5>(data, from, n, anchors, max_span);
    case 6:
      return scan_avx2_fixed<6>(data, from, n, anchors, max_span);
    default:
      return scan_sse2(data, from, n, anchors, max_span);
  }
}

bool has_avx2() {
  static const bool yes = __builtin_cpu_supports("avx2");
  return yes;
}
#endif

}  // namespace

AnchorScanner::AnchorScanner(const std::vector<ByteAnchor>& anchors) : anchors_(anchors) {
  for (const ByteAnchor& a : anchors_) max_span_ = std::max(max_span_, a.span());
}

bool AnchorScanner::matches_at(const uchar* data, qsizetype q, qsizetype n) const {
  for (const ByteAnchor& a : anchors_) {
    if (a.at(data, q, n)) return true;
  }
  return false;
}

qsizetype AnchorScanner::next(const uchar* data, qsizetype from, qsizetype n) const {
  if (anchors_.empty()) return n;
  qsizetype i = from;
#ifdef TARVEX_X86_SCAN
  if (anchors_.size() <= size_t(kMaxAnchors)) {
    i = has_avx2() ? scan_avx2(data, from, n, anchors_, max_span_)
                   : scan_sse2(data, from, n, anchors_, max_span_);
  }
#endif
  for (; i < n; ++i) {
    if (matches_at(data, i, n)) return i;
  }
  return n;
}

}  // namespace tarvex
