#include "registers/register_ring.h"

#include "platform/paths.h"

namespace tarvex {

void Register::reset(int new_max_index) {
  max_index = new_max_index;
  paths = QStringList(static_cast<qsizetype>(max_index) + 2, QString());
  path_before.clear();
  last = -1;
  full = false;
  cur = 0;
  last_before = 0;
  full_before = false;
}

void Register::register_path(const QString& path, bool keep_copies) {
  const int slot = last == max_index ? 0 : last + 1;
  if (keep_copies) {
    last_before = last;
    full_before = full;
    path_before = this->path(slot);
  }
  if (last == max_index) {
    last = 0;
    full = true;
  } else {
    last = last + 1;
  }
  if (last >= 0 && last <= max_index) paths[last] = path;
}

void Register::undo_registration() {
  if (last >= 0 && last <= max_index) paths[last] = path_before;
  last = last_before;
  full = full_before;
}

QStringList Register::list_lines() const {
  QStringList lines;
  const int top = top_index();
  for (int i = 0; i <= top && i < paths.size(); ++i) {
    lines.append(Re_Number(i, max_index) + QStringLiteral(": ") + ファイル名抽出(paths[i]));
  }
  return lines;
}

QString Re_Number(int org_number, int max_index) {
  if (org_number < 0) return QString();
  if (org_number <= 9) return QStringLiteral("00") + QString::number(org_number);
  if (org_number <= 99) return QStringLiteral("0") + QString::number(org_number);
  if (org_number <= max_index) return QString::number(org_number);
  return QString();
}

QString ファイル名抽出(const QString& path) {
  return file_name_part(path);
}

QString display_number(int index) {
  const QString text = QStringLiteral("  ") + QString::number(index);
  return text.right(3);
}

QString count_text(int top_index) {
  return QStringLiteral("/") + QString::number(top_index);
}

}  // namespace tarvex
