// Turns the images of the window's icon file into an icon theme's PNG files, so that the menu
// shows the very pictures the window shows. Run by the build, never installed.
//
// Usage: ico_to_png ICON ROOT NAME SIZE...
// Writes ROOT/SIZExSIZE/apps/NAME.png for every SIZE. The sizes must be exactly those the icon
// holds: a picture added to or dropped from the icon then stops the build instead of leaving
// the installed set behind.
#include <QCoreApplication>
#include <QDir>
#include <algorithm>
#include <cstdio>

#include "icon_images.h"

namespace {

int fail(const QString& message) {
    std::fprintf(stderr, "ico_to_png: %s\n", qPrintable(message));
    return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);  // image format plugins load through it
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 5) return fail(QStringLiteral("usage: ico_to_png ICON ROOT NAME SIZE..."));
    const QString iconFile = args[1];
    const QString root = args[2];
    const QString name = args[3];

    QString error;
    const QMap<int, QImage> bySize = iconImagesBySize(iconFile, &error);
    if (bySize.isEmpty()) return fail(error);

    QList<int> wanted;
    for (qsizetype i = 4; i < args.size(); ++i) wanted.append(args[i].toInt());
    std::sort(wanted.begin(), wanted.end());
    if (wanted != bySize.keys()) {
        QStringList held;
        for (int size : bySize.keys()) held.append(QString::number(size));
        return fail(iconFile + QStringLiteral(" holds the sizes ") + held.join(u' ') +
                    QStringLiteral(": list exactly these"));
    }

    for (auto it = bySize.cbegin(); it != bySize.cend(); ++it) {
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(root).arg(it.key());
        const QString file = dir + u'/' + name + QStringLiteral(".png");
        if (!QDir().mkpath(dir) || !it.value().save(file, "PNG"))
            return fail(QStringLiteral("cannot write ") + file);
    }
    return 0;
}
