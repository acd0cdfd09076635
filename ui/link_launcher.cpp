#include "link_launcher.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <string_view>
#include <utility>

#include "contact_data.h"
#include "job_steps.h"
#include "utf8_text.h"

LinkLauncher::Opener LinkLauncher::desktopOpener() {
    return [](const QUrl& url, std::function<void()> refused) {
        // Qt's desktop services report success as soon as xdg-open has started, even when it
        // then finds no handler; run it directly and watch how it ends instead.
        const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        if (xdgOpen.isEmpty()) {
            if (!QDesktopServices::openUrl(url)) refused();
            return;
        }
        // Never parented nor deleted before it ends: a handler that is still running (a
        // browser started in the foreground) must outlive this program, not be killed with it.
        auto* handler = new QProcess;
        handler->setProgram(xdgOpen);
        handler->setArguments({url.toString(QUrl::FullyEncoded)});
        handler->setStandardOutputFile(QProcess::nullDevice());
        handler->setStandardErrorFile(QProcess::nullDevice());
        QObject::connect(handler, &QProcess::finished, handler,
                         [handler, refused](int exitCode, QProcess::ExitStatus status) {
                             handler->deleteLater();
                             if (status != QProcess::NormalExit || exitCode != 0) refused();
                         });
        QObject::connect(handler, &QProcess::errorOccurred, handler,
                         [handler, refused](QProcess::ProcessError error) {
                             if (error != QProcess::FailedToStart) return;
                             handler->deleteLater();
                             refused();
                         });
        handler->start();
    };
}

LinkLauncher::LinkLauncher(Opener opener, Notice notice)
    : opener_(std::move(opener)), notice_(std::move(notice)) {}

QUrl LinkLauncher::target(Link link) {
    switch (link) {
        case Link::PersonalPage:
            return QUrl::fromUserInput(qtText(contact::personalPage));
        case Link::CompanySite:
            // The site is kept as printed on the brochure, without a scheme; a browser given
            // the bare address assumes the web.
            return QUrl::fromUserInput(qtText(contact::companySite));
        case Link::MessengerChat:
            return QUrl(QStringLiteral("tencent://message/?uin=") + qtText(contact::technicianQq) +
                        QStringLiteral("&Site=") + qtText(contact::chatSite) +
                        QStringLiteral("&Menu=yes"));
    }
    return {};
}

void LinkLauncher::launch(Link link) const {
    const QUrl url = target(link);
    opener_(url, [notice = notice_, url] {
        notice(qtText(noticeTitle),
               QStringLiteral("没有程序能打开这个链接：\n") + url.toDisplayString());
    });
}
