#include "sheets/number_format.h"

#include <QByteArray>
#include <QDate>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace tarvex {

namespace {

// --- Decimal digits ------------------------------------------------------------------------
// The spreadsheet program keeps 15 significant digits and rounds halves away from zero on the
// decimal digits it shows (2.675 in 0.00 is 2.68), so numbers are formatted from their decimal
// digits, never from binary arithmetic.

struct Decimal {
  std::string digits;  // without leading or trailing zeros; empty for zero
  int point = 0;       // how many of the digits stand before the decimal point (may be < 0)
  bool zero() const { return digits.empty(); }
};

void strip(Decimal& d) {
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  if (d.digits.empty()) d.point = 0;
}

// |v| to 15 significant digits.
Decimal to_decimal(double v) {
  Decimal d;
  v = std::fabs(v);
  if (v == 0 || !std::isfinite(v)) return d;
  // "d.dddddddddddddde±xx", the same under every locale.
  const QByteArray e = QByteArray::number(v, 'e', 14);
  d.digits.push_back(e[0]);
  d.digits.append(e.constData() + 2, 14);
  d.point = e.mid(17).toInt() + 1;
  strip(d);
  return d;
}

// Rounds to `decimals` digits after the point, halves away from zero.
void round_decimals(Decimal& d, int decimals) {
  const int keep = d.point + decimals;
  if (d.zero() || keep >= int(d.digits.size())) return;
  if (keep < 0) {
    d = Decimal();
    return;
  }
  const bool up = d.digits[size_t(keep)] >= '5';
  d.digits.resize(size_t(keep));
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.digits[size_t(i)] == '9') d.digits[size_t(i--)] = '0';
    if (i < 0) {
      d.digits.insert(d.digits.begin(), '1');
      ++d.point;
    } else {
      ++d.digits[size_t(i)];
    }
  }
  strip(d);
}

// The digits before the point ("" below 1).
std::string integer_digits(const Decimal& d) {
  if (d.point <= 0) return std::string();
  std::string out = d.digits.substr(0, size_t(std::min<int>(d.point, int(d.digits.size()))));
  out.append(size_t(std::max(0, d.point - int(d.digits.size()))), '0');
  return out;
}

// The i-th digit after the point.
char fraction_digit(const Decimal& d, int i) {
  const int at = d.point + i;
  return at >= 0 && at < int(d.digits.size()) ? d.digits[size_t(at)] : '0';
}

QString exponent_text(int exponent, int min_digits, bool plus) {
  QString digits = QString::number(std::abs(exponent));
  if (digits.size() < min_digits) digits.prepend(QString(min_digits - digits.size(), u'0'));
  return (exponent < 0 ? QStringLiteral("-") : plus ? QStringLiteral("+") : QString()) + digits;
}

// General for |v|: fixed notation within 11 characters (9 decimals below 1), else scientific
// with as many mantissa digits as 11 characters hold.
QString general_text(double v) {
  if (!std::isfinite(v)) return QStringLiteral("#NUM!");
  const Decimal d = to_decimal(v);
  if (d.zero()) return QStringLiteral("0");
  const int lead = d.point - 1;  // the power of ten of the first digit
  if (lead >= -4 && lead <= 10) {
    Decimal f = d;
    round_decimals(f, std::max(0, 9 - std::max(lead, 0)));
    if (f.point <= 11) {
      QString out = QString::fromLatin1(integer_digits(f).c_str());
      if (out.isEmpty()) out = QStringLiteral("0");
      if (int(f.digits.size()) > f.point) {
        out += u'.';
        for (int i = 0; f.point + i < int(f.digits.size()); ++i) out += QChar(fraction_digit(f, i));
      }
      return out;
    }
  }
  int exponent = lead;
  for (;;) {
    const QString e = QStringLiteral("E") + exponent_text(exponent, 2, true);
    Decimal m = d;
    m.point -= exponent;
    round_decimals(m, std::max(0, 11 - 2 - int(e.size())));
    if (m.point > 1) {  // 9.999999 became 10
      ++exponent;
      continue;
    }
    QString out = QChar(m.digits[0]);
    if (m.digits.size() > 1) out += u'.' + QString::fromLatin1(m.digits.c_str() + 1);
    return out + e;
  }
}

QString hashes() {
  return QString(8, u'#');
}

// --- Format codes --------------------------------------------------------------------------

enum class T {
  Literal,
  Digit,  // 0 # ?
  Point,
  Comma,
  Percent,
  Exponent,  // E+ E-
  Slash,
  Text,  // @
  General,
  Year,
  Month,
  Day,
  Hour,
  Minute,
  Second,
  SubSecond,  // .0 .00 .000 after seconds
  AmPm,
  EraName,     // g gg ggg
  EraYear,     // e ee
  WeekdayJa,   // aaa aaaa
  TotalHours,  // [h]
  TotalMinutes,
  TotalSeconds,
};

struct Token {
  T type;
  QString text;   // Literal, AmPm, Exponent
  int count = 1;  // run length of a date part
  QChar c;        // Digit
};

struct Section {
  std::vector<Token> tokens;
  bool has_condition = false;
  QString op;
  double operand = 0;
  bool date = false;
  bool text = false;      // holds "@"
  bool fraction = false;  // holds a fraction: numerator digits, a slash, a denominator
  // A Japanese locale tag ([$-411], [$-ja-JP]): month and weekday names and the half of the
  // day in Japanese (1月, 水曜日, 午後).
  bool japanese = false;
  bool gannen = false;  // [$-ja-JP-x-gannen]: the first year of an era is 元年
};

bool is_date_part(T t) {
  switch (t) {
    case T::Year:
    case T::Month:
    case T::Day:
    case T::Hour:
    case T::Minute:
    case T::Second:
    case T::SubSecond:
    case T::AmPm:
    case T::EraName:
    case T::EraYear:
    case T::WeekdayJa:
    case T::TotalHours:
    case T::TotalMinutes:
    case T::TotalSeconds:
      return true;
    default:
      return false;
  }
}

bool starts_with(const QString& s, qsizetype i, const QString& word) {
  return s.mid(i, word.size()).compare(word, Qt::CaseInsensitive) == 0;
}

// One section of a format code, as tokens; `special` receives the system date or time style of
// [$-F800] / [$-F400].
Section parse_section(const QString& s, QString& special) {
  Section out;
  auto literal = [&](const QString& text) { out.tokens.push_back({T::Literal, text, 1, {}}); };
  auto run = [&](qsizetype& i, T type) {
    const QChar first = s[i].toLower();
    int n = 0;
    while (i < s.size() && s[i].toLower() == first) ++i, ++n;
    --i;
    out.tokens.push_back({type, {}, n, {}});
  };
  for (qsizetype i = 0; i < s.size(); ++i) {
    const QChar c = s[i];
    const QChar l = c.toLower();
    if (c == u'"') {
      const qsizetype end = s.indexOf(u'"', i + 1);
      literal(s.mid(i + 1, end < 0 ? -1 : end - i - 1));
      if (end < 0) break;
      i = end;
    } else if (c == u'\\' || c == u'_' || c == u'*') {
      // An escaped character; the width of a character (a space); a fill, which a copied cell
      // does not carry.
      if (i + 1 >= s.size()) break;
      if (c == u'\\') literal(QString(s[i + 1]));
      if (c == u'_') literal(QStringLiteral(" "));
      ++i;
    } else if (c == u'[') {
      const qsizetype end = s.indexOf(u']', i);
      if (end < 0) break;
      const QString inner = s.mid(i + 1, end - i - 1);
      i = end;
      const QString lower = inner.toLower();
      if (inner.startsWith(u'$')) {
        // A currency or locale: [$€-407] shows €, [$-411] nothing.
        const qsizetype dash = inner.indexOf(u'-');
        const QString symbol = inner.mid(1, dash < 0 ? -1 : dash - 1);
        if (!symbol.isEmpty()) literal(symbol);
        const QString locale = dash < 0 ? QString() : lower.mid(dash + 1);
        // A locale is a Windows locale number in hexadecimal, its low 16 bits the language
        // (0411 Japanese; 1030411 adds the calendar of the eras), or a language tag.
        bool number = false;
        const qulonglong lcid = locale.toULongLong(&number, 16);
        if (number ? (lcid & 0xFFFF) == 0x0411
                   : locale == QLatin1String("ja") || locale.startsWith(QLatin1String("ja-"))) {
          out.japanese = true;
        }
        if (locale.endsWith(QLatin1String("-x-gannen"))) out.gannen = true;
        // The system's long date and time, as a Japanese system writes them; the older files
        // number them, the newer name them.
        if (locale == QLatin1String("f800") || locale == QLatin1String("x-sysdate")) {
          special = QStringLiteral("yyyy\"年\"m\"月\"d\"日\"");
        }
        if (locale == QLatin1String("f400") || locale == QLatin1String("x-systime")) {
          special = QStringLiteral("h:mm:ss");
        }
      } else if (!inner.isEmpty() && (inner[0] == u'<' || inner[0] == u'>' || inner[0] == u'=')) {
        qsizetype n = 1;
        while (n < inner.size() && (inner[n] == u'<' || inner[n] == u'>' || inner[n] == u'=')) ++n;
        bool ok = false;
        const double operand = inner.mid(n).trimmed().toDouble(&ok);
        if (ok) {
          out.has_condition = true;
          out.op = inner.left(n);
          out.operand = operand;
        }
      } else if (!lower.isEmpty() && lower.count(lower[0]) == lower.size() &&
                 (lower[0] == u'h' || lower[0] == u'm' || lower[0] == u's')) {
        const T type = lower[0] == u'h'   ? T::TotalHours
                       : lower[0] == u'm' ? T::TotalMinutes
                                          : T::TotalSeconds;
        out.tokens.push_back({type, {}, int(lower.size()), {}});
      }
      // Colours ([Red], [Color10]) and number systems ([DBNum1]) change nothing in the text.
    } else if (c == u'0' || c == u'#' || c == u'?') {
      out.tokens.push_back({T::Digit, {}, 1, c});
    } else if (c == u'.') {
      out.tokens.push_back({T::Point, {}, 1, {}});
    } else if (c == u',') {
      out.tokens.push_back({T::Comma, {}, 1, {}});
    } else if (c == u'%') {
      out.tokens.push_back({T::Percent, {}, 1, {}});
    } else if (c == u'/') {
      out.tokens.push_back({T::Slash, {}, 1, {}});
    } else if (c == u'@') {
      out.tokens.push_back({T::Text, {}, 1, {}});
    } else if (l == u'e' && i + 1 < s.size() && (s[i + 1] == u'+' || s[i + 1] == u'-')) {
      out.tokens.push_back({T::Exponent, s.mid(i + 1, 1), 1, {}});
      ++i;
    } else if (starts_with(s, i, QStringLiteral("general"))) {
      out.tokens.push_back({T::General, {}, 1, {}});
      i += 6;
    } else if (s.mid(i, 4) == QStringLiteral("G/標準")) {
      out.tokens.push_back({T::General, {}, 1, {}});
      i += 3;
    } else if (starts_with(s, i, QStringLiteral("am/pm")) ||
               starts_with(s, i, QStringLiteral("a/p"))) {
      const qsizetype n = starts_with(s, i, QStringLiteral("am/pm")) ? 5 : 3;
      out.tokens.push_back({T::AmPm, s.mid(i, n), 1, {}});
      i += n - 1;
    } else if (s.mid(i, 5) == QStringLiteral("午前/午後")) {
      out.tokens.push_back({T::AmPm, s.mid(i, 5), 1, {}});
      i += 4;
    } else if (starts_with(s, i, QStringLiteral("aaa"))) {
      run(i, T::WeekdayJa);
    } else if (l == u'y') {
      run(i, T::Year);
    } else if (l == u'm') {
      run(i, T::Month);
    } else if (l == u'd') {
      run(i, T::Day);
    } else if (l == u'h') {
      run(i, T::Hour);
    } else if (l == u's') {
      run(i, T::Second);
    } else if (l == u'g') {
      run(i, T::EraName);
    } else if (l == u'e') {
      run(i, T::EraYear);
    } else {
      literal(QString(c));
    }
  }
  std::vector<Token>& t = out.tokens;
  for (const Token& token : t) {
    if (is_date_part(token.type)) out.date = true;
    if (token.type == T::Text) out.text = true;
  }
  if (out.date) {
    // m and mm are minutes right after hours or right before seconds, else the month; a point
    // followed by zeros is a fraction of a second.
    auto neighbour = [&](size_t i, int step) -> T {
      for (long j = long(i) + step; j >= 0 && j < long(t.size()); j += step) {
        if (is_date_part(t[size_t(j)].type)) return t[size_t(j)].type;
      }
      return T::Literal;
    };
    for (size_t i = 0; i < t.size(); ++i) {
      if (t[i].type == T::Month && t[i].count <= 2) {
        const T before = neighbour(i, -1), after = neighbour(i, 1);
        if (before == T::Hour || before == T::TotalHours || after == T::Second ||
            after == T::TotalSeconds) {
          t[i].type = T::Minute;
        }
      }
    }
    std::vector<Token> merged;
    for (size_t i = 0; i < t.size(); ++i) {
      if (t[i].type == T::Point && i + 1 < t.size() && t[i + 1].type == T::Digit &&
          t[i + 1].c == u'0') {
        int n = 0;
        while (i + 1 < t.size() && t[i + 1].type == T::Digit && t[i + 1].c == u'0') ++i, ++n;
        merged.push_back({T::SubSecond, {}, std::min(n, 3), {}});
      } else {
        merged.push_back(t[i]);
      }
    }
    t = std::move(merged);
  } else {
    // A fraction: digits, a slash, then digits or a fixed denominator.
    for (size_t i = 1; i + 1 < t.size(); ++i) {
      if (t[i].type == T::Slash && t[i - 1].type == T::Digit &&
          (t[i + 1].type == T::Digit || (t[i + 1].type == T::Literal && !t[i + 1].text.isEmpty() &&
                                         t[i + 1].text[0].isDigit()))) {
        out.fraction = true;
      }
    }
  }
  return out;
}

// A format code split into its sections: up to three for numbers (by sign or by condition) and
// the one for texts.
struct Format {
  std::vector<Section> numbers;
  std::optional<Section> text;
  bool general = false;
};

std::vector<QString> split_sections(const QString& code) {
  std::vector<QString> out;
  QString current;
  bool quoted = false;
  for (qsizetype i = 0; i < code.size(); ++i) {
    const QChar c = code[i];
    if (quoted) {
      current += c;
      if (c == u'"') quoted = false;
    } else if (c == u'"') {
      quoted = true;
      current += c;
    } else if ((c == u'\\' || c == u'_' || c == u'*') && i + 1 < code.size()) {
      current += c;
      current += code[++i];
    } else if (c == u'[') {
      const qsizetype end = code.indexOf(u']', i);
      const qsizetype stop = end < 0 ? code.size() : end + 1;
      current += code.mid(i, stop - i);
      i = stop - 1;
    } else if (c == u';') {
      out.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  out.push_back(current);
  return out;
}

Format parse_format(const QString& code) {
  Format f;
  const QString trimmed = code.trimmed();
  if (trimmed.isEmpty() || trimmed.compare(QLatin1String("general"), Qt::CaseInsensitive) == 0) {
    f.general = true;
    return f;
  }
  std::vector<QString> parts = split_sections(code);
  if (parts.size() > 4) parts.resize(4);
  for (size_t i = 0; i < parts.size(); ++i) {
    QString special;
    Section s = parse_section(parts[i], special);
    if (!special.isEmpty()) {
      QString none;
      s = parse_section(QString(special), none);
    }
    const bool last = i + 1 == parts.size();
    if (i == 3 || (last && s.text && i > 0) || (parts.size() == 1 && s.text)) {
      f.text = std::move(s);
    } else {
      f.numbers.push_back(std::move(s));
    }
  }
  if (f.numbers.empty()) f.general = true;
  return f;
}

bool condition_holds(const Section& s, double v) {
  const QString& op = s.op;
  if (op == QLatin1String("<")) return v < s.operand;
  if (op == QLatin1String(">")) return v > s.operand;
  if (op == QLatin1String("<=") || op == QLatin1String("=<")) return v <= s.operand;
  if (op == QLatin1String(">=") || op == QLatin1String("=>")) return v >= s.operand;
  if (op == QLatin1String("<>")) return v != s.operand;
  return v == s.operand;
}

bool conditional(const Format& f) {
  const std::vector<Section>& n = f.numbers;
  return n[0].has_condition || (n.size() > 1 && n[1].has_condition);
}

// The section of a format with conditions for `v`: the first of the first three whose condition
// holds, where a section without a condition takes what the conditions before it left; none
// when no condition holds and every section has one.
const Section* conditional_section(const Format& f, double v) {
  const std::vector<Section>& n = f.numbers;
  for (size_t i = 0; i < std::min<size_t>(n.size(), 3); ++i) {
    if (!n[i].has_condition || condition_holds(n[i], v)) return &n[i];
  }
  return nullptr;
}

// Whether zero or a positive number would take section `s`. The choice changes only at the
// operands of the conditions, so the operands from zero up, the points between them and one
// point past the last stand for every number from zero up.
bool reaches_zero_or_above(const Format& f, const Section* s) {
  std::vector<double> points = {0};
  for (size_t i = 0; i < std::min<size_t>(f.numbers.size(), 3); ++i) {
    const Section& n = f.numbers[i];
    if (n.has_condition && n.operand > 0) points.push_back(n.operand);
  }
  std::sort(points.begin(), points.end());
  const size_t operands = points.size();
  for (size_t i = 0; i + 1 < operands; ++i) points.push_back(points[i] / 2 + points[i + 1] / 2);
  points.push_back(std::nextafter(points[operands - 1], HUGE_VAL));
  return std::any_of(points.begin(), points.end(),
                     [&](double p) { return conditional_section(f, p) == s; });
}

// --- Numbers -------------------------------------------------------------------------------

QString render_number(const Section& s, double v, bool minus) {
  const std::vector<Token>& t = s.tokens;
  // The layout: integer digits up to the point (or the exponent), fraction digits after it.
  int point = -1, exponent = -1;
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i].type == T::Point && point < 0 && exponent < 0) point = int(i);
    if (t[i].type == T::Exponent && exponent < 0) exponent = int(i);
  }
  const int mantissa_end = exponent >= 0 ? exponent : int(t.size());
  const int integer_end = point >= 0 ? point : mantissa_end;
  int integers = 0, fractions = 0, exponent_zeros = 0, percent = 0, scale = 0;
  int first_zero = -1;
  bool grouping = false, engineering = false;
  int last_integer = -1;
  for (int i = 0; i < int(t.size()); ++i) {
    const Token& k = t[size_t(i)];
    if (k.type == T::Percent) ++percent;
    if (k.type != T::Digit) continue;
    if (i < integer_end) {
      if (k.c == u'0' && first_zero < 0) first_zero = integers;
      if (k.c == u'#' && exponent >= 0) engineering = true;
      ++integers;
      last_integer = i;
    } else if (i < mantissa_end) {
      ++fractions;
    } else if (k.c == u'0') {
      ++exponent_zeros;
    }
  }
  // Commas between integer digits group by thousands; commas right after the last digit of the
  // mantissa divide by a thousand each.
  std::vector<bool> scaling(t.size(), false);
  for (int i = 0; i < int(t.size()); ++i) {
    if (t[size_t(i)].type != T::Comma) continue;
    if (i < last_integer && integers > 0) {
      grouping = true;
    } else {
      int j = i - 1;
      while (j >= 0 && t[size_t(j)].type == T::Comma) --j;
      if (j >= 0 && (t[size_t(j)].type == T::Digit || t[size_t(j)].type == T::Point)) {
        ++scale;
        scaling[size_t(i)] = true;
      }
    }
  }
  Decimal d = to_decimal(v);
  if (!d.zero()) d.point += 2 * percent - 3 * scale;
  int power = 0;
  if (exponent >= 0 && !d.zero()) {
    const int n = std::max(integers, 1);
    auto choose = [&](int lead) {
      if (engineering && n > 1) return int(std::floor(double(lead) / n)) * n;
      return lead - (n - 1);
    };
    power = choose(d.point - 1);
    Decimal m = d;
    m.point -= power;
    round_decimals(m, fractions);
    if (!m.zero() && m.point > n) {  // rounding carried into one more digit
      power = choose(m.point - 1 + power);
      m = d;
      m.point -= power;
      round_decimals(m, fractions);
    }
    d = m;
  } else {
    round_decimals(d, fractions);
  }
  const std::string whole = integer_digits(d);
  // Fraction digits, with the trailing zeros that # drops and ? blanks.
  std::vector<QString> fraction_text;
  {
    std::vector<QChar> kinds;
    for (int i = integer_end; i < mantissa_end; ++i) {
      if (t[size_t(i)].type == T::Digit) kinds.push_back(t[size_t(i)].c);
    }
    bool trailing = true;
    fraction_text.resize(kinds.size());
    for (int i = int(kinds.size()) - 1; i >= 0; --i) {
      const char digit = fraction_digit(d, i);
      if (trailing && digit == '0' && kinds[size_t(i)] != u'0') {
        fraction_text[size_t(i)] = kinds[size_t(i)] == u'?' ? QStringLiteral(" ") : QString();
      } else {
        trailing = false;
        fraction_text[size_t(i)] = QChar(digit);
      }
    }
  }
  QString grouped;
  if (grouping) {
    std::string digits = whole;
    const int forced = first_zero < 0 ? 0 : integers - first_zero;
    if (int(digits.size()) < forced) digits.insert(0, size_t(forced) - digits.size(), '0');
    for (int i = int(digits.size()) - 3; i > 0; i -= 3) digits.insert(size_t(i), 1, ',');
    grouped = QString::fromLatin1(digits.c_str());
  }

  QString out = minus ? QStringLiteral("-") : QString();
  int integer_index = 0, fraction_index = 0;
  for (int i = 0; i < int(t.size()); ++i) {
    const Token& k = t[size_t(i)];
    switch (k.type) {
      case T::Digit:
        if (i < integer_end) {
          const int from_right = integers - 1 - integer_index;
          if (grouping) {
            if (integer_index == 0) out += grouped;
          } else {
            if (integer_index == 0 && int(whole.size()) > integers) {
              out += QString::fromLatin1(whole.c_str(), qsizetype(whole.size()) - integers);
            }
            if (from_right < int(whole.size())) {
              out += QChar(whole[whole.size() - 1 - size_t(from_right)]);
            } else if (k.c == u'0') {
              out += u'0';
            } else if (k.c == u'?') {
              out += u' ';
            }
          }
          ++integer_index;
        } else if (i < mantissa_end) {
          out += fraction_text[size_t(fraction_index++)];
        }
        break;
      case T::Point:
        if (i == point) {
          if (integers == 0) out += QString::fromLatin1(whole.c_str());
          out += u'.';
        } else {
          out += u'.';
        }
        break;
      case T::Exponent:
        out += u'E' + exponent_text(power, exponent_zeros, k.text == QLatin1String("+"));
        break;
      case T::Percent:
        out += u'%';
        break;
      case T::Comma:
        if (!grouping && !scaling[size_t(i)] && (i >= last_integer || integers == 0)) out += u',';
        break;
      case T::Slash:
        out += u'/';
        break;
      case T::General:
        out += general_text(v);
        break;
      case T::Literal:
        out += k.text;
        break;
      default:
        break;
    }
  }
  return out;
}

// --- Fractions -----------------------------------------------------------------------------

// The most digits of a denominator of digits: the program shows 0.123251512342345 in
// "# ??/?????????" as 480894/3901729, the nearest fraction with up to seven digits below the
// line, where nine would have a nearer one.
constexpr int kDenominatorDigits = 7;

// A number not negative as a whole part and a fraction of the rest.
struct Fraction {
  long long whole = 0, num = 0, den = 1;
};

// `value` (not negative, below 2^53) as the program keeps it, to 15 significant digits, split
// into its whole part (with `whole_part`; else 0) and a fraction of the rest. A fixed
// denominator (`fixed` > 0) takes the rounded numerator; else the fraction is the nearest one
// with a denominator of at most `digits` digits, the smaller denominator on a tie. It is found
// among the convergents of the rest's continued fraction and the fractions between the last two
// that fit, for every nearest fraction is one of these.
Fraction split_fraction(double value, bool whole_part, long long fixed, int digits) {
  // value = whole + n / d exactly, from its decimal digits cut after 18 places.
  Decimal dec = to_decimal(value);
  round_decimals(dec, 18);
  const int places = std::max(0, int(dec.digits.size()) - dec.point);
  long long d = 1, n = 0, whole = 0;
  for (int i = 0; i < places; ++i) d *= 10;
  for (int i = 0; i < dec.point + places; ++i) {
    const int digit = i < int(dec.digits.size()) ? dec.digits[size_t(i)] - '0' : 0;
    if (whole_part && i < dec.point) {
      whole = whole * 10 + digit;
    } else {
      n = n * 10 + digit;
    }
  }
  if (fixed > 0) return {whole, std::llround(double(n) / double(d) * double(fixed)), fixed};
  long long max_den = 1;
  for (int i = 0; i < digits; ++i) max_den *= 10;
  --max_den;
  // Products of a numerator and a denominator need more than 64 bits.
  __extension__ typedef __int128 Wide;
  auto distance = [&](long long p, long long q) {
    const Wide diff = Wide(n) * q - Wide(p) * d;
    return static_cast<long double>(diff < 0 ? -diff : diff) /
           (static_cast<long double>(d) * static_cast<long double>(q));
  };
  // The convergents p1/q1 of n/d, with the one before as p0/q0.
  long long p0 = 0, q0 = 1, p1 = 1, q1 = 0;
  long long a = n, b = d;
  while (b != 0) {
    const long long term = a / b;
    if (q1 > 0 && term > (max_den - q0) / q1) {
      // The next convergent's denominator is too large: the largest fraction between the last
      // two that fits competes with the last convergent.
      const long long k = (max_den - q0) / q1;
      const long long sp = p0 + k * p1, sq = q0 + k * q1;
      const long double ds = distance(sp, sq), dc = distance(p1, q1);
      const bool between = ds < dc || (ds == dc && sq < q1);
      return between ? Fraction{whole, sp, sq} : Fraction{whole, p1, q1};
    }
    const long long p = term * p1 + p0, q = term * q1 + q0;
    p0 = p1, q0 = q1, p1 = p, q1 = q;
    const long long rest = a - term * b;
    a = b, b = rest;
  }
  return {whole, p1, q1};
}

// A fraction section: an optional whole part ("# ?/?" shows 1.25 as "1 1/4"), the numerator
// right-aligned and the denominator left-aligned in their places; a denominator of digits is
// the nearest one that fits, a written one ("?/8", "??/100") is used as it stands. A whole
// number shows its fraction as blanks, a ? place a space as among the digits.
QString render_fraction(const Section& s, double v, bool minus) {
  const std::vector<Token>& t = s.tokens;
  size_t slash = 0;
  while (slash < t.size() &&
         !(t[slash].type == T::Slash && slash > 0 && t[slash - 1].type == T::Digit)) {
    ++slash;
  }
  if (slash >= t.size()) return general_text(v);
  size_t num_begin = slash;
  while (num_begin > 0 && t[num_begin - 1].type == T::Digit) --num_begin;
  // The denominator's places, or its written digits.
  size_t den_end = slash + 1;
  int den_places = 0;
  long long fixed = 0;
  QChar den_kind = u'?';
  if (den_end < t.size() && t[den_end].type == T::Digit) {
    den_kind = t[den_end].c;
    while (den_end < t.size() && t[den_end].type == T::Digit) ++den_end, ++den_places;
  } else {
    // Written digits: 1 to 9 are read as text, a 0 as a place ("?/100").
    auto written = [&](const Token& k) {
      if (k.type == T::Digit && k.c == u'0') return 0;
      if (k.type == T::Literal && k.text.size() == 1 && k.text[0].isDigit()) {
        return k.text[0].digitValue();
      }
      return -1;
    };
    while (den_end < t.size() && written(t[den_end]) >= 0 && fixed < 1000000) {
      fixed = fixed * 10 + written(t[den_end]);
      ++den_end;
    }
    if (fixed <= 0) return general_text(v);
  }
  bool whole_part = false;
  for (size_t i = 0; i < num_begin; ++i) whole_part = whole_part || t[i].type == T::Digit;

  const double a = std::fabs(v);
  const double rest = whole_part ? a - std::floor(a) : a;
  // Numerators beyond 2^53 are no longer whole numbers of their own: General shows such a value.
  const int den_digits = std::min(den_places, kDenominatorDigits);
  const double largest_den = fixed > 0 ? double(fixed) : std::pow(10.0, den_digits);
  if (a >= 9007199254740992.0 || rest * largest_den >= 9007199254740992.0) {
    return (minus ? QStringLiteral("-") : QString()) + general_text(v);
  }
  auto [whole, num, den] = split_fraction(a, whole_part, fixed, den_digits);
  if (whole_part && num >= den) whole += 1, num = 0;  // rounded up to the next whole number
  const bool blank_fraction = whole_part && num == 0;

  auto pad = [](const QString& digits, QChar kind, int places, bool left) {
    if (digits.size() >= places || kind == u'#') return digits;
    const QString fill(places - digits.size(), kind == u'0' ? u'0' : u' ');
    return left ? fill + digits : digits + fill;
  };
  const int num_places = int(slash - num_begin);
  const QString num_text = pad(QString::number(num), t[num_begin].c, num_places, true);
  const QString den_text =
      fixed > 0 ? QString::number(fixed) : pad(QString::number(den), den_kind, den_places, false);
  // The whole part goes where its first place is; a whole part of 0 shows only when nothing
  // else does or a 0 asks for it.
  QString whole_text;
  if (whole_part) {
    bool zero_place = false;
    for (size_t i = 0; i < num_begin; ++i) {
      zero_place = zero_place || (t[i].type == T::Digit && t[i].c == u'0');
    }
    whole_text = whole > 0 || blank_fraction || zero_place
                     ? QString::number(static_cast<long long>(whole))
                     : QString();
  }
  // The sign shows when anything but zero does.
  QString out = minus && (whole > 0 || num > 0) ? QStringLiteral("-") : QString();
  bool whole_done = false;
  size_t last_whole = 0;
  for (size_t i = 0; i < num_begin; ++i) {
    if (t[i].type == T::Digit) last_whole = i;
  }
  for (size_t i = 0; i < t.size(); ++i) {
    const Token& k = t[i];
    const bool in_fraction = i >= num_begin && i < den_end;
    // Between the whole part and the numerator: blank with the fraction.
    const bool joining = whole_part && i > last_whole && i < num_begin;
    if (i == num_begin) {
      out += blank_fraction ? QString(num_text.size() + 1 + den_text.size(), u' ')
                            : num_text + u'/' + den_text;
    }
    if (in_fraction) continue;
    if (k.type == T::Digit) {
      if (!whole_done) out += whole_text;
      whole_done = true;
    } else if (k.type == T::Literal) {
      out += joining && blank_fraction ? QString(k.text.size(), u' ') : k.text;
    }
  }
  return out;
}

// --- Dates ---------------------------------------------------------------------------------

struct Era {
  int year, month, day;
  const char16_t* letter;
  const char16_t* name;
};
// The eras from their first days; dates before 1900 do not occur in either date system.
constexpr std::array<Era, 5> kEras = {{{2019, 5, 1, u"R", u"令和"},
                                       {1989, 1, 8, u"H", u"平成"},
                                       {1926, 12, 25, u"S", u"昭和"},
                                       {1912, 7, 30, u"T", u"大正"},
                                       {1868, 1, 1, u"M", u"明治"}}};

const char* const kMonths[] = {"January",   "February", "March",    "April",
                               "May",       "June",     "July",     "August",
                               "September", "October",  "November", "December"};
const char* const kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char16_t* const kWeekdaysJa[] = {u"日", u"月", u"火", u"水", u"木", u"金", u"土"};

QString padded(long long n, int width) {
  QString s = QString::number(n);
  return s.size() < width ? QString(width - s.size(), u'0') + s : s;
}

// The calendar day of a serial day count; the 1900 system has its day 0 (1900/1/0) and its
// 29 February 1900.
void civil_day(long long days, bool date1904, int& y, int& m, int& d) {
  if (!date1904 && days == 0) {
    y = 1900, m = 1, d = 0;
    return;
  }
  if (!date1904 && days == 60) {
    y = 1900, m = 2, d = 29;
    return;
  }
  const QDate base = date1904    ? QDate(1904, 1, 1)
                     : days < 60 ? QDate(1899, 12, 31)
                                 : QDate(1899, 12, 30);
  const QDate date = base.addDays(days);
  y = date.year(), m = date.month(), d = date.day();
}

QString render_date(const Section& s, double v, bool date1904) {
  const double limit = date1904 ? 2957004 : 2958466;  // the day after 9999/12/31
  if (!std::isfinite(v) || v < 0 || v >= limit) return hashes();
  int digits = 0;  // fractions of a second shown
  bool twelve = false;
  for (const Token& k : s.tokens) {
    if (k.type == T::SubSecond) digits = std::max(digits, k.count);
    if (k.type == T::AmPm) twelve = true;
  }
  const long long units_per_second = digits == 0 ? 1 : digits == 1 ? 10 : digits == 2 ? 100 : 1000;
  const long long units_per_day = 86400 * units_per_second;
  // The time is rounded to the smallest unit shown, carrying into the day: 23:59:59.6 is the
  // next day's 0:00:00, never 24:00:00.
  long long days = static_cast<long long>(std::floor(v));
  long long units = std::llround((v - double(days)) * double(units_per_day));
  if (units >= units_per_day) {
    units -= units_per_day;
    ++days;
  }
  if (double(days) >= limit) return hashes();
  int y = 0, mo = 0, dd = 0;
  civil_day(days, date1904, y, mo, dd);
  // The weekday as the program counts it (serial 1 of the 1900 system is a Sunday).
  const int weekday = int((days + (date1904 ? 5 : 6)) % 7);
  const long long seconds = units / units_per_second;
  const long long part = units % units_per_second;
  // Beside elapsed minutes or seconds, the larger parts show what those leave, which is nothing:
  // HH[M] shows 1.5 days as 002160. The spreadsheet program refuses such codes; LibreOffice,
  // which writes them, shows them so.
  bool elapsed_minutes = false, elapsed_seconds = false;
  for (const Token& k : s.tokens) {
    elapsed_minutes = elapsed_minutes || k.type == T::TotalMinutes;
    elapsed_seconds = elapsed_seconds || k.type == T::TotalSeconds;
  }
  const long long hour = elapsed_minutes || elapsed_seconds ? 0 : seconds / 3600;
  const long long minute = elapsed_seconds ? 0 : seconds / 60 % 60, second = seconds % 60;
  const long long total_seconds = days * 86400 + seconds;
  const Era* era = &kEras.back();
  for (const Era& e : kEras) {
    if (std::tie(y, mo, dd) >= std::tie(e.year, e.month, e.day)) {
      era = &e;
      break;
    }
  }
  QString out;
  for (const Token& k : s.tokens) {
    switch (k.type) {
      case T::Year:
        out += k.count <= 2 ? padded(y % 100, 2) : padded(y, 4);
        break;
      case T::Month:
        if (k.count == 1) out += QString::number(mo);
        if (k.count == 2) out += padded(mo, 2);
        if (k.count == 3 || k.count == 4) {
          out += s.japanese     ? QString::number(mo) + u'月'
                 : k.count == 3 ? QString::fromLatin1(kMonths[mo - 1], 3)
                                : QString::fromLatin1(kMonths[mo - 1]);
        }
        if (k.count >= 5) out += QChar(kMonths[mo - 1][0]);
        break;
      case T::Day:
        if (k.count == 1) out += QString::number(dd);
        if (k.count == 2) out += padded(dd, 2);
        if (k.count >= 3 && s.japanese) {
          out += QString::fromUtf16(kWeekdaysJa[weekday]);
          if (k.count >= 4) out += QStringLiteral("曜日");
        } else if (k.count == 3) {
          out += QString::fromLatin1(kWeekdays[weekday], 3);
        } else if (k.count >= 4) {
          out += QString::fromLatin1(kWeekdays[weekday]);
        }
        break;
      case T::WeekdayJa:
        out += QString::fromUtf16(kWeekdaysJa[weekday]);
        if (k.count >= 4) out += QStringLiteral("曜日");
        break;
      case T::Hour: {
        const long long h = twelve ? (hour % 12 == 0 ? 12 : hour % 12) : hour;
        out += padded(h, std::min(k.count, 2));
        break;
      }
      case T::Minute:
        out += padded(minute, std::min(k.count, 2));
        break;
      case T::Second:
        out += padded(second, std::min(k.count, 2));
        break;
      case T::TotalHours:
        out += padded(total_seconds / 3600, k.count);
        break;
      case T::TotalMinutes:
        out += padded(total_seconds / 60, k.count);
        break;
      case T::TotalSeconds:
        out += padded(total_seconds, k.count);
        break;
      case T::SubSecond:
        out += u'.' + padded(part, digits).left(k.count);
        break;
      case T::AmPm: {
        const bool pm = hour >= 12;
        if (k.text.startsWith(u'午') || (s.japanese && k.text.size() == 5)) {
          out += pm ? QStringLiteral("午後") : QStringLiteral("午前");
        } else {
          QString word = k.text.size() == 3 ? QString(pm ? u'P' : u'A')
                                            : (pm ? QStringLiteral("PM") : QStringLiteral("AM"));
          if (k.text[0].isLower()) word = word.toLower();
          out += word;
        }
        break;
      }
      case T::EraName:
        out += k.count == 1   ? QString::fromUtf16(era->letter)
               : k.count == 2 ? QString::fromUtf16(era->name).left(1)
                              : QString::fromUtf16(era->name);
        break;
      case T::EraYear:
        if (s.gannen && y == era->year) {
          out += u'元';
        } else {
          out += padded(y - era->year + 1, std::min(k.count, 2));
        }
        break;
      case T::Literal:
        out += k.text;
        break;
      case T::Digit:
        out += k.c;
        break;
      case T::Point:
        out += u'.';
        break;
      case T::Comma:
        out += u',';
        break;
      case T::Percent:
        out += u'%';
        break;
      case T::Slash:
        out += u'/';
        break;
      case T::Exponent:
        out += u'E' + k.text;
        break;
      default:
        break;
    }
  }
  return out;
}

QString render_text_section(const Section& s, const QString& text) {
  QString out;
  for (const Token& k : s.tokens) {
    // General in the text section shows the text as it is, as "@" does.
    if (k.type == T::Text || k.type == T::General) out += text;
    if (k.type == T::Literal) out += k.text;
  }
  return out;
}

}  // namespace

QString builtin_number_format(int id) {
  switch (id) {
    case 1:
      return QStringLiteral("0");
    case 2:
      return QStringLiteral("0.00");
    case 3:
      return QStringLiteral("#,##0");
    case 4:
      return QStringLiteral("#,##0.00");
    case 5:
      return QStringLiteral("\"¥\"#,##0;\"¥\"\\-#,##0");
    case 6:
      return QStringLiteral("\"¥\"#,##0;[Red]\"¥\"\\-#,##0");
    case 7:
      return QStringLiteral("\"¥\"#,##0.00;\"¥\"\\-#,##0.00");
    case 8:
      return QStringLiteral("\"¥\"#,##0.00;[Red]\"¥\"\\-#,##0.00");
    case 9:
      return QStringLiteral("0%");
    case 10:
      return QStringLiteral("0.00%");
    case 11:
      return QStringLiteral("0.00E+00");
    case 12:
      return QStringLiteral("# ?/?");
    case 13:
      return QStringLiteral("# ?\?/??");
    case 14:
      return QStringLiteral("yyyy/m/d");
    case 15:
      return QStringLiteral("d-mmm-yy");
    case 16:
      return QStringLiteral("d-mmm");
    case 17:
      return QStringLiteral("mmm-yy");
    case 18:
      return QStringLiteral("h:mm AM/PM");
    case 19:
      return QStringLiteral("h:mm:ss AM/PM");
    case 20:
      return QStringLiteral("h:mm");
    case 21:
      return QStringLiteral("h:mm:ss");
    case 22:
      return QStringLiteral("yyyy/m/d h:mm");
    case 27:
    case 36:
    case 50:
    case 57:
      return QStringLiteral("[$-411]ge.m.d");
    case 28:
    case 29:
    case 51:
    case 54:
    case 58:
      return QStringLiteral("[$-411]ggge\"年\"m\"月\"d\"日\"");
    case 30:
      return QStringLiteral("m/d/yy");
    case 31:
      return QStringLiteral("yyyy\"年\"m\"月\"d\"日\"");
    case 32:
      return QStringLiteral("h\"時\"mm\"分\"");
    case 33:
      return QStringLiteral("h\"時\"mm\"分\"ss\"秒\"");
    case 34:
    case 52:
    case 55:
      return QStringLiteral("yyyy\"年\"m\"月\"");
    case 35:
    case 53:
    case 56:
      return QStringLiteral("m\"月\"d\"日\"");
    case 37:
      return QStringLiteral("#,##0 ;(#,##0)");
    case 38:
      return QStringLiteral("#,##0 ;[Red](#,##0)");
    case 39:
      return QStringLiteral("#,##0.00 ;(#,##0.00)");
    case 40:
      return QStringLiteral("#,##0.00 ;[Red](#,##0.00)");
    case 41:
      return QStringLiteral("_ * #,##0_ ;_ * \\-#,##0_ ;_ * \"-\"_ ;_ @_ ");
    case 42:
      return QStringLiteral("_ \"¥\"* #,##0_ ;_ \"¥\"* \\-#,##0_ ;_ \"¥\"* \"-\"_ ;_ @_ ");
    case 43:
      return QStringLiteral("_ * #,##0.00_ ;_ * \\-#,##0.00_ ;_ * \"-\"?\?_ ;_ @_ ");
    case 44:
      return QStringLiteral("_ \"¥\"* #,##0.00_ ;_ \"¥\"* \\-#,##0.00_ ;_ \"¥\"* \"-\"?\?_ ;_ @_ ");
    case 45:
      return QStringLiteral("mm:ss");
    case 46:
      return QStringLiteral("[h]:mm:ss");
    case 47:
      return QStringLiteral("mm:ss.0");
    case 48:
      return QStringLiteral("##0.0E+0");
    case 49:
      return QStringLiteral("@");
    default:
      return QStringLiteral("General");
  }
}

QString format_number(double value, const QString& code, bool date1904) {
  // Not a number and the infinities fit no section (a value neither above, below nor equal to
  // zero would pick one the format does not have); the program holds no such value and shows
  // the error of a number out of range.
  if (!std::isfinite(value)) return QStringLiteral("#NUM!");
  const Format f = parse_format(code);
  if (f.general) return (value < 0 ? QStringLiteral("-") : QString()) + general_text(value);
  const std::vector<Section>& n = f.numbers;
  const Section* s = nullptr;
  bool minus = false;
  if (conditional(f)) {
    s = conditional_section(f, value);
    if (!s) return hashes();
    // A section that no number from zero up reaches stands for negative numbers, as the second
    // section of a format without conditions does, and shows them without their sign:
    // [<=-25]General shows -25 as 25, and so does the second section of [>=-1]0;0 for -2; a
    // section that zero or a positive number can reach shows the sign ([>=1]0;0 shows -2 as -2).
    minus = value < 0 && reaches_zero_or_above(f, s);
  } else if (value > 0 || (value == 0 && n.size() < 3) || n.size() == 1) {
    s = &n[0];
    minus = value < 0;
  } else if (value < 0) {
    s = &n[1];
  } else {
    s = &n[2];
  }
  // A section of its own for negative numbers shows them without their sign.
  if (s->date) {
    // The 1904 system shows a negative date or time as the distance from its start with a
    // minus sign (-1:30, the usual way to show a negative difference of times); the 1900
    // system fills the cell with "#".
    if (minus && date1904) {
      const QString shown = render_date(*s, -value, date1904);
      return shown == hashes() ? shown : u'-' + shown;
    }
    return render_date(*s, minus ? value : std::fabs(value), date1904);
  }
  if (s->fraction) return render_fraction(*s, value, minus);
  return render_number(*s, value, minus);
}

QString format_text(const QString& text, const QString& code) {
  const Format f = parse_format(code);
  return f.text ? render_text_section(*f.text, text) : text;
}

}  // namespace tarvex
