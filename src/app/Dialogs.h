// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The long-lived dialogs of the main window, made once at start-up.

// Makes them hidden, owned by Main, in this order: preferences, available
// updates, about, download progress, tip submission, add article.
void MakeLongLivedDialogs();
