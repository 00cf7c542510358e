#pragma once

#include <QString>

class QLabel;

namespace tarvex {

// A label that shows a value (the count "/7", a piece of the path on display) is heard by a screen
// reader as its role followed by what it shows ("登録数 /7"), with the shown text as its value; as
// its role alone while it shows nothing. The name follows the label's text as it changes.
void expose_label_value(QLabel* label, const QString& role);

}  // namespace tarvex
