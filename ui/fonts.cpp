#include "fonts.h"

#include <QApplication>
#include <QStringList>

void registerFontSubstitutions() {
    // AR PL UMing comes first: its ascent and descent are close to the home desktop's Song face,
    // so text sits in the labels' short boxes as intended, where Noto's taller line pushes the
    // glyphs down and cuts them off.
    const QStringList song = {QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL UMing TW"),
                              QStringLiteral("Noto Serif CJK SC")};
    QFont::insertSubstitutions(songFace(), song);
    QFont::insertSubstitutions(newSongFace(), song);
    QFont::insertSubstitutions(kaiFace(),
                               {QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL UKai TW")});
}

QFont faceFont(const QString& face, qreal points, bool bold) {
    QFont font(face);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QFont dialogFont() {
    QFont font = QApplication::font();
    font.setResolveMask(QFont::AllPropertiesResolved);
    return font;
}
