#include "link_launcher.h"

#include <QDesktopServices>
#include <string_view>
#include <utility>

#include "contact_data.h"

namespace {

QString fromContact(std::u8string_view value) {
    return QString::fromUtf8(reinterpret_cast<const char*>(value.data()),
                             static_cast<qsizetype>(value.size()));
}

}  // namespace

LinkLauncher::Opener LinkLauncher::desktopOpener() {
    return [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

LinkLauncher::LinkLauncher(Opener opener, Notice notice)
    : opener_(std::move(opener)), notice_(std::move(notice)) {}

QUrl LinkLauncher::target(Link link) {
    switch (link) {
        case Link::PersonalPage:
            return QUrl::fromUserInput(fromContact(contact::personalPage));
        case Link::CompanySite:
            // The site is kept as printed on the brochure, without a scheme; a browser given
            // the bare address assumes the web.
            return QUrl::fromUserInput(fromContact(contact::companySite));
        case Link::MessengerChat:
            return QUrl(QStringLiteral("tencent://message/?uin=") +
                        fromContact(contact::technicianQq) + QStringLiteral("&Site=") +
                        fromContact(contact::chatSite) + QStringLiteral("&Menu=yes"));
    }
    return {};
}

void LinkLauncher::launch(Link link) const {
    const QUrl url = target(link);
    if (opener_(url)) return;
    notice_(QStringLiteral("提示！"),
            QStringLiteral("没有程序能打开这个链接：\n") + url.toDisplayString());
}
