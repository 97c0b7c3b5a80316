#pragma once

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstdint>
#include <string>
#include <vector>

#include "batch/BatchDriver.h"
#include "batch/BatchHost.h"
#include "formdesign/ButtonGlyphArt.h"
#include "formdesign/FormDesign.h"

// The program's one window on Windows, built with the Win32 API: input
// selection by the common file dialog, by the shell's drop or from the
// command line, the output folder by the shell's folder browser, the preview
// of the first frame, and the start button that runs a batch (or asks to
// abort the running one). It hosts the batch driver as the Qt window does.
// Text is UTF-8 inside and UTF-16 at every call to the system.
class TForm1 : public BatchHost {
 public:
  // commandLine: the arguments after the program's own name, in UTF-8.
  explicit TForm1(std::vector<std::string> commandLine);
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Creates and shows the window; false when the system refuses.
  bool Create(HINSTANCE instance, int showCommand);
  HWND Handle() const { return window_; }

  // Before the references into it below, which it initialises.
 private:
  BatchDriver driver_;

 public:
  // The batch state, held by the driver and shared with it.
  std::vector<std::string>& FileList;
  std::string& SaveDir;
  int& Busy;
  int& AbortRequested;

  // The window's handlers, as in the Qt window.
  void FormActivate();
  void BtnStartClick();
  void InputSelBtnClick();
  void SaveDirBtnClick();
  void FormatComboChange(int index);
  void FormCloseQuery(bool& canClose);
  void FormClose();
  void WMDropFiles(HDROP drop);
  void ShowPreview(const std::string& path);

  // BatchHost.
  void ShowError(const BatchFailure& failure) override;
  OverwriteAnswer ConfirmOverwrite(const std::string& outputPath) override;
  bool ConfirmAbort() override;
  void SetRunning(bool running) override;
  void SetProgressMaximum(uint32_t maximum) override;
  void ShowProgress(const BatchProgress& progress) override;
  void ShowFileName(const std::string& fileName, const BatchProgress& progress) override;
  void ShowFrame(const TBitmap& frame) override;
  void Pump() override;

  // One message of the program's loop: dialog keys (Tab, Enter, mnemonics)
  // go to the window's controls, everything else is dispatched.
  void Dispatch(MSG& message);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

  int Scale(int designPixels) const;
  RECT ScaledRect(const formdesign::DesignRect& r) const;
  // Font, glyphs and control places for the window's present dpi.
  void ApplyDpi(UINT dpi);
  void PlaceControls();
  void MakeFont();
  void MakeGlyphs();
  void Paint(HDC dc);
  void DrawPreview(const DRAWITEMSTRUCT& item);
  // The label's box: the design's, grown to hold the text in the font.
  RECT LabelRect(const std::wstring& text, const formdesign::DesignRect& design) const;
  void SetFileNameLabel(const std::string& fileName);
  void CopyPicture(const TBitmap& bitmap);

  std::vector<std::string> commandLine_;
  bool activated_ = false;

  HWND window_ = nullptr;
  HWND image1_ = nullptr;
  HWND inputSelBtn_ = nullptr;
  HWND saveDirBtn_ = nullptr;
  HWND formatCombo_ = nullptr;  // only in a build that writes MKV and MP4
  HWND btnStart_ = nullptr;
  HWND progressBar1_ = nullptr;
  HWND lastFocus_ = nullptr;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  HFONT font_ = nullptr;
  HIMAGELIST glyphs_[3] = {};

  // The labels are drawn by the window itself, with no background, so a
  // long file name runs over Label2's place with both legible.
  std::wstring fnameText_;
  std::wstring label1Text_;
  std::wstring label2Text_;

  // The preview's picture: a bottom-up 24-bit device-independent bitmap,
  // the frame bitmap's own layout; reused while the size stays.
  BITMAPINFOHEADER pictureInfo_{};
  std::vector<uint8_t> picture_;
};

// The font face the window uses: the design's where the system has it, else
// the nearest Japanese proportional Gothic it has, else the system's
// message font. In UTF-8; for the tests and the curious.
std::string WindowFontFace();
