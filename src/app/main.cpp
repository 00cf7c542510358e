#include "app/main_window.h"
#include "platform/file_opener.h"
#include "platform/fonts.h"
#include "platform/help_document.h"
#include "platform/message_box.h"
#include "platform/settings_folder.h"
#include "platform/system_info.h"
#include "platform/system_names.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
  // Without a display the window cannot open: say so plainly instead of Qt's long abort.
  const QByteArray qpa = qgetenv("QT_QPA_PLATFORM");
  if (qpa.isEmpty() && qgetenv("DISPLAY").isEmpty() && qgetenv("WAYLAND_DISPLAY").isEmpty()) {
    std::fputs(
        "tarvex: no display found (DISPLAY is not set); to try it headless, run it under "
        "xvfb-run, e.g. `xvfb-run -a tarvex`\n",
        stderr);
    return 1;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tarvex"));
  QGuiApplication::setDesktopFileName(QStringLiteral("tarvex"));
  tarvex::install_font_substitutions();

  tarvex::QtMessageService messages;
  tarvex::DesktopFileOpener opener;
  tarvex::Platform platform;
  platform.messages = &messages;
  platform.opener = &opener;
  platform.settings_folder = tarvex::default_settings_folder();
  tarvex::HostSystemNames names;
  tarvex::PathSystemInfoLauncher sysinfo;
  platform.names = &names;
  platform.sysinfo = &sysinfo;
  platform.help_document = tarvex::find_help_document(QCoreApplication::applicationDirPath());

  // tarvex [FILE|FOLDER]: a folder is where browsing starts; a file is shown once start-up is
  // done, with the tree and the file box moved to its folder.
  QString file_to_show;
  const QStringList args = QApplication::arguments();
  if (args.size() > 1) {
    const QFileInfo target(args.at(1));
    if (target.isDir()) {
      platform.start_folder = target.absoluteFilePath();
    } else {
      platform.start_folder = target.absolutePath();
      file_to_show = target.absoluteFilePath();
    }
  }

  tarvex::Form1 window(platform);
  messages.set_parent(&window);
  window.show();
  if (!file_to_show.isEmpty()) {
    QTimer::singleShot(0, &window, [&window, file_to_show] {
      window.select_in_file_box(QFileInfo(file_to_show).fileName());
      window.ファイルの表示(file_to_show, 1);
    });
  }
  return app.exec();
}
