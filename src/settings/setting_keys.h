#pragma once

#include <QString>

namespace tarvex::keys {

// Sections and keys of Tarvex.ini.
inline const QString kSearchExtensions = QStringLiteral("検索拡張子");
inline const QString kLotusExtensions = QStringLiteral("1-2-3拡張子");
inline const QString kExcelExtensions = QStringLiteral("Excel拡張子");
// Picture formats beyond the six fixed ones; read at start-up, never written.
inline const QString kImageExtensions = QStringLiteral("イメージ拡張子");
inline const QString kDisplayTime = QStringLiteral("表示時間");
inline const QString kImage = QStringLiteral("イメージ");
inline const QString kText = QStringLiteral("テキスト");
inline const QString kAttributes = QStringLiteral("表示属性");
inline const QString kArchive = QStringLiteral("アーカイブ");
inline const QString kHidden = QStringLiteral("隠しファイル");
inline const QString kReadOnly = QStringLiteral("読みとり専用");
inline const QString kSystem = QStringLiteral("システム");
inline const QString kPattern = QStringLiteral("表示ファイル");
inline const QString kFileCountSection = QStringLiteral("最大ファイル数");
inline const QString kFileCount = QStringLiteral("ファイル数");
inline const QString kApplicationSection = QStringLiteral("アプリケーションの選択");
inline const QString kApplication = QStringLiteral("アプリケーション名");
inline const QString kFitSection = QStringLiteral("イメージの表示を枠にあわせる");
inline const QString kFit = QStringLiteral("枠にあわせる");
// In the fitting section: "1" keeps a picture's proportions (fitted whole and centred, zoomed and
// scrolled); absent or "0" leaves pictures stretched or cut off. Read at start-up and written
// back as it was read; the options dialog does not show it.
inline const QString kKeepProportions = QStringLiteral("縦横比を保つ");
inline const QString kDeleteSection = QStringLiteral("ファイルの削除");
inline const QString kDelete = QStringLiteral("ファイルの削除");

// The application names in the order they are compared: Lotus 1-2-3, Excel, none.
inline const QString kApplicationNames[3] = {QStringLiteral("1-2-3"), QStringLiteral("excel"),
                                             QStringLiteral("nothing")};

// 拡張子0 … 拡張子10.
inline QString slot_key(int slot) {
  return QStringLiteral("拡張子") + QString::number(slot);
}

}  // namespace tarvex::keys
