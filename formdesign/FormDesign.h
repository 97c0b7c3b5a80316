#pragma once

// The window as designed, for every toolkit that builds it (mainform/ with
// Qt, winform/ with the Win32 API): its size and place, each control's
// rectangle, the captions and fixed texts, the font and the dialogs' texts.
// Sizes are pixels of a 96-dpi screen; a host on a denser screen scales
// them. No toolkit is known here. The message boxes' texts and titles and
// the start button's two captions live with the batch driver (batch/Messages.h),
// since every host of the driver shows them.

namespace formdesign {

struct DesignRect {
  int left, top, width, height;
};

// The client area and the window's first place on the screen.
inline constexpr int kClientWidth = 369;
inline constexpr int kClientHeight = 240;
inline constexpr int kLeft = 232;
inline constexpr int kTop = 124;

// The controls, in client coordinates.
inline constexpr DesignRect kBevel1{8, 8, 241, 177};
inline constexpr DesignRect kImage1{16, 16, 225, 161};
// Labels grow with their text from these boxes (never shrink, never move).
inline constexpr DesignRect kFnameLbl{88, 192, 4, 12};
inline constexpr DesignRect kLabel1{272, 176, 77, 12};
inline constexpr DesignRect kLabel2{280, 192, 69, 12};
inline constexpr DesignRect kInputSelBtn{264, 16, 97, 25};
inline constexpr DesignRect kSaveDirBtn{264, 64, 97, 25};
inline constexpr DesignRect kBtnStart{264, 120, 97, 41};
// The output format list of a build that writes Matroska and MP4: in the free
// space between 保存先... (to 89) and 変換開始 (from 120), in the right
// column's left and width.
inline constexpr DesignRect kFormatCombo{264, 94, 97, 22};
inline constexpr DesignRect kProgressBar1{8, 216, 353, 17};

inline constexpr char kCaptionInputSel[] = "ファイル選択...";
inline constexpr char kCaptionSaveDir[] = "保存先...";
// FnameLbl before any file: one blank.
inline constexpr char kFnameLblEmpty[] = " ";
// Label2.
inline constexpr char kCreditLine[] = "©ぽるて工房";
// The format list's entries, in the order of their index; the first is the
// one chosen at start.
inline constexpr const char* kFormatChoices[] = {"AVI", "MKV", "MP4"};

// The window's font; its character height (the cell less its internal
// leading) in pixels.
inline constexpr char kWindowFontFamily[] = "ＭＳ Ｐゴシック";
inline constexpr int kWindowFontPixels = 12;

// The file-open dialog: its title and its filter, two choices, each a
// description and the patterns it matches separated by ";". The first is
// chosen when the dialog opens. "*V00" has no dot on purpose: it matches
// any name ending in V00.
inline constexpr char kOpenDialogTitle[] = "ファイルを開く";
struct FileFilter {
  const char* description;
  const char* patterns;
};
inline constexpr FileFilter kOpenFilters[] = {
    {"動くぽるてファイル (*.V02;*.V00)", "*.V02;*V00"},
    {"すべてのファイル (*.*)", "*.*"},
};

// The folder browser's prompt.
inline constexpr char kBrowserPrompt[] = "保存先フォルダを選択して下さい";

}  // namespace formdesign
