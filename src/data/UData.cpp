// SPDX-License-Identifier: GPL-3.0-or-later

#include "UData.h"

#include "components/widgets/MessageBox.h"
#include "data/DbLocation.h"
#include "data/Lists.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

TDataFrm* DataFrm = nullptr;

namespace {
const char* const kErrorCaption = "Ошибка БД";
const char* const kLost = "Соединение с БД потеряно!";
} // namespace

QString lostConnectionText() {
    return QString::fromUtf8(kLost) + QStringLiteral("\r\r") +
           QString::fromUtf8("Программа автоматически закрывается!");
}

namespace {

struct Folders {
    std::filesystem::path exeDir, sharedDir, dataHome;
};

Folders defaultFolders() {
    // The shipped copy of an install for all users is looked for beside bin/
    // of the executable's own prefix, so that a staged install works too.
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QString sharedDir = QDir::cleanPath(exeDir + QStringLiteral("/../share/tipsara"));
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return {exeDir.toStdString(), sharedDir.toStdString(), dataHome.toStdString()};
}

// The plain message, and for a database file that is not there the files
// looked for, so that the user can tell what is missing where.
QString notOpenedText(const std::string& dbName) {
    QString message = QString::fromUtf8(kLost);
    std::error_code ec;
    if (std::filesystem::exists(dbName, ec))
        return message;
    const Folders f = defaultFolders();
    std::vector<std::filesystem::path> files =
        data::databaseCandidates(f.exeDir, f.sharedDir, f.dataHome);
    if (std::find(files.begin(), files.end(), std::filesystem::path(dbName)) == files.end())
        files = {dbName};
    message += QString::fromUtf8("\r\rФайл базы данных не найден:");
    for (const std::filesystem::path& file : files)
        message += QStringLiteral("\r") + QString::fromStdString(file.string());
    return message;
}

} // namespace

std::string TDataFrm::DefaultDBName() {
    const Folders f = defaultFolders();
    return data::databaseLocation(f.exeDir, f.sharedDir, f.dataHome).string();
}

TDataFrm::TDataFrm(const std::string& dbName) {
    FormCreate(dbName);
    try {
        FBDB.Open();
    } catch (const std::exception&) {
        // Told by the connection's state below.
    }
    FinishOpen();
}

TDataFrm::TDataFrm(const std::string& dbName, InBackground) {
    FormCreate(dbName);
    opening_ = std::make_unique<data::BackgroundOpen>(FBDB);
}

TDataFrm::~TDataFrm() = default;

void TDataFrm::WaitOpen() {
    if (!opening_)
        return;
    try {
        opening_->join();
    } catch (const std::exception&) {
        // Told by the connection's state below.
    }
    opening_.reset();
    FinishOpen();
}

void TDataFrm::FormCreate(const std::string& dbName) {
    dbName_ = dbName;
    setObjectName(QStringLiteral("DataFrm"));
    data::SetCategoryList(IBSQL1);
    data::configure(FBDB, dbName);
    FBDB.DefaultTransaction = &FBTrans;
    FBDB.DefaultUpdateTransaction = &FBTransUpd;
    FBDB.OnLostConnect = [this] { FBDBLostConnect(); };
    FBTrans.TRParams = data::TransactionParams();
    FBTransUpd.TRParams = data::TransactionParams();
}

void TDataFrm::FinishOpen() {
    // The attach error's own text is not shown: the user gets one plain
    // message for every way the database can be out of reach, with the files
    // looked for when there is none.
    if (!FBDB.Connected()) {
        QApplication::beep();
        ui::showMessage(this, QString::fromUtf8(kErrorCaption), notOpenedText(dbName_),
                        QMessageBox::Critical, QMessageBox::Ok, true);
        std::fflush(nullptr);
        ::_exit(255);
    }
    FBTrans.setActive(true);
    FBTransUpd.setActive(true);
}

void TDataFrm::FBDBLostConnect() {
    QApplication::beep();
    ui::showMessage(this, QString::fromUtf8(kErrorCaption), lostConnectionText(),
                    QMessageBox::Critical, QMessageBox::Ok, true);
    QCoreApplication::quit();
}
