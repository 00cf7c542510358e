#include "search/text_search.h"

#include "platform/regular_file.h"
#include "platform/text_codecs.h"
#include "search/byte_scan.h"
#include "text/text_decode.h"

#include <QFile>
#include <QStringDecoder>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

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

struct SearchNeedle::Forms {
  bool plain = false;  // no character that only a decode can answer for
  bool never = false;  // holds a line end: no line can contain it
  EncodedNeedle cp932, euc_jp, utf8, utf16le, utf16be;
  // The anchors of every eight-bit encoding a file without a mark may have, and a zero byte: a
  // file with one may be UTF-16 without a mark, whose characters are no anchor's bytes.
  std::vector<ByteAnchor> any;
  AnchorScanner any_scanner;

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
// such a byte (or to a place known to start one), then count forward.
class Cp932Boundaries {
 public:
  Cp932Boundaries(const uchar* data, qsizetype n) : data_(data), n_(n) {}

  bool operator()(qsizetype s) {
    const qsizetype floor = sync_ <= s ? sync_ : 0;
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

 private:
  const uchar* data_;
  qsizetype n_;
  qsizetype sync_ = 0;  // an offset known to start a character
};

bool found_in_encoding(const SearchNeedle::Forms& f, const QByteArray& bytes, TextEncoding enc) {
  const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
  const qsizetype n = bytes.size();
  auto any_offset = [](qsizetype) { return true; };
  switch (enc) {
    case TextEncoding::Cp932: {
      Cp932Boundaries boundaries(data, n);
      return find_encoded(f.cp932, data, n, 1, boundaries);
    }
    case TextEncoding::Utf8:
      // The text is valid UTF-8, where a valid needle can only match whole characters.
      return find_encoded(f.utf8, data, n, 1, any_offset);
    case TextEncoding::Utf8Bom:
      if (is_valid_utf8(bytes.sliced(3)))
        return find_encoded(f.utf8, data + 3, n - 3, 1, any_offset);
      break;
    case TextEncoding::Utf16LeBom:
      return find_encoded(f.utf16le, data + 2, n - 2, 2, any_offset);
    case TextEncoding::Utf16BeBom:
      return find_encoded(f.utf16be, data + 2, n - 2, 2, any_offset);
    case TextEncoding::Utf16Le:
      return find_encoded(f.utf16le, data, n, 2, any_offset);
    case TextEncoding::Utf16Be:
      return find_encoded(f.utf16be, data, n, 2, any_offset);
    case TextEncoding::EucJp:
    case TextEncoding::Iso2022Jp:
      break;
  }
  return false;
}

// Whether the bytes of one of the needle's forms stand anywhere, on a character or not: a text
// decoded from the bytes can hold the needle only then.
bool holds_form(const EncodedNeedle& e, const QByteArray& bytes) {
  const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
  return find_encoded(e, data, bytes.size(), 1, [](qsizetype) { return true; });
}

bool needs_decoding(const QByteArray& bytes, TextEncoding enc) {
  if (enc == TextEncoding::EucJp || enc == TextEncoding::Iso2022Jp) return true;
  return enc == TextEncoding::Utf8Bom && !is_valid_utf8(bytes.sliced(3));
}

// Whether the text may be UTF-16 without a mark (only a text with a zero byte can be) and holds
// the needle in it.
bool found_in_utf16(const SearchNeedle::Forms& f, const QByteArray& bytes) {
  return bytes.contains('\0') && (found_in_encoding(f, bytes, TextEncoding::Utf16Le) ||
                                  found_in_encoding(f, bytes, TextEncoding::Utf16Be));
}

bool has_mark(const QByteArray& head) {
  return head.startsWith("\xEF\xBB\xBF") || head.startsWith("\xFF\xFE") ||
         head.startsWith("\xFE\xFF");
}

}  // namespace

// The exact search of a whole file once a candidate has turned up (or a mark has told the
// encoding): detect the encoding as the text pane does, then search that encoding's forms.
class FileSearcher {
 public:
  static bool exact(const SearchNeedle& needle, const QByteArray& bytes) {
    const SearchNeedle::Forms& f = *needle.forms_;
    // A file without a mark that cannot be ISO-2022-JP is read as code page 932, UTF-8, EUC-JP
    // or UTF-16 without a mark. When no reading can hold the string (its bytes stand only inside
    // other characters, say), the answer is no whatever the detection would choose, and detecting
    // is the dearer part.
    int in_cp932 = -1;
    if (!has_mark(bytes.left(3)) && !may_be_iso_2022_jp(bytes)) {
      in_cp932 = found_in_encoding(f, bytes, TextEncoding::Cp932);
      if (!in_cp932 && !found_in_encoding(f, bytes, TextEncoding::Utf8) &&
          !holds_form(f.euc_jp, bytes) && !found_in_utf16(f, bytes)) {
        return false;
      }
    }
    const TextEncoding enc = detect_text_encoding(bytes);
    if (enc == TextEncoding::Cp932 && in_cp932 >= 0) return in_cp932;
    if (needs_decoding(bytes, enc)) {
      const QString text = fold_search_text(decode_text_as(bytes, enc));
      return text.contains(fold_search_text(needle.text()));
    }
    return found_in_encoding(f, bytes, enc);
  }
  static const SearchNeedle::Forms& forms(const SearchNeedle& needle) { return *needle.forms_; }
};

bool SearchNeedle::found_in(const QByteArray& bytes) const {
  if (forms_->never || text_.isEmpty()) return false;
  if (!forms_->plain) return text_bytes_contain(bytes, text_);
  // ISO-2022-JP's characters are no anchor's bytes: a text that may be in it is searched whole.
  if (!has_mark(bytes.left(3)) && !may_be_iso_2022_jp(bytes)) {
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    AnchorScanner::OneText text(forms_->any_scanner, data, bytes.size());
    if (forms_->next_candidate(text, data, bytes.size(), true) >= bytes.size()) return false;
  }
  return FileSearcher::exact(*this, bytes);
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
      break;
  }
  return true;
}

// ---- Files -------------------------------------------------------------------------------------

namespace {

// Reads the whole file for the exact search, mapped when the system allows it.
bool exact_search_file(const SearchNeedle& needle, QFile& file) {
  const qint64 size = file.size();
  if (size > 0) {
    if (uchar* mapped = file.map(0, size)) {
      const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(mapped),
                                                       static_cast<qsizetype>(size));
      const bool found = FileSearcher::exact(needle, bytes);
      file.unmap(mapped);
      return found;
    }
  }
  file.seek(0);
  return FileSearcher::exact(needle, file.readAll());
}

}  // namespace

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
  // Most files hold no candidate at all: read them in blocks and look only for the anchors of
  // every encoding a file may be in; the exact search runs on the few that have one.
  // Each read fills a whole block at a page-aligned place in the file and a cache-line-aligned
  // place in memory, as fast as the system copies; the few bytes carried over from the block
  // before stand just in front of it.
  constexpr qsizetype kCarry = ByteAnchor::kMaxSpan - 1;
  constexpr qsizetype kFront = 64;
  const std::unique_ptr<uchar[]> storage(new uchar[size_t(kFront + kScanBlockBytes + 64)]);
  uchar* const body = reinterpret_cast<uchar*>(
      (reinterpret_cast<quintptr>(storage.get()) + kFront + 63) & ~quintptr(63));
  qsizetype kept = 0;                          // bytes carried over from the previous block
  std::optional<AnchorScanner::OneText> text;  // set up on the first block
  bool candidate = false;
  bool seven_bit = true;  // no high byte so far
  bool escape = false;    // ISO-2022-JP's escape seen so far
  for (;;) {
    if (stop && stop->load(std::memory_order_relaxed)) return FileSearchResult::NotFound;
    const qint64 got = file.read(reinterpret_cast<char*>(body), kScanBlockBytes);
    if (got < 0) return FileSearchResult::Unreadable;
    uchar* const data = body - kept;
    const qsizetype n = kept + got;
    if (!text) {
      text.emplace(f.any_scanner, data, n);
      const QByteArray head(reinterpret_cast<const char*>(data), std::min<qsizetype>(n, 3));
      if (has_mark(head)) {
        candidate = true;
        break;
      }
    }
    // The file may be ISO-2022-JP only while no high byte has come (may_be_iso_2022_jp).
    if (seven_bit) {
      const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), n);
      seven_bit = !has_non_ascii(bytes);
      escape = escape || (seven_bit && bytes.contains("\x1B$"));
    }
    if (f.next_candidate(*text, data, n, got == 0) < n) {
      candidate = true;
      break;
    }
    if (got == 0) {
      candidate = seven_bit && escape;
      break;
    }
    // The last bytes may start an anchor that the next block completes.
    const qsizetype carry = std::min(n, kCarry);
    std::memmove(body - carry, data + n - carry, size_t(carry));
    kept = carry;
  }
  if (!candidate) return FileSearchResult::NotFound;
  return exact_search_file(needle, file) ? FileSearchResult::Found : FileSearchResult::NotFound;
}

std::vector<int> scan_files(const std::vector<QString>& paths, const SearchNeedle& needle,
                            ScanControl& control, int workers) {
  const int count = static_cast<int>(paths.size());
  std::vector<FileSearchResult> results(paths.size(), FileSearchResult::NotFound);
  if (workers <= 0) workers = std::max(1, QThread::idealThreadCount());
  workers = std::min(workers, count);
  std::atomic<int> next{0};
  auto work = [&] {
    for (;;) {
      if (control.stop.load()) return;
      const int i = next.fetch_add(1);
      if (i >= count) return;
      if (control.starting) control.starting(i);
      results[size_t(i)] = search_file(needle, paths[size_t(i)], &control.stop);
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
