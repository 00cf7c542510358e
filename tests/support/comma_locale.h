#pragma once

#include <QLocale>
#include <QString>

namespace tarvex::testing {

// Switches the C library and Qt's default locale to one that writes decimals with a comma
// (TARVEX_COMMA_LOCALE, by default de_DE.UTF-8, which the test script generates), and back to
// the previous ones when it goes. `active()` is false, with `why()` saying what failed, when
// the locale could not be set or does not really use a comma: a test that needs it must fail
// then rather than pass in the C locale.
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
