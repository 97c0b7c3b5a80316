#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "batch/BatchDriver.h"
#include "batch/BatchHost.h"
#include "formdesign/FormDesign.h"

class QComboBox;
class QFileDialog;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class PreviewImage;

// The program's one window: input selection by dialog, by drop or from the
// command line, the output folder, the preview of the first frame, and the
// start button that runs a batch (or asks to abort the running one). It hosts
// the batch driver: the driver owns the list, the folder and the flags, and
// reports back through the BatchHost methods below.
class TForm1 : public QWidget, public BatchHost {
  Q_OBJECT

 public:
  // The design size of the client area, in pixels at 96 dpi.
  static constexpr int kClientWidth = formdesign::kClientWidth;
  static constexpr int kClientHeight = formdesign::kClientHeight;
  static constexpr int kLeft = formdesign::kLeft;
  static constexpr int kTop = formdesign::kTop;

  // commandLine: the program's arguments after its own name, as the bytes
  // the system passed (names need not be valid in the locale's encoding).
  explicit TForm1(std::vector<std::string> commandLine = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  // The controls, in the order of the design.
  PreviewImage* Image1 = nullptr;
  QPushButton* BtnStart = nullptr;
  QFrame* Bevel1 = nullptr;
  QFileDialog* OpenDialog1 = nullptr;
  QPushButton* InputSelBtn = nullptr;
  QPushButton* SaveDirBtn = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QLabel* FnameLbl = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  // The output format, "AVI", "MKV" or "MP4"; only in a build with FFmpeg's
  // libraries (null otherwise). AVI at start; the choice lasts for the run.
  QComboBox* FormatCombo = nullptr;

 private:
  BatchDriver driver_;

 public:
  // The batch state, held by the driver and shared with it.
  std::vector<std::string>& FileList;
  std::string& SaveDir;
  int& Busy;
  int& AbortRequested;

  // Activation at start-up: takes the command line as the file list; with
  // any file on it, runs the batch and then closes the window.
  void FormActivate();
  // The start button: a batch while idle, the abort question while busy.
  void BtnStartClick();
  // The file dialog: on OK the chosen files replace the list and the first
  // is previewed; on cancel nothing changes.
  void InputSelBtnClick();
  // The folder browser: the chosen folder, or empty when cancelled, becomes
  // SaveDir.
  void SaveDirBtnClick();
  // The format list: the batches from now on write the chosen format.
  void FormatComboChange(int index);
  // A close asked for: refused during a batch, after the abort question.
  void FormCloseQuery(bool& canClose);
  void FormClose();
  // Dropped files and folders replace the list, in the order of the drop;
  // the first is previewed. Accepted at any time, also during a batch.
  void WMDropFiles(const std::vector<std::string>& droppedPaths);
  // Shows the first frame of a movie and its file name; a file that cannot be
  // previewed gives a blank picture, with no message.
  void ShowPreview(const std::string& path);

  // BatchHost: what the driver shows through the window.
  void ShowError(const BatchFailure& failure) override;
  OverwriteAnswer ConfirmOverwrite(const std::string& outputPath) override;
  bool ConfirmAbort() override;
  void SetRunning(bool running) override;
  void SetProgressMaximum(uint32_t maximum) override;
  void ShowProgress(const BatchProgress& progress) override;
  void ShowFileName(const std::string& fileName, const BatchProgress& progress) override;
  // The caption of FnameLbl.
  void ShowFileName(const std::string& fileName);
  void ShowFrame(const TBitmap& frame) override;
  void Pump() override;

  // The text of Label2.
  static const char* CreditLine();
  // The folder the folder browser opens at: the desktop, or home without one.
  static QString BrowserStartFolder();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildLayout();
  void SetLabelText(QLabel* label, const QString& text);

  std::vector<std::string> commandLine_;
  bool activated_ = false;
};

// The one instance, set by the program entry.
extern TForm1* Form1;
