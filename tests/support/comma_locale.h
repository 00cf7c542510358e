#pragma once

#include <QLocale>
#include <QString>

namespace tarvex::testing {

// Switches the C library and Qt's default locale to one with a decimal comma (TARVEX_COMMA_LOCALE,
// by default de_DE.UTF-8) and back when it goes. `active()` is false, `why()` saying why, when
// that locale is missing or has no comma: a test needing it must then fail, not pass in C.
class CommaLocale final {
 public:
  CommaLocale();
  ~CommaLocale();
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;

  bool active() const { return why_.isEmpty(); }
  QString why() const { return why_; }

 private:
  QByteArray previous_;
  QLocale previous_qt_;
  QString why_;
};

}  // namespace tarvex::testing
