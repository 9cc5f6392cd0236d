// SPDX-License-Identifier: GPL-3.0-or-later

#include "Store.h"

#include "components/text/Numbers.h"
#include "components/text/QtText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <stdexcept>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace settings {
namespace {

QString sectionPrefix(Section section) {
    switch (section) {
    case Section::Setup:
        return QStringLiteral("Setup/");
    case Section::View:
        return QStringLiteral("View/");
    case Section::Tipsara:
        break;
    }
    return QString();
}

// The subkey's name below "Software\Marvek Systems", as the messages give it.
QString sectionKeyName(Section section) {
    switch (section) {
    case Section::Setup:
        return QStringLiteral("Tipsara\\Setup");
    case Section::View:
        return QStringLiteral("Tipsara\\View");
    case Section::Tipsara:
        break;
    }
    return QStringLiteral("Tipsara");
}

[[noreturn]] void fail(const QString& message) {
    throw std::runtime_error(text::fromQ(message));
}

} // namespace

QString defaultRoot() {
    return QStringLiteral("127.0.0.1:8080");
}

Store::Store()
    : s_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                     QStringLiteral("Marvek Systems"), QStringLiteral("Tipsara"))) {
    // Only the user's own key counts: no organisation-wide or system-wide
    // values behind it.
    s_->setFallbacksEnabled(false);
}

Store::~Store() = default;

QString Store::fileName() const {
    return s_->fileName();
}

std::optional<QString> Store::read(Section section, const QString& name) {
    const QString key = sectionPrefix(section) + name;
    if (!s_->contains(key))
        return std::nullopt;
    const QVariant v = s_->value(key);
    // In the file, an unquoted comma makes a list and "@Type(...)" another
    // type, as REG_MULTI_SZ or REG_DWORD would in the registry.
    if (v.typeId() != QMetaType::QString)
        fail(QStringLiteral("Invalid data type for '%1'").arg(name));
    return v.toString();
}

QString Store::ReadString(Section section, const QString& name, const QString& def) {
    return read(section, name).value_or(def);
}

int Store::ReadInteger(Section section, const QString& name, int def) {
    const std::optional<QString> s = read(section, name);
    if (!s)
        return def;
    // Decimal digits with an optional minus and nothing else: toInt would
    // also take a '+', blanks around the number and stop at a NUL.
    const QByteArray latin = s->toLatin1(); // other characters become '?', a NUL stays
    return text::PlainInteger(std::string_view(latin.constData(), size_t(latin.size())), true)
        .value_or(def);
}

bool Store::ReadBool(Section section, const QString& name, bool def) {
    return ReadInteger(section, name, def ? 1 : 0) != 0;
}

void Store::createSection(Section section) {
#ifndef Q_OS_WIN
    // The file holds the mail password: it is made readable by its owner
    // alone, and QSettings keeps the mode of an existing file when it saves.
    const QString file = s_->fileName();
    // A file that is already there may have been made readable by others
    // (by hand, or by an earlier version): it loses the group and other bits
    // before anything is written, and QSettings writes its replacement with
    // that mode. The owner's bits stay, so a read-only file stays read-only.
    struct stat st {};
    const QByteArray path = QFile::encodeName(file);
    if (::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077))
        ::chmod(path.constData(), st.st_mode & 0700);
    if (!QFileInfo::exists(file)) {
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                    QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
            !QFileInfo::exists(file))
            fail(QStringLiteral("Failed to create key %1").arg(sectionKeyName(section)));
    }
#endif
    bool exists = false;
    if (section == Section::Tipsara)
        exists = !s_->childKeys().isEmpty() || !s_->childGroups().isEmpty();
    else
        exists = s_->childGroups().contains(sectionPrefix(section).chopped(1));
    if (!exists && !s_->isWritable())
        fail(QStringLiteral("Failed to create key %1").arg(sectionKeyName(section)));
}

void Store::WriteString(Section section, const QString& name, const QString& value) {
    createSection(section);
    const QString key = sectionPrefix(section) + name;
    const bool had = s_->contains(key);
    const QVariant old = had ? s_->value(key) : QVariant();
    s_->setValue(key, value);
    s_->sync();
    // A format error is kept from reading the file and does not stop the
    // write; an unwritable store shows as an access error, or, when the
    // format error masks it, as a store that cannot be written.
    const QSettings::Status st = s_->status();
    if (st == QSettings::AccessError || (st == QSettings::FormatError && !s_->isWritable())) {
        // QSettings would keep the unwritten value in its cache and show it
        // to the next reader as though it had been stored.
        if (had)
            s_->setValue(key, old);
        else
            s_->remove(key);
        fail(QStringLiteral("Failed to set data for '%1'").arg(name));
    }
}

void Store::WriteInteger(Section section, const QString& name, int value) {
    WriteString(section, name, QString::number(value));
}

void Store::WriteBool(Section section, const QString& name, bool value) {
    WriteString(section, name, value ? QStringLiteral("1") : QStringLiteral("0"));
}

int LoadTreeWidth() {
    Store reg;
    return reg.ReadInteger(Section::View, QStringLiteral("TreeWidth"), 150);
}

void SaveTreeWidth(int width) {
    Store reg;
    reg.WriteInteger(Section::View, QStringLiteral("TreeWidth"), width);
}

bool LoadSearchInText() {
    try {
        Store reg;
        return reg.ReadBool(Section::View, QStringLiteral("SearchInText"), false);
    } catch (const std::exception&) {
        // A value nobody can read leaves the title search, as at first start.
        return false;
    }
}

void SaveSearchInText(bool on) {
    Store reg;
    reg.WriteBool(Section::View, QStringLiteral("SearchInText"), on);
}

std::optional<std::pair<int, int>> LoadSearchSize() {
    try {
        Store reg;
        const int width = reg.ReadInteger(Section::View, QStringLiteral("SearchWidth"), 0);
        const int height = reg.ReadInteger(Section::View, QStringLiteral("SearchHeight"), 0);
        if (width <= 0 || height <= 0)
            return std::nullopt;
        return std::pair(width, height);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void SaveSearchSize(int width, int height) {
    Store reg;
    reg.WriteInteger(Section::View, QStringLiteral("SearchWidth"), width);
    reg.WriteInteger(Section::View, QStringLiteral("SearchHeight"), height);
}

int LoadZoom() {
    try {
        Store reg;
        return reg.ReadInteger(Section::View, QStringLiteral("Zoom"), 100);
    } catch (const std::exception&) {
        // A value nobody can read gives the pages their normal size.
        return 100;
    }
}

void SaveZoom(int percent) {
    Store reg;
    reg.WriteInteger(Section::View, QStringLiteral("Zoom"), percent);
}

} // namespace settings
