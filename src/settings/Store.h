// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The settings store: the key "Software\Marvek Systems" of the current user,
// through QSettings in its native format. On Windows that is the registry
// itself; elsewhere it is "<config>/Marvek Systems/Tipsara.conf", whose
// general section is the subkey "Tipsara" and whose sections [Setup] and
// [View] are "Tipsara\Setup" and "Tipsara\View".
//
// Every value is kept as a string: integers as decimal text, Booleans as
// "0"/"1". The operations throw std::runtime_error with the registry's own
// messages; the top-level error report shows them.

#include <QString>

#include <memory>
#include <optional>
#include <utility>

class QSettings;

namespace settings {

enum class Section { Tipsara, Setup, View };

// The update server used when none has been stored: the project's own update
// server listens here by default.
QString defaultRoot();

// One opening of the key: made for an operation and dropped at its end.
class Store {
public:
    Store();
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // A missing value gives def; so does an integer whose text is not a
    // decimal integer. A value that is not a string throws
    // "Invalid data type for '<name>'".
    QString ReadString(Section section, const QString& name, const QString& def);
    int ReadInteger(Section section, const QString& name, int def);
    bool ReadBool(Section section, const QString& name, bool def);

    // Throws "Failed to create key <subkey>" when the section cannot be made
    // and "Failed to set data for '<name>'" when the value does not reach the
    // store; nothing is left pending in memory then.
    void WriteString(Section section, const QString& name, const QString& value);
    void WriteInteger(Section section, const QString& name, int value);
    void WriteBool(Section section, const QString& name, bool value);

    // Where the store lives: a file path, or a registry path on Windows.
    QString fileName() const;

private:
    std::optional<QString> read(Section section, const QString& name);
    void createSection(Section section);
    std::unique_ptr<QSettings> s_;
};

// The width of the browser's category tree ("Tipsara\View", "TreeWidth"),
// 150 when missing or unreadable.
int LoadTreeWidth();
void SaveTreeWidth(int width);

// Whether the search window looks in the articles' texts ("Tipsara\View",
// "SearchInText"); off when missing or unreadable.
bool LoadSearchInText();
void SaveSearchInText(bool on);

// The size the user gave the search window ("Tipsara\View", "SearchWidth"
// and "SearchHeight"); nothing when missing or unreadable, and the window
// keeps its own.
std::optional<std::pair<int, int>> LoadSearchSize();
void SaveSearchSize(int width, int height);

// The scale of the browser's page text in percent ("Tipsara\View", "Zoom");
// 100 when missing or unreadable. The caller checks it is a level it has.
int LoadZoom();
void SaveZoom(int percent);

} // namespace settings
