// SPDX-License-Identifier: GPL-3.0-or-later
// The last phase of an update run as the windows show it: the list keeps
// its ticked rows, and the progress window follows ImportPackages.

#include "UPro.h"
#include "UUpd.h"
#include "UpdateRun.h"
#include "components/text/QtText.h"
#include "data/UData.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include <vector>

namespace update {

void ImportChosen(const UpdateParts& p) {
    TPro& pro = *p.pro;
    TUpdFrm& list = *p.list;
    pro.show();
    pro.repaintNow();

    // The list keeps the ticked rows only, and they are what is imported.
    for (int i = 0; i < list.Count();) {
        if (list.Checked(i))
            ++i;
        else
            list.DeleteEntry(i);
    }
    std::vector<TUpdEntry> chosen;
    chosen.reserve(static_cast<size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i)
        chosen.push_back(list.Entry(i));

    const int n = static_cast<int>(chosen.size());
    pro.PB->setValue(0);
    pro.overall->setText(FileCountText(n));
    pro.loaded->setText(FileCountText(0));
    pro.repaintNow();

    ImportParts parts;
    parts.request = p.request;
    parts.root = [&p] { return text::fromQ(p.root->text()); };
    parts.zip = p.zip;
    parts.upd = &p.data->UpdQ;
    parts.updTrans = &p.data->FBTransUpd;
    parts.progress = [&pro](int done, int total) {
        pro.loaded->setText(FileCountText(done));
        pro.PB->setValue(done * 100 / total);
        pro.repaintNow();
    };
    ImportPackages(chosen, parts);
    pro.hide();
}

} // namespace update
