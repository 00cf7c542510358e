#pragma once

#include "platform/atomic_file.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace tarvex {

// A Windows profile file ("Tarvex.ini") read and edited the way the Windows profile functions do,
// so files written by the Windows build, and files edited by hand, read the same here.
//
// The file is kept as raw lines in its own encoding; an edit replaces the bytes of one value (or
// inserts one line) and every other byte of the file stays as it was.
class ProfileDocument final {
 public:
  enum class Encoding { Cp932, Utf8, Utf16Le };

  // The longest value a read returns, in bytes of the file's encoding (a 1024-byte buffer with
  // its terminating NUL). A cut never splits a character: a dangling lead byte is dropped.
  static constexpr int kMaxValueBytes = 1023;

  static ProfileDocument parse(const QByteArray& bytes);
  QByteArray serialize() const;

  Encoding encoding() const { return encoding_; }

  // The value of `key` in `section` ("" when the section or key is missing). Section and key
  // names match without regard to letter case; leading and trailing spaces of the arguments are
  // ignored.
  QString value(const QString& section, const QString& key) const;

  // Sets `key` in `section` to `value` verbatim but for line breaks (each CR and LF becomes a
  // space, so a value stays on its line), creating the section (at the end of the file) or
  // the key (after the last key of its section) when missing. An existing key keeps its place,
  // its spelling and the spacing before its value.
  void set_value(const QString& section, const QString& key, const QString& value);

 private:
  struct Line {
    QByteArray content;  // in the working encoding, without the line end
    QByteArray end;      // "\r\n", "\n" or "" for a last line without a line end
  };

  QString decode(const QByteArray& bytes) const;
  QByteArray encode(const QString& text) const;
  QByteArray default_line_end() const;
  qsizetype find_section(const QString& section) const;
  bool is_section_header(const Line& line) const;
  QString section_name(const Line& line) const;
  QByteArray key_bytes(const Line& line, qsizetype* value_start) const;
  QByteArray cut_value(const QByteArray& raw) const;

  Encoding encoding_ = Encoding::Cp932;
  QByteArray bom_;
  QList<Line> lines_;
};

// ini_read: the value of `key` in `section` of the profile file at `path`, "" when the file,
// the section or the key is missing or the file cannot be read.
QString profile_read(const QString& path, const QString& section, const QString& key);

// One value to set: `key` in `section`.
struct ProfileEdit {
  QString section, key, value;
};

// Sets every value of `edits`, in order, in the profile file at `path` (created when missing, in
// code page 932) and replaces the file once, atomically: the bytes are those that setting the
// values one by one would leave. A file that exists but cannot be read is never replaced (its
// content would be lost). On failure the old file is left whole and the result says why.
WriteResult profile_write_values(const QString& path, const QList<ProfileEdit>& edits);

// ini_write: sets one value in the profile file at `path`, as above; false when the new file could
// not be written, in which case the old file is left whole.
bool profile_write(const QString& path, const QString& section, const QString& key,
                   const QString& value);

}  // namespace tarvex
