// SPDX-License-Identifier: GPL-3.0-or-later

#include "Dialogs.h"

#include "UAbout.h"
#include "UMain.h"
#include "authoring/UAdd.h"
#include "mail/USendMail.h"
#include "settings/UPrefs.h"
#include "update/UPro.h"
#include "update/UUpd.h"

void MakeLongLivedDialogs() {
    PrefsFrm = new TPrefsFrm(Main);
    UpdFrm = new TUpdFrm(Main);
    AboutFrm = new TAboutFrm(Main);
    Pro = new TPro(Main);
    SendMail = new TSendMail(Main);
    AddFrm = new TAddFrm(Main);
}
