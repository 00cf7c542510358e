#pragma once

#include "platform/fonts.h"

#include <QRect>
#include <QString>
#include <QWidget>

namespace tarvex {

// A widget's geometry in twips, relative to its parent (for a window: its client area).
QRect twips_geometry(const QWidget* w);
void set_twips_geometry(QWidget* w, int left, int top, int width, int height);

// The object name of a control array's member: "Command2(0)".
QString indexed_name(const char* name, int index);

// A control in the design's font ("ＭＳ Ｐゴシック"), named `name`, placed in twips.
template <typename W>
W* make_design_control(QWidget* parent, const QString& name, int left, int top, int width,
                       int height) {
  W* w = new W(parent);
  w->setObjectName(name);
  w->setFont(design_font(kFontPGothic));
  set_twips_geometry(w, left, top, width, height);
  return w;
}

}  // namespace tarvex
