#include "platform/fonts.h"

#include <QStringList>

namespace tarvex {

void install_font_substitutions() {
  const QStringList proportional = {QStringLiteral("Noto Sans CJK JP"),
                                    QStringLiteral("Noto Sans JP"), QStringLiteral("IPAPGothic"),
                                    QStringLiteral("VL PGothic"), QStringLiteral("Sans Serif")};
  const QStringList fixed = {QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("IPAGothic"),
                             QStringLiteral("VL Gothic"), QStringLiteral("Noto Sans CJK JP"),
                             QStringLiteral("Monospace")};
  QFont::insertSubstitutions(kFontPGothic, proportional);
  QFont::insertSubstitutions(kFontGothic, fixed);
  QFont::insertSubstitutions(kFontMaruGothic, proportional);
  QFont::insertSubstitutions(kFontGothicE, proportional);
}

QFont design_font(const QString& name, int point_size) {
  QFont font(name, point_size);
  if (name == kFontGothicE) font.setWeight(QFont::Black);
  if (name == kFontGothic) font.setStyleHint(QFont::TypeWriter);
  return font;
}

}  // namespace tarvex
