#pragma once

#include "text/text_decode.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QList>
#include <QString>

namespace tarvex::testing {

// A text of tests/data/texts: made from a UTF-8 text of its sources/ in the encoding its name
// tells (NAME.ENCODING.EXT; the README there says how).
struct WildText {
  QString name;
  QString path;
  QByteArray bytes;
  QString text;  // as written
  TextEncoding encoding;
};

inline QList<WildText> wild_texts() {
  static const QHash<QString, TextEncoding> kTags = {
      {QStringLiteral("cp932"), TextEncoding::Cp932},
      {QStringLiteral("eucjp"), TextEncoding::EucJp},
      {QStringLiteral("iso2022jp"), TextEncoding::Iso2022Jp},
      {QStringLiteral("utf8"), TextEncoding::Utf8},
      {QStringLiteral("utf8bom"), TextEncoding::Utf8Bom},
      {QStringLiteral("utf16le"), TextEncoding::Utf16Le},
      {QStringLiteral("utf16be"), TextEncoding::Utf16Be},
      {QStringLiteral("utf16lebom"), TextEncoding::Utf16LeBom}};
  const QDir dir(QStringLiteral(TARVEX_TEST_DATA_DIR "/texts"));
  QList<WildText> texts;
  for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
    const QStringList parts = name.split(u'.');
    if (parts.size() != 3 || !kTags.contains(parts[1])) continue;
    QFile file(dir.filePath(name));
    QFile source(dir.filePath(QStringLiteral("sources/%1.%2").arg(parts[0], parts[2])));
    if (!file.open(QIODevice::ReadOnly) || !source.open(QIODevice::ReadOnly)) continue;
    texts.append({name, file.fileName(), file.readAll(), QString::fromUtf8(source.readAll()),
                  kTags[parts[1]]});
  }
  return texts;
}

}  // namespace tarvex::testing
