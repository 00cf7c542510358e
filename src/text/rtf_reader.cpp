#include "text/rtf_reader.h"

#include "platform/text_codecs.h"

#include <QHash>
#include <QStringDecoder>

#include <utility>
#include <vector>

namespace tarvex {

namespace {

// Deeper groups than this are still counted, so braces pair up, but share the state of the
// deepest kept level.
constexpr int kMaxKeptDepth = 2048;

// NestProps: the properties of a nested table row, where only the row's end matters.
enum class Destination { Text, FontTable, ColorTable, Skip, NestProps };

// Which of the associated fonts the following characters use (\loch, \hich, \dbch).
enum class CharKind { None, Low, High, Double };

struct State {
  RtfCharFormat format;
  Destination dest = Destination::Text;
  int code_page = 0;    // 0: the document's code page
  int uc = 1;           // characters to skip after \uN
  bool hidden = false;  // \v: hidden text is not shown
  CharKind kind = CharKind::None;
  // The associated fonts of the three kinds of characters (-1: none named).
  int low_font = -1;
  int high_font = -1;
  int double_font = -1;
};

// True when `b` starts a two-byte character in code page `cp`.
bool is_lead_byte(int cp, uchar b) {
  switch (cp) {
    case 932:
      return is_cp932_lead_byte(b);
    case 936:
    case 949:
    case 950:
      return b >= 0x81 && b <= 0xFE;
    default:
      return false;
  }
}

class Reader {
 public:
  explicit Reader(const QByteArray& in) : in_(in) {}

  RtfDocument run() {
    stack_.push_back(State{});
    while (pos_ < in_.size()) {
      const char c = in_[pos_];
      if (c == '{') {
        ++pos_;
        open_group();
      } else if (c == '}') {
        ++pos_;
        close_group();
      } else if (c == '\\') {
        ++pos_;
        control();
      } else if (c == '\r' || c == '\n') {
        ++pos_;
      } else {
        ++pos_;
        text_byte(static_cast<uchar>(c));
      }
    }
    flush();
    return std::move(doc_);
  }

 private:
  State& st() { return stack_.back(); }
  int font_cp(int font) const {
    if (font_cpgs_.contains(font)) return font_cpgs_.value(font);
    if (font_charsets_.contains(font)) {
      return code_page_for_charset(font_charsets_.value(font), document_cp_);
    }
    return 0;
  }

  int current_cp() {
    // Characters of a kind named by \loch, \hich or \dbch are in that kind's associated font.
    const State& s = st();
    int kind_font = -1;
    if (s.kind == CharKind::Double) kind_font = s.double_font;
    if (s.kind == CharKind::High) kind_font = s.high_font;
    if (s.kind == CharKind::Low) kind_font = s.low_font;
    if (kind_font >= 0) {
      if (const int cp = font_cp(kind_font)) return cp;
    }
    if (s.code_page != 0) return s.code_page;
    // Text before any font change is in the default font (\deff), else the document's code page.
    if (font_cpgs_.contains(default_font_)) return font_cpgs_.value(default_font_);
    if (font_charsets_.contains(default_font_)) {
      return code_page_for_charset(font_charsets_.value(default_font_), document_cp_);
    }
    return document_cp_;
  }

  void open_group() {
    settle();
    after_star_ = false;
    skip_chars_ = 0;
    if (static_cast<int>(stack_.size()) >= kMaxKeptDepth) {
      ++overflow_;
      return;
    }
    stack_.push_back(stack_.back());
  }

  void close_group() {
    settle();
    after_star_ = false;
    skip_chars_ = 0;
    if (overflow_ > 0) {
      --overflow_;
      return;
    }
    if (stack_.size() > 1) stack_.pop_back();
  }

  // Reads a control word or symbol after the backslash.
  void control() {
    if (pos_ >= in_.size()) return;
    const char c = in_[pos_];
    if (!is_letter(c)) {
      ++pos_;
      control_symbol(c);
      return;
    }
    const qsizetype start = pos_;
    while (pos_ < in_.size() && is_letter(in_[pos_]) && pos_ - start < 32) ++pos_;
    const QByteArray word = in_.mid(start, pos_ - start);
    bool has_param = false;
    long long param = 0;
    bool negative = false;
    if (pos_ < in_.size() && in_[pos_] == '-') {
      negative = true;
      ++pos_;
    }
    int digits = 0;
    while (pos_ < in_.size() && in_[pos_] >= '0' && in_[pos_] <= '9') {
      if (digits < 10) param = param * 10 + (in_[pos_] - '0');
      ++digits;
      ++pos_;
      has_param = true;
    }
    if (negative) param = -param;
    if (param > 2147483647LL) param = 2147483647LL;
    if (param < -2147483647LL) param = -2147483647LL;
    if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;  // the delimiting space belongs to the word
    const bool after_star = std::exchange(after_star_, false);
    control_word(word, has_param, static_cast<int>(param), after_star);
  }

  static bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

  static int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  void control_symbol(char c) {
    switch (c) {
      case '\'': {
        if (pos_ + 2 > in_.size()) {
          pos_ = in_.size();
          return;
        }
        const int hi = hex_value(in_[pos_]);
        const int lo = hex_value(in_[pos_ + 1]);
        pos_ += 2;
        if (hi < 0 || lo < 0) return;
        text_byte(static_cast<uchar>(hi * 16 + lo), true);
        return;
      }
      case '*':
        // An optional destination: skipped, except the nested-row properties of a table.
        star_dest_ = st().dest;
        after_star_ = true;
        st().dest = Destination::Skip;
        return;
      case '\\':
      case '{':
      case '}':
        text_byte(static_cast<uchar>(c), true);
        return;
      case '~':
        text_char(QChar(0x00A0));
        return;
      case '_':
        text_char(QChar(0x2011));
        return;
      case '\r':
      case '\n':
        text_char(u'\n');
        return;
      default:
        return;  // \- optional hyphen and unknown symbols show nothing
    }
  }

  void control_word(const QByteArray& w, bool has_param, int p, bool after_star) {
    State& s = st();
    if (after_star && w == "nesttableprops" && star_dest_ == Destination::Text) {
      s.dest = Destination::NestProps;
      return;
    }
    if (s.dest == Destination::NestProps) {
      if (w == "nestrow") row_end();
      return;
    }
    // Destinations whose text never shows.
    static const QList<QByteArray> kSkipped = {"stylesheet",   "info",
                                               "pict",         "object",
                                               "header",       "footer",
                                               "headerl",      "headerr",
                                               "headerf",      "footerl",
                                               "footerr",      "footerf",
                                               "listtable",    "listoverridetable",
                                               "revtbl",       "rsidtbl",
                                               "generator",    "xmlnstbl",
                                               "themedata",    "colorschememapping",
                                               "latentstyles", "datastore",
                                               "fldinst",      "filetbl",
                                               "private",      "nonshppict",
                                               "bkmkstart",    "bkmkend",
                                               "nonesttables"};
    if (w == "fonttbl") {
      flush();
      s.dest = Destination::FontTable;
      return;
    }
    if (w == "colortbl") {
      flush();
      s.dest = Destination::ColorTable;
      color_started_ = false;
      return;
    }
    if (kSkipped.contains(w)) {
      flush();
      s.dest = Destination::Skip;
      return;
    }
    if (w == "bin") {
      // Binary data follows: skip it whole.
      const qsizetype n = has_param && p > 0 ? p : 0;
      pos_ = std::min(in_.size(), pos_ + n);
      return;
    }
    if (s.dest == Destination::FontTable) {
      if (w == "f" && has_param) font_being_defined_ = p;
      if (w == "fcharset" && has_param && font_being_defined_ >= 0) {
        font_charsets_[font_being_defined_] = p;
      }
      if (w == "cpg" && has_param && font_being_defined_ >= 0) font_cpgs_[font_being_defined_] = p;
      return;
    }
    if (s.dest == Destination::ColorTable) {
      const int v = std::clamp(p, 0, 255);
      if (w == "red") pending_color_.setRed(v), color_started_ = true;
      if (w == "green") pending_color_.setGreen(v), color_started_ = true;
      if (w == "blue") pending_color_.setBlue(v), color_started_ = true;
      return;
    }
    if (s.dest == Destination::Skip) return;

    if (w == "deff" && has_param) {
      default_font_ = p;
    } else if (w == "ansicpg" && has_param) {
      flush();
      if (p > 0 && p < 70000) document_cp_ = p;
    } else if (w == "f" && has_param) {
      settle();
      s.code_page = font_cp(p);
      set_kind_font(s, p);
    } else if (w == "af" && has_param) {
      settle();
      set_kind_font(s, p);
    } else if (w == "loch" || w == "hich" || w == "dbch") {
      settle();
      s.kind = w == "loch" ? CharKind::Low : w == "hich" ? CharKind::High : CharKind::Double;
    } else if (w == "cell" || w == "nestcell") {
      text_char(u'\t');
    } else if (w == "row" || w == "nestrow") {
      row_end();
    } else if (w == "v") {
      settle();
      s.hidden = !has_param || p != 0;
    } else if (w == "uc") {
      s.uc = has_param ? std::clamp(p, 0, 16) : 1;
    } else if (w == "u" && has_param) {
      flush();
      const int code = p < 0 ? p + 65536 : p;
      if (code >= 0 && code <= 0xFFFF) text_char(QChar(static_cast<char16_t>(code)), false);
      skip_chars_ = s.uc;
    } else if (w == "par" || w == "line" || w == "sect" || w == "page") {
      text_char(u'\n');
    } else if (w == "tab") {
      text_char(u'\t');
    } else if (w == "emdash") {
      text_char(QChar(0x2014));
    } else if (w == "endash") {
      text_char(QChar(0x2013));
    } else if (w == "lquote") {
      text_char(QChar(0x2018));
    } else if (w == "rquote") {
      text_char(QChar(0x2019));
    } else if (w == "ldblquote") {
      text_char(QChar(0x201C));
    } else if (w == "rdblquote") {
      text_char(QChar(0x201D));
    } else if (w == "bullet") {
      text_char(QChar(0x2022));
    } else if (w == "b") {
      set_format([&](RtfCharFormat& f) { f.bold = !has_param || p != 0; });
    } else if (w == "i") {
      set_format([&](RtfCharFormat& f) { f.italic = !has_param || p != 0; });
    } else if (w == "ul") {
      set_format([&](RtfCharFormat& f) { f.underline = !has_param || p != 0; });
    } else if (w == "ulnone") {
      set_format([&](RtfCharFormat& f) { f.underline = false; });
    } else if (w == "strike") {
      set_format([&](RtfCharFormat& f) { f.strike = !has_param || p != 0; });
    } else if (w == "fs" && has_param) {
      set_format([&](RtfCharFormat& f) { f.half_points = std::clamp(p, 2, 3276); });
    } else if (w == "cf" && has_param) {
      set_format([&](RtfCharFormat& f) { f.color = std::max(0, p); });
    } else if (w == "plain") {
      set_format([&](RtfCharFormat& f) { f = RtfCharFormat{}; });
      s.hidden = false;
    }
  }

  // \f and \af after \loch, \hich or \dbch name the font of that kind of characters.
  static void set_kind_font(State& s, int font) {
    if (s.kind == CharKind::Low) s.low_font = font;
    if (s.kind == CharKind::High) s.high_font = font;
    if (s.kind == CharKind::Double) s.double_font = font;
  }

  // The end of a table row: the row's cells were separated by tabs, so the tab after its last
  // cell becomes the line break.
  void row_end() {
    flush();
    if (!doc_.runs.isEmpty() && doc_.runs.back().text.endsWith(u'\t')) {
      doc_.runs.back().text.chop(1);
      if (doc_.runs.back().text.isEmpty()) doc_.runs.removeLast();
    }
    append(QStringLiteral("\n"));
  }

  template <typename F>
  void set_format(F change) {
    settle();
    change(st().format);
  }

  void text_byte(uchar b, bool escaped = false) {
    State& s = st();
    if (s.dest == Destination::ColorTable) {
      if (b == ';') {
        doc_.colors.append(color_started_ ? pending_color_ : QColor());
        pending_color_ = QColor(0, 0, 0);
        color_started_ = false;
      }
      return;
    }
    if (s.dest == Destination::FontTable) {
      if (b == ';') font_being_defined_ = -1;
      return;
    }
    if (s.dest != Destination::Text) return;
    if (skip_chars_ > 0) {
      --skip_chars_;
      return;
    }
    if (s.hidden) return;
    Q_UNUSED(escaped);
    const int cp = current_cp();
    if (!pending_.isEmpty() && pending_cp_ != cp) flush();
    pending_cp_ = cp;
    pending_.append(static_cast<char>(b));
  }

  void text_char(QChar c, bool counts_for_skip = true) {
    if (st().dest != Destination::Text) return;
    if (counts_for_skip && skip_chars_ > 0) {
      --skip_chars_;
      return;
    }
    if (st().hidden) return;
    flush();
    append(QString(c));
  }

  // Decodes the pending bytes except a lead byte still waiting for its trail byte, which a group
  // boundary or a format change may separate from it ("\'95}{\'5c").
  void settle() {
    if (pending_.isEmpty()) return;
    qsizetype i = 0;
    while (i < pending_.size()) {
      i += is_lead_byte(pending_cp_, static_cast<uchar>(pending_[i])) ? 2 : 1;
    }
    if (i == pending_.size()) {
      flush();
      return;
    }
    const char lead = pending_.back();
    pending_.chop(1);
    flush();
    pending_.append(lead);
  }

  void flush() {
    if (pending_.isEmpty()) return;
    const QString text = decode_code_page(pending_, pending_cp_);
    pending_.clear();
    append(text);
  }

  void append(const QString& text) {
    if (text.isEmpty()) return;
    const RtfCharFormat& f = st().format;
    if (!doc_.runs.isEmpty() && doc_.runs.back().format == f) {
      doc_.runs.back().text += text;
    } else {
      doc_.runs.append(RtfRun{text, f});
    }
  }

  const QByteArray& in_;
  qsizetype pos_ = 0;
  std::vector<State> stack_;
  int overflow_ = 0;
  bool after_star_ = false;
  Destination star_dest_ = Destination::Text;
  int document_cp_ = 1252;
  int skip_chars_ = 0;
  QByteArray pending_;
  int pending_cp_ = 1252;
  QHash<int, int> font_charsets_;
  QHash<int, int> font_cpgs_;
  int font_being_defined_ = -1;
  int default_font_ = 0;
  QColor pending_color_{0, 0, 0};
  bool color_started_ = false;
  RtfDocument doc_;
};

}  // namespace

QString RtfDocument::plain_text() const {
  QString text;
  for (const RtfRun& run : runs) text += run.text;
  return text;
}

bool looks_like_rtf(const QByteArray& bytes) {
  return bytes.startsWith("{\\rtf");
}

RtfDocument read_rtf(const QByteArray& bytes) {
  return Reader(bytes).run();
}

}  // namespace tarvex
