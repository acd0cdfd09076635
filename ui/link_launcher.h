#pragma once

#include <QString>
#include <QUrl>
#include <functional>

// Opens the contact links of the main window with the desktop's default handler and returns at
// once, without waiting for or watching the program that handles them.
class LinkLauncher {
public:
    enum class Link { PersonalPage, CompanySite, MessengerChat };

    // Hands a link to a handler and returns at once; calls `refused` (now or later, on the
    // window thread) when nothing takes the link.
    using Opener = std::function<void(const QUrl& url, std::function<void()> refused)>;
    // Tells the user something in a plain information box (title, text).
    using Notice = std::function<void(const QString&, const QString&)>;

    // The desktop's URL handler (xdg-open where there is one, else Qt's desktop services).
    static Opener desktopOpener();

    LinkLauncher(Opener opener, Notice notice);

    // The address a link leads to, built from the deployer's contact data.
    static QUrl target(Link link);

    // Opens the link. When no handler takes it (the chat scheme is often unknown outside the
    // messenger's home desktop) the user is told so, and the program carries on.
    void launch(Link link) const;

private:
    Opener opener_;
    Notice notice_;
};
