#pragma once

#include <QString>

class QAbstractItemView;
class QModelIndex;

namespace tarvex {

// A row of `view` whose text does not fit in the view's width shows a tooltip when the pointer
// rests on it: the row's own tooltip text when it has one (a register list's row gives the path
// of its entry), else the row's whole text. A row that fits shows none.
void show_cut_rows_whole(QAbstractItemView* view);

// The tooltip a row at `index` of `view` shows: "" when its text fits.
QString cut_row_tip(const QAbstractItemView* view, const QModelIndex& index);

}  // namespace tarvex
