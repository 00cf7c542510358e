#include "platform/widget_twips.h"

#include "platform/twips.h"

#include <QWidget>

#include <algorithm>

namespace tarvex {

QRect twips_geometry(const QWidget* w) {
  const QRect g = w->geometry();
  return QRect(px_to_twips(g.x()), px_to_twips(g.y()), px_to_twips(g.width()),
               px_to_twips(g.height()));
}

void set_twips_geometry(QWidget* w, int left, int top, int width, int height) {
  w->setGeometry(twips_to_px(left), twips_to_px(top), std::max(0, twips_to_px(width)),
                 std::max(0, twips_to_px(height)));
}

QString indexed_name(const char* name, int index) {
  return QStringLiteral("%1(%2)").arg(QString::fromUtf8(name)).arg(index);
}

}  // namespace tarvex
