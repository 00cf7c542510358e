#include "comma_locale.h"

#include <clocale>
#include <cstdio>

namespace tarvex::testing {

CommaLocale::CommaLocale() : previous_(std::setlocale(LC_ALL, nullptr)) {
  QByteArray name = qgetenv("TARVEX_COMMA_LOCALE");
  if (name.isEmpty()) name = "de_DE.UTF-8";
  char half[16] = "";
  if (std::setlocale(LC_ALL, name.constData())) std::snprintf(half, sizeof half, "%.1f", 0.5);
  QLocale::setDefault(QLocale(QString::fromLatin1(name)));
  if (QByteArray(half) != "0,5" || QLocale().decimalPoint() != QStringLiteral(",")) {
    why_ = QStringLiteral("the locale %1 is missing or has no decimal comma (C writes 0.5 as %2)")
               .arg(QString::fromLatin1(name), QString::fromLatin1(half));
  }
}

CommaLocale::~CommaLocale() {
  std::setlocale(LC_ALL, previous_.constData());
  QLocale::setDefault(previous_qt_);
}

}  // namespace tarvex::testing
