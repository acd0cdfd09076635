#pragma once

#include <QLocale>
#include <QStringList>

class QCoreApplication;

namespace vp {

// Where the window's translations are looked for: beside the program, as a build leaves
// them, then in share/printer-tester/translations beside the program's bin folder, as the
// package installs them.
QStringList translationFolders(const QString& programFolder);
QStringList translationFolders();  // this program's

// Installs the window's translation for `locale` from the first of `folders` that has one,
// and Qt's own texts (its dialogs and buttons) in that language where Qt's translations are
// installed. Returns whether the window's was found; without it the window stays English.
bool installTranslations(QCoreApplication& app, const QLocale& locale,
                         const QStringList& folders = translationFolders());

}  // namespace vp
