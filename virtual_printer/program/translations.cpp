#include "translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace vp {

QStringList translationFolders(const QString& programFolder) {
    return {programFolder, programFolder + QStringLiteral("/../share/printer-tester/translations")};
}

QStringList translationFolders() {
    return translationFolders(QCoreApplication::applicationDirPath());
}

bool installTranslations(QCoreApplication& app, const QLocale& locale, const QStringList& folders) {
    // Debian ships Qt's own in qt6-translations-l10n.
    auto* qtTexts = new QTranslator(&app);
    if (qtTexts->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTexts);
    else
        delete qtTexts;

    auto* windowTexts = new QTranslator(&app);
    for (const QString& folder : folders) {
        if (windowTexts->load(locale, QStringLiteral("virtual-printer"), QStringLiteral("_"),
                              folder)) {
            QCoreApplication::installTranslator(windowTexts);
            return true;
        }
    }
    delete windowTexts;
    return false;
}

}  // namespace vp
