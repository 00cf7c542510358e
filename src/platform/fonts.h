#pragma once

#include <QFont>
#include <QString>

namespace tarvex {

// The design's font names.
inline const QString kFontPGothic = QStringLiteral("ＭＳ Ｐゴシック");
inline const QString kFontGothic = QStringLiteral("ＭＳ ゴシック");
inline const QString kFontMaruGothic = QStringLiteral("HG丸ｺﾞｼｯｸM-PRO");
inline const QString kFontGothicE = QStringLiteral("ＨＧｺﾞｼｯｸE-PRO");

// Maps the design's font names to installed Japanese fonts (Noto Sans CJK JP and its relatives,
// then any font fontconfig offers for Japanese). Called once at start.
void install_font_substitutions();

// The design font at the design size of 9 points.
QFont design_font(const QString& name, int point_size = 9);

}  // namespace tarvex
