// The spreadsheet preview: a registered text whose extension is in the chosen application's list
// shows a fixed block of its cells as text.

#include "app/form3.h"
#include "app/main_window.h"
#include "display/classify.h"
#include "display/display_messages.h"
#include "display/text_pane.h"

#include <QCoreApplication>
#include <QLabel>

namespace tarvex {

namespace {

// The steps both applications share; `table`, `hit` and `copy` are the application's own.
struct SheetApp {
  const ExtensionTable& table;
  int& hit;
  QString (Form1::*copy)(const QString&, const QString&);
};

int show_sheet(Form1& f, SheetApp app, int select_flg) {
  FormState& st = f.st;
  const int e = select_flg == 0 ? st.txt.last : st.txt.cur;
  const QString path = st.txt.path(e);
  if (in_extension_table(app.table, path)) app.hit = 1;
  if (app.hit == 1) {
    f.form3()->Label1->setText(kLoadingNotice);
    f.form3()->show();
    QCoreApplication::processEvents();
    st.sheet_file = ファイル名抽出(path);
    const QString folder = path.left(path.size() - st.sheet_file.size());
    f.RichTextBox1->set_text((f.*app.copy)(st.sheet_file, folder));
    app.hit = 0;
    f.form3()->hide();
    return 0;
  }
  if (select_flg == 0) {
    if (!f.RichTextBox1->load_file(st.txt.path(st.txt.last))) {
      st.msg_answer = f.msgbox(kNoSuchFileMessage, MsgButtons::Ok);
      st.txt.undo_registration();
      return 1;
    }
  } else if (select_flg == 1) {
    if (!f.RichTextBox1->load_file(st.txt.path(st.txt.cur))) {
      f.nothing_txt_file();
      return 1;
    }
  }
  return 0;
}

}  // namespace

int Form1::Excelで表示(int select_flg) {
  return show_sheet(*this, SheetApp{st.excel_exts, st.excel_hit, &Form1::Create_Excel}, select_flg);
}

int Form1::Lotus123で表示(int select_flg) {
  return show_sheet(*this, SheetApp{st.lotus_exts, st.lotus_hit, &Form1::Create_Lotus123},
                    select_flg);
}

// The workbook readers arrive with the spreadsheet preview; until then the block is empty.
QString Form1::Create_Excel(const QString& file_name, const QString& drive) {
  Q_UNUSED(file_name);
  Q_UNUSED(drive);
  return QString();
}

QString Form1::Create_Lotus123(const QString& file_name, const QString& drive) {
  Q_UNUSED(file_name);
  Q_UNUSED(drive);
  return QString();
}

}  // namespace tarvex
