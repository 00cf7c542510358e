#pragma once

#include <QRect>

class QWidget;

namespace tarvex {

// A widget's geometry in twips, relative to its parent (for a window: its client area).
QRect twips_geometry(const QWidget* w);
void set_twips_geometry(QWidget* w, int left, int top, int width, int height);

}  // namespace tarvex
