#pragma once

#include <QFont>
#include <QString>

// The face names the windows ask for are those of the tool's home desktop. They stay in the code
// as they are; registerFontSubstitutions() points them at faces a Debian desktop has.
inline QString songFace() {
    return QStringLiteral("宋体");
}
inline QString newSongFace() {
    return QStringLiteral("新宋体");
}
inline QString kaiFace() {
    return QStringLiteral("楷体_GB2312");
}

// Maps the two Song faces onto installed Song/Ming serif faces and the Kai face onto an installed
// regular-script face. Call once, after the application object exists.
void registerFontSubstitutions();

// A font of the given face, size in points and weight.
QFont faceFont(const QString& face, qreal points, bool bold);

// The desktop's dialog font, pinned so that a control placed inside a frame with a font of its
// own still shows the desktop's font rather than inheriting the frame's.
QFont dialogFont();
