#include "comma_locale.h"

#include <clocale>
#include <cstdio>

namespace tarvex::testing {

CommaLocale::CommaLocale() : previous_(std::setlocale(LC_ALL, nullptr)) {
  QByteArray name = qgetenv("TARVEX_COMMA_LOCALE");
  if (name.isEmpty()) name = "de_DE.UTF-8";
  if (!std::setlocale(LC_ALL, name.constData())) {
    why_ = QStringLiteral("the locale %1 is not installed").arg(QString::fromLatin1(name));
    return;
  }
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%.1f", 0.5);
  if (QByteArray(buffer) != "0,5") {
    why_ = QStringLiteral("the locale %1 writes 0.5 as %2")
               .arg(QString::fromLatin1(name), QString::fromLatin1(buffer));
    return;
  }
  QLocale::setDefault(QLocale(QString::fromLatin1(name)));
  if (QLocale().decimalPoint() != QStringLiteral(",")) {
    why_ = QStringLiteral("Qt's locale %1 has no decimal comma").arg(QString::fromLatin1(name));
  }
}

CommaLocale::~CommaLocale() {
  std::setlocale(LC_ALL, previous_.constData());
  QLocale::setDefault(previous_qt_);
}

}  // namespace tarvex::testing
