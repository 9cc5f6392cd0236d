#include "Dialogs.h"

#include "UAbout.h"
#include "UMain.h"
#include "settings/UPrefs.h"

#include "authoring/UAdd.h"
#include "mail/USendMail.h"
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
