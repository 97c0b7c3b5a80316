#pragma once

#include <windows.h>

#include <string>

#include "batch/BatchHost.h"

// The program's modal boxes, owned by the window (null owner: none), centred
// on its screen, their text shown as plain text. Task dialogs of the
// system's common controls: they take our own button captions ("はい(&Y)" and
// the others, with their mnemonics), where the classic message box knows only
// the system's.

// Warning box: title "警告", exclamation icon, one button "OK".
void ShowWarningBox(HWND owner, const std::string& text);

// Overwrite question: title "確認", buttons "はい(&Y)", "いいえ(&N)",
// "すべてはい(&A)". Escape or the close box answer kCancelled.
OverwriteAnswer AskOverwriteBox(HWND owner, const std::string& text);

// Yes-or-no question: title "確認", buttons "はい(&Y)" and "いいえ(&N)". True
// only for Yes.
bool AskYesNoBox(HWND owner, const std::string& text);

// The box for an exception that escaped the window: stop icon, one "OK".
void ShowExceptionBox(HWND owner, const std::string& title, const std::string& text);
