// SPDX-License-Identifier: GPL-3.0-or-later

#include "WebLinks.h"

#include "QuitSignals.h"

#include <QUrl>

namespace weblinks {
namespace {
Launcher& launcherRef() {
    static Launcher launcher;
    return launcher;
}
} // namespace

bool IsWebLink(const QString& link) {
    const QUrl url(link, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty();
}

bool Open(const QString& link) {
    if (!IsWebLink(link))
        return false;
    const QString program = QStringLiteral("xdg-open");
    const QStringList args{QUrl(link).toString(QUrl::FullyEncoded)};
    if (launcherRef())
        return launcherRef()(program, args);
    return quitsignals::startDetachedWithDefaultSignals(program, args);
}

Launcher setLauncher(Launcher launcher) {
    Launcher previous = std::move(launcherRef());
    launcherRef() = std::move(launcher);
    return previous;
}

} // namespace weblinks
