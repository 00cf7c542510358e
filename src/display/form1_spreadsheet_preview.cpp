// The spreadsheet preview: a registered text whose extension is in the chosen application's list
// shows a fixed block of its cells as text. The workbook is read by the core readers, as a job of
// the window's runner; the user's clipboard is never touched.

#include "app/form3.h"
#include "app/main_window.h"
#include "display/classify.h"
#include "display/display_messages.h"
#include "display/text_pane.h"
#include "platform/job_runner.h"
#include "sheets/sheet_readers.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>

#include <optional>
#include <system_error>

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

SheetResult show_sheet(Form1& f, SheetReader app, SheetEntry select_flg) {
  FormState& st = f.st;
  // Whatever this step shows, a preview still being read is no longer wanted.
  f.supersede_sheet_reading();
  const int e = select_flg == SheetEntry::Newest ? st.txt.last : st.txt.cur;
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
    f.start_sheet_reading(app.copy, st.sheet_file, folder);
    app.hit = false;
    return SheetResult::Shown;
  }
  app.hit = false;
  if (select_flg == SheetEntry::Newest) {
    if (!f.text_pane->load_file(st.txt.path(st.txt.last))) {
      st.txt.undo_registration();
      f.msgbox(kNoSuchFileMessage, MsgButtons::Ok);
      return SheetResult::NotShown;
    }
  } else {
    if (!f.text_pane->load_file(st.txt.path(st.txt.cur))) {
      f.nothing_txt_file();
      return SheetResult::NotShown;
    }
  }
  return SheetResult::Shown;
}

}  // namespace

SheetResult Form1::Excelで表示(SheetEntry select_flg) {
  return show_sheet(*this, SheetReader{st.excel_exts, st.excel_hit, &copy_excel_block}, select_flg);
}

SheetResult Form1::Lotus123で表示(SheetEntry select_flg) {
  return show_sheet(*this, SheetReader{st.lotus_exts, st.lotus_hit, &copy_lotus_block}, select_flg);
}

QString Form1::Create_Excel(const QString& file_name, const QString& drive) {
  return copy_excel_block(file_name, drive);
}

QString Form1::Create_Lotus123(const QString& file_name, const QString& drive) {
  return copy_lotus_block(file_name, drive);
}

void Form1::supersede_sheet_reading() {
  if (sheet_lane_.busy()) form3_->hide();
  sheet_lane_.cancel();
}

void Form1::start_sheet_reading(QString (*copy)(const QString&, const QString&),
                                const QString& file_name, const QString& drive) {
  // The reading's text, or an empty pane for a workbook that could not be read in any way (what
  // the reading threw, memory running out included, stays on its thread).
  auto show = [this](std::optional<QString> text) {
    text_pane->set_text(text.value_or(QString()));
    form3_->hide();
  };
  try {
    jobs().start(
        sheet_lane_, [copy, file_name, drive](const JobControl&) { return copy(file_name, drive); },
        show);
  } catch (const std::system_error&) {
    // No thread to be had: the workbook is read here while the notice shows.
    sheet_lane_.cancel();
    std::optional<QString> text;
    try {
      text = copy(file_name, drive);
    } catch (...) {
      text.reset();
    }
    show(std::move(text));
  }
}

}  // namespace tarvex
