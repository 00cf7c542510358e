#include "about/version.h"
#include "app/command_line.h"
#include "app/main_window.h"
#include "platform/file_opener.h"
#include "platform/fonts.h"
#include "platform/help_document.h"
#include "platform/installed_data.h"
#include "platform/message_box.h"
#include "platform/once_exposed.h"
#include "platform/settings_folder.h"
#include "platform/system_info.h"
#include "platform/system_names.h"
#include "settings/default_settings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QWindow>

#include <cstdio>

int main(int argc, char** argv) {
  // The command line is read before anything needs a display: --help and --version answer
  // anywhere, and a mistake is told in one line with the usage.
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments.append(QFile::decodeName(argv[i]));
  const tarvex::CommandLine line = tarvex::parse_command_line(arguments);
  switch (line.action) {
    case tarvex::CommandLine::Action::Help:
      std::fputs(tarvex::usage_text().toUtf8().constData(), stdout);
      return 0;
    case tarvex::CommandLine::Action::Version:
      std::fputs((tarvex::kVersionTitle + u'\n').toUtf8().constData(), stdout);
      return 0;
    case tarvex::CommandLine::Action::Error:
      std::fputs((line.error + u'\n' + tarvex::usage_text()).toUtf8().constData(), stderr);
      return 2;
    case tarvex::CommandLine::Action::Run:
      break;
  }

  // Without a display the window cannot open: say so plainly instead of Qt's long abort.
  const QByteArray qpa = qgetenv("QT_QPA_PLATFORM");
  if (qpa.isEmpty() && qgetenv("DISPLAY").isEmpty() && qgetenv("WAYLAND_DISPLAY").isEmpty()) {
    std::fputs(tarvex::no_display_text().toUtf8().constData(), stderr);
    return 1;
  }
  // Qt sees the program's name only: the arguments are Tarvex's, and a file named like one of
  // Qt's own options (-style, -platform) is still a file.
  int qt_argc = 1;
  QApplication app(qt_argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tarvex"));
  QGuiApplication::setDesktopFileName(QStringLiteral("tarvex"));
  tarvex::install_font_substitutions();

  tarvex::QtMessageService messages;
  tarvex::DesktopFileOpener opener;
  tarvex::Platform platform;
  platform.messages = &messages;
  platform.opener = &opener;
  platform.settings_folder = tarvex::default_settings_folder();
  platform.default_settings = tarvex::installed_data_path(QCoreApplication::applicationDirPath(),
                                                          tarvex::kDefaultSettingsName);
  tarvex::HostSystemNames names;
  tarvex::PathSystemInfoLauncher sysinfo;
  platform.names = &names;
  platform.sysinfo = &sysinfo;
  platform.help_document = tarvex::find_help_document(QCoreApplication::applicationDirPath());

  // tarvex [FILE|FOLDER]: a folder is where browsing starts; a file is shown once start-up is
  // done, with the tree and the file box moved to its folder.
  QString file_to_show;
  if (!line.target.isEmpty()) {
    const QFileInfo target(line.target);
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
  // A file named on the command line is shown once the window is on screen, where the window
  // manager has placed it: a question about it then stands over the window.
  if (!file_to_show.isEmpty()) {
    new tarvex::OnceExposed(window.windowHandle(), [&window, file_to_show] {
      window.select_in_file_box(QFileInfo(file_to_show).fileName());
      window.ファイルの表示(file_to_show, tarvex::DisplayTarget::ShowPane);
    });
  }
  return app.exec();
}
