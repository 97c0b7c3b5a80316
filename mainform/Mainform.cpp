#include "mainform/Mainform.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <memory>
#include <new>

#include "batch/Messages.h"
#include "batch/PathNames.h"
#include "formdesign/FormDesign.h"
#include "mainform/ButtonGlyphs.h"
#include "mainform/DroppedPaths.h"
#include "mainform/MessageBoxes.h"
#include "mainform/PreviewImage.h"
#include "v02dec/V02Decode.h"

#ifdef PORUTE_HAVE_FFMPEG
#include "ffenc/FfmpegMovieEncoder.h"
#endif

TForm1* Form1 = nullptr;

namespace {

using namespace formdesign;

// The design's filter choice as Qt takes it: the description exactly as the
// dialog shows it, then the patterns Qt matches in a second parenthesis (which
// it hides). Qt separates patterns by blanks, not ";", and its "*.*" would
// want a dot in the name, while the design's means every file.
QString QtNameFilter(const FileFilter& filter) {
  QString patterns = QString::fromUtf8(filter.patterns);
  patterns.replace(u';', u' ');
  if (patterns == QStringLiteral("*.*")) patterns = QStringLiteral("*");
  return QString::fromUtf8(filter.description) + QStringLiteral(" (") + patterns + u')';
}

QString FromBytes(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}

std::string ToBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Qt's progress bar drops a value outside its range; the batch's bar keeps
// its maximum when a drop lengthens the list, so such a value shows as full.
int ClampToInt(uint32_t value) {
  return value > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

// A file dialog accepted by Enter while its completion list is open closes
// without the list, which stays on screen and, being a popup, swallows the
// next click on the window. Closing the lists with the dialog prevents both.
void CloseCompletionLists(QFileDialog& dialog) {
  for (QCompleter* completer : dialog.findChildren<QCompleter*>()) {
    QAbstractItemView* list = completer->popup();
    if (list != nullptr && list->isVisible()) list->hide();
  }
}

void Place(QWidget* widget, const DesignRect& r) {
  widget->setGeometry(r.left, r.top, r.width, r.height);
}

// Labels size themselves to their text, as the design's auto-sizing labels
// do: at least the designed box, and wider or taller where the text in the
// font at hand needs it, so nothing is clipped. The position stays.
void FitLabel(QLabel* label, const DesignRect& r) {
  const QSize need = label->sizeHint();
  label->setGeometry(r.left, r.top, std::max(r.width, need.width()),
                     std::max(r.height, need.height()));
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setText(text);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption,
                        ButtonGlyph glyph) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setIcon(GlyphIcon(glyph));
  button->setIconSize(QSize(kGlyphSize, kGlyphSize));
  // Enter on the focused button presses it, as Space does.
  button->setAutoDefault(true);
  return button;
}

}  // namespace

const char* TForm1::CreditLine() { return kCreditLine; }

QString TForm1::BrowserStartFolder() {
  const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  if (!desktop.isEmpty() && QDir(desktop).exists()) return desktop;
  return QDir::homePath();
}

TForm1::TForm1(std::vector<std::string> commandLine, QWidget* parent)
    : QWidget(parent),
      driver_(*this),
      FileList(driver_.FileList),
      SaveDir(driver_.SaveDir),
      Busy(driver_.Busy),
      AbortRequested(driver_.AbortRequested),
      commandLine_(std::move(commandLine)) {
  BuildLayout();
  FileList.clear();
  SaveDir.clear();
  Busy = 0;
  AbortRequested = 0;
  // Dropped files are taken at any time, also during a batch.
  setAcceptDrops(true);
}

TForm1::~TForm1() {
  if (Form1 == this) Form1 = nullptr;
}

void TForm1::BuildLayout() {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromUtf8(kProgramName));
  // A fixed, single border with the system menu, minimise and close: no
  // maximise, no resizing.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);
  move(kLeft, kTop);

  // Debian has no font of the design's name; the substitutes are the
  // proportional Japanese Gothics it does have, in order of closeness (IPA P
  // Gothic keeps the design's 12-pixel line height).
  QFont::insertSubstitutions(QString::fromUtf8(kWindowFontFamily),
                             {QStringLiteral("IPAPGothic"), QString::fromUtf8("IPA Pゴシック"),
                              QStringLiteral("Noto Sans CJK JP")});
  QFont windowFont(QString::fromUtf8(kWindowFontFamily));
  windowFont.setPixelSize(kWindowFontPixels);
  windowFont.setWeight(QFont::Normal);
  windowFont.setStyle(QFont::StyleNormal);
  setFont(windowFont);

  QPalette background = palette();
  background.setColor(QPalette::Window, background.color(QPalette::Button));
  setPalette(background);
  setAutoFillBackground(true);

  // Created from the back to the front: the bevel lies under the picture,
  // and the labels, which paint no background of their own, over each other.
  Bevel1 = new QFrame(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Bevel1->setLineWidth(1);
  Place(Bevel1, kBevel1);

  Image1 = new PreviewImage(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Place(Image1, kImage1);

  InputSelBtn = MakeButton(this, "InputSelBtn", kCaptionInputSel, ButtonGlyph::kInputSelect);
  Place(InputSelBtn, kInputSelBtn);
  SaveDirBtn = MakeButton(this, "SaveDirBtn", kCaptionSaveDir, ButtonGlyph::kSaveDir);
  Place(SaveDirBtn, kSaveDirBtn);
  BtnStart = MakeButton(this, "BtnStart", kCaptionStart, ButtonGlyph::kStart);
  BtnStart->setFont(windowFont);
  Place(BtnStart, kBtnStart);

  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setFocusPolicy(Qt::TabFocus);
  Place(ProgressBar1, kProgressBar1);

  FnameLbl = MakeLabel(this, "FnameLbl", QString::fromUtf8(kFnameLblEmpty));
  FitLabel(FnameLbl, kFnameLbl);
  Label1 = MakeLabel(this, "Label1",
                     QString::fromUtf8(kProgramName) + u' ' + QString::fromUtf8(kProgramVersion));
  FitLabel(Label1, kLabel1);
  Label2 = MakeLabel(this, "Label2", QString::fromUtf8(CreditLine()));
  FitLabel(Label2, kLabel2);

#ifdef PORUTE_HAVE_FFMPEG
  FormatCombo = new QComboBox(this);
  FormatCombo->setObjectName(QStringLiteral("FormatCombo"));
  for (const char* choice : kFormatChoices) FormatCombo->addItem(QString::fromUtf8(choice));
  Place(FormatCombo, kFormatCombo);
  connect(FormatCombo, &QComboBox::currentIndexChanged, this, &TForm1::FormatComboChange);
#endif

  setTabOrder(InputSelBtn, SaveDirBtn);
  if (FormatCombo != nullptr) {
    setTabOrder(SaveDirBtn, FormatCombo);
    setTabOrder(FormatCombo, BtnStart);
  } else {
    setTabOrder(SaveDirBtn, BtnStart);
  }
  setTabOrder(BtnStart, ProgressBar1);

  // Our own dialogs rather than the desktop's: they behave alike on every
  // desktop, filter names as designed, and can be driven by the tests.
  OpenDialog1 = new QFileDialog(this, QString::fromUtf8(kOpenDialogTitle));
  OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
  OpenDialog1->setOption(QFileDialog::DontUseNativeDialog, true);
  OpenDialog1->setOption(QFileDialog::HideNameFilterDetails, true);
  OpenDialog1->setOption(QFileDialog::ReadOnly, false);
  OpenDialog1->setFileMode(QFileDialog::ExistingFiles);
  OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
  OpenDialog1->setSizeGripEnabled(true);
  QStringList filters;
  for (const FileFilter& filter : kOpenFilters) filters << QtNameFilter(filter);
  OpenDialog1->setNameFilters(filters);

  connect(InputSelBtn, &QPushButton::clicked, this, &TForm1::InputSelBtnClick);
  connect(SaveDirBtn, &QPushButton::clicked, this, &TForm1::SaveDirBtnClick);
  connect(BtnStart, &QPushButton::clicked, this, &TForm1::BtnStartClick);
}

void TForm1::SetLabelText(QLabel* label, const QString& text) {
  label->setText(text);
  if (label == FnameLbl) FitLabel(label, kFnameLbl);
}

void TForm1::FormActivate() {
  FileList.clear();
  for (const std::string& argument : commandLine_) FileList.push_back(argument);
  if (FileList.empty()) return;
  // No preview for files from the command line: the batch shows them.
  BtnStartClick();
  close();
}

void TForm1::BtnStartClick() { driver_.BtnStartClick(); }

void TForm1::FormatComboChange([[maybe_unused]] int index) {
#ifdef PORUTE_HAVE_FFMPEG
  // The same encoder as the command line's -f mkv and -f mp4.
  driver_.SetEncoderFactory(FfmpegMovieEncoder::FactoryForFormatChoice(index));
#endif
}

void TForm1::InputSelBtnClick() {
  const int answer = OpenDialog1->exec();
  CloseCompletionLists(*OpenDialog1);
  if (answer != QDialog::Accepted) return;
  const QStringList chosen = OpenDialog1->selectedFiles();
  if (chosen.isEmpty()) return;
  FileList.clear();
  for (const QString& path : chosen) FileList.push_back(ToBytes(path));
  ShowPreview(FileList.front());
}

void TForm1::SaveDirBtnClick() {
  QFileDialog browser(this, QString::fromUtf8(kBrowserPrompt));
  browser.setObjectName(QStringLiteral("FolderBrowser"));
  browser.setOption(QFileDialog::DontUseNativeDialog, true);
  browser.setOption(QFileDialog::ShowDirsOnly, true);
  browser.setFileMode(QFileDialog::Directory);
  browser.setAcceptMode(QFileDialog::AcceptOpen);
  // Always the desktop: the browser does not start at the current SaveDir.
  browser.setDirectory(BrowserStartFolder());
  std::string chosen;
  const int answer = browser.exec();
  CloseCompletionLists(browser);
  if (answer == QDialog::Accepted && !browser.selectedFiles().isEmpty()) {
    chosen = ToBytes(browser.selectedFiles().front());
  }
  // Cancelling clears the folder: outputs go next to their inputs again.
  SaveDir = chosen;
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

void TForm1::WMDropFiles(const std::vector<std::string>& droppedPaths) {
  FileList.clear();
  for (const std::string& path : droppedPaths) FileList.push_back(path);
  if (FileList.empty()) return;
  const std::string first = FileList.front();
  ShowPreview(first);
}

void TForm1::ShowPreview(const std::string& path) {
  // The preview has a decoder of its own, apart from a running batch's.
  std::unique_ptr<V02Decode> decoder(new (std::nothrow) V02Decode);
  if (decoder) {
    decoder->LoadPreview(path);
    Image1->Assign(decoder->previewBitmap);
  } else {
    Image1->Clear();
  }
  SetLabelText(FnameLbl, FromBytes(FileNamePart(path)));
  if (decoder) decoder->Close();
}

void TForm1::ShowError(const BatchFailure& failure) {
  ShowWarningBox(QString::fromUtf8(DesignedMessage(failure)));
}

OverwriteAnswer TForm1::ConfirmOverwrite(const std::string& outputPath) {
  return AskOverwriteBox(QString::fromUtf8(OverwriteQuestionText(outputPath)));
}

bool TForm1::ConfirmAbort() { return AskYesNoBox(QString::fromUtf8(kTextAbortQuestion)); }

void TForm1::SetRunning(bool running) {
  BtnStart->setText(QString::fromUtf8(running ? kCaptionAbort : kCaptionStart));
  InputSelBtn->setEnabled(!running);
  SaveDirBtn->setEnabled(!running);
  if (FormatCombo != nullptr) FormatCombo->setEnabled(!running);
}

void TForm1::SetProgressMaximum(uint32_t maximum) { ProgressBar1->setMaximum(ClampToInt(maximum)); }

void TForm1::ShowProgress(const BatchProgress& progress) {
  ProgressBar1->setValue(std::clamp(ClampToInt(progress.barPosition), ProgressBar1->minimum(),
                                    ProgressBar1->maximum()));
}

void TForm1::ShowFileName(const std::string& fileName, const BatchProgress&) {
  ShowFileName(fileName);
}

void TForm1::ShowFileName(const std::string& fileName) {
  SetLabelText(FnameLbl, FromBytes(fileName));
}

void TForm1::ShowFrame(const TBitmap& frame) { Image1->Assign(frame); }

void TForm1::Pump() { QCoreApplication::processEvents(); }

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (activated_) return;
  activated_ = true;
  // Run from the event loop, not from inside show(): a command-line batch
  // then pumps events like any other, and the close that follows it reaches
  // a running loop.
  QTimer::singleShot(0, this, &TForm1::FormActivate);
}

void TForm1::closeEvent(QCloseEvent* event) {
  bool canClose = true;
  FormCloseQuery(canClose);
  if (!canClose) {
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
}

namespace {

// The drop only reads the files: offer a copy (or a link), never a move,
// which would let the source delete its files once the drop succeeds.
bool ChooseReadOnlyAction(QDropEvent* event) {
  const Qt::DropActions possible = event->possibleActions();
  if (possible & Qt::CopyAction) {
    event->setDropAction(Qt::CopyAction);
  } else if (possible & Qt::LinkAction) {
    event->setDropAction(Qt::LinkAction);
  } else {
    return false;
  }
  return true;
}

}  // namespace

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData() && !DroppedLocalPaths(*event->mimeData()).empty() &&
      ChooseReadOnlyAction(event)) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData() && event->mimeData()->hasUrls() && ChooseReadOnlyAction(event)) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TForm1::dropEvent(QDropEvent* event) {
  const std::vector<std::string> paths =
      event->mimeData() ? DroppedLocalPaths(*event->mimeData()) : std::vector<std::string>{};
  if (paths.empty() || !ChooseReadOnlyAction(event)) {
    event->ignore();
    return;
  }
  event->accept();
  WMDropFiles(paths);
}
