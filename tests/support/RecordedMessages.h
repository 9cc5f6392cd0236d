// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// Records every message box while it lives, answering each with answer (OK
// unless set), so that a test can look at what the user would have been shown.

#include "components/widgets/MessageBox.h"

#include <QList>
#include <QMessageBox>

namespace testing_support {

struct Recorded {
    QList<ui::MessageRecord> boxes;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    Recorded() {
        ui::setMessageHook([this](const ui::MessageRecord& r) {
            boxes.append(r);
            return answer;
        });
    }
    ~Recorded() { ui::setMessageHook({}); }
    Recorded(const Recorded&) = delete;
    Recorded& operator=(const Recorded&) = delete;
};

} // namespace testing_support
