#include "winform/MessageBoxes.h"

#include <commctrl.h>

#include <initializer_list>
#include <vector>

#include "batch/Messages.h"
#include "platform/Win32Text.h"

namespace {

constexpr int kIdYesToAll = 100;

std::wstring Wide(const std::string& text) {
  std::wstring wide;
  if (!platform::WideFromUtf8(text, wide)) wide.clear();
  return wide;
}

struct BoxButton {
  int id;
  const char* caption;
};

// Runs one task dialog; the id of the button that closed it, IDCANCEL for
// Escape or the close box, 0 when the system could not show it.
int RunBox(HWND owner, const char* title, const std::string& text, PCWSTR stockIcon,
           PCWSTR classicIcon, std::initializer_list<BoxButton> buttons) {
  const std::wstring wideTitle = Wide(title);
  const std::wstring wideText = Wide(text);
  std::vector<std::wstring> captions;
  std::vector<TASKDIALOG_BUTTON> wideButtons;
  captions.reserve(buttons.size());
  for (const BoxButton& button : buttons) captions.push_back(Wide(button.caption));
  size_t index = 0;
  for (const BoxButton& button : buttons) {
    wideButtons.push_back({button.id, captions[index++].c_str()});
  }
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = owner;
  // Escape and the close box answer IDCANCEL, with no Cancel button shown.
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;
  config.pszWindowTitle = wideTitle.c_str();
  config.pszContent = wideText.c_str();
  config.pButtons = wideButtons.data();
  config.cButtons = static_cast<UINT>(wideButtons.size());
  config.nDefaultButton = wideButtons.front().nButtonID;
  if (stockIcon != nullptr) {
    config.pszMainIcon = stockIcon;
  } else {
    // The task dialog has no question mark of its own: the system's classic one.
    config.dwFlags |= TDF_USE_HICON_MAIN;
    config.hMainIcon = LoadIconW(nullptr, classicIcon);
  }
  int pressed = 0;
  if (FAILED(TaskDialogIndirect(&config, &pressed, nullptr, nullptr))) return 0;
  return pressed;
}

// Where no task dialog can be had, the classic box says it at least, with
// the system's captions.
int ClassicBox(HWND owner, const char* title, const std::string& text, UINT type) {
  return MessageBoxW(owner, Wide(text).c_str(), Wide(title).c_str(), type | MB_TASKMODAL);
}

}  // namespace

void ShowWarningBox(HWND owner, const std::string& text) {
  if (RunBox(owner, kTitleWarning, text, TD_WARNING_ICON, nullptr, {{IDOK, kButtonOk}}) == 0) {
    ClassicBox(owner, kTitleWarning, text, MB_OK | MB_ICONEXCLAMATION);
  }
}

OverwriteAnswer AskOverwriteBox(HWND owner, const std::string& text) {
  switch (RunBox(owner, kTitleConfirm, text, nullptr, IDI_QUESTION,
                 {{IDYES, kButtonYes}, {IDNO, kButtonNo}, {kIdYesToAll, kButtonYesToAll}})) {
    case IDYES: return OverwriteAnswer::kYes;
    case IDNO: return OverwriteAnswer::kNo;
    case kIdYesToAll: return OverwriteAnswer::kYesToAll;
    case 0:
      // No "Yes to all" without a task dialog; the question is still asked.
      return ClassicBox(owner, kTitleConfirm, text, MB_YESNO | MB_ICONQUESTION) == IDYES
                 ? OverwriteAnswer::kYes
                 : OverwriteAnswer::kNo;
    default: return OverwriteAnswer::kCancelled;
  }
}

bool AskYesNoBox(HWND owner, const std::string& text) {
  const int answer = RunBox(owner, kTitleConfirm, text, nullptr, IDI_QUESTION,
                            {{IDYES, kButtonYes}, {IDNO, kButtonNo}});
  if (answer == 0) {
    return ClassicBox(owner, kTitleConfirm, text, MB_YESNO | MB_ICONQUESTION) == IDYES;
  }
  return answer == IDYES;
}

void ShowExceptionBox(HWND owner, const std::string& title, const std::string& text) {
  if (RunBox(owner, title.c_str(), text, TD_ERROR_ICON, nullptr, {{IDOK, kButtonOk}}) == 0) {
    ClassicBox(owner, title.c_str(), text, MB_OK | MB_ICONSTOP);
  }
}
