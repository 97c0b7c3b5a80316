#include "winform/Winform.h"

#include <commctrl.h>
#include <commdlg.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <span>

#include "batch/Messages.h"
#include "batch/PathNames.h"
#include "platform/Win32Text.h"
#include "v02dec/TBitmap.h"
#include "v02dec/V02Decode.h"
#include "winform/MessageBoxes.h"

#ifdef PORUTE_HAVE_FFMPEG
#include "ffenc/FfmpegMovieEncoder.h"
#endif

using namespace formdesign;

namespace {

const wchar_t kWindowClass[] = L"HenkanPoruteForm1";

enum ControlId : int {
  kIdImage1 = 100,
  kIdInputSelBtn,
  kIdSaveDirBtn,
  kIdFormatCombo,
  kIdBtnStart,
  kIdProgressBar1,
};

// Posted once the window is first shown: the activation handler then runs
// from the message loop, so a command-line batch pumps messages like any
// other and the close that follows it reaches a running loop.
constexpr UINT kMessageActivate = WM_APP + 1;

// The multiple-selection answer of the file dialog: room for some thousands
// of names.
constexpr DWORD kOpenBufferChars = 1 << 18;

std::wstring Wide(const std::string& text) {
  std::wstring wide;
  if (!platform::WideFromUtf8(text, wide)) wide.clear();
  return wide;
}

std::wstring Wide(const char* text) { return Wide(std::string(text)); }

// The dpi functions of Windows 10 (1607 and later), looked up so that the
// program still starts on older systems, where the whole process has one dpi.
template <typename Function>
Function User32Function(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

UINT DpiOfWindow(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto forWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  if (forWindow != nullptr && window != nullptr) {
    if (const UINT dpi = forWindow(window); dpi != 0) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

RECT FrameFor(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, UINT dpi) {
  RECT frame{0, 0, clientWidth, clientHeight};
  using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto forDpi = User32Function<AdjustForDpiFn>("AdjustWindowRectExForDpi");
  if (forDpi == nullptr || !forDpi(&frame, style, FALSE, exStyle, dpi)) {
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  }
  return frame;
}

// A fixed, single border with the system menu, minimise and close: no
// maximise, no resizing.
constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = 0;

// The design's face, then the proportional Japanese Gothics a system may
// have instead, nearest first: the design's face under its English name,
// Windows' own UI Gothics of later versions (every Windows 10 and 11 has
// Yu Gothic UI, whatever its language), and on Wine the free ones Linux
// systems bring.
const char* const kFontFaces[] = {
    kWindowFontFamily, "MS PGothic", "Yu Gothic UI", "Meiryo UI",
    "IPAPGothic",      "IPA Pゴシック", "Noto Sans CJK JP",
};

int CALLBACK FaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool HasJapaneseFace(HDC dc, const std::wstring& face) {
  if (face.empty() || face.size() >= LF_FACESIZE) return false;
  LOGFONTW query{};
  query.lfCharSet = SHIFTJIS_CHARSET;
  std::memcpy(query.lfFaceName, face.c_str(), (face.size() + 1) * sizeof(wchar_t));
  bool found = false;
  EnumFontFamiliesExW(dc, &query, FaceFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

std::wstring ChooseFontFace() {
  HDC screen = GetDC(nullptr);
  std::wstring chosen;
  for (const char* face : kFontFaces) {
    if (HasJapaneseFace(screen, Wide(face))) {
      chosen = Wide(face);
      break;
    }
  }
  ReleaseDC(nullptr, screen);
  if (chosen.empty()) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
      chosen = metrics.lfMessageFont.lfFaceName;
    }
  }
  return chosen;
}

const std::wstring& FontFace() {
  static const std::wstring face = ChooseFontFace();
  return face;
}

// The glyph's two states in an image list of button states (normal, hot,
// pressed, disabled, defaulted, stylus-hot), as 32-bit pictures whose
// transparent pixels are transparent black.
HIMAGELIST MakeGlyphList(ButtonGlyph glyph, int size) {
  HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32, 6, 0);
  if (list == nullptr) return nullptr;
  std::vector<uint32_t> pixels(static_cast<size_t>(size) * static_cast<size_t>(size));
  for (int state = 0; state < 6; ++state) {
    const bool disabled = state == 3;
    GlyphPixels(glyph, disabled, size, std::span<uint32_t>(pixels));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;  // top-down, as the pixels are
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr) {
      ImageList_Destroy(list);
      return nullptr;
    }
    // 0xAARRGGBB words are blue, green, red, alpha in memory: the DIB's order.
    std::memcpy(bits, pixels.data(), pixels.size() * sizeof(uint32_t));
    ImageList_Add(list, bitmap, nullptr);
    DeleteObject(bitmap);
  }
  return list;
}

// The bar's position is a signed 32-bit value.
int ClampToInt(uint32_t value) {
  return value > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

}  // namespace

std::string WindowFontFace() { return platform::Utf8FromWide(FontFace()); }

TForm1::TForm1(std::vector<std::string> commandLine)
    : driver_(*this),
      FileList(driver_.FileList),
      SaveDir(driver_.SaveDir),
      Busy(driver_.Busy),
      AbortRequested(driver_.AbortRequested),
      commandLine_(std::move(commandLine)) {
  FileList.clear();
  SaveDir.clear();
  Busy = 0;
  AbortRequested = 0;
  fnameText_ = Wide(kFnameLblEmpty);
  label1Text_ = Wide(std::string(kProgramName) + ' ' + kProgramVersion);
  label2Text_ = Wide(kCreditLine);
}

TForm1::~TForm1() {
  if (window_ != nullptr) DestroyWindow(window_);
  for (HIMAGELIST& list : glyphs_) {
    if (list != nullptr) ImageList_Destroy(list);
  }
  if (font_ != nullptr) DeleteObject(font_);
}

int TForm1::Scale(int designPixels) const {
  return MulDiv(designPixels, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI);
}

RECT TForm1::ScaledRect(const DesignRect& r) const {
  return RECT{Scale(r.left), Scale(r.top), Scale(r.left + r.width), Scale(r.top + r.height)};
}

bool TForm1::Create(HINSTANCE instance, int showCommand) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  windowClass.hIconSm = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                 GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  // The background is the system's button face.
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  if (RegisterClassExW(&windowClass) == 0) return false;

  dpi_ = DpiOfWindow(nullptr);
  const RECT frame = FrameFor(Scale(kClientWidth), Scale(kClientHeight), kWindowStyle,
                              kWindowExStyle, dpi_);
  const std::wstring caption = Wide(kProgramName);
  window_ = CreateWindowExW(kWindowExStyle, kWindowClass, caption.c_str(), kWindowStyle,
                            Scale(kLeft), Scale(kTop), frame.right - frame.left,
                            frame.bottom - frame.top, nullptr, nullptr, instance, this);
  if (window_ == nullptr) return false;

  // Created in the tab order: 0 InputSelBtn, 1 SaveDirBtn, (the format
  // list), 2 BtnStart, 3 ProgressBar1.
  const auto child = [&](const wchar_t* windowClassName, const std::wstring& text, DWORD style,
                         int id) {
    return CreateWindowExW(0, windowClassName, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0,
                           0, 0, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           instance, nullptr);
  };
  image1_ = child(WC_STATICW, L"", SS_OWNERDRAW, kIdImage1);
  inputSelBtn_ = child(WC_BUTTONW, Wide(kCaptionInputSel), BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP,
                       kIdInputSelBtn);
  saveDirBtn_ = child(WC_BUTTONW, Wide(kCaptionSaveDir), BS_PUSHBUTTON | WS_TABSTOP, kIdSaveDirBtn);
#ifdef PORUTE_HAVE_FFMPEG
  formatCombo_ = child(WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, kIdFormatCombo);
  for (const char* choice : kFormatChoices) {
    SendMessageW(formatCombo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(choice).c_str()));
  }
  SendMessageW(formatCombo_, CB_SETCURSEL, 0, 0);
#endif
  btnStart_ = child(WC_BUTTONW, Wide(kCaptionStart), BS_PUSHBUTTON | WS_TABSTOP, kIdBtnStart);
  progressBar1_ = child(PROGRESS_CLASSW, L"", WS_TABSTOP, kIdProgressBar1);
  SendMessageW(progressBar1_, PBM_SETRANGE32, 0, 100);
  SendMessageW(progressBar1_, PBM_SETPOS, 0, 0);

  ApplyDpi(DpiOfWindow(window_));
  // Dropped files are taken at any time, also during a batch.
  DragAcceptFiles(window_, TRUE);
  ShowWindow(window_, showCommand);
  UpdateWindow(window_);
  SetFocus(inputSelBtn_);
  PostMessageW(window_, kMessageActivate, 0, 0);
  return true;
}

void TForm1::ApplyDpi(UINT dpi) {
  dpi_ = dpi;
  MakeFont();
  MakeGlyphs();
  PlaceControls();
}

void TForm1::MakeFont() {
  LOGFONTW font{};
  // Negative: the character height, the cell less its internal leading.
  font.lfHeight = -Scale(kWindowFontPixels);
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = SHIFTJIS_CHARSET;
  font.lfQuality = DEFAULT_QUALITY;
  const std::wstring& face = FontFace();
  if (face.size() < LF_FACESIZE) {
    std::memcpy(font.lfFaceName, face.c_str(), (face.size() + 1) * sizeof(wchar_t));
  }
  HFONT made = CreateFontIndirectW(&font);
  if (made == nullptr) return;  // the old font stays
  for (HWND control : {inputSelBtn_, saveDirBtn_, formatCombo_, btnStart_}) {
    if (control != nullptr) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(made), FALSE);
  }
  if (font_ != nullptr) DeleteObject(font_);
  font_ = made;
}

void TForm1::MakeGlyphs() {
  // The art drawn for 32 × 32 from twice the design's density on.
  const int size = dpi_ >= USER_DEFAULT_SCREEN_DPI * 7 / 4 ? kLargeGlyphSize : kGlyphSize;
  const ButtonGlyph kinds[] = {ButtonGlyph::kInputSelect, ButtonGlyph::kSaveDir,
                               ButtonGlyph::kStart};
  const HWND buttons[] = {inputSelBtn_, saveDirBtn_, btnStart_};
  for (int i = 0; i < 3; ++i) {
    HIMAGELIST list = MakeGlyphList(kinds[i], size);
    if (list == nullptr) continue;  // the button keeps its caption alone
    BUTTON_IMAGELIST glyph{};
    glyph.himl = list;
    glyph.uAlign = BUTTON_IMAGELIST_ALIGN_LEFT;
    glyph.margin = RECT{Scale(2), 0, 0, 0};
    SendMessageW(buttons[i], BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&glyph));
    if (glyphs_[i] != nullptr) ImageList_Destroy(glyphs_[i]);
    glyphs_[i] = list;
  }
}

void TForm1::PlaceControls() {
  const auto place = [&](HWND control, const DesignRect& design, int extraHeight = 0) {
    if (control == nullptr) return;
    const RECT r = ScaledRect(design);
    MoveWindow(control, r.left, r.top, r.right - r.left, r.bottom - r.top + extraHeight, TRUE);
  };
  place(image1_, kImage1);
  place(inputSelBtn_, kInputSelBtn);
  place(saveDirBtn_, kSaveDirBtn);
  // A drop-down list's height includes its open list: room for the three.
  place(formatCombo_, kFormatCombo, Scale(kFormatCombo.height) * 4);
  place(btnStart_, kBtnStart);
  place(progressBar1_, kProgressBar1);
  InvalidateRect(window_, nullptr, TRUE);
}

RECT TForm1::LabelRect(const std::wstring& text, const DesignRect& design) const {
  RECT r = ScaledRect(design);
  HDC dc = GetDC(window_);
  HGDIOBJ old = SelectObject(dc, font_);
  SIZE need{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &need);
  SelectObject(dc, old);
  ReleaseDC(window_, dc);
  r.right = std::max(r.right, r.left + need.cx);
  r.bottom = std::max(r.bottom, r.top + need.cy);
  return r;
}

void TForm1::Paint(HDC dc) {
  // Bevel1: a lowered box of one-pixel lines.
  RECT bevel = ScaledRect(kBevel1);
  DrawEdge(dc, &bevel, BDR_SUNKENOUTER, BF_RECT);
  HGDIOBJ old = SelectObject(dc, font_);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  const std::pair<const std::wstring*, const DesignRect*> labels[] = {
      {&fnameText_, &kFnameLbl}, {&label1Text_, &kLabel1}, {&label2Text_, &kLabel2}};
  for (const auto& [text, design] : labels) {
    RECT r = LabelRect(*text, *design);
    // No prefix: a file name may hold "&".
    DrawTextW(dc, text->c_str(), static_cast<int>(text->size()), &r,
              DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
  }
  SelectObject(dc, old);
}

void TForm1::DrawPreview(const DRAWITEMSTRUCT& item) {
  const RECT& box = item.rcItem;
  FillRect(item.hDC, &box, GetSysColorBrush(COLOR_BTNFACE));
  if (picture_.empty()) return;
  const int width = pictureInfo_.biWidth;
  const int height = pictureInfo_.biHeight;
  // Centred at its own size, never stretched; C++ division truncates toward
  // zero, so a picture one pixel wider than the control loses its last
  // column rather than its first.
  const int left = box.left + (box.right - box.left - width) / 2;
  const int top = box.top + (box.bottom - box.top - height) / 2;
  const int saved = SaveDC(item.hDC);
  IntersectClipRect(item.hDC, box.left, box.top, box.right, box.bottom);
  BITMAPINFO info{};
  info.bmiHeader = pictureInfo_;
  SetDIBitsToDevice(item.hDC, left, top, static_cast<DWORD>(width), static_cast<DWORD>(height), 0,
                    0, 0, static_cast<UINT>(height), picture_.data(), &info, DIB_RGB_COLORS);
  RestoreDC(item.hDC, saved);
}

void TForm1::CopyPicture(const TBitmap& bitmap) {
  if (bitmap.Empty() || bitmap.Width() <= 0 || bitmap.Height() <= 0) {
    picture_.clear();
  } else {
    pictureInfo_ = BITMAPINFOHEADER{};
    pictureInfo_.biSize = sizeof pictureInfo_;
    pictureInfo_.biWidth = bitmap.Width();
    pictureInfo_.biHeight = bitmap.Height();  // bottom-up, as the frame bitmap is
    pictureInfo_.biPlanes = 1;
    pictureInfo_.biBitCount = 24;
    pictureInfo_.biCompression = BI_RGB;
    // The frame bitmap's rows are padded to 4 bytes, as a DIB's are, so its
    // pixel memory is the DIB's as it lies. resize keeps the capacity: one
    // frame per chunk allocates nothing after the first.
    try {
      picture_.resize(bitmap.PixelBytes());
      std::memcpy(picture_.data(), bitmap.Pixels(), bitmap.PixelBytes());
    } catch (const std::bad_alloc&) {
      picture_.clear();  // no memory: the preview stays blank
    }
  }
  InvalidateRect(image1_, nullptr, FALSE);
}

void TForm1::SetFileNameLabel(const std::string& fileName) {
  // The old text's box and the new one's, and the line to the window's right
  // edge, where a long name may have run.
  RECT old = LabelRect(fnameText_, kFnameLbl);
  fnameText_ = Wide(fileName);
  RECT now = LabelRect(fnameText_, kFnameLbl);
  RECT line{old.left, old.top, Scale(kClientWidth), std::max(old.bottom, now.bottom)};
  line.right = std::max({line.right, old.right, now.right});
  InvalidateRect(window_, &line, TRUE);
}

void TForm1::FormActivate() {
  FileList = commandLine_;
  if (FileList.empty()) return;
  // No preview for files from the command line: the batch shows them.
  BtnStartClick();
  SendMessageW(window_, WM_CLOSE, 0, 0);
}

void TForm1::BtnStartClick() { driver_.BtnStartClick(); }

void TForm1::InputSelBtnClick() {
  std::wstring filter;
  for (const FileFilter& choice : kOpenFilters) {
    filter += Wide(choice.description);
    filter += L'\0';
    filter += Wide(choice.patterns);
    filter += L'\0';
  }
  const std::wstring title = Wide(kOpenDialogTitle);
  std::vector<wchar_t> chosen(kOpenBufferChars, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = filter.c_str();  // ends in the string's own second null
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = chosen.data();
  dialog.nMaxFile = kOpenBufferChars;
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING |
                 OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
  if (!GetOpenFileNameW(&dialog)) return;  // cancelled (or failed): nothing changes
  // One file: its whole path. Several: the folder, then each name, each
  // ended by a null, the whole by a second one.
  std::vector<std::wstring> parts;
  for (const wchar_t* part = chosen.data(); *part != L'\0'; part += wcslen(part) + 1) {
    parts.emplace_back(part);
  }
  if (parts.empty()) return;
  FileList.clear();
  if (parts.size() == 1) {
    FileList.push_back(platform::Utf8FromWide(parts.front()));
  } else {
    std::wstring folder = parts.front();
    if (folder.back() != L'\\') folder += L'\\';
    for (size_t i = 1; i < parts.size(); ++i) {
      FileList.push_back(platform::Utf8FromWide(folder + parts[i]));
    }
  }
  ShowPreview(FileList.front());
}

void TForm1::SaveDirBtnClick() {
  const std::wstring prompt = Wide(kBrowserPrompt);
  wchar_t displayName[MAX_PATH] = {};
  BROWSEINFOW browser{};
  browser.hwndOwner = window_;
  browser.pidlRoot = nullptr;  // the desktop; the current SaveDir is not preselected
  browser.pszDisplayName = displayName;
  browser.lpszTitle = prompt.c_str();
  browser.ulFlags = BIF_RETURNONLYFSDIRS;
  wchar_t path[MAX_PATH] = {};
  if (PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&browser); item != nullptr) {
    if (!SHGetPathFromIDListW(item, path)) path[0] = L'\0';
    CoTaskMemFree(item);
  }
  // Cancelling clears the folder: outputs go next to their inputs again.
  SaveDir = platform::Utf8FromWide(path, wcslen(path));
}

void TForm1::FormatComboChange([[maybe_unused]] int index) {
#ifdef PORUTE_HAVE_FFMPEG
  // The same encoder as the command line's -f mkv and -f mp4.
  driver_.SetEncoderFactory(FfmpegMovieEncoder::FactoryForFormatChoice(index));
#endif
}

void TForm1::FormCloseQuery(bool& canClose) {
  if (Busy) {
    driver_.AskAbort();
    canClose = false;
    return;
  }
  canClose = true;
}

void TForm1::FormClose() {
  FileList.clear();
  FileList.shrink_to_fit();
}

void TForm1::WMDropFiles(HDROP drop) {
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  FileList.clear();
  std::wstring path;
  for (UINT i = 0; i < count; ++i) {
    const UINT length = DragQueryFileW(drop, i, nullptr, 0);
    path.assign(length + 1, L'\0');
    const UINT got = DragQueryFileW(drop, i, path.data(), length + 1);
    path.resize(got);
    FileList.push_back(platform::Utf8FromWide(path));
  }
  DragFinish(drop);
  if (FileList.empty()) return;
  const std::string first = FileList.front();
  ShowPreview(first);
}

void TForm1::ShowPreview(const std::string& path) {
  // The preview has a decoder of its own, apart from a running batch's.
  std::unique_ptr<V02Decode> decoder(new (std::nothrow) V02Decode);
  if (decoder) {
    decoder->LoadPreview(path);
    CopyPicture(decoder->previewBitmap);
  } else {
    picture_.clear();
    InvalidateRect(image1_, nullptr, FALSE);
  }
  SetFileNameLabel(FileNamePart(path));
  if (decoder) decoder->Close();
}

void TForm1::ShowError(const BatchFailure& failure) {
  ShowWarningBox(window_, DesignedMessage(failure));
}

OverwriteAnswer TForm1::ConfirmOverwrite(const std::string& outputPath) {
  return AskOverwriteBox(window_, OverwriteQuestionText(outputPath));
}

bool TForm1::ConfirmAbort() { return AskYesNoBox(window_, kTextAbortQuestion); }

void TForm1::SetRunning(bool running) {
  SetWindowTextW(btnStart_, Wide(running ? kCaptionAbort : kCaptionStart).c_str());
  // Focus on a button about to be disabled would be lost: it moves on.
  const HWND focus = GetFocus();
  EnableWindow(inputSelBtn_, !running);
  EnableWindow(saveDirBtn_, !running);
  if (formatCombo_ != nullptr) EnableWindow(formatCombo_, !running);
  if (running && (focus == inputSelBtn_ || focus == saveDirBtn_ || focus == formatCombo_)) {
    SetFocus(btnStart_);
  }
}

void TForm1::SetProgressMaximum(uint32_t maximum) {
  SendMessageW(progressBar1_, PBM_SETRANGE32, 0, ClampToInt(maximum));
}

void TForm1::ShowProgress(const BatchProgress& progress) {
  const int maximum = static_cast<int>(SendMessageW(progressBar1_, PBM_GETRANGE, FALSE, 0));
  SendMessageW(progressBar1_, PBM_SETPOS, std::min(ClampToInt(progress.barPosition), maximum), 0);
}

void TForm1::ShowFileName(const std::string& fileName, const BatchProgress&) {
  SetFileNameLabel(fileName);
}

void TForm1::ShowFrame(const TBitmap& frame) { CopyPicture(frame); }

void TForm1::Dispatch(MSG& message) {
  if (window_ != nullptr && IsDialogMessageW(window_, &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

void TForm1::Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // For the program's own loop, after the batch.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    Dispatch(message);
  }
}

LRESULT CALLBACK TForm1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    auto* form = static_cast<TForm1*>(create->lpCreateParams);
    form->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<TForm1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    // The window's last message: the form outlives it.
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    form->window_ = nullptr;
    return DefWindowProcW(window, message, wParam, lParam);
  }
  // An exception must not cross the system's frames: it is shown here, as
  // the toolkit's exception box would.
  try {
    return form->OnMessage(message, wParam, lParam);
  } catch (const std::exception& error) {
    ShowExceptionBox(window, kProgramName, error.what());
  } catch (...) {
    ShowExceptionBox(window, kProgramName, std::string());
  }
  return 0;
}

LRESULT TForm1::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kMessageActivate:
      if (!activated_) {
        activated_ = true;
        FormActivate();
      }
      return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
          case kIdInputSelBtn: InputSelBtnClick(); return 0;
          case kIdSaveDirBtn: SaveDirBtnClick(); return 0;
          case kIdBtnStart: BtnStartClick(); return 0;
          default: break;
        }
      } else if (HIWORD(wParam) == CBN_SELCHANGE && LOWORD(wParam) == kIdFormatCombo) {
        FormatComboChange(static_cast<int>(SendMessageW(formatCombo_, CB_GETCURSEL, 0, 0)));
        return 0;
      }
      break;
    case WM_ACTIVATE:
      // The control that had the focus gets it back when the window does
      // (after a box, a dialog, another program), so the keys go on working.
      if (LOWORD(wParam) == WA_INACTIVE) {
        lastFocus_ = GetFocus();
      } else if (lastFocus_ != nullptr && IsChild(window_, lastFocus_) &&
                 IsWindowEnabled(lastFocus_)) {
        SetFocus(lastFocus_);
      } else {
        SetFocus(IsWindowEnabled(inputSelBtn_) ? inputSelBtn_ : btnStart_);
      }
      return 0;
    case WM_DROPFILES:
      WMDropFiles(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_DRAWITEM:
      if (wParam == kIdImage1) {
        DrawPreview(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
      }
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window_, &paint);
      Paint(dc);
      EndPaint(window_, &paint);
      return 0;
    }
    case WM_DPICHANGED: {
      ApplyDpi(HIWORD(wParam));
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_CLOSE: {
      bool canClose = true;
      FormCloseQuery(canClose);
      if (!canClose) return 0;
      FormClose();
      DestroyWindow(window_);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default: break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}
