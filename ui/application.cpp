#include "application.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "fonts.h"

void prepareApplication(QApplication& app) {
    registerFontSubstitutions();
    // Debian ships Qt's translations in qt6-translations-l10n. Without it Qt's texts stay
    // English and everything else works as before.
    auto* qtTexts = new QTranslator(&app);
    if (qtTexts->load(QStringLiteral("qtbase_zh_CN"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(qtTexts);
    }
}
