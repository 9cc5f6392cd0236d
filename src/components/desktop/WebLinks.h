// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Links that come with data from the update server (announcements, article
// pages) are opened outside the program only when they are web pages: any
// other scheme could start a local program, a file or a share through the
// desktop's handlers. mailto: is refused too, since some mail programs take
// attachments named in the link.

#include <QString>
#include <QStringList>

#include <functional>

namespace weblinks {

// True for an absolute http or https URL with a host.
bool IsWebLink(const QString& link);

// Hands a link that IsWebLink accepts to the desktop's opener, started like
// any program from here with the default signal mask. False when the link is
// refused or the opener could not be started.
bool Open(const QString& link);

// How a program is started; tests put a recorder here. Empty restores the
// real launcher. Returns the previous one.
using Launcher = std::function<bool(const QString& program, const QStringList& args)>;
Launcher setLauncher(Launcher launcher);

} // namespace weblinks
