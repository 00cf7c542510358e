#include "search/byte_scan.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TARVEX_X86_SCAN 1
#endif

namespace tarvex {

namespace {

#ifdef TARVEX_X86_SCAN
struct Lanes {
  int count;
  const uchar* first;
  const uchar* second;
  const bool* pair;
};

qsizetype scan_sse2(const uchar* data, qsizetype from, qsizetype n, const Lanes& l) {
  __m128i first[AnchorScanner::kMaxAnchors], second[AnchorScanner::kMaxAnchors];
  for (int k = 0; k < l.count; ++k) {
    first[k] = _mm_set1_epi8(static_cast<char>(l.first[k]));
    second[k] = _mm_set1_epi8(static_cast<char>(l.second[k]));
  }
  qsizetype i = from;
  for (; i + 17 <= n; i += 16) {
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 1));
    __m128i hit = _mm_setzero_si128();
    for (int k = 0; k < l.count; ++k) {
      __m128i e = _mm_cmpeq_epi8(v0, first[k]);
      if (l.pair[k]) e = _mm_and_si128(e, _mm_cmpeq_epi8(v1, second[k]));
      hit = _mm_or_si128(hit, e);
    }
    if (const int bits = _mm_movemask_epi8(hit))
      return i + __builtin_ctz(static_cast<unsigned>(bits));
  }
  return i;
}

__attribute__((target("avx2"))) qsizetype scan_avx2(const uchar* data, qsizetype from, qsizetype n,
                                                    const Lanes& l) {
  __m256i first[AnchorScanner::kMaxAnchors], second[AnchorScanner::kMaxAnchors];
  for (int k = 0; k < l.count; ++k) {
    first[k] = _mm256_set1_epi8(static_cast<char>(l.first[k]));
    second[k] = _mm256_set1_epi8(static_cast<char>(l.second[k]));
  }
  qsizetype i = from;
  for (; i + 33 <= n; i += 32) {
    const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i));
    const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + 1));
    __m256i hit = _mm256_setzero_si256();
    for (int k = 0; k < l.count; ++k) {
      __m256i e = _mm256_cmpeq_epi8(v0, first[k]);
      if (l.pair[k]) e = _mm256_and_si256(e, _mm256_cmpeq_epi8(v1, second[k]));
      hit = _mm256_or_si256(hit, e);
    }
    if (const int bits = _mm256_movemask_epi8(hit)) {
      return i + __builtin_ctz(static_cast<unsigned>(bits));
    }
  }
  return i;
}

bool has_avx2() {
  static const bool yes = __builtin_cpu_supports("avx2");
  return yes;
}
#endif

}  // namespace

AnchorScanner::AnchorScanner(const std::vector<ByteAnchor>& anchors) {
  for (const ByteAnchor& a : anchors) {
    if (count_ < kMaxAnchors) {
      first_[count_] = a.b0;
      second_[count_] = a.b1;
      pair_[count_] = a.pair;
      ++count_;
    } else {
      rest_.push_back(a);
    }
  }
}

bool AnchorScanner::matches_at(const uchar* data, qsizetype q, qsizetype n) const {
  for (int k = 0; k < count_; ++k) {
    if (data[q] == first_[k] && (!pair_[k] || (q + 1 < n && data[q + 1] == second_[k]))) {
      return true;
    }
  }
  return false;
}

qsizetype AnchorScanner::next(const uchar* data, qsizetype from, qsizetype n) const {
  if (count_ == 0) return n;
  qsizetype i = from;
  if (rest_.empty()) {
#ifdef TARVEX_X86_SCAN
    const Lanes lanes{count_, first_, second_, pair_};
    i = has_avx2() ? scan_avx2(data, from, n, lanes) : scan_sse2(data, from, n, lanes);
    // The vector loop stops at its first hit or where fewer than a full vector remains.
#endif
    for (; i < n; ++i) {
      if (matches_at(data, i, n)) return i;
    }
    return n;
  }
  for (; i < n; ++i) {
    if (matches_at(data, i, n)) return i;
    for (const ByteAnchor& a : rest_) {
      if (data[i] == a.b0 && (!a.pair || (i + 1 < n && data[i + 1] == a.b1))) return i;
    }
  }
  return n;
}

}  // namespace tarvex
