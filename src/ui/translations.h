// Qt's own texts (the file dialog's buttons and columns, the standard context menus) in Chinese,
// from Qt's translation files; without them those texts stay English and nothing else changes.
#pragma once

#include <QStringList>

class QCoreApplication;
class QTranslator;

namespace brindle::ui {

// Where Qt's translation files may be: Qt's own folder, then "translations" beside the program
// (the portable folder carries them there).
QStringList QtTranslationFolders();

// Installs qtbase_zh_CN from the first of `folders` that has it and gives its translator (owned
// by `app`); nullptr when none has it.
QTranslator* LoadQtTranslations(QCoreApplication& app,
                                const QStringList& folders = QtTranslationFolders());

}  // namespace brindle::ui
