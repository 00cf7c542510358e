#include "settings/profile.h"

#include "platform/atomic_file.h"
#include "platform/regular_file.h"
#include "platform/text_codecs.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>

namespace tarvex {

namespace {

bool is_blank_byte(char c) {
  return c == ' ' || c == '\t' || c == '\v';
}

QByteArray strip_blank_bytes(const QByteArray& b) {
  qsizetype from = 0;
  qsizetype to = b.size();
  while (from < to && is_blank_byte(b[from])) ++from;
  while (to > from && is_blank_byte(b[to - 1])) --to;
  return b.mid(from, to - from);
}

QString strip_spaces(const QString& s) {
  qsizetype from = 0;
  qsizetype to = s.size();
  while (from < to && s[from] == u' ') ++from;
  while (to > from && s[to - 1] == u' ') --to;
  return s.mid(from, to - from);
}

QString strip_spaces_and_tabs(const QString& s) {
  qsizetype from = 0;
  qsizetype to = s.size();
  while (from < to && (s[from] == u' ' || s[from] == u'\t')) ++from;
  while (to > from && (s[to - 1] == u' ' || s[to - 1] == u'\t')) --to;
  return s.mid(from, to - from);
}

bool names_match(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

}  // namespace

ProfileDocument ProfileDocument::parse(const QByteArray& bytes) {
  ProfileDocument doc;
  QByteArray body = bytes;
  if (bytes.startsWith("\xFF\xFE")) {
    // A UTF-16LE file is edited as UTF-8 and turned back into UTF-16LE when written; the two
    // forms convert into each other without loss.
    doc.encoding_ = Encoding::Utf16Le;
    doc.bom_ = bytes.left(2);
    body = decode_utf16le(bytes.mid(2)).toUtf8();
  } else if (bytes.startsWith("\xEF\xBB\xBF") && is_valid_utf8(bytes.mid(3))) {
    doc.encoding_ = Encoding::Utf8;
    doc.bom_ = bytes.left(3);
    body = bytes.mid(3);
  } else if (has_non_ascii(bytes) && is_valid_utf8(bytes)) {
    doc.encoding_ = Encoding::Utf8;
  }

  qsizetype start = 0;
  while (start < body.size()) {
    const qsizetype lf = body.indexOf('\n', start);
    Line line;
    if (lf < 0) {
      line.content = body.mid(start);
      start = body.size();
    } else {
      qsizetype content_end = lf;
      if (content_end > start && body[content_end - 1] == '\r') --content_end;
      line.content = body.mid(start, content_end - start);
      line.end = body.mid(content_end, lf + 1 - content_end);
      start = lf + 1;
    }
    doc.lines_.append(line);
  }
  return doc;
}

QByteArray ProfileDocument::serialize() const {
  QByteArray body;
  for (const Line& line : lines_) body += line.content + line.end;
  if (encoding_ == Encoding::Utf16Le) return bom_ + encode_utf16le(QString::fromUtf8(body));
  return bom_ + body;
}

QString ProfileDocument::decode(const QByteArray& bytes) const {
  if (encoding_ == Encoding::Cp932) return decode_cp932(bytes);
  return QString::fromUtf8(bytes);
}

QByteArray ProfileDocument::encode(const QString& text) const {
  if (encoding_ == Encoding::Cp932) return encode_cp932(text);
  return text.toUtf8();
}

QByteArray ProfileDocument::default_line_end() const {
  bool lf_only = false;
  for (const Line& line : lines_) {
    if (line.end == "\r\n") return QByteArrayLiteral("\r\n");
    if (line.end == "\n") lf_only = true;
  }
  return lf_only ? QByteArrayLiteral("\n") : QByteArrayLiteral("\r\n");
}

bool ProfileDocument::is_section_header(const Line& line) const {
  for (char c : line.content) {
    if (c == ' ' || c == '\t') continue;
    return c == '[';
  }
  return false;
}

QString ProfileDocument::section_name(const Line& line) const {
  // The bracket test runs on decoded text: a code page 932 trail byte may equal "]".
  const QString text = decode(line.content);
  const qsizetype open = text.indexOf(u'[');
  qsizetype close = text.indexOf(u']', open + 1);
  if (close < 0) close = text.size();
  return strip_spaces_and_tabs(text.mid(open + 1, close - open - 1));
}

QByteArray ProfileDocument::key_bytes(const Line& line, qsizetype* value_start) const {
  // "=" (0x3D) is never a trail byte of code page 932 or UTF-8, so a byte search is safe.
  const qsizetype eq = line.content.indexOf('=');
  if (eq < 0) return QByteArray();
  const QByteArray key = strip_blank_bytes(line.content.left(eq));
  if (key.startsWith(';')) return QByteArray();
  qsizetype v = eq + 1;
  while (v < line.content.size() && is_blank_byte(line.content[v])) ++v;
  if (value_start) *value_start = v;
  return key;
}

qsizetype ProfileDocument::find_section(const QString& section) const {
  for (qsizetype i = 0; i < lines_.size(); ++i) {
    if (is_section_header(lines_[i]) && names_match(section_name(lines_[i]), section)) return i;
  }
  return -1;
}

QByteArray ProfileDocument::cut_value(const QByteArray& raw) const {
  if (raw.size() <= kMaxValueBytes) return raw;
  qsizetype end = 0;
  if (encoding_ == Encoding::Cp932) {
    // Walk whole characters so that the cut never leaves half of a two-byte character.
    qsizetype i = 0;
    while (i < raw.size()) {
      const qsizetype width = is_cp932_lead_byte(static_cast<uchar>(raw[i])) ? 2 : 1;
      if (i + width > kMaxValueBytes) break;
      i += width;
    }
    end = i;
  } else {
    end = kMaxValueBytes;
    while (end > 0 && (static_cast<uchar>(raw[end]) & 0xC0) == 0x80) --end;
  }
  return raw.left(end);
}

QString ProfileDocument::value(const QString& section, const QString& key) const {
  const QString wanted_key = strip_spaces(key);
  const qsizetype header = find_section(strip_spaces(section));
  if (header < 0) return QString();
  for (qsizetype i = header + 1; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    if (is_section_header(line)) break;
    qsizetype value_start = 0;
    const QByteArray raw_key = key_bytes(line, &value_start);
    if (raw_key.isEmpty() || !names_match(decode(raw_key), wanted_key)) continue;
    QByteArray raw = strip_blank_bytes(line.content.mid(value_start));
    if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') &&
        raw.back() == raw.front()) {
      raw = raw.mid(1, raw.size() - 2);
    }
    return decode(cut_value(raw));
  }
  return QString();
}

void ProfileDocument::set_value(const QString& section, const QString& key,
                                const QString& raw_value) {
  const QString wanted_section = strip_spaces(section);
  const QString wanted_key = strip_spaces(key);
  // A value is one line: a line break in it (text pasted into a box) would end the line and let
  // the rest of the value add keys or sections of its own.
  QString value = raw_value;
  value.replace(u'\r', u' ').replace(u'\n', u' ');
  const QByteArray end = default_line_end();
  const Line key_line{encode(wanted_key) + '=' + encode(value), end};

  const qsizetype header = find_section(wanted_section);
  if (header < 0) {
    if (!lines_.isEmpty() && lines_.back().end.isEmpty()) lines_.back().end = end;
    lines_.append(Line{'[' + encode(wanted_section) + ']', end});
    lines_.append(key_line);
    return;
  }

  qsizetype insert_at = header + 1;
  for (qsizetype i = header + 1; i < lines_.size(); ++i) {
    Line& line = lines_[i];
    if (is_section_header(line)) break;
    qsizetype value_start = 0;
    const QByteArray raw_key = key_bytes(line, &value_start);
    if (raw_key.isEmpty()) continue;
    if (names_match(decode(raw_key), wanted_key)) {
      line.content = line.content.left(value_start) + encode(value);
      return;
    }
    insert_at = i + 1;
  }
  if (lines_[insert_at - 1].end.isEmpty()) lines_[insert_at - 1].end = end;
  lines_.insert(insert_at, key_line);
}

QString profile_read(const QString& path, const QString& section, const QString& key) {
  QFile file(path);
  if (!open_regular_file(file)) return QString();
  return ProfileDocument::parse(file.readAll()).value(section, key);
}

WriteResult profile_write_values(const QString& path, const QList<ProfileEdit>& edits) {
  QByteArray old_bytes;
  QFile file(path);
  // QFileInfo follows a symbolic link: a link to a file not made yet counts as a new file.
  if (QFileInfo::exists(path)) {
    // A file that exists but cannot be read is never replaced: its content would be lost. Nor is
    // anything but a regular file (a pipe would block, a device never end).
    errno = 0;
    if (!open_regular_file(file)) return {errno != 0 ? errno : EINVAL};
    old_bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return {EIO};
    file.close();
  }
  ProfileDocument doc = ProfileDocument::parse(old_bytes);
  for (const ProfileEdit& e : edits) doc.set_value(e.section, e.key, e.value);
  return write_file_atomically(path, doc.serialize());
}

bool profile_write(const QString& path, const QString& section, const QString& key,
                   const QString& value) {
  return profile_write_values(path, {ProfileEdit{section, key, value}}).ok();
}

}  // namespace tarvex
