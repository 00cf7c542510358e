#include "platform/row_tips.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QToolTip>

namespace tarvex {

namespace {

class CutRowTips final : public QObject {
 public:
  explicit CutRowTips(QAbstractItemView* view) : QObject(view), view_(view) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::ToolTip || watched != view_->viewport()) return false;
    auto* help = static_cast<QHelpEvent*>(event);
    const QString tip = cut_row_tip(view_, view_->indexAt(help->pos()));
    if (tip.isEmpty()) {
      QToolTip::hideText();
    } else {
      QToolTip::showText(help->globalPos(), tip, view_->viewport(),
                         view_->visualRect(view_->indexAt(help->pos())));
    }
    return true;
  }

 private:
  QAbstractItemView* view_;
};

}  // namespace

QString cut_row_tip(const QAbstractItemView* view, const QModelIndex& index) {
  if (!index.isValid()) return QString();
  // The row needs the width its delegate asks for from where it starts; what the viewport leaves
  // it from there is what is shown.
  const int needed = view->sizeHintForIndex(index).width();
  const int shown = view->viewport()->width() - view->visualRect(index).left();
  if (needed <= shown) return QString();
  const QString own = index.data(Qt::ToolTipRole).toString();
  return own.isEmpty() ? index.data(Qt::DisplayRole).toString() : own;
}

void show_cut_rows_whole(QAbstractItemView* view) {
  view->viewport()->installEventFilter(new CutRowTips(view));
}

}  // namespace tarvex
