#include "app/form3.h"

#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/widget_twips.h"

#include <QCloseEvent>
#include <QLabel>

namespace tarvex {

Form3::Form3(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("Form3"));
  setWindowTitle(kAppTitle);
  Label1 = new QLabel(this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setAlignment(Qt::AlignCenter);
  set_twips_geometry(Label1, 120, 240, 4320, 480);
  setFixedSize(4560 / 15, 960 / 15);
  // A notice never takes the keyboard focus from the main window.
  setAttribute(Qt::WA_ShowWithoutActivating);
  Form_Load();
}

void Form3::Form_Load() {
  // The window menu's Close command and the close button are taken away: the window keeps its
  // caption but offers no way to close it.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
}

void Form3::unload() {
  unloading_ = true;
  close();
  unloading_ = false;
}

void Form3::showEvent(QShowEvent* event) {
  // The notice's font is loaded when a notice is first shown, not at start-up.
  if (!font_applied_) {
    Label1->setFont(design_font(kFontMaruGothic, 12));
    font_applied_ = true;
  }
  QWidget::showEvent(event);
}

void Form3::closeEvent(QCloseEvent* event) {
  if (unloading_) {
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace tarvex
