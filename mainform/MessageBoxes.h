#pragma once

#include <QString>

#include "batch/BatchHost.h"

// The program's modal boxes. Each is application-modal, centred on the
// screen, shows its text as plain text (a path may hold "<" and "&"), and
// keeps its buttons in the order given whatever the desktop's habit is.
// Enter answers with the first button, Escape with "いいえ(&N)" where there is
// one, else "OK"; a letter of a caption's "&" mnemonic answers too.

// Warning box: exclamation icon, title "警告", one button "OK".
void ShowWarningBox(const QString& text);

// Overwrite question: question icon, title "確認", buttons "はい(&Y)",
// "いいえ(&N)", "すべてはい(&A)". Closed by its close box (or in any way but
// a button or Escape) it answers kCancelled.
OverwriteAnswer AskOverwriteBox(const QString& text);

// A yes-or-no question: question icon, title "確認", buttons "はい(&Y)" and
// "いいえ(&N)". True only for Yes; closing the box counts as No.
bool AskYesNoBox(const QString& text);

// The box for an exception that escaped the window: stop icon, the given
// title, one button "OK".
void ShowExceptionBox(const QString& title, const QString& text);
