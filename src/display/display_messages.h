#pragma once

#include <QString>

namespace tarvex {

// A new file that cannot be shown: two lines joined by a line feed and a carriage return.
inline const QString kNoSuchFileMessage =
    QStringLiteral("指定したファイル名は存在しません！\n\rファイルボックスを開き直してください。");

inline const QString kLoadingNotice = QStringLiteral("ファイルを読み込んでます。");

}  // namespace tarvex
