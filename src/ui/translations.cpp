#include "ui/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace brindle::ui {

QStringList QtTranslationFolders() {
  return {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
          QCoreApplication::applicationDirPath() + QStringLiteral("/translations")};
}

QTranslator* LoadQtTranslations(QCoreApplication& app, const QStringList& folders) {
  for (const QString& folder : folders) {
    auto* translator = new QTranslator(&app);
    if (translator->load(QStringLiteral("qtbase_zh_CN"), folder) &&
        QCoreApplication::installTranslator(translator)) {
      return translator;
    }
    delete translator;
  }
  return nullptr;
}

}  // namespace brindle::ui
