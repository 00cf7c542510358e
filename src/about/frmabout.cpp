#include "about/frmabout.h"

#include "about/version.h"
#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/system_info.h"
#include "platform/system_names.h"
#include "platform/twips.h"
#include "platform/widget_twips.h"

#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>

namespace tarvex {

namespace {

// The application's icon: a page with a picture on the left and lines of text on the right.
QPixmap application_icon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);
  p.setPen(QPen(QColor(0x40, 0x40, 0x6a), 3));
  p.setBrush(QColor(0xf4, 0xf1, 0xe8));
  p.drawRoundedRect(QRectF(4, 8, 56, 48), 4, 4);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xc0, 0x40, 0x00, 217));
  p.drawRect(QRectF(10, 14, 22, 36));
  p.setPen(QPen(QColor(0x40, 0x40, 0x6a), 3));
  for (int y : {18, 26, 34}) p.drawLine(QLineF(36, y, 54, y));
  p.drawLine(QLineF(36, 42, 48, 42));
  return pixmap;
}

const QString kNoSystemInfo = QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません");

}  // namespace

FrmAbout::FrmAbout(const SystemNames* names, SystemInfoLauncher* sysinfo, MessageService* messages,
                   QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      names_(names),
      sysinfo_(sysinfo),
      messages_(messages) {
  setObjectName(QStringLiteral("frmAbout"));
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(twips_to_px(5730), twips_to_px(3840));

  picIcon = make_design_control<QLabel>(this, QStringLiteral("picIcon"), 240, 240, 540, 540);
  picIcon->setPixmap(application_icon(twips_to_px(540)));
  lblTitle = make_design_control<QLabel>(this, QStringLiteral("lblTitle"), 1050, 240, 4320, 480);
  lblTitle->setFont(design_font(kFontGothicE, 14));
  lblTitle->setText(kVersionTitle);

  Frame1 = make_design_control<QGroupBox>(this, QStringLiteral("Frame1"), 1050, 840, 4320, 1035);
  Frame1->setTitle(QStringLiteral("User Profiles"));
  for (int i = 0; i < 2; ++i) {
    // A fixed-width font lines the two names up under each other.
    Label1[i] = make_design_control<QLabel>(Frame1, indexed_name("Label1", i), 150, 330 + 330 * i,
                                            4050, 255);
    Label1[i]->setFont(design_font(kFontGothic));
    Label1[i]->setTextFormat(Qt::PlainText);
  }
  for (int i = 0; i < 2; ++i) {
    Label2[i] = make_design_control<QLabel>(this, indexed_name("Label2", i), 1050, 2040 + 300 * i,
                                            4320, 255);
  }

  cmdSysInfo =
      make_design_control<QPushButton>(this, QStringLiteral("cmdSysInfo"), 2760, 3180, 1335, 375);
  cmdSysInfo->setText(QStringLiteral("ｼｽﾃﾑ情報(&S)..."));
  cmdOK = make_design_control<QPushButton>(this, QStringLiteral("cmdOK"), 4245, 3180, 1125, 375);
  cmdOK->setText(QStringLiteral("OK"));
  cmdOK->setDefault(true);
  connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
  connect(cmdSysInfo, &QPushButton::clicked, this, [this] { cmdSysInfo_Click(); });
  // The box is a plain window, not a dialog: Escape and Enter press its buttons as a dialog's
  // keys would (Enter the focused button, OK when no button has the focus).
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, cmdOK, &QPushButton::click);
  for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
    auto* enter = new QShortcut(QKeySequence(key), this);
    connect(enter, &QShortcut::activated, this,
            [this] { (cmdSysInfo->hasFocus() ? cmdSysInfo : cmdOK)->click(); });
  }

  Form_Load();
}

void FrmAbout::Form_Load() {
  setWindowTitle(QStringLiteral("Tarvexのﾊﾞｰｼﾞｮﾝ情報"));
  // A name the system cannot give leaves the line with its words only.
  const QString user = names_ ? names_->user_name() : QString();
  const QString computer = names_ ? names_->computer_name() : QString();
  Label1[0]->setText(QStringLiteral("ユーザー名             ") + user);
  Label1[1]->setText(QStringLiteral("コンピュータ名         ") + computer);
  Label2[0]->setText(QStringLiteral("作者：Tarvex 開発グループ"));
  // The build for Linux, with the Qt it runs on.
  Label2[1]->setText(QStringLiteral("Linux 版（Qt %1）").arg(QString::fromLatin1(qVersion())));
}

void FrmAbout::cmdOK_Click() {
  close();
}

void FrmAbout::cmdSysInfo_Click() {
  StartSysInfo();
}

void FrmAbout::StartSysInfo() {
  if (sysinfo_ && sysinfo_->start()) return;
  if (messages_) messages_->msgbox(kNoSystemInfo, MsgButtons::Ok);
}

}  // namespace tarvex
