// The spreadsheet preview: a registered text whose extension is in the chosen application's list
// shows a fixed block of its cells as text. The workbook is read by the core readers, on a worker
// thread; the user's clipboard is never touched.

#include "app/form3.h"
#include "app/main_window.h"
#include "display/classify.h"
#include "display/display_messages.h"
#include "display/text_pane.h"
#include "sheets/sheet_readers.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QLabel>
#include <QtConcurrent/QtConcurrentRun>

namespace tarvex {

namespace {

// The copy operations proper: the plain text of the block, "" when the workbook cannot be read.
// They touch no window state, so the worker thread runs them.
QString copy_excel_block(const QString& file_name, const QString& drive) {
  return excel_block_text(drive + file_name);
}

QString copy_lotus_block(const QString& file_name, const QString& drive) {
  return lotus_block_text(drive + file_name);
}

// The steps both applications share; `table`, `hit` and `copy` are the application's own.
struct SheetReader {
  const ExtensionTable& table;
  bool& hit;
  QString (*copy)(const QString&, const QString&);
};

int show_sheet(Form1& f, SheetReader app, int select_flg) {
  FormState& st = f.st;
  // Whatever this step shows, a preview still being read is no longer wanted.
  const quint64 ticket = f.take_sheet_ticket();
  const int e = select_flg == 0 ? st.txt.last : st.txt.cur;
  const QString path = st.txt.path(e);
  if (in_extension_table(app.table, path)) app.hit = true;
  // A workbook that is not there is a file that cannot be loaded, as for any other text: the
  // pane would otherwise show an empty block as if the file had been read.
  if (app.hit && QFileInfo(path).isFile()) {
    f.form3()->Label1->setText(kLoadingNotice);
    f.form3()->show();
    QCoreApplication::processEvents();
    st.sheet_file = ファイル名抽出(path);
    const QString folder = path.left(path.size() - st.sheet_file.size());
    f.start_sheet_reading(ticket, app.copy, st.sheet_file, folder);
    app.hit = false;
    return 0;
  }
  app.hit = false;
  if (select_flg == 0) {
    if (!f.text_pane->load_file(st.txt.path(st.txt.last))) {
      st.txt.undo_registration();
      f.msgbox(kNoSuchFileMessage, MsgButtons::Ok);
      return 1;
    }
  } else if (select_flg == 1) {
    if (!f.text_pane->load_file(st.txt.path(st.txt.cur))) {
      f.nothing_txt_file();
      return 1;
    }
  }
  return 0;
}

}  // namespace

int Form1::Excelで表示(int select_flg) {
  return show_sheet(*this, SheetReader{st.excel_exts, st.excel_hit, &copy_excel_block}, select_flg);
}

int Form1::Lotus123で表示(int select_flg) {
  return show_sheet(*this, SheetReader{st.lotus_exts, st.lotus_hit, &copy_lotus_block}, select_flg);
}

QString Form1::Create_Excel(const QString& file_name, const QString& drive) {
  return copy_excel_block(file_name, drive);
}

QString Form1::Create_Lotus123(const QString& file_name, const QString& drive) {
  return copy_lotus_block(file_name, drive);
}

quint64 Form1::take_sheet_ticket() {
  if (sheet_pending_ticket_ != 0) {
    sheet_pending_ticket_ = 0;
    form3_->hide();
  }
  return ++sheet_ticket_;
}

void Form1::start_sheet_reading(quint64 ticket, QString (*copy)(const QString&, const QString&),
                                const QString& file_name, const QString& drive) {
  sheet_pending_ticket_ = ticket;
  // The watcher belongs to the window: when the window goes first, the reading finishes on its
  // own and its text is dropped.
  auto* watcher = new QFutureWatcher<QString>(this);
  connect(watcher, &QFutureWatcher<QString>::finished, this, [this, watcher, ticket] {
    watcher->deleteLater();
    if (ticket != sheet_pending_ticket_) return;
    sheet_pending_ticket_ = 0;
    text_pane->set_text(watcher->result());
    form3_->hide();
  });
  // A reading that fails in any way, memory running out included, is a workbook that cannot be
  // read: nothing it throws may reach the window thread, where the future would throw it again.
  watcher->setFuture(QtConcurrent::run([copy, file_name, drive]() -> QString {
    try {
      return copy(file_name, drive);
    } catch (...) {
      return QString();
    }
  }));
}

}  // namespace tarvex
