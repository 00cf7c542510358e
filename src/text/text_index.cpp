#include "text/text_index.h"

#include "platform/text_codecs.h"

#include <QFile>
#include <QStringDecoder>
#include <QSysInfo>
#include <QtEndian>

#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <unordered_map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvex {

// ---- The decision on the encoding ------------------------------------------------------------

// ---- Blocks ----------------------------------------------------------------------------------

namespace {

bool is_utf16(TextEncoding e) {
  return e == TextEncoding::Utf16LeBom || e == TextEncoding::Utf16BeBom ||
         e == TextEncoding::Utf16Le || e == TextEncoding::Utf16Be;
}

bool is_big_endian(TextEncoding e) {
  return e == TextEncoding::Utf16BeBom || e == TextEncoding::Utf16Be;
}

char16_t utf16_unit(const uchar* p, bool big_endian) {
  return big_endian ? char16_t(p[0] << 8 | p[1]) : char16_t(p[1] << 8 | p[0]);
}

// How the code page 932 or EUC-JP decoder groups bytes into characters, asked of the decoder
// once: a byte below 80 stands alone; a higher byte takes the byte after it (and for EUC-JP's
// 8F the one after that) when the decoder reads them as one character or as one unassigned
// code, else it stands alone (as one error). A lead byte at the end of what the decoder is given
// is held back for the byte after it.
class ByteGroups {
 public:
  static const ByteGroups& of(TextEncoding encoding) {
    // Never destroyed: a worker may still use them at the end of the process.
    static const ByteGroups& cp932 = *new ByteGroups("windows-31j", false);
    static const ByteGroups& euc_jp = *new ByteGroups("EUC-JP", true);
    return encoding == TextEncoding::EucJp ? euc_jp : cp932;
  }

  // The bytes of what starts at p[i] of p[0, n).
  qsizetype step(const uchar* p, qsizetype i, qsizetype n) const {
    const uchar b = p[i];
    if (b < 0x80 || i + 1 >= n) return 1;
    if (triple_ && b == 0x8F && i + 2 < n && p[i + 1] >= 0x80 && p[i + 2] >= 0x80 &&
        three_[size_t((p[i + 1] - 0x80) * 128 + (p[i + 2] - 0x80))]) {
      return 3;
    }
    return two_[size_t((b - 0x80) * 256 + p[i + 1])] ? 2 : 1;
  }
  // Whether the byte, alone, is held back by the decoder for the byte after it.
  bool may_lead(uchar b) const { return b >= 0x80 && lead_[b - 0x80]; }
  // Whether the byte alone decodes to one character.
  bool single(uchar b) const { return b < 0x80 || single_[b - 0x80]; }

 private:
  ByteGroups(const char* codec, bool triple) : triple_(triple) {
    // Each probe stands on a line of its own: a line feed is never part of a character, and
    // the characters before each one tell how the decoder grouped the probe's bytes.
    auto lines = [codec](const QByteArray& probes) {
      QStringDecoder decoder(codec, QStringConverter::Flag::Stateless);
      const QString out = decoder.decode(probes);
      return out.split(u'\n');
    };
    QByteArray probes;
    for (int b = 0x80; b <= 0xFF; ++b) probes += char(b) + QByteArray("\n");
    const QStringList alone = lines(probes);
    for (int b = 0x80; b <= 0xFF; ++b) single_[b - 0x80] = alone.value(b - 0x80).size() == 1;
    for (int b = 0x80; b <= 0xFF; ++b) {
      probes.clear();
      for (int t = 0; t <= 0xFF; ++t) {
        // (A line feed is no probe of its own: it would end the line early.)
        probes += t == '\n' ? QByteArray("\n") : QByteArray(1, char(b)) + char(t) + '\n';
      }
      const QStringList out = lines(probes);
      for (int t = 0; t <= 0xFF; ++t) {
        const bool together = t != '\n' && t != '\r' && out.value(t).size() == 1;
        two_[size_t((b - 0x80) * 256 + t)] = together;
        if (together && t != 0) lead_[b - 0x80] = true;
      }
      // A lead byte alone at the end decodes to nothing.
      QStringDecoder decoder(codec, QStringConverter::Flag::Stateless);
      const QString held = decoder.decode(QByteArray(1, char(b)));
      lead_[b - 0x80] = lead_[b - 0x80] || held.isEmpty();
    }
    if (!triple_) return;
    for (int a = 0x80; a <= 0xFF; ++a) {
      probes.clear();
      for (int t = 0x80; t <= 0xFF; ++t) probes += QByteArray("\x8F") + char(a) + char(t) + '\n';
      const QStringList out = lines(probes);
      for (int t = 0x80; t <= 0xFF; ++t) {
        three_[size_t((a - 0x80) * 128 + (t - 0x80))] = out.value(t - 0x80).size() == 1;
      }
    }
  }

  bool triple_;
  std::array<bool, 128> single_{};
  std::array<bool, 128> lead_{};
  std::vector<bool> two_ = std::vector<bool>(128 * 256);
  std::vector<bool> three_ = std::vector<bool>(128 * 128);
};

// The escapes the ISO-2022-JP decoder knows, of other ISO-2022 variants too: it takes them whole,
// those that designate a character set it reads as such (of one or two bytes a character), the
// others as an error; of any other escape it takes the ESC alone. Asked of the decoder once,
// from what an escape between "0" and "!!" decodes to: a set of two bytes reads "!!" as one
// character, a set of one byte as two, an error leaves ASCII in force.
class KnownEscapes {
 public:
  enum class Kind : quint8 { None, Error, Single, Double };

  static const KnownEscapes& get() {
    static const KnownEscapes& known = *new KnownEscapes;  // never destroyed, as ByteGroups
    return known;
  }
  // The length of the known escape at p[i] (of p[0, n)), 0 if there is none; and its kind.
  qsizetype length_at(const uchar* p, qsizetype i, qsizetype n, Kind* kind = nullptr) const {
    quint32 key = 0;
    for (qsizetype k = 1; k <= 3 && i + k < n; ++k) {
      key = key << 8 | p[i + k];
      const auto it = kinds_.find(key << 8 | quint32(k));
      if (it == kinds_.end()) continue;
      if (kind) *kind = it->second;
      return k + 1;
    }
    if (kind) *kind = Kind::None;
    return 0;
  }
  // Calls f(key, kind) for each known escape, keyed as length_at keys it.
  template <class F>
  void each(F&& f) const {
    for (const auto& [key, kind] : kinds_) f(key, kind);
  }
  // The key of the escape p[i, i + size).
  static quint32 key_of(const uchar* p, qsizetype i, qsizetype size) {
    quint32 key = 0;
    for (qsizetype k = 1; k < size; ++k) key = key << 8 | p[i + k];
    return key << 8 | quint32(size - 1);
  }
  Kind kind_of(const char* escape, qsizetype size) const {
    Kind kind = Kind::None;
    return length_at(reinterpret_cast<const uchar*>(escape), 0, size, &kind) == size ? kind
                                                                                     : Kind::None;
  }

 private:
  KnownEscapes() {
    QByteArray seq;
    auto probe = [this, &seq](int length) {
      QStringDecoder decoder("ISO-2022-JP", QStringConverter::Flag::Stateless);
      if (!decoder.isValid()) return;
      const QString out = decoder.decode("0" + seq + "!!\n");
      const Kind kind = out.size() == 3   ? Kind::Double
                        : out.size() == 4 ? Kind::Single
                        : out.size() == 5 ? Kind::Error
                                          : Kind::None;
      if (kind == Kind::None) return;
      quint32 key = 0;
      for (int k = 1; k < length; ++k) key = key << 8 | uchar(seq[k]);
      kinds_.emplace(key << 8 | quint32(length - 1), kind);
    };
    for (int f = 0x30; f <= 0x7E; ++f) {
      seq = QByteArray("\x1B") + char(f);
      probe(2);
      for (int a = 0x20; a <= 0x2F; ++a) {
        seq = QByteArray("\x1B") + char(a) + char(f);
        probe(3);
        for (int b = 0x20; b <= 0x2F; ++b) {
          seq = QByteArray("\x1B") + char(a) + char(b) + char(f);
          probe(4);
        }
      }
    }
  }
  // Keyed on the bytes after the ESC, with their count in the low byte.
  std::unordered_map<quint32, Kind> kinds_;
};

// Reading ISO-2022-JP as its decoder groups the bytes: an escape; a line end, after which a set
// of two bytes a character falls back to ASCII; in such a set a pair of bytes 21-7E, or a pair
// of bytes that are no character (the second byte, even a line end, is taken with the first
// unless it could start a character or an escape); else one byte.
struct JisReader {
  bool double_byte = false;
  // The last designation read, and whether a line end was read after it.
  std::array<char, 4> escape{};
  quint8 escape_size = 0;
  bool reset = false;

  // The size of what starts at p[i] (of p[0, n)). `whole` tells whether the decoder has done with
  // it before it sees the next byte: not for an escape (an escape right after it is an error),
  // nor for a byte alone in a set of two bytes a character (held back for the byte after it).
  qsizetype step(const uchar* p, qsizetype i, qsizetype n, bool* whole = nullptr) {
    const uchar b = p[i];
    if (whole)
      *whole = b != 0x1B && !(double_byte && b != 0x0E && b != 0x0F && b != '\n' && b != '\r');
    if (b == 0x1B) {
      KnownEscapes::Kind kind = KnownEscapes::Kind::None;
      const qsizetype size = KnownEscapes::get().length_at(p, i, n, &kind);
      if (kind == KnownEscapes::Kind::Single || kind == KnownEscapes::Kind::Double) {
        double_byte = kind == KnownEscapes::Kind::Double;
        std::memcpy(escape.data(), p + i, size_t(size));
        escape_size = quint8(size);
        reset = false;
      }
      return std::max<qsizetype>(size, 1);
    }
    if (b == '\n' || b == '\r') {
      double_byte = false;
      reset = true;
      return 1;
    }
    if (!double_byte || i + 1 >= n || b == 0x0E || b == 0x0F) return 1;
    auto is_jis = [](uchar c) { return c >= 0x21 && c <= 0x7E; };
    const uchar t = p[i + 1];
    const qsizetype size =
        (is_jis(b) && is_jis(t)) || (!is_jis(t) && t != 0x1B && t != 0x0E && t != 0x0F) ? 2 : 1;
    if (whole) *whole = size == 2;
    return size;
  }
};

// Where to cut the first line of p[0, n) (longer than `target`) so that the piece ends with a
// whole character: at `target` or a little before (or after, 0 if not within n).
qsizetype piece_end(const uchar* p, qsizetype n, TextEncoding encoding, bool double_byte,
                    qsizetype target) {
  switch (encoding) {
    case TextEncoding::Utf16LeBom:
    case TextEncoding::Utf16BeBom:
    case TextEncoding::Utf16Le:
    case TextEncoding::Utf16Be: {
      const bool be = is_big_endian(encoding);
      const qsizetype even = std::max<qsizetype>(target & ~qsizetype(1), 4);
      return QChar::isHighSurrogate(utf16_unit(p + even - 2, be)) ? even - 2 : even;
    }
    case TextEncoding::Utf8:
    case TextEncoding::Utf8Bom: {
      for (qsizetype c = target; c > target - 4; --c) {
        if ((p[c] & 0xC0) != 0x80) return c;
      }
      return target;
    }
    case TextEncoding::Cp932:
    case TextEncoding::EucJp:
    case TextEncoding::Iso2022Jp: {
      // A piece ends where the decoder has done with all it read: not after a lead byte without
      // its trail byte (held back for the byte after it), nor after an escape or within the bytes
      // after an ESC it takes alone (it may hold them back as the start of an escape). Without
      // such a place before `target`, the piece ends at the first one after it; 0 if there is
      // none in p[0, n).
      JisReader reader;
      reader.double_byte = double_byte;
      qsizetype i = 0, best = 0, escape_at = -8;
      while (i < n) {
        const uchar b = p[i];
        if (b == '\n' || b == '\r') {
          // Past the first place to cut, a line end: the block ends after it.
          if (b == '\n') return i + 1;
          // A CR and its LF are one line end, in ISO-2022-JP also with designations between.
          qsizetype next = i + 1;
          while (encoding == TextEncoding::Iso2022Jp && next < n && p[next] == 0x1B) {
            KnownEscapes::Kind kind = KnownEscapes::Kind::None;
            const qsizetype size = KnownEscapes::get().length_at(p, next, n, &kind);
            if (size == 0 && n - next < 4) return 0;  // an escape that may go on past n
            if (kind != KnownEscapes::Kind::Single && kind != KnownEscapes::Kind::Double) break;
            next += size;
          }
          if (next >= n) return 0;
          return p[next] == '\n' ? next + 1 : i + 1;
        }
        qsizetype step = 0;
        bool whole = false;
        if (encoding == TextEncoding::Iso2022Jp) {
          step = reader.step(p, i, n, &whole);
          if (b == 0x1B && step == 1) escape_at = i;
        } else {
          const ByteGroups& groups = ByteGroups::of(encoding);
          step = groups.step(p, i, n);
          whole = step > 1 || !groups.may_lead(b);
        }
        if (i + step > target && best > 0) return best;
        i += step;
        if (whole && i > escape_at + 4) {
          best = i;
          if (i >= target) return i;
        }
      }
      return best;
    }
  }
  return target;
}

// The text with its line ends as "\n": CR LF and a CR alone each become one "\n".
QString with_line_feeds(QString text) {
  qsizetype r = text.indexOf(u'\r');
  if (r < 0) return text;
  QChar* d = text.data();
  const qsizetype n = text.size();
  qsizetype w = r;
  for (; r < n; ++r) {
    if (d[r] == u'\r') {
      d[w++] = u'\n';
      if (r + 1 < n && d[r + 1] == u'\n') ++r;
    } else {
      d[w++] = d[r];
    }
  }
  text.truncate(w);
  return text;
}

// What stands before a block's bytes when it is decoded on its own, so that it decodes as within
// the whole file: a character that keeps the decoder from dropping a byte-order mark at the
// block's start, and for ISO-2022-JP the designation in force with the line end that followed
// it. The characters it decodes to are dropped again.
QByteArray block_prefix(TextEncoding encoding, const TextBlock& block) {
  switch (encoding) {
    case TextEncoding::Utf8Bom:
      return QByteArray(
          "\xEF\xBB\xBF"
          "0");
    case TextEncoding::Utf16LeBom:
      return QByteArray(
          "\xFF\xFE"
          "0\0",
          4);
    case TextEncoding::Utf16BeBom:
      return QByteArray(
          "\xFE\xFF\0"
          "0",
          4);
    case TextEncoding::Utf16Le:
      return QByteArray("0\0", 2);
    case TextEncoding::Utf16Be:
      return QByteArray(
          "\0"
          "0",
          2);
    case TextEncoding::Iso2022Jp: {
      // A character of the designated set follows the escape: the decoder takes two escapes in a
      // row for an error, and the block may start with one.
      QByteArray prefix("0");
      if (block.escape_size > 0) {
        prefix.append(block.escape.data(), block.escape_size);
        const bool double_byte =
            KnownEscapes::get().kind_of(block.escape.data(), block.escape_size) ==
            KnownEscapes::Kind::Double;
        prefix.append(double_byte ? "!!" : "1");
      }
      if (block.reset_since_escape) prefix.append('\n');
      return prefix;
    }
    case TextEncoding::Utf8:
    case TextEncoding::EucJp:
    case TextEncoding::Cp932:
      break;
  }
  return QByteArray("0");
}

struct LineEndBytes {
  qint64 lf = 0, cr = 0, crlf = 0;
};

// Eight bytes at a time: the high bit of each byte of `w` that equals `b` (no false hits).
constexpr quint64 kHighBits = 0x8080808080808080ULL;
quint64 bytes_equal(quint64 w, uchar b) {
  constexpr quint64 kLow7 = 0x7F7F7F7F7F7F7F7FULL;
  const quint64 x = w ^ (0x0101010101010101ULL * b);
  return ~(((x & kLow7) + kLow7) | x) & kHighBits;
}

// How many bytes of a mask from bytes_equal have their high bit set (without a popcount
// instruction, which the baseline processor lacks).
int high_bits(quint64 mask) {
  return int(((mask >> 7) * 0x0101010101010101ULL) >> 56);
}

quint64 word_at(const uchar* p) {
  return qFromLittleEndian<quint64>(p);  // byte 0 in the lowest bits
}

LineEndBytes count_line_end_bytes(const uchar* p, qsizetype n) {
  LineEndBytes c;
  bool cr_before = false;
  qsizetype i = 0;
  for (; i + 8 <= n; i += 8) {
    const quint64 w = word_at(p + i);
    const quint64 lf = bytes_equal(w, '\n'), cr = bytes_equal(w, '\r');
    c.lf += high_bits(lf);
    c.cr += high_bits(cr);
    c.crlf += high_bits(cr & (lf >> 8)) + (cr_before && (lf & 0x80));
    cr_before = cr >> 63;
  }
  for (; i < n; ++i) {
    const bool lf = p[i] == '\n', cr = p[i] == '\r';
    c.lf += lf;
    c.cr += cr;
    c.crlf += cr_before && lf;
    cr_before = cr;
  }
  return c;
}

bool ends_with_line_end(const uchar* p, qsizetype n, TextEncoding encoding) {
  if (is_utf16(encoding)) {
    if (n < 2 || n % 2 != 0) return false;
    const char16_t u = utf16_unit(p + n - 2, is_big_endian(encoding));
    return u == u'\n' || u == u'\r';
  }
  return n > 0 && (p[n - 1] == '\n' || p[n - 1] == '\r');
}

// Counting ISO-2022-JP without decoding it: what each byte of a set of one byte a character, and
// each pair of bytes 21-7E of a set of two, decodes to, asked of the decoder once for every set
// it knows, just after the designation and after a line end that follows it, each in the
// context that a block's prefix gives. Only what decodes at once to one character, with no error,
// is counted; a block with anything else (an error, an escape right after an escape, which the
// decoder takes for an error, bytes of no set) is left to the decoder.
class JisCounts {
 public:
  static const JisCounts& get() {
    static const JisCounts& counts = *new JisCounts;  // never destroyed, as ByteGroups
    return counts;
  }

  // The state of the reading: the designation in force (none: ASCII) and whether a line end
  // came after it.
  struct State {
    std::array<char, 4> escape{};
    quint8 escape_size = 0;
    bool reset = false;
  };

  // The characters and line ends that decode_text_block gives for p[0, n) read from `state`, and
  // the state after them; nothing when only decoding can tell.
  std::optional<BlockCount> count(const uchar* p, qsizetype n, State& state) const {
    const Set* set =
        find(state.escape_size == 0
                 ? 0
                 : KnownEscapes::key_of(reinterpret_cast<const uchar*>(state.escape.data()), 0,
                                        state.escape_size));
    if (!set) return std::nullopt;
    const Table* table = &set->tables[state.reset];
    qint64 chars = 0, line_ends = 0;
    bool cr_before = false, after_escape = false, ends_line = false;
    qsizetype i = 0;
    while (i < n) {
      const uchar b = p[i];
      if (b == 0x1B) {
        KnownEscapes::Kind kind = KnownEscapes::Kind::None;
        const qsizetype size = KnownEscapes::get().length_at(p, i, n, &kind);
        if (after_escape || size == 0) return std::nullopt;
        set = find(KnownEscapes::key_of(p, i, size));
        if (!set) return std::nullopt;  // an error, or a set not counted
        table = &set->tables[0];
        std::memcpy(state.escape.data(), p + i, size_t(size));
        state.escape_size = quint8(size);
        state.reset = false;
        after_escape = true;
        i += size;
        continue;  // (a CR before it and an LF after it are still one line end)
      }
      after_escape = false;
      if (b == '\n' || b == '\r') {
        // CR LF is one line end; a CR alone one too.
        if (b == '\r' || !cr_before) {
          ++chars;
          ++line_ends;
        }
        cr_before = b == '\r';
        ends_line = true;
        state.reset = true;
        table = &set->tables[1];
        ++i;
        continue;
      }
      cr_before = false;
      ends_line = false;
      if (table->double_byte) {
        if (i + 1 >= n || !table->pair(b, p[i + 1])) return std::nullopt;
        i += 2;
      } else {
        if (b >= 0x80 || !table->single[b]) return std::nullopt;
        ++i;
      }
      ++chars;
    }
    return BlockCount{chars, line_ends, ends_line};
  }

 private:
  struct Table {
    bool double_byte = false;
    std::array<bool, 128> single{};  // bytes 00-7F that are one character each
    std::vector<bool> pairs;         // pairs 21-7E 21-7E that are one character each
    bool pair(uchar lead, uchar trail) const {
      const unsigned l = lead - 0x21u, t = trail - 0x21u;
      return l < 94 && t < 94 && pairs[l * 94 + t];
    }
  };
  struct Set {
    quint32 key = 0;  // as KnownEscapes keys it; 0 for ASCII before any designation
    Table tables[2];  // just after the designation, and after a line end
  };

  JisCounts() {
    std::vector<std::pair<quint32, KnownEscapes::Kind>> sets{{0, KnownEscapes::Kind::Single}};
    KnownEscapes::get().each([&sets](quint32 key, KnownEscapes::Kind kind) {
      if (kind == KnownEscapes::Kind::Single || kind == KnownEscapes::Kind::Double)
        sets.emplace_back(key, kind);
    });
    for (const auto& [key, kind] : sets) {
      Set set;
      set.key = key;
      TextBlock block;
      block.escape_size = quint8(key & 0xFF) + (key ? 1 : 0);
      block.escape[0] = 0x1B;
      for (int k = 1; k < block.escape_size; ++k)
        block.escape[size_t(k)] = char(key >> (8 * (block.escape_size - k)));
      for (const bool reset : {false, true}) {
        block.reset_since_escape = reset;
        Table& table = set.tables[reset];
        table.double_byte = kind == KnownEscapes::Kind::Double && !reset;
        probe(block_prefix(TextEncoding::Iso2022Jp, block), table);
      }
      sets_.push_back(std::move(set));
    }
  }

  // What decodes, after the prefix, at once to one character without an error.
  static void probe(const QByteArray& prefix, Table& table) {
    auto primed = [&prefix] {
      auto decoder = std::make_unique<QStringDecoder>("ISO-2022-JP");
      const QString skipped = decoder->decode(prefix);  // (decodes only when taken as a string)
      return decoder;
    };
    auto one = [](const QString& out, const QStringDecoder& decoder) {
      return out.size() == 1 && !decoder.hasError() && !out[0].isSurrogate() &&
             out[0] != QChar::ReplacementCharacter && out[0] != QChar(0x1A);
    };
    if (!primed()->isValid()) return;
    if (!table.double_byte) {
      for (int b = 0; b < 0x80; ++b) {
        if (b == 0x1B || b == '\n' || b == '\r') continue;
        const auto decoder = primed();
        table.single[size_t(b)] = one(decoder->decode(QByteArray(1, char(b))), *decoder);
      }
      return;
    }
    // A pair at a time through one decoder, a fresh one after an error.
    table.pairs.assign(94 * 94, false);
    for (int l = 0; l < 94; ++l) {
      auto decoder = primed();
      for (int t = 0; t < 94; ++t) {
        if (decoder->hasError()) decoder = primed();
        const char pair[2] = {char(0x21 + l), char(0x21 + t)};
        table.pairs[size_t(l * 94 + t)] = one(decoder->decode(QByteArrayView(pair, 2)), *decoder);
      }
    }
  }

  const Set* find(quint32 key) const {
    for (const Set& set : sets_) {
      if (set.key == key) return &set;
    }
    return nullptr;
  }

  std::vector<Set> sets_;
};

}  // namespace

// The offset after the first line end that starts in p[from, to), −1 if none. A CR whose LF
// stands just past `to` is taken with it (p[0, n) holds the bytes); in ISO-2022-JP also when
// designations stand between the two, which decode to nothing, so that the two are one line end
// there as in the whole text.
qsizetype line_end_after(const uchar* p, qsizetype from, qsizetype to, qsizetype n,
                         TextEncoding encoding) {
  if (is_utf16(encoding)) {
    const bool be = is_big_endian(encoding);
    for (qsizetype i = from; i + 1 < to; i += 2) {
      const char16_t u = utf16_unit(p + i, be);
      if (u == u'\n') return i + 2;
      if (u == u'\r') return i + 3 < n && utf16_unit(p + i + 2, be) == u'\n' ? i + 4 : i + 2;
    }
    return -1;
  }
  const auto* lf = static_cast<const uchar*>(std::memchr(p + from, '\n', size_t(to - from)));
  const qsizetype lf_at = lf ? lf - p : to;
  if (const auto* cr =
          static_cast<const uchar*>(std::memchr(p + from, '\r', size_t(lf_at - from)))) {
    qsizetype next = cr - p + 1;
    while (encoding == TextEncoding::Iso2022Jp && next < n && p[next] == 0x1B) {
      KnownEscapes::Kind kind = KnownEscapes::Kind::None;
      const qsizetype size = KnownEscapes::get().length_at(p, next, n, &kind);
      if (kind != KnownEscapes::Kind::Single && kind != KnownEscapes::Kind::Double) break;
      next += size;
    }
    return next < n && p[next] == '\n' ? next + 1 : cr - p + 1;
  }
  return lf ? lf_at + 1 : -1;
}

qsizetype next_block_end(const uchar* p, qsizetype n, bool at_end, TextEncoding encoding,
                         bool double_byte, const TextBlockSizes& sizes) {
  if (n == 0) return 0;
  const qsizetype limit = std::min(n, sizes.block);
  qsizetype last = 0;  // after the last whole line taken
  for (;;) {
    const qsizetype line_start = last;
    const qsizetype piece_limit = line_start + sizes.piece;
    const qsizetype e = line_end_after(p, line_start, std::min(piece_limit, limit), n, encoding);
    if (e >= 0) {
      last = e;
      if (last >= limit) return last;
      continue;
    }
    // The rest of the text, no longer than a piece, ends the text: one block.
    if (at_end && n <= sizes.block && n <= piece_limit) return n;
    if (last > 0) return last;
    // The first line is longer than a piece: a piece of it.
    const qsizetype end = piece_end(p, n, encoding, double_byte, sizes.piece);
    return end > 0 || !at_end ? end : n;
  }
}

QString decode_text_block(const QByteArray& bytes, TextEncoding encoding, const TextBlock& block) {
  if (block.byte == 0) return with_line_feeds(decode_text_as(bytes, encoding));
  const QByteArray prefix = block_prefix(encoding, block);
  const qsizetype skip = decode_text_as(prefix, encoding).size();
  QString text = decode_text_as(prefix + bytes, encoding);
  text.remove(0, skip);
  return with_line_feeds(std::move(text));
}

std::optional<BlockCount> count_text_block(const QByteArray& bytes, TextEncoding encoding,
                                           const TextBlock& block) {
  if (block.byte == 0) return std::nullopt;
  const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
  const qsizetype n = bytes.size();
  qint64 chars = 0;
  LineEndBytes ends;
  switch (encoding) {
    case TextEncoding::Iso2022Jp: {
      JisCounts::State state{block.escape, block.escape_size, block.reset_since_escape};
      return JisCounts::get().count(p, n, state);
    }
    case TextEncoding::Utf16LeBom:
    case TextEncoding::Utf16BeBom:
    case TextEncoding::Utf16Le:
    case TextEncoding::Utf16Be: {
      if (n % 2 != 0) return std::nullopt;
      const bool be = is_big_endian(encoding);
      char16_t before = 0;
      for (qsizetype i = 0; i < n; i += 2) {
        const char16_t u = utf16_unit(p + i, be);
        ends.lf += u == u'\n';
        ends.cr += u == u'\r';
        ends.crlf += u == u'\n' && before == u'\r';
        before = u;
      }
      chars = n / 2;
      break;
    }
    case TextEncoding::Utf8:
    case TextEncoding::Utf8Bom: {
      if (!QByteArrayView(bytes).isValidUtf8()) return std::nullopt;
      // Continuation bytes (10xxxxxx) add no character; a four-byte sequence's lead (11110xxx)
      // adds a surrogate pair. Eight bytes at a time: bit 7 of (w << k) is bit 7 − k of a byte.
      qint64 continuation = 0, four = 0;
      qsizetype i = 0;
      for (; i + 8 <= n; i += 8) {
        const quint64 w = word_at(p + i);
        continuation += high_bits(w & ~(w << 1) & kHighBits);
        four += high_bits(w & (w << 1) & (w << 2) & (w << 3) & kHighBits);
      }
      for (; i < n; ++i) {
        continuation += (p[i] & 0xC0) == 0x80;
        four += p[i] >= 0xF0;
      }
      chars = n - continuation + four;
      ends = count_line_end_bytes(p, n);
      break;
    }
    case TextEncoding::Cp932:
    case TextEncoding::EucJp: {
      const ByteGroups& groups = ByteGroups::of(encoding);
      qsizetype i = 0;
      while (i < n) {
        // Runs of ASCII, eight bytes at a time.
        if (i + 8 <= n) {
          quint64 word;
          std::memcpy(&word, p + i, 8);
          if ((word & 0x8080808080808080ULL) == 0) {
            chars += 8;
            i += 8;
            continue;
          }
        }
        const qsizetype step = groups.step(p, i, n);
        // A byte that does not decode to one character alone, or a lead byte at the end, is left
        // to the decoder.
        if (step == 1 && (!groups.single(p[i]) || (i + 1 == n && groups.may_lead(p[i])))) {
          return std::nullopt;
        }
        ++chars;
        i += step;
      }
      ends = count_line_end_bytes(p, n);
      break;
    }
  }
  return BlockCount{chars - ends.crlf, ends.lf + ends.cr - ends.crlf,
                    ends_with_line_end(p, n, encoding)};
}

// ---- The indexed text ------------------------------------------------------------------------

namespace {

std::atomic<TextReadFunction> text_read_function{nullptr};

ssize_t read_at(int fd, void* buffer, size_t count, off_t offset) {
  const TextReadFunction read = text_read_function.load();
  return read ? read(fd, buffer, count, offset) : ::pread(fd, buffer, count, offset);
}

quint64 fingerprint_of(const char* p, qint64 n) {
  return XXH3_64bits(p, size_t(n));
}

bool fingerprint_matches(const TextBlock& b, const QByteArray& bytes) {
  return b.bytes == 0 ||
         (bytes.size() >= b.bytes && fingerprint_of(bytes.constData(), b.bytes) == b.fingerprint);
}

}  // namespace

void set_text_read_function(TextReadFunction read) {
  text_read_function.store(read);
}

struct IndexedText::Decoded {
  QString text;
  std::vector<int> starts;  // where each view line that starts in the block begins
  bool stale = false;       // the file was found changed or unreadable: no text given
};

struct IndexedText::Run {
  std::atomic<bool> stop{false};  // no longer the text's current reading
  bool running = false;           // someone runs it; guarded by the text's mutex_
  // Where the scan stands: the position and view line of the next block, and for ISO-2022-JP
  // the designation in force there.
  qint64 pos = 0, line = 0;
  std::array<char, 4> escape{};
  quint8 escape_size = 0;
  bool reset = false;
  TextEncoding encoding = TextEncoding::Utf8;
  bool count_without_decoding = false;  // the worker's way; the opener decodes
  // The decision on the encoding, fed the file's bytes in order until it is final.
  std::unique_ptr<TextEncodingDetector> decision;
  // Where the reading stands in the file, kept from one runner to the next: whether the first
  // bytes are indexed (a reading anew reads them too), the file offset of buf[0], the bytes read
  // into buf and not yet indexed, how far the decision has been fed, and the end of the file.
  bool head_indexed = true;
  qint64 at = 0;
  qint64 fed = 0;
  std::vector<uchar> buf;
  qsizetype have = 0;
  bool at_end = false;
};

struct IndexedText::Watchers {
  std::mutex mutex;  // held while one is told, so that one that goes is told no more
  std::vector<std::pair<quint64, std::function<void()>>> wakes;
  quint64 next = 0;
};

IndexedText::IndexedText() : watchers_(std::make_shared<Watchers>()) {}

IndexedText::~IndexedText() = default;

std::shared_ptr<IndexedText> IndexedText::open(std::unique_ptr<QFile> file, const QByteArray& head,
                                               const TextBlockSizes& sizes,
                                               std::optional<TextEncoding> encoding) {
  std::shared_ptr<IndexedText> t(new IndexedText);
  t->sizes_ = sizes;
  t->fd_ = file->handle();
  t->file_ = std::move(file);
  t->given_encoding_ = encoding;
  // The stamp stands for the bytes indexed only if they were read after it was taken: the
  // opener's first bytes are checked against the file's now, and a file changed between the two
  // reads is read anew at once.
  t->stamp_ = t->stamp();
  t->size_ = std::max<qint64>(t->stamp_.size, 0);
  if (t->read_bytes(0, sizes.open_bytes()) != head) {
    t->read_anew();
    return t;
  }
  auto run = std::make_shared<Run>();
  t->run_ = run;
  qsizetype used = 0;
  if (!t->index_head(*run, head, used)) {
    // The rest waits for whoever shows the text to run the reading.
    run->at = used;
    run->fed = head.size();
  }
  return t;
}

bool IndexedText::index_head(Run& run, const QByteArray& head, qsizetype& used) {
  if (given_encoding_) {
    run.encoding = *given_encoding_;
  } else {
    // The first screen is shown in the decision on the first bytes; the worker goes on feeding
    // the decision the rest of the file.
    run.decision = std::make_unique<TextEncodingDetector>();
    run.decision->feed(QByteArrayView(head));
    run.encoding = run.decision->decision();
  }
  const bool at_end = head.size() < sizes_.open_bytes();
  run.count_without_decoding = false;
  std::vector<TextBlock> first;
  used = index_blocks(run, reinterpret_cast<const uchar*>(head.constData()), head.size(), 0, at_end,
                      first);
  if (!publish(run, first)) return true;
  if (!at_end) return false;
  run.decision.reset();
  finish_index(run);
  return true;
}

void IndexedText::read(const JobControl& control) const {
  take_reading(control.stop_flag(), [] { return false; });
}

bool IndexedText::take_reading(const std::atomic<bool>& stop,
                               const std::function<bool()>& enough) const {
  auto* const self = const_cast<IndexedText*>(this);
  bool took = false;
  for (;;) {
    std::shared_ptr<Run> run;
    {
      const std::lock_guard lock(mutex_);
      // A reading anew that began meanwhile is taken on too, unless someone else took it.
      if (!run_ || run_->running || complete_.load() || stop.load() || enough()) return took;
      run = run_;
      run->running = true;
    }
    took = true;
    try {
      self->run_reading(*run, stop, enough);
    } catch (...) {
      // A reading that fails (out of memory) ends the index with what it has, as the end of the
      // file would: nothing of it reaches the window.
      try {
        self->finish_index(*run);
      } catch (...) {
        {
          const std::lock_guard lock(mutex_);
          if (run_.get() == run.get()) self->complete_ = true;
        }
        grown_.notify_all();
        wake();
      }
    }
    bool done = false;
    {
      const std::lock_guard lock(mutex_);
      run->running = false;
      done = stop.load() || enough();
    }
    // A reading left unfinished waits for the next one to run it.
    grown_.notify_all();
    if (done) {
      wake();
      return took;
    }
  }
}

bool IndexedText::needs_reader() const {
  const std::lock_guard lock(mutex_);
  return run_ && !run_->running && !complete_.load();
}

void IndexedText::end_reading() const {
  std::shared_ptr<Run> run;
  {
    const std::lock_guard lock(mutex_);
    if (!run_ || run_->running || complete_.load()) return;
    run = run_;
    run->running = true;
  }
  const_cast<IndexedText*>(this)->finish_index(*run);
  const std::lock_guard lock(mutex_);
  run->running = false;
}

std::shared_ptr<void> IndexedText::watch(std::function<void()> wake) const {
  const std::shared_ptr<Watchers> watchers = watchers_;
  quint64 id = 0;
  {
    const std::lock_guard lock(watchers->mutex);
    id = watchers->next++;
    watchers->wakes.emplace_back(id, std::move(wake));
  }
  // The handle keeps the list, not the text: it may outlive the text, and the text it.
  return std::shared_ptr<void>(nullptr, [watchers, id](void*) {
    const std::lock_guard lock(watchers->mutex);
    std::erase_if(watchers->wakes, [id](const auto& w) { return w.first == id; });
  });
}

void IndexedText::wake() const {
  const std::lock_guard lock(watchers_->mutex);
  for (const auto& [id, wake] : watchers_->wakes) wake();
}

bool IndexedText::forget_index(Run& run, TextEncoding encoding) {
  {
    const std::lock_guard lock(mutex_);
    if (run_.get() != &run) return false;
    blocks_.clear();
    encoding_ = encoding;
    run.encoding = encoding;
    run.pos = run.line = 0;
    run.escape = {};
    run.escape_size = 0;
    run.reset = false;
    lines_total_ = 0;
    complete_ = false;
    ++generation_;
  }
  {
    const std::lock_guard lock(cache_mutex_);
    cache_.clear();
  }
  wake();
  return true;
}

IndexedText::Stamp IndexedText::stamp() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return {};
  return {qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

bool IndexedText::changed_since_indexed() const {
  if (fd_ < 0) return false;
  const std::lock_guard lock(restart_mutex_);
  const Stamp now = stamp();
  if (now == stamp_) return false;
  // Lines added at the end of a file (a log being written) leave what was indexed as it was: the
  // text stays as indexed, or takes them in while it is still being read. A change anywhere
  // before its end that moves bytes (a line inserted or removed) alters the last indexed block;
  // one that does not (a line overwritten) is found by the fingerprint of its block when that is
  // read. So is a file seen while it is being written, of a new time and not yet of its new size.
  std::optional<TextBlock> last;
  {
    const std::lock_guard index_lock(mutex_);
    if (!blocks_.empty()) last = blocks_.back();
  }
  if (!last || fingerprint_matches(*last, read_bytes(last->byte, last->bytes))) {
    stamp_ = now;
    // What was read of the file before is read, and so checked, again before it is given again.
    {
      const std::lock_guard cache_lock(cache_mutex_);
      cache_.clear();
    }
    ++const_cast<IndexedText*>(this)->touched_;
    return false;
  }
  // Whoever finds the change first reads the text anew; the object is shared by its readers, and
  // reading it anew is guarded like every change of its index.
  const_cast<IndexedText*>(this)->read_anew();
  return true;
}

void IndexedText::read_anew_since(int generation) const {
  const std::lock_guard lock(restart_mutex_);
  if (generation_.load() == generation) const_cast<IndexedText*>(this)->read_anew();
}

bool IndexedText::matches_index(const TextBlock& b, const QByteArray& bytes, int generation) const {
  if (fingerprint_matches(b, bytes)) return true;
  read_anew_since(generation);
  return false;
}

void IndexedText::read_anew() {
  auto run = std::make_shared<Run>();
  run->head_indexed = false;
  {
    const std::lock_guard lock(mutex_);
    // The reading before goes on no further and adds nothing to the index.
    if (run_) run_->stop = true;
    run_ = run;
    blocks_.clear();
    lines_total_ = 0;
    complete_ = false;
    ++generation_;
  }
  {
    const std::lock_guard lock(cache_mutex_);
    cache_.clear();
  }
  // Taken before reading, so that a change made while it is read is found again.
  stamp_ = stamp();
  size_ = std::max<qint64>(stamp_.size, 0);
  // Whoever runs the reading reads the first bytes too: the caller does not wait for the file.
  grown_.notify_all();
  wake();
}

std::shared_ptr<IndexedText> IndexedText::from_string(const QString& text) {
  std::shared_ptr<IndexedText> t(new IndexedText);
  t->memory_ = with_line_feeds(text);
  t->size_ = t->memory_.size();
  // The string's own units are UTF-16 in the machine's byte order: the blocks are cut as in such
  // a file.
  const TextEncoding units =
      QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TextEncoding::Utf16Le : TextEncoding::Utf16Be;
  const auto* p = reinterpret_cast<const uchar*>(t->memory_.constData());
  const qsizetype n = t->memory_.size() * 2;
  std::vector<TextBlock> blocks;
  qint64 pos = 0, line = 0;
  for (qsizetype at = 0; at < n;) {
    const qsizetype len = next_block_end(p + at, n - at, true, units, false, t->sizes_);
    TextBlock b;
    b.byte = at / 2;
    b.bytes = b.length = len / 2;
    b.pos = pos;
    b.line = line;
    const QStringView chars(t->memory_.constData() + b.byte, b.length);
    b.ends_line = chars.endsWith(u'\n');
    b.lines = chars.count(u'\n') + (b.ends_line ? 0 : 1);
    pos += b.length;
    line += b.lines;
    blocks.push_back(b);
    at += len;
  }
  auto run = std::make_shared<Run>();
  run->encoding = units;
  t->run_ = run;
  t->publish(*run, blocks);
  t->finish_index(*run);
  return t;
}

qsizetype IndexedText::index_blocks(Run& run, const uchar* buf, qsizetype n, qint64 at, bool at_end,
                                    std::vector<TextBlock>& out, bool force) {
  qsizetype used = 0;
  while (used < n && (at_end || n - used > sizes_.block + 4) && !run.stop.load()) {
    const bool iso = run.encoding == TextEncoding::Iso2022Jp;
    JisReader reader;
    if (iso) {
      reader.escape = run.escape;
      reader.escape_size = run.escape_size;
      reader.reset = run.reset;
      reader.double_byte =
          !run.reset && KnownEscapes::get().kind_of(run.escape.data(), run.escape_size) ==
                            KnownEscapes::Kind::Double;
    }
    const uchar* p = buf + used;
    qsizetype len = next_block_end(p, n - used, at_end, run.encoding, reader.double_byte, sizes_);
    if (len == 0) {
      // No place to end a block in the bytes at hand: read more, or cut where they end.
      if (!force || used > 0) break;
      len = n;
    }
    TextBlock b;
    b.byte = at + used;
    b.bytes = len;
    b.pos = run.pos;
    b.line = run.line;
    b.escape = run.escape;
    b.escape_size = run.escape_size;
    b.reset_since_escape = run.reset;
    b.fingerprint = fingerprint_of(reinterpret_cast<const char*>(p), len);
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(p), len);
    qint64 line_ends = 0;
    std::optional<BlockCount> count;
    // Counting ISO-2022-JP reads the designations too: the state after the block comes with it.
    JisCounts::State after{run.escape, run.escape_size, run.reset};
    if (run.count_without_decoding) {
      count =
          iso ? JisCounts::get().count(p, len, after) : count_text_block(bytes, run.encoding, b);
    }
    if (count) {
      b.length = count->length;
      line_ends = count->line_ends;
      b.ends_line = count->ends_line;
    } else {
      const QString text = decode_text_block(bytes, run.encoding, b);
      b.length = text.size();
      line_ends = text.count(u'\n');
      b.ends_line = text.endsWith(u'\n');
    }
    // A block that decodes to nothing (marks, bytes held back) starts no line of its own.
    b.lines = line_ends + (b.ends_line || b.length == 0 ? 0 : 1);
    run.pos += b.length;
    run.line += b.lines;
    if (iso && count) {
      run.escape = after.escape;
      run.escape_size = after.escape_size;
      run.reset = after.reset;
    } else if (iso) {
      for (qsizetype i = 0; i < len;) i += reader.step(p, i, len);
      run.escape = reader.escape;
      run.escape_size = reader.escape_size;
      run.reset = reader.reset;
    }
    out.push_back(b);
    used += len;
    if (len == 0) break;
  }
  return used;
}

bool IndexedText::publish(Run& run, std::vector<TextBlock>& blocks) {
  {
    const std::lock_guard lock(mutex_);
    if (run_.get() != &run) return false;
    encoding_ = run.encoding;
    blocks_.insert(blocks_.end(), blocks.begin(), blocks.end());
  }
  blocks.clear();
  grown_.notify_all();
  wake();
  return true;
}

bool IndexedText::finish_index(Run& run) {
  {
    const std::lock_guard lock(mutex_);
    if (run_.get() != &run) return false;
    if (blocks_.empty()) {
      TextBlock empty;
      empty.lines = 1;
      blocks_.push_back(empty);
    } else {
      // The empty line after a last line end, or the one line of a text of no characters.
      const auto last_text = std::find_if(blocks_.rbegin(), blocks_.rend(),
                                          [](const TextBlock& b) { return b.length > 0; });
      if (last_text == blocks_.rend() || last_text->ends_line) ++blocks_.back().lines;
    }
    lines_total_ = blocks_.back().line + blocks_.back().lines;
    complete_ = true;
  }
  // What it kept of the file is no longer needed.
  run.buf = {};
  run.decision.reset();
  grown_.notify_all();
  wake();
  return true;
}

QByteArray IndexedText::read_bytes(qint64 at, qint64 count) const {
  QByteArray out;
  if (fd_ < 0 || count <= 0) return out;
  out.resize(count);
  qint64 got = 0;
  while (got < count) {
    const ssize_t r = read_at(fd_, out.data() + got, size_t(count - got), off_t(at + got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += r;
  }
  out.truncate(got);
  return out;
}

void IndexedText::run_reading(Run& run, const std::atomic<bool>& stop,
                              const std::function<bool()>& enough) {
  auto stopped = [&run, &stop] { return run.stop.load() || stop.load(); };
  auto satisfied = [this, &enough] {
    const std::lock_guard lock(mutex_);
    return enough();
  };
  if (!run.head_indexed) {
    // A reading anew reads the first bytes too.
    const QByteArray head = read_bytes(0, sizes_.open_bytes());
    if (stopped()) return;
    qsizetype used = 0;
    run.head_indexed = true;
    if (index_head(run, head, used)) return;
    run.at = used;
    run.fed = head.size();
  }
  // Past the first few megabytes the reading counts the blocks it can without decoding them: the
  // tables that tell how the decoder groups bytes are made at their first use, off the window's
  // thread, and only for a text long enough to be worth it.
  const qint64 decoded_first = 64 * sizes_.block;
  ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  constexpr qsizetype kChunk = 1024 * 1024;
  // One read takes no more than this, so that a reading told to stop on slow media stops soon.
  constexpr size_t kRead = 256 * 1024;
  std::vector<uchar>& buf = run.buf;
  buf.resize(size_t(std::max(kChunk, 4 * sizes_.block) + sizes_.block + 8));
  std::vector<TextBlock> found;
  // Once the decision on the encoding is final, the text already indexed in another encoding is
  // read anew in it.
  auto settle = [&] {
    const TextEncoding final_decision = run.decision->decision();
    run.decision.reset();
    if (final_decision == run.encoding) return true;
    if (!forget_index(run, final_decision)) return false;
    run.at = 0;
    run.have = 0;
    run.at_end = false;
    return true;
  };
  while (!stopped() && !satisfied()) {
    while (!run.at_end && run.have < qsizetype(buf.size()) && !stopped()) {
      const size_t want = std::min(buf.size() - size_t(run.have), kRead);
      const ssize_t r = read_at(fd_, buf.data() + run.have, want, off_t(run.at + run.have));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) {
        run.at_end = true;  // the end of the file, or a file that can no longer be read
        break;
      }
      const qint64 start = run.at + run.have;
      if (run.decision && start + r > run.fed) {
        const qint64 skip = std::max<qint64>(0, run.fed - start);
        run.decision->feed(QByteArrayView(buf.data() + run.have + skip, r - skip));
        run.fed = start + r;
      }
      run.have += r;
    }
    if (stopped()) return;
    // A file changed in what was indexed before these bytes were read is read anew: they are
    // not indexed after the blocks of another version of the file.
    if (changed_since_indexed()) return;
    if (run.decision && run.decision->settled()) {
      if (!settle()) return;
      if (run.have == 0) continue;
    }
    run.count_without_decoding = run.at >= decoded_first;
    qsizetype used = index_blocks(run, buf.data(), run.have, run.at, run.at_end, found);
    if (used == 0 && run.have == qsizetype(buf.size())) {
      used = index_blocks(run, buf.data(), run.have, run.at, run.at_end, found, true);
    }
    if (!publish(run, found)) return;
    std::memmove(buf.data(), buf.data() + used, size_t(run.have - used));
    run.at += used;
    run.have -= used;
    if (!run.at_end || run.have > 0) continue;
    if (run.decision) {
      if (!settle()) return;
      if (!run.at_end) continue;
    }
    finish_index(run);
    return;
  }
}

bool IndexedText::wait_until(const std::function<bool()>& enough,
                             const std::atomic<bool>* stop) const {
  static const std::atomic<bool> never{false};
  const std::atomic<bool>& stop_flag = stop ? *stop : never;
  for (;;) {
    // Whoever waits runs the reading when no one else does.
    take_reading(stop_flag, enough);
    std::unique_lock lock(mutex_);
    if (complete_.load() || enough()) return !stop_flag.load();
    if (stop_flag.load()) return false;
    if (!run_ || !run_->running) continue;
    grown_.wait_for(lock, std::chrono::milliseconds(20));
  }
}

void IndexedText::wait_until_complete() const {
  wait_until([] { return false; }, nullptr);
}

bool IndexedText::wait_for_block(int i, const std::atomic<bool>* stop) const {
  // (The condition is asked with mutex_ held.)
  return wait_until([this, i] { return qsizetype(blocks_.size()) > i; }, stop);
}

qint64 IndexedText::length() const {
  const std::lock_guard lock(mutex_);
  return blocks_.empty() ? 0 : blocks_.back().pos + blocks_.back().length;
}

qint64 IndexedText::line_count() const {
  const std::lock_guard lock(mutex_);
  if (complete_.load()) return lines_total_;
  return blocks_.empty() ? 0 : blocks_.back().line + blocks_.back().lines;
}

TextEncoding IndexedText::encoding() const {
  const std::lock_guard lock(mutex_);
  return encoding_;
}

int IndexedText::block_count() const {
  const std::lock_guard lock(mutex_);
  return int(blocks_.size());
}

TextBlock IndexedText::block(int i) const {
  const std::lock_guard lock(mutex_);
  return i >= 0 && i < qsizetype(blocks_.size()) ? blocks_[size_t(i)] : TextBlock{};
}

int IndexedText::block_at(qint64 pos) const {
  const std::lock_guard lock(mutex_);
  if (blocks_.empty() || pos < 0) return -1;
  const auto it = std::upper_bound(blocks_.begin(), blocks_.end(), pos,
                                   [](qint64 p, const TextBlock& b) { return p < b.pos; });
  return int(it - blocks_.begin()) - 1;
}

int IndexedText::block_of_line(qint64 line) const {
  const std::lock_guard lock(mutex_);
  if (blocks_.empty() || line < 0) return -1;
  const TextBlock& last = blocks_.back();
  if (line >= last.line + last.lines) return -1;
  const auto it = std::upper_bound(blocks_.begin(), blocks_.end(), line,
                                   [](qint64 l, const TextBlock& b) { return l < b.line; });
  return int(it - blocks_.begin()) - 1;
}

std::shared_ptr<const IndexedText::Decoded> IndexedText::decoded(int i) const {
  const int generation = generation_.load();
  {
    const std::lock_guard lock(cache_mutex_);
    for (auto it = cache_.begin(); it != cache_.end(); ++it) {
      if (it->first != i) continue;
      auto hit = *it;
      cache_.erase(it);
      cache_.push_back(hit);
      return hit.second;
    }
  }
  const TextBlock b = block(i);
  auto d = std::make_shared<Decoded>();
  if (b.bytes > 0) {
    if (fd_ < 0) {
      d->text = memory_.mid(b.byte, b.bytes);
    } else {
      const QByteArray bytes = read_bytes(b.byte, b.bytes);
      // Bytes read from a file no longer as indexed are not the block's: they give no text.
      const bool changed = changed_since_indexed();
      d->stale = changed || generation != generation_.load() ||
                 !matches_index(b, bytes, generation) || bytes.size() != b.bytes;
      if (!d->stale) d->text = decode_text_block(bytes, encoding(), b);
    }
  }
  d->starts.push_back(0);
  for (qsizetype k = d->text.indexOf(u'\n'); k >= 0 && qint64(d->starts.size()) < b.lines;
       k = d->text.indexOf(u'\n', k + 1)) {
    d->starts.push_back(int(k + 1));
  }
  const std::lock_guard lock(cache_mutex_);
  if (!d->stale && generation == generation_.load()) {
    constexpr size_t kKept = 48;
    if (cache_.size() >= kKept) cache_.erase(cache_.begin());
    cache_.emplace_back(i, d);
  }
  return d;
}

QString IndexedText::block_text(int i) const {
  if (i < 0 || i >= block_count()) return QString();
  return decoded(i)->text;
}

QByteArray IndexedText::block_bytes(int i, qint64 more) const {
  const int generation = generation_.load();
  const TextBlock b = block(i);
  if (fd_ < 0 || b.bytes == 0 || changed_since_indexed()) return QByteArray();
  QByteArray bytes = read_bytes(b.byte, b.bytes + more);
  if (generation != generation_.load() || !matches_index(b, bytes, generation)) return QByteArray();
  return bytes;
}

IndexedText::Line IndexedText::line(qint64 line) const {
  int i = block_of_line(line);
  if (i < 0) return {length(), QString()};
  TextBlock b = block(i);
  std::shared_ptr<const Decoded> d = decoded(i);
  if (d->stale) {
    // The file was found changed: the line is the new text's, as far as it is read yet.
    i = block_of_line(line);
    if (i < 0) return {length(), QString()};
    b = block(i);
    d = decoded(i);
  }
  const qint64 k = line - b.line;
  if (k >= qint64(d->starts.size())) return {b.pos + d->text.size(), QString()};
  const qsizetype s = d->starts[size_t(k)];
  qsizetype e = d->text.indexOf(u'\n', s);
  if (e < 0) e = d->text.size();
  return {b.pos + s, d->text.mid(s, e - s)};
}

qint64 IndexedText::line_at(qint64 pos) const {
  const int i = block_at(pos);
  if (i < 0) return 0;
  const TextBlock b = block(i);
  const std::shared_ptr<const Decoded> d = decoded(i);
  const auto it = std::upper_bound(d->starts.begin(), d->starts.end(), pos - b.pos);
  return b.line + std::max<qint64>(0, (it - d->starts.begin()) - 1);
}

QString IndexedText::text(qint64 from, qint64 to) const {
  const int generation = generation_.load();
  if (changed_since_indexed()) return QString();
  from = std::max<qint64>(from, 0);
  to = std::min(to, length());
  QString out;
  if (from >= to) return out;
  out.reserve(qsizetype(to - from));
  for (int i = block_at(from); i >= 0 && i < block_count(); ++i) {
    const TextBlock b = block(i);
    if (b.pos >= to) break;
    const std::shared_ptr<const Decoded> d = decoded(i);
    if (d->stale || generation != generation_.load()) return QString();
    const QString& text = d->text;
    const qint64 s = std::max<qint64>(from - b.pos, 0);
    const qint64 e = std::min<qint64>(to - b.pos, text.size());
    if (e > s) out += QStringView(text).sliced(qsizetype(s), qsizetype(e - s));
  }
  return out;
}

}  // namespace tarvex
