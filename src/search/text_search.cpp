#include "search/text_search.h"

#include "platform/regular_file.h"
#include "platform/text_codecs.h"
#include "search/byte_scan.h"
#include "text/text_decode.h"

#include <QFile>
#include <QStringDecoder>
#include <QThread>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvex {

// ---- Characters that compare as one --------------------------------------------------------

namespace {

struct FoldPair {
  char16_t from, to;
};
constexpr FoldPair kFoldPairs[] = {
    {u'\u301C', u'\uFF5E'},  // 〜 → ～
    {u'\u2016', u'\u2225'},  // ‖ → ∥
    {u'\u2212', u'\uFF0D'},  // − → －
    {u'\u00A2', u'\uFFE0'},  // ¢ → ￠
    {u'\u00A3', u'\uFFE1'},  // £ → ￡
    {u'\u00AC', u'\uFFE2'},  // ¬ → ￢
};

// Every character that folds to the same character as `c` (c itself included).
std::vector<char32_t> fold_class(char32_t c) {
  std::vector<char32_t> members{c};
  if (c > 0xFFFF) return members;
  const char16_t key = fold_search_char(static_cast<char16_t>(c));
  if (key != c) members.push_back(key);
  for (const FoldPair& p : kFoldPairs) {
    if (p.to == key && p.from != c) members.push_back(p.from);
  }
  return members;
}

}  // namespace

char16_t fold_search_char(char16_t c) {
  for (const FoldPair& p : kFoldPairs) {
    if (p.from == c) return p.to;
  }
  return c;
}

QString fold_search_text(QString text) {
  for (QChar& ch : text) ch = QChar(fold_search_char(ch.unicode()));
  return text;
}

bool search_text_equal_at(const QString& text, qsizetype pos, const QString& needle) {
  if (pos < 0 || pos + needle.size() > text.size()) return false;
  for (qsizetype i = 0; i < needle.size(); ++i) {
    if (fold_search_char(text[pos + i].unicode()) != fold_search_char(needle[i].unicode())) {
      return false;
    }
  }
  return true;
}

bool text_bytes_contain(const QByteArray& bytes, const QString& needle) {
  if (needle.isEmpty()) return false;
  const QString text = fold_search_text(decode_text_bytes(bytes).text);
  const QString key = fold_search_text(needle);
  qsizetype from = 0;
  while (from <= text.size()) {
    qsizetype end = from;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
    if (QStringView(text).sliced(from, end - from).indexOf(key) >= 0) return true;
    if (end == text.size()) break;
    from = end + (text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n' ? 2 : 1);
  }
  return false;
}

// ---- Byte forms of characters --------------------------------------------------------------

namespace {

using FormTable = std::unordered_map<char16_t, std::vector<QByteArray>>;

// Decodes every candidate code of a multi-byte encoding on its own and groups the codes by the
// character they decode to: the decoder's own table, duplicates included. A code counts when the
// decoder makes one character of all of its bytes; a line feed after it pushes out whatever the
// decoder would hold back, so a byte that starts a longer code does not pass for a whole one.
FormTable build_form_table(const char* codec, const std::vector<QByteArray>& codes) {
  FormTable table;
  // The decoder's error flag outlives a reset, so a code that does not decode is told by what
  // comes out: the substitute U+001A or the replacement character.
  QStringDecoder decoder(codec, QStringConverter::Flag::Stateless);
  for (const QByteArray& code : codes) {
    const QString s = decoder.decode(code + '\n');
    if (s.size() != 2 || s[1] != u'\n') continue;
    const char16_t c = s[0].unicode();
    if (c == u'\r' || c == u'\n' || c == 0 || c == 0x1A || c == 0xFFFD) continue;
    table[c].push_back(code);
  }
  return table;
}

const FormTable& cp932_table() {
  static const FormTable table = [] {
    std::vector<QByteArray> codes;
    for (int b = 0; b < 256; ++b) {
      if (!is_cp932_lead_byte(static_cast<uchar>(b))) codes.push_back(QByteArray(1, char(b)));
    }
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
      if (!is_cp932_lead_byte(static_cast<uchar>(lead))) continue;
      for (int trail = 0x40; trail <= 0xFC; ++trail) {
        if (trail == 0x7F) continue;
        const char pair[2] = {char(lead), char(trail)};
        codes.push_back(QByteArray(pair, 2));
      }
    }
    return build_form_table("windows-31j", codes);
  }();
  return table;
}

// Every code the EUC-JP decoder reads: any single byte (C1 controls too), any pair led by a high
// byte (half-width katakana, JIS X 0208, and the decoder's 8E E0 to 8E E2 for ¢ £ ¬), and JIS X
// 0212's three-byte codes.
const FormTable& euc_jp_table() {
  static const FormTable table = [] {
    std::vector<QByteArray> codes;
    for (int b = 0; b < 0x100; ++b) codes.push_back(QByteArray(1, char(b)));
    for (int a = 0x80; a < 0x100; ++a) {
      for (int b = 0; b < 0x100; ++b) {
        const char pair[2] = {char(a), char(b)};
        codes.push_back(QByteArray(pair, 2));
      }
    }
    for (int a = 0xA1; a <= 0xFE; ++a) {
      for (int b = 0xA1; b <= 0xFE; ++b) {
        const char triple[3] = {char(0x8F), char(a), char(b)};
        codes.push_back(QByteArray(triple, 3));
      }
    }
    return build_form_table("EUC-JP", codes);
  }();
  return table;
}

// The expected number of places per thousand bytes where the anchor's bytes stand.
double anchor_cost(const ByteAnchor& a) {
  double cost = 1000;
  for (int i = 0; i < a.len; ++i) cost *= byte_commonness(a.bytes[i]) / 1000.0;
  return cost;
}

}  // namespace

// A needle in one encoding: for each character, every byte form it may take; and the anchors,
// bytes at fixed offsets from the start of a match of which any match contains one.
struct EncodedNeedle {
  bool possible = false;
  std::vector<std::vector<QByteArray>> units;
  qsizetype max_len = 0;
  qsizetype min_len = 0;
  std::vector<ByteAnchor> anchors;
  AnchorScanner scanner;  // for the anchors, prepared once

  // The length of the match of all units at `p` (forms of one character are prefix-free), or −1.
  qsizetype match_at(const uchar* p, const uchar* end) const {
    const uchar* at = p;
    for (const std::vector<QByteArray>& forms : units) {
      bool matched = false;
      for (const QByteArray& f : forms) {
        if (end - at >= f.size() && std::memcmp(at, f.constData(), size_t(f.size())) == 0) {
          at += f.size();
          matched = true;
          break;
        }
      }
      if (!matched) return -1;
    }
    return at - p;
  }

  void choose_anchors() {
    for (const auto& forms : units) {
      qsizetype lo = forms.front().size(), hi = lo;
      for (const QByteArray& f : forms) {
        lo = std::min(lo, f.size());
        hi = std::max(hi, f.size());
      }
      min_len += lo;
      max_len += hi;
    }
    // Slots whose offset from the start is fixed: every slot before has forms of one length.
    double best_cost = 0;
    qsizetype offset = 0;
    for (size_t k = 0; k < units.size(); ++k) {
      std::vector<ByteAnchor> candidate;
      double cost = 0;
      for (const QByteArray& f : units[k]) {
        // The form's bytes and those of the characters after it that have one form only: the
        // first four bytes of that run and its last four, which span several characters, are
        // far rarer together than any one character's bytes.
        QByteArray run = f;
        ByteAnchor a;
        for (size_t next = k + 1; next < units.size() && units[next].size() == 1; ++next) {
          if (run.size() < ByteAnchor::kMaxSpan) a.starts |= 1u << run.size();
          run += units[next].front();
        }
        run.truncate(ByteAnchor::kMaxSpan);
        const int half = ByteAnchor::kMaxBytes / 2;
        for (int i = 0; i < run.size(); ++i) {
          if (i < half || i >= run.size() - half) a.add(static_cast<uchar>(run[i]), i);
        }
        a.offset = offset;
        cost += anchor_cost(a);
        candidate.push_back(a);
      }
      if (anchors.empty() || cost < best_cost) {
        best_cost = cost;
        anchors = candidate;
      }
      const qsizetype len = units[k].front().size();
      const bool uniform = std::all_of(units[k].begin(), units[k].end(),
                                       [len](const QByteArray& f) { return f.size() == len; });
      if (!uniform) break;
      offset += len;
    }
    scanner = AnchorScanner(anchors);
  }
};

// ---- ISO-2022-JP
// ---------------------------------------------------------------------------------

namespace {

// The escapes that designate the character sets ISO-2022-JP texts use, with the size of each
// set's codes.
struct IsoDesignation {
  QByteArrayView escape;
  int width;
};
constexpr IsoDesignation kIsoDesignations[] = {
    {"\x1B(B", 1}, {"\x1B(J", 1}, {"\x1B(I", 1}, {"\x1B$@", 2}, {"\x1B$B", 2}, {"\x1B$(D", 2},
};

// The designation whose escape starts at p (before end); none for any other escape.
const IsoDesignation* designation_at(const uchar* p, const uchar* end) {
  if (end - p < 3) return nullptr;
  const auto is = [](int i) { return &kIsoDesignations[i]; };
  if (p[1] == '(') return p[2] == 'B' ? is(0) : p[2] == 'J' ? is(1) : p[2] == 'I' ? is(2) : nullptr;
  if (p[1] != '$') return nullptr;
  if (p[2] == '@') return is(3);
  if (p[2] == 'B') return is(4);
  return p[2] == '(' && end - p >= 4 && p[3] == 'D' ? is(5) : nullptr;
}

// Whether the bytes from p to the end begin one of those escapes: cut there, it designates
// nothing for these bytes.
bool cut_designation(const uchar* p, const uchar* end) {
  const QByteArrayView rest(reinterpret_cast<const char*>(p), end - p);
  return std::any_of(std::begin(kIsoDesignations), std::end(kIsoDesignations),
                     [rest](const IsoDesignation& d) { return d.escape.startsWith(rest); });
}

// The codes of one character in those sets: of one byte and of two.
struct IsoCodes {
  std::vector<QByteArray> single, pair;
};

// Every code of those sets that the decoder reads as one character, decoded on its own after its
// set's escape, grouped by the character: the decoder's own table.
const std::unordered_map<char16_t, IsoCodes>& iso_2022_jp_table() {
  static const auto table = [] {
    std::unordered_map<char16_t, IsoCodes> t;
    QStringDecoder decoder("ISO-2022-JP");
    if (!decoder.isValid()) return t;
    auto add = [&](const IsoDesignation& d, const QByteArray& code) {
      decoder.resetState();
      const QString s = decoder.decode(d.escape.toByteArray() + code + "\x1B(B\n");
      if (s.size() != 2 || s[1] != u'\n') return;
      const char16_t c = s[0].unicode();
      if (c == 0 || c == 0x1A || c == 0xFFFD) return;
      std::vector<QByteArray>& codes = d.width == 1 ? t[c].single : t[c].pair;
      if (std::find(codes.begin(), codes.end(), code) == codes.end()) codes.push_back(code);
    };
    for (const IsoDesignation& d : kIsoDesignations) {
      for (int a = 0x21; a <= 0x7E; ++a) {
        if (d.width == 1) {
          add(d, QByteArray(1, char(a)));
          continue;
        }
        for (int b = 0x21; b <= 0x7E; ++b) {
          const char code[2] = {char(a), char(b)};
          add(d, QByteArray(code, 2));
        }
      }
    }
    return t;
  }();
  return table;
}

}  // namespace

// The look at ISO-2022-JP bytes for a string: any occurrence holds each of its characters in one
// of the character's codes, read in the set the escape before it designates. So the bytes can
// hold the string only where one character's code stands, in a set of its size, a code of two
// bytes at an even distance from its escape. The character is the one likely rarest in texts: a
// kanji before kana, both before a character of one byte. What the table does not cover (shifts,
// other escapes, bytes other than codes inside a set of two bytes, a code before any escape) may
// hold it.
struct IsoFilter {
  bool usable = false;
  std::vector<ByteAnchor> codes;
  AnchorScanner scanner;

  explicit IsoFilter(const QString& text) {
    const auto& table = iso_2022_jp_table();
    int best_cost = 0;
    IsoCodes best;
    for (const QChar ch : text) {
      // The codes of every character that compares as this one.
      IsoCodes of_char;
      for (const char32_t member : fold_class(ch.unicode())) {
        const auto it = table.find(char16_t(member));
        if (it == table.end()) continue;
        const IsoCodes& c = it->second;
        of_char.single.insert(of_char.single.end(), c.single.begin(), c.single.end());
        of_char.pair.insert(of_char.pair.end(), c.pair.begin(), c.pair.end());
      }
      if (of_char.single.empty() && of_char.pair.empty()) continue;
      const char16_t c = ch.unicode();
      const int cost = !of_char.single.empty() ? 3 : (c >= 0x3040 && c <= 0x30FF) ? 2 : 1;
      if (!usable || cost < best_cost) {
        best = std::move(of_char);
        best_cost = cost;
        usable = true;
      }
    }
    if (best.single.size() + best.pair.size() > size_t(AnchorScanner::kMaxAnchors)) {
      usable = false;
      return;
    }
    for (const auto* list : {&best.single, &best.pair}) {
      for (const QByteArray& code : *list) {
        ByteAnchor a;
        for (int i = 0; i < code.size(); ++i) a.add(uchar(code[i]), i);
        codes.push_back(a);
      }
    }
    scanner = AnchorScanner(codes);
  }

  bool may_hold(const uchar* p, qsizetype n) const {
    if (!usable) return true;
    const uchar* end = p + n;
    if (std::memchr(p, 0x0E, size_t(n)) || std::memchr(p, 0x0F, size_t(n))) return true;
    // Texts switch sets every few bytes: sixteen bytes at a time, the escapes of the sets in the
    // table pass, and only the others (and ESC $ ( before its last byte) are looked at.
    auto known = [p, end](qsizetype at) {
      return designation_at(p + at, end) || cut_designation(p + at, end);
    };
    qsizetype i = 0;
#if defined(__SSE2__)
    const auto eq = [](__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    for (; i + 18 <= n; i += 16) {
      const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
      const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 2));
      const __m128i one_byte = _mm_and_si128(
          eq(v1, '('), _mm_or_si128(_mm_or_si128(eq(v2, 'B'), eq(v2, 'J')), eq(v2, 'I')));
      const __m128i two_bytes = _mm_and_si128(eq(v1, '$'), _mm_or_si128(eq(v2, '@'), eq(v2, 'B')));
      const __m128i other = _mm_andnot_si128(_mm_or_si128(one_byte, two_bytes), eq(v0, 0x1B));
      for (unsigned bits = unsigned(_mm_movemask_epi8(other)); bits; bits &= bits - 1) {
        if (!known(i + std::countr_zero(bits))) return true;
      }
    }
#endif
    for (; i < n; ++i) {
      if (p[i] == 0x1B && !known(i)) return true;
    }
    for (qsizetype q = scanner.next(p, 0, n); q < n; q = scanner.next(p, q + 1, n)) {
      for (const ByteAnchor& a : codes) {
        if (a.at(p, q, n) && read_as_code(p, q, n, a.len == 2)) return true;
      }
    }
    return false;
  }

  // Whether the code at q may be read as one: in a set of its size, at a character's start.
  static bool read_as_code(const uchar* p, qsizetype q, qsizetype n, bool two) {
    const auto* e = static_cast<const uchar*>(::memrchr(p, 0x1B, size_t(q)));
    if (!e) return true;
    const IsoDesignation* d = designation_at(e, p + n);
    if (!d) return true;
    const qsizetype start = (e - p) + d->escape.size();
    if (q < start) return false;
    if (d->width == 1) return !two;
    for (qsizetype k = start; k < q; ++k) {
      if (p[k] < 0x21 || p[k] >= 0x7F) return true;
    }
    return two && (q - start) % 2 == 0;
  }
};

struct SearchNeedle::Forms {
  bool plain = false;  // no character that only a decode can answer for
  bool never = false;  // holds a line end: no line can contain it
  EncodedNeedle cp932, euc_jp, utf8, utf16le, utf16be;
  // The anchors of every eight-bit encoding a file without a mark may have, and a zero byte: a
  // file with one may be UTF-16 without a mark, whose characters are no anchor's bytes.
  std::vector<ByteAnchor> any;
  AnchorScanner any_scanner;
  // The look at ISO-2022-JP bytes, made when first asked for.
  mutable std::once_flag iso_once;
  mutable std::unique_ptr<IsoFilter> iso;

  // Whether an anchor found at q of data[0, n) is worth the exact search: a zero byte (no form
  // of a needle holds one), or the bytes there spell the whole needle in one of the encodings
  // (not yet checking character boundaries), or may do so beyond the bytes at hand.
  bool candidate_at(const uchar* data, qsizetype q, qsizetype n, bool at_end) const {
    if (data[q] == 0) return true;
    for (const EncodedNeedle* e : {&cp932, &euc_jp, &utf8}) {
      if (!e->possible) continue;
      for (const ByteAnchor& a : e->anchors) {
        if (!a.at(data, q, n)) continue;
        const qsizetype start = q - a.offset;
        if (start < 0 || (!at_end && start + e->max_len > n)) return true;
        if (e->match_at(data + start, data + n) >= 0) return true;
      }
    }
    return false;
  }
  // The first candidate in data[0, n), n if none; `text` scans the text this data is part of.
  qsizetype next_candidate(AnchorScanner::OneText& text, const uchar* data, qsizetype n,
                           bool at_end) const {
    for (qsizetype q = text.next(data, 0, n); q < n; q = text.next(data, q + 1, n)) {
      if (candidate_at(data, q, n, at_end)) return q;
    }
    return n;
  }
};

namespace {

// Builds an encoded needle from a function that gives every form of one character (empty when
// the encoding lacks it).
template <typename FormsOf>
EncodedNeedle encode_needle(const std::vector<char32_t>& chars, FormsOf forms_of) {
  EncodedNeedle e;
  for (char32_t c : chars) {
    std::vector<QByteArray> forms;
    for (char32_t m : fold_class(c)) {
      for (const QByteArray& f : forms_of(m)) {
        if (!f.isEmpty() && std::find(forms.begin(), forms.end(), f) == forms.end())
          forms.push_back(f);
      }
    }
    if (forms.empty()) return EncodedNeedle{};
    e.units.push_back(std::move(forms));
  }
  e.possible = !e.units.empty();
  if (e.possible) e.choose_anchors();
  return e;
}

std::vector<QByteArray> table_forms(const FormTable& table, char32_t c) {
  if (c > 0xFFFF) return {};
  const auto it = table.find(static_cast<char16_t>(c));
  return it == table.end() ? std::vector<QByteArray>{} : it->second;
}

// One character as a string. (QString::fromUcs4 would drop a leading U+FEFF as a byte-order mark.)
QString one_char(char32_t c) {
  const auto units = QChar::fromUcs4(c);
  return QStringView(units).toString();
}

QByteArray utf16_bytes(char32_t c, bool big_endian) {
  const QString s = one_char(c);
  QByteArray out;
  for (QChar ch : s) {
    const char hi = char(ch.unicode() >> 8), lo = char(ch.unicode() & 0xFF);
    out.append(big_endian ? hi : lo);
    out.append(big_endian ? lo : hi);
  }
  return out;
}

}  // namespace

SearchNeedle::SearchNeedle(const QString& needle) : text_(needle) {
  auto forms = std::make_unique<Forms>();
  std::vector<char32_t> chars;
  bool plain = !needle.isEmpty();
  for (qsizetype i = 0; i < needle.size(); ++i) {
    const QChar ch = needle[i];
    if (ch == u'\r' || ch == u'\n') forms->never = true;
    if (ch.unicode() == 0 || ch.unicode() == 0x1A || ch.unicode() == 0xFFFD) plain = false;
    if (ch.isHighSurrogate() && i + 1 < needle.size() && needle[i + 1].isLowSurrogate()) {
      chars.push_back(QChar::surrogateToUcs4(ch, needle[i + 1]));
      ++i;
    } else if (ch.isSurrogate()) {
      plain = false;
    } else {
      chars.push_back(ch.unicode());
    }
  }
  forms->plain = plain && !forms->never;
  if (forms->plain) {
    forms->cp932 = encode_needle(chars, [](char32_t c) { return table_forms(cp932_table(), c); });
    forms->euc_jp = encode_needle(chars, [](char32_t c) { return table_forms(euc_jp_table(), c); });
    forms->utf8 = encode_needle(
        chars, [](char32_t c) { return std::vector<QByteArray>{one_char(c).toUtf8()}; });
    forms->utf16le = encode_needle(
        chars, [](char32_t c) { return std::vector<QByteArray>{utf16_bytes(c, false)}; });
    forms->utf16be = encode_needle(
        chars, [](char32_t c) { return std::vector<QByteArray>{utf16_bytes(c, true)}; });
    auto add = [&forms](const ByteAnchor& a) {
      ByteAnchor key = a;
      key.offset = 0;
      for (const ByteAnchor& have : forms->any) {
        if (have.same_bytes(key)) return;
      }
      forms->any.push_back(key);
    };
    for (const EncodedNeedle* e : {&forms->cp932, &forms->euc_jp, &forms->utf8}) {
      for (const ByteAnchor& a : e->anchors) add(a);
    }
    ByteAnchor zero;
    zero.add(0, 0);
    add(zero);
    forms->any_scanner = AnchorScanner(forms->any);
  }
  forms_ = std::move(forms);
}

SearchNeedle::~SearchNeedle() = default;

// ---- Searching bytes ---------------------------------------------------------------------------

namespace {

// Whether a match of `e` starts somewhere in data[0, n). `align` is the code unit size;
// `at_boundary` tells whether an offset starts a character.
template <typename Boundary>
bool find_encoded(const EncodedNeedle& e, const uchar* data, qsizetype n, qsizetype align,
                  Boundary at_boundary) {
  if (!e.possible || n < e.min_len) return false;
  const AnchorScanner& scanner = e.scanner;
  qsizetype from = 0;
  while (from < n) {
    const qsizetype q = scanner.next(data, from, n);
    if (q >= n) return false;
    for (const ByteAnchor& a : e.anchors) {
      if (!a.at(data, q, n)) continue;
      const qsizetype s = q - a.offset;
      if (s < 0 || s % align != 0) continue;
      if (e.match_at(data + s, data + n) >= 0 && at_boundary(s)) return true;
    }
    from = q + 1;
  }
  return false;
}

bool is_cp932_trail_byte(uchar b) {
  return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// Finds whether an offset starts a character of code page 932 text. A lead byte takes the next
// byte when that byte can be a trail byte; any other byte stands alone. So the byte after one
// that cannot be a lead byte always starts a character: step back over lead-capable bytes to
// such a byte (or to a place known to start one), then count forward. `start` is the first
// offset known to start a character (0, or 1 when a block of a longer text begins with the trail
// byte of a pair).
class Cp932Boundaries {
 public:
  Cp932Boundaries(const uchar* data, qsizetype n, qsizetype start = 0)
      : data_(data), n_(n), start_(start), sync_(start) {}

  bool operator()(qsizetype s) {
    if (s < start_) return false;
    const qsizetype floor = sync_ <= s ? sync_ : start_;
    qsizetype k = s;
    while (k > floor && is_cp932_lead_byte(data_[k - 1])) --k;
    qsizetype j = k, last = k;
    while (j < s) {
      last = j;
      j +=
          (is_cp932_lead_byte(data_[j]) && j + 1 < n_ && is_cp932_trail_byte(data_[j + 1])) ? 2 : 1;
    }
    sync_ = j == s ? s : last;
    return j == s;
  }
  // The first offset at or after `s` (before the last byte) that starts a character: a character
  // has at most two bytes.
  qsizetype start_from(qsizetype s) { return (*this)(s) ? s : s + 1; }

 private:
  const uchar* data_;
  qsizetype n_;
  qsizetype start_;
  qsizetype sync_;  // an offset known to start a character
};

bool has_mark(const QByteArray& head) {
  return head.startsWith("\xEF\xBB\xBF") || head.startsWith("\xFF\xFE") ||
         head.startsWith("\xFE\xFF");
}

// ---- Reading in blocks -------------------------------------------------------------------------

// Where a text's bytes come from: a file read with pread (never mapped, so a file cut short
// meanwhile only reads shorter), or bytes in memory.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to n bytes from offset `at`: how many were read (fewer only at the end), −1 when
  // the read failed.
  virtual qint64 read_at(qint64 at, uchar* into, qsizetype n) = 0;
};

class FileSource final : public ByteSource {
 public:
  explicit FileSource(int fd) : fd_(fd) {}
  qint64 read_at(qint64 at, uchar* into, qsizetype n) override {
    qsizetype got = 0;
    while (got < n) {
      const ssize_t r = ::pread(fd_, into + got, size_t(n - got), off_t(at + got));
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) return -1;
      if (r == 0) break;
      got += r;
    }
    return got;
  }

 private:
  int fd_;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(const QByteArray& bytes) : bytes_(bytes) {}
  qint64 read_at(qint64 at, uchar* into, qsizetype n) override {
    if (at >= bytes_.size()) return 0;
    const qsizetype got = qsizetype(std::min<qint64>(n, bytes_.size() - at));
    std::memcpy(into, bytes_.constData() + at, size_t(got));
    return got;
  }

 private:
  const QByteArray& bytes_;
};

// Reads a source in blocks from its start (or a given offset). Each block stands in memory just
// behind the last `keep` bytes of the one before, so that what starts in one block and ends in
// the next is seen whole. Each read fills a whole block at a page-aligned place in the file and
// a cache-line-aligned place in memory, as fast as the system copies. After the last block one
// more step gives the kept bytes alone, at_end() set: what may only end at the end of the text
// is decided there. The stop flag is looked at before every read, so a stop is answered within
// one block.
class BlockReader {
 public:
  BlockReader(ByteSource& source, qsizetype block, qsizetype keep, qint64 from = 0)
      : source_(source), block_(block), keep_(keep), offset_(from) {
    const qsizetype front = (keep + 63) / 64 * 64 + 64;
    storage_.reset(new uchar[size_t(front + block + 64)]);
    body_ = reinterpret_cast<uchar*>((reinterpret_cast<quintptr>(storage_.get()) + front + 63) &
                                     ~quintptr(63));
  }

  // Steps to the next block; false once the text has ended, the stop flag is set or a read
  // failed (stopped() and failed() tell which).
  bool next(const std::atomic<bool>* stop) {
    if (ended_) return false;
    if (stop && stop->load(std::memory_order_relaxed)) {
      stopped_ = true;
      return false;
    }
    if (started_) {
      const qsizetype c = carry();
      std::memmove(body_ - c, data() + size() - c, size_t(c));
      offset_ += got_;
      kept_ = c;
    }
    started_ = true;
    const qint64 got = source_.read_at(offset_, body_, block_);
    if (got < 0) {
      failed_ = true;
      return false;
    }
    got_ = qsizetype(got);
    ended_ = got_ == 0;
    return true;
  }

  const uchar* data() const { return body_ - kept_; }
  qsizetype size() const { return kept_ + got_; }
  qsizetype kept() const { return kept_; }
  // Where data()[0] stands in the text.
  qint64 origin() const { return offset_ - kept_; }
  bool at_end() const { return ended_; }
  // How many of the last bytes the next step keeps in front of its block.
  qsizetype carry() const { return std::min(size(), keep_); }
  bool stopped() const { return stopped_; }
  bool failed() const { return failed_; }

 private:
  ByteSource& source_;
  qsizetype block_, keep_;
  qint64 offset_;  // where body_ stands in the text
  std::unique_ptr<uchar[]> storage_;
  uchar* body_ = nullptr;
  qsizetype kept_ = 0, got_ = 0;
  bool started_ = false, ended_ = false, stopped_ = false, failed_ = false;
};

// The bytes at the end of data[0, n) that begin a UTF-8 character the next block completes.
qsizetype unfinished_utf8(const uchar* data, qsizetype n) {
  for (qsizetype i = 1; i <= std::min<qsizetype>(3, n); ++i) {
    const uchar b = data[n - i];
    if (b < 0x80) return 0;
    if (b >= 0xC0) {
      const qsizetype need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
      return need > i ? i : 0;
    }
  }
  return 0;
}

enum class Outcome { Found, NotFound, NeedsDecoding, Stopped, Failed };

Outcome ended(const BlockReader& reader, bool found) {
  if (found) return Outcome::Found;
  if (reader.stopped()) return Outcome::Stopped;
  return reader.failed() ? Outcome::Failed : Outcome::NotFound;
}

// The search of one encoding's byte forms over a text read in blocks from its start: where a
// match may start (after a mark, on a code unit, on a character of code page 932) and, for a
// UTF-8 text with a mark, whether its bytes stay UTF-8, without which only decoding can answer.
class ByteSearch {
 public:
  ByteSearch(const EncodedNeedle& e, TextEncoding encoding) : e_(e), encoding_(encoding) {
    switch (encoding) {
      case TextEncoding::Utf8Bom:
        base_ = 3;
        break;
      case TextEncoding::Utf16LeBom:
      case TextEncoding::Utf16BeBom:
        base_ = 2;
        align_ = 2;
        break;
      case TextEncoding::Utf16Le:
      case TextEncoding::Utf16Be:
        align_ = 2;
        break;
      default:
        break;
    }
    validated_ = base_;
  }

  // The bytes to keep in front of the next block: a match cut by the block's end, the bytes
  // that decide where a character of code page 932 starts, a UTF-8 character cut short.
  qsizetype keep() const { return std::max<qsizetype>(e_.max_len - 1, 3); }
  bool not_utf8() const { return not_utf8_; }

  // Whether a match stands in the reader's bytes.
  bool step(const BlockReader& r) {
    const uchar* data = r.data();
    const qsizetype n = r.size();
    const qint64 origin = r.origin();
    const qsizetype lo = qsizetype(std::max<qint64>(0, base_ - origin));
    if (!e_.possible || n <= lo) return false;
    if (encoding_ == TextEncoding::Utf8Bom) {
      const qsizetype end = r.at_end() ? n : n - unfinished_utf8(data, n);
      const qsizetype from = qsizetype(std::max<qint64>(validated_ - origin, 0));
      if (end > from && !QByteArrayView(data + from, end - from).isValidUtf8()) {
        not_utf8_ = true;
        return false;
      }
      validated_ = std::max(validated_, origin + end);
    }
    if (!text_) text_.emplace(e_.scanner, data + lo, n - lo);
    Cp932Boundaries boundaries(data, n, start_);
    bool found = false;
    for (qsizetype q = text_->next(data, lo, n); q < n && !found; q = text_->next(data, q + 1, n)) {
      for (const ByteAnchor& a : e_.anchors) {
        if (!a.at(data, q, n)) continue;
        const qsizetype s = q - a.offset;
        if (s < lo || (origin + s - base_) % align_ != 0) continue;
        if (e_.match_at(data + s, data + n) < 0) continue;
        if (encoding_ == TextEncoding::Cp932 && !boundaries(s)) continue;
        found = true;
        break;
      }
    }
    if (encoding_ == TextEncoding::Cp932 && !r.at_end() && r.carry() > 0) {
      const qsizetype p = n - r.carry();
      start_ = boundaries.start_from(p) - p;
    }
    return found;
  }

 private:
  const EncodedNeedle& e_;
  TextEncoding encoding_;
  qint64 base_ = 0;  // where the text starts, after its mark
  qint64 align_ = 1;
  std::optional<AnchorScanner::OneText> text_;  // keyed on the first block
  qsizetype start_ = 0;                         // code page 932: the first start in a block
  qint64 validated_ = 0;                        // UTF-8 with a mark: valid up to here
  bool not_utf8_ = false;
};

const EncodedNeedle& forms_in(const SearchNeedle::Forms& f, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Cp932:
      return f.cp932;
    case TextEncoding::EucJp:
    case TextEncoding::Iso2022Jp:
      return f.euc_jp;
    case TextEncoding::Utf8:
    case TextEncoding::Utf8Bom:
      return f.utf8;
    case TextEncoding::Utf16LeBom:
    case TextEncoding::Utf16Le:
      return f.utf16le;
    case TextEncoding::Utf16BeBom:
    case TextEncoding::Utf16Be:
      break;
  }
  return f.utf16be;
}

// The search of a text in a known encoding by its byte forms. EUC-JP is only looked at for the
// forms' bytes anywhere (without them its decoded text cannot hold the string), and a UTF-8
// text with a mark only while it stays UTF-8; then the text needs decoding.
Outcome search_bytes(const SearchNeedle::Forms& f, TextEncoding encoding, ByteSource& source,
                     qsizetype block, const std::atomic<bool>* stop) {
  ByteSearch search(forms_in(f, encoding), encoding);
  BlockReader reader(source, block, search.keep());
  while (reader.next(stop)) {
    if (search.step(reader)) {
      return encoding == TextEncoding::EucJp ? Outcome::NeedsDecoding : Outcome::Found;
    }
    if (search.not_utf8()) return Outcome::NeedsDecoding;
    if (reader.at_end()) break;
  }
  return ended(reader, false);
}

// The search of the decoded text, for the encodings whose bytes alone cannot answer. The decoder
// carries what it holds from one block to the next, so the text is the one decoding the whole
// file gives; the string's length less one character is kept for a match across two blocks. The
// decoder is given the bytes up to the last one that ends whatever came before it (a byte below
// 0x80, in ISO-2022-JP a line end): a code that does not decode, cut between two calls, is read
// otherwise than in one. (The characters that decoding the whole file shows otherwise, NUL and
// the decoder's substitutes, are in no string searched this way.)
Outcome search_decoded(const SearchNeedle::Forms& f, const QString& key, TextEncoding encoding,
                       ByteSource& source, qsizetype block, const std::atomic<bool>* stop) {
  std::optional<QStringDecoder> decoder;
  qint64 from = 0;
  if (encoding == TextEncoding::Utf8Bom) {
    decoder.emplace(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    from = 3;
  } else {
    decoder.emplace(encoding == TextEncoding::EucJp ? "EUC-JP" : "ISO-2022-JP");
  }
  if (!decoder->isValid()) return search_bytes(f, TextEncoding::Cp932, source, block, stop);
  const bool iso = encoding == TextEncoding::Iso2022Jp;
  // Bytes without such an end are held back up to this much, then given as they are.
  constexpr qsizetype kHeldAtMost = 1 << 20;
  BlockReader reader(source, block, 0, from);
  QByteArray held;
  QString tail;
  auto decode = [&](qsizetype count) {
    const QString text =
        tail + fold_search_text(decoder->decode(QByteArrayView(held).first(count)));
    held.remove(0, count);
    tail = text.right(key.size() - 1);
    return text.contains(key);
  };
  while (reader.next(stop) && !reader.at_end()) {
    held.append(reinterpret_cast<const char*>(reader.data()), reader.size());
    qsizetype cut = held.size();
    while (cut > 0) {
      const uchar b = uchar(held[cut - 1]);
      if (iso ? (b == '\n' || b == '\r') : b < 0x80) break;
      --cut;
    }
    if (cut == 0 && held.size() < kHeldAtMost) continue;
    if (decode(cut > 0 ? cut : held.size())) return Outcome::Found;
  }
  if (reader.at_end() && !held.isEmpty() && decode(held.size())) return Outcome::Found;
  return ended(reader, false);
}

}  // namespace

// The exact search of a file once a candidate has turned up (or a mark has told the encoding):
// decide the encoding as the text pane does, then search that encoding's forms. The decision is
// final once the first part of the text has told it (a mark, or a sample with high bytes or of
// UTF-16); the search in that encoding then reads the text from its start. Until then the text is
// searched as UTF-8 on the way, what a text of ASCII and zero bytes comes to, so that such a file
// is read only once.
class FileSearcher {
 public:
  static Outcome exact(const SearchNeedle& needle, ByteSource& source, qsizetype block,
                       const std::atomic<bool>* stop) {
    const SearchNeedle::Forms& f = *needle.forms_;
    TextEncodingDetector detector;
    ByteSearch utf8(f.utf8, TextEncoding::Utf8);
    bool in_utf8 = false;
    std::optional<TextEncoding> settled;
    BlockReader reader(source, block, utf8.keep());
    while (reader.next(stop)) {
      if (!settled) {
        detector.feed(QByteArrayView(reinterpret_cast<const char*>(reader.data()) + reader.kept(),
                                     reader.size() - reader.kept()));
        if (detector.settled()) settled = detector.decision();
      }
      if (settled && settled != TextEncoding::Utf8) break;
      in_utf8 = in_utf8 || utf8.step(reader);
      if (settled && in_utf8) return Outcome::Found;
      if (reader.at_end()) break;
    }
    if (reader.stopped() || reader.failed()) return ended(reader, false);
    const TextEncoding encoding = settled ? *settled : detector.decision();
    if (encoding == TextEncoding::Utf8) return in_utf8 ? Outcome::Found : Outcome::NotFound;
    Outcome outcome = encoding == TextEncoding::Iso2022Jp
                          ? Outcome::NeedsDecoding
                          : search_bytes(f, encoding, source, block, stop);
    if (outcome == Outcome::NeedsDecoding) {
      outcome = search_decoded(f, fold_search_text(needle.text()), encoding, source, block, stop);
    }
    return outcome;
  }

  // Most texts hold no candidate at all: read them in blocks and look only for the anchors of
  // every encoding a text may be in; the exact search runs on the few that have one.
  static Outcome search(const SearchNeedle& needle, ByteSource& source, qsizetype block,
                        const std::atomic<bool>* stop) {
    const SearchNeedle::Forms& f = *needle.forms_;
    BlockReader reader(source, block, ByteAnchor::kMaxSpan - 1);
    std::optional<AnchorScanner::OneText> text;  // set up on the first block
    bool candidate = false;
    bool seven_bit = true;  // no high byte so far
    bool escape = false;    // ISO-2022-JP's escape seen so far
    // A mark tells the encoding: such a text goes to the exact search at once.
    char head[3];
    const qint64 head_size = source.read_at(0, reinterpret_cast<uchar*>(head), 3);
    if (head_size < 0) return Outcome::Failed;
    if (has_mark(QByteArray(head, qsizetype(head_size)))) return exact(needle, source, block, stop);
    while (reader.next(stop)) {
      const uchar* data = reader.data();
      const qsizetype n = reader.size();
      if (!text) text.emplace(f.any_scanner, data, n);
      // The text may be ISO-2022-JP only while no high byte has come (may_be_iso_2022_jp); its
      // characters are no anchor's bytes, so such a text is searched exactly.
      if (seven_bit) {
        const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), n);
        seven_bit = !has_non_ascii(bytes);
        escape = escape || (seven_bit && has_jis_escape(bytes));
      }
      if (f.next_candidate(*text, data, n, reader.at_end()) < n) {
        candidate = true;
        break;
      }
      if (reader.at_end()) {
        candidate = seven_bit && escape;
        break;
      }
    }
    if (!candidate) return ended(reader, false);
    return exact(needle, source, block, stop);
  }

  static const SearchNeedle::Forms& forms(const SearchNeedle& needle) { return *needle.forms_; }
};

bool SearchNeedle::found_in(const QByteArray& bytes, qsizetype block) const {
  if (forms_->never || text_.isEmpty()) return false;
  if (!forms_->plain) return text_bytes_contain(bytes, text_);
  MemorySource source(bytes);
  return FileSearcher::search(*this, source, std::max<qsizetype>(block, 1), nullptr) ==
         Outcome::Found;
}

bool SearchNeedle::may_occur_in(const QByteArray& bytes, TextEncoding encoding) const {
  const Forms& f = *forms_;
  if (!f.plain) return true;
  const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
  const qsizetype n = bytes.size();
  auto anywhere = [](qsizetype) { return true; };
  switch (encoding) {
    case TextEncoding::Cp932:
      return find_encoded(f.cp932, data, n, 1, anywhere);
    case TextEncoding::EucJp:
      return find_encoded(f.euc_jp, data, n, 1, anywhere);
    case TextEncoding::Utf8:
    case TextEncoding::Utf8Bom:
      return find_encoded(f.utf8, data, n, 1, anywhere);
    case TextEncoding::Utf16LeBom:
    case TextEncoding::Utf16Le:
      return find_encoded(f.utf16le, data, n, 2, anywhere);
    case TextEncoding::Utf16BeBom:
    case TextEncoding::Utf16Be:
      return find_encoded(f.utf16be, data, n, 2, anywhere);
    case TextEncoding::Iso2022Jp:
      std::call_once(f.iso_once, [this] { forms_->iso = std::make_unique<IsoFilter>(text_); });
      return f.iso->may_hold(data, n);
  }
  return true;
}

// ---- Files -------------------------------------------------------------------------------------

FileSearchResult search_file(const SearchNeedle& needle, const QString& path,
                             const std::atomic<bool>* stop) {
  QFile file(path);
  if (!open_regular_file(file)) return FileSearchResult::Unreadable;
  const SearchNeedle::Forms& f = FileSearcher::forms(needle);
  if (f.never || needle.text().isEmpty()) return FileSearchResult::NotFound;
  if (!f.plain) {
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return FileSearchResult::Unreadable;
    return text_bytes_contain(bytes, needle.text()) ? FileSearchResult::Found
                                                    : FileSearchResult::NotFound;
  }
  FileSource source(file.handle());
  switch (FileSearcher::search(needle, source, kScanBlockBytes, stop)) {
    case Outcome::Found:
      return FileSearchResult::Found;
    case Outcome::Failed:
      return FileSearchResult::Unreadable;
    default:
      return FileSearchResult::NotFound;
  }
}

std::vector<int> scan_files(const std::vector<QString>& paths, const SearchNeedle& needle,
                            const JobControl& job, ScanControl& control, int workers) {
  const int count = static_cast<int>(paths.size());
  std::vector<FileSearchResult> results(paths.size(), FileSearchResult::NotFound);
  if (workers <= 0) workers = std::max(1, QThread::idealThreadCount());
  workers = std::min(workers, count);
  std::atomic<int> next{0};
  auto work = [&] {
    for (;;) {
      if (job.stopped()) return;
      const int i = next.fetch_add(1);
      if (i >= count) return;
      if (control.starting) control.starting(i);
      results[size_t(i)] = search_file(needle, paths[size_t(i)], &job.stop_flag());
      control.done.fetch_add(1);
    }
  };
  std::vector<std::thread> threads;
  for (int w = 1; w < workers; ++w) threads.emplace_back(work);
  if (workers > 0) work();
  for (std::thread& t : threads) t.join();
  std::vector<int> hits;
  for (int i = 0; i < count; ++i) {
    if (results[size_t(i)] == FileSearchResult::Found) hits.push_back(i);
  }
  return hits;
}

}  // namespace tarvex
