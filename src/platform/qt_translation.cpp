#include "platform/qt_translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tarvex {

QString japanese_qt_translation_folder() {
  return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

bool install_japanese_qt_translation() {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return false;
  // One translator for the application, however often this is called (the tests build several
  // windows in one process); it lives as long as the application that owns it.
  const QString name = QStringLiteral("tarvex_qtbase_ja");
  if (app->findChild<QTranslator*>(name, Qt::FindDirectChildrenOnly)) return true;
  auto* translator = new QTranslator(app);
  translator->setObjectName(name);
  if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                        QStringLiteral("_"), japanese_qt_translation_folder())) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

}  // namespace tarvex
