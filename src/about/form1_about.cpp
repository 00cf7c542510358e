// The About box and the help: the main window's commands of the help menu.

#include "about/frmabout.h"
#include "app/main_window.h"
#include "platform/file_opener.h"
#include "platform/help_document.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace tarvex {

namespace {

const QString kHelpMissing = QStringLiteral("ヘルプファイルが見つかりません。\n\r");
const QString kHelpNotOpened =
    QStringLiteral("ヘルプを表示するアプリケーションが見つかりません。\n\r");

}  // namespace

FrmAbout* Form1::frm_about() const {
  return frm_about_;
}

void Form1::バージョン情報_Click() {
  // One About box: asked again while it is open, the same box comes forward as it is. A box
  // that has been closed is on its way out and is not shown again.
  if (!frm_about_ || frm_about_->isHidden()) {
    frm_about_ = new FrmAbout(platform_.names, platform_.sysinfo, platform_.messages, this);
    // A new box opens over the middle of the main window.
    QRect place = frm_about_->frameGeometry();
    place.moveCenter(frameGeometry().center());
    frm_about_->move(place.topLeft());
  }
  frm_about_->show();
  frm_about_->raise();
  frm_about_->activateWindow();
}

void Form1::close_about_box() {
  if (frm_about_) frm_about_->close();
}

void Form1::Tarvexのヘルプ_Click() {
  const QString document = platform_.help_document.isEmpty()
                               ? find_help_document(QCoreApplication::applicationDirPath())
                               : platform_.help_document;
  // The desktop's viewer would not say that the document is missing: say it here, with the path.
  if (!QFileInfo(document).isFile()) {
    msgbox(kHelpMissing + document, MsgButtons::Ok);
    return;
  }
  // Nor would a desktop without a browser or launcher: name the document, so that it can be
  // opened by hand.
  if (platform_.opener && !platform_.opener->open(document)) {
    msgbox(kHelpNotOpened + document, MsgButtons::Ok);
  }
}

}  // namespace tarvex
