#include "platform/error_text.h"

#include <cerrno>

namespace tarvex {

QString error_text(int error_number) {
  switch (error_number) {
    case ENOENT:
    case ENOTDIR:
      return QStringLiteral("ファイルが見つかりません。");
    case EACCES:
    case EPERM:
      return QStringLiteral("アクセス権がありません。");
    case EROFS:
      return QStringLiteral("読み取り専用のドライブです。");
    case EBUSY:
    case ETXTBSY:
      return QStringLiteral("ファイルが使用中です。");
    case EISDIR:
      return QStringLiteral("フォルダは削除できません。");
    case ENOSPC:
    case EDQUOT:
      return QStringLiteral("ディスクに空きがありません。");
    case ENAMETOOLONG:
      return QStringLiteral("ファイル名が長すぎます。");
    default:
      return QStringLiteral("ファイル操作のエラーです（エラー番号 %1）。").arg(error_number);
  }
}

}  // namespace tarvex
