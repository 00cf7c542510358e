#include "form_fixture.h"

#include "platform/text_codecs.h"

#include <QDir>
#include <QFile>

namespace tarvex::testing {

const QString kFileCountWarning = QStringLiteral(
    "設定ファイル数が範囲外です。ファイル数を２００にしました。\n\r"
    "          Tarvex.iniを確認してください。");

FormFixture::FormFixture() {
  QDir(dir_.path()).mkpath(QStringLiteral("settings"));
}

QString FormFixture::settings_path() const {
  return dir_.path() + QStringLiteral("/settings/Tarvex.ini");
}

void FormFixture::write_settings(const QString& text) const {
  QString crlf = text;
  crlf.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  QFile file(settings_path());
  file.open(QIODevice::WriteOnly | QIODevice::Truncate);
  file.write(encode_cp932(crlf));
}

QByteArray FormFixture::settings_bytes() const {
  QFile file(settings_path());
  file.open(QIODevice::ReadOnly);
  return file.readAll();
}

QString FormFixture::write_file(const QString& name, const QByteArray& bytes) const {
  const QString path = dir_.path() + u'/' + name;
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  file.open(QIODevice::WriteOnly | QIODevice::Truncate);
  file.write(bytes);
  return path;
}

Form1& FormFixture::make(bool expect_count_warning) {
  if (expect_count_warning) messages.expect(kFileCountWarning);
  Platform platform;
  platform.messages = &messages;
  platform.opener = &opener;
  platform.trash = trash;
  platform.settings_folder = dir_.path() + QStringLiteral("/settings");
  platform.default_settings = default_settings;
  platform.start_folder = dir_.path();
  platform.names = &names;
  platform.sysinfo = sysinfo;
  platform.help_document =
      help_document.isEmpty() ? dir_.path() + QStringLiteral("/help/index.html") : help_document;
  form_ = std::make_unique<Form1>(platform);
  // Menus pop up without a menu loop in tests.
  form_->popup_menu = [](QMenu*, const QPoint&) {};
  return *form_;
}

}  // namespace tarvex::testing
