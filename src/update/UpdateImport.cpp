// SPDX-License-Identifier: GPL-3.0-or-later
// The last phase of an update run: the chosen articles' packages downloaded
// into the temporary folder, unpacked, read and inserted with their server
// identifiers, the temporary files removed, and one commit for them all.

#include "UPro.h"
#include "UUpd.h"
#include "UpdateRun.h"
#include "components/text/QtText.h"
#include "components/text/Strings.h"
#include "components/zip/UnZip.h"
#include "data/UData.h"
#include "search/TextSearch.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include <filesystem>

namespace update {
namespace {

using text::cp;

void removeFile(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

} // namespace

void ImportChosen(const UpdateParts& p) {
    TPro& pro = *p.pro;
    TUpdFrm& list = *p.list;
    fb::Query& upd = p.data->UpdQ;
    pro.show();
    pro.repaintNow();

    for (int i = 0; i < list.Count();) {
        if (list.Checked(i))
            ++i;
        else
            list.DeleteEntry(i);
    }
    const int n = list.Count();
    pro.PB->setValue(0);
    pro.overall->setText(FileCountText(n));
    pro.loaded->setText(FileCountText(0));
    pro.repaintNow();

    for (int i = 0; i < n; ++i) {
        if (!list.Checked(i))
            continue;
        const TUpdEntry entry = list.Entry(i);
        const std::string temp = TempFolder();
        const std::string package = temp + "/" + entry.servId + ".zip";
        const std::string article = temp + "/" + entry.servId + ".html";

        FetchFile(*p.request, text::fromQ(p.root->text()), PackagePath(entry.servId), package);
        pro.loaded->setText(FileCountText(i + 1));
        pro.PB->setValue((i + 1) * 100 / n);
        pro.repaintNow();

        p.zip->DestDir = temp;
        p.zip->ZipName = package;
        p.zip->UnZip();

        InsertPackageArticle(upd, entry, package, article);

        removeFile(package);
        removeFile(article);
    }
    pro.hide();

    data::commit(upd, p.data->FBTransUpd);
    // Only now, committed, are the articles searchable in their texts.
    search::TextSearch(p.data->TextIndex).Committed(p.data->FBDB);
}

} // namespace update
