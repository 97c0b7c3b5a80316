#include "tests/mainform/FormTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <algorithm>

#include "tests/batch/TestSupport.h"
#include "tools/moviewriter/ReferenceModel.h"

namespace form_test {

ModalDriver::ModalDriver() {
  connect(&timer_, &QTimer::timeout, this, &ModalDriver::Poll);
  timer_.start(5);
}

void ModalDriver::Then(std::function<void(QWidget*)> step) { steps_.push_back(std::move(step)); }

namespace {

SeenBox Record(QMessageBox* box) {
  SeenBox seen;
  seen.title = box->windowTitle();
  seen.text = box->text();
  seen.icon = box->icon();
  QList<QAbstractButton*> row = box->buttons();
  std::sort(row.begin(), row.end(),
            [](QAbstractButton* a, QAbstractButton* b) { return a->x() < b->x(); });
  for (QAbstractButton* button : row) seen.buttons << button->text();
  if (box->defaultButton()) seen.defaultButton = box->defaultButton()->text();
  if (auto* focused = qobject_cast<QAbstractButton*>(box->focusWidget())) {
    seen.focusedButton = focused->text();
  }
  if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
    seen.plainText = label->textFormat() == Qt::PlainText;
  }
  if (QScreen* screen = box->screen()) {
    const QPoint off = box->frameGeometry().center() - screen->availableGeometry().center();
    seen.centredOnScreen = off.manhattanLength() <= 2;
  }
  return seen;
}

QAbstractButton* ButtonCaptioned(QMessageBox* box, const QString& caption) {
  for (QAbstractButton* button : box->buttons()) {
    if (button->text() == caption) return button;
  }
  return nullptr;
}

}  // namespace

void ModalDriver::Answer(Reply reply, const QString& captionOrKey) {
  Then([this, reply, captionOrKey](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (!box) {
      ++unexpected;
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
      return;
    }
    boxes.push_back(Record(box));
    QWidget* keyTarget = box->focusWidget() ? box->focusWidget() : box;
    switch (reply) {
      case Reply::kClick:
        if (QAbstractButton* button = ButtonCaptioned(box, captionOrKey)) {
          button->click();
        } else {
          ++unexpected;
          box->close();
        }
        break;
      case Reply::kEnter:
        QTest::keyClick(keyTarget, Qt::Key_Return);
        break;
      case Reply::kEscape:
        QTest::keyClick(keyTarget, Qt::Key_Escape);
        break;
      case Reply::kCloseBox:
        box->close();
        break;
      case Reply::kKey:
        QTest::keyClick(keyTarget, captionOrKey.at(0).toLatin1());
        break;
    }
  });
}

bool ModalDriver::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Hide || event->type() == QEvent::Destroy) {
    std::erase(handled_, watched);
    watched->removeEventFilter(this);
  }
  return false;
}

void ModalDriver::Poll() {
  QWidget* modal = QApplication::activeModalWidget();
  if (!modal || !modal->isVisible()) return;
  if (std::find(handled_.begin(), handled_.end(), modal) != handled_.end()) return;
  handled_.push_back(modal);
  modal->installEventFilter(this);
  if (steps_.empty()) {
    ++unexpected;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) boxes.push_back(Record(box));
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    return;
  }
  auto step = std::move(steps_.front());
  steps_.pop_front();
  step(modal);
}

std::string WriteV02(const std::string& path, uint32_t frames, uint32_t framesPerChunk,
                     uint32_t width, uint32_t height, uint32_t seed) {
  moviewriter::V02MovieOptions options{.width = width, .height = height, .frames = frames,
      .framesPerChunk = framesPerChunk, .seed = seed};
  return moviewriter::WriteV02Movie(path, options) == 0 ? path : std::string();
}

std::string WriteV00(const std::string& path, uint32_t frames, uint32_t width, uint32_t height,
                     uint32_t seed) {
  moviewriter::V00MovieOptions options{
      .width = width, .height = height, .frames = frames, .seed = seed};
  return moviewriter::WriteV00Movie(path, options) == 0 ? path : std::string();
}

std::vector<QImage> ExpectedFrames(const std::string& moviePath) {
  moviewriter::ExpectedMovie movie;
  std::vector<QImage> pictures;
  if (!moviewriter::ExpectMovieFile(moviePath, movie)) return pictures;
  const int width = static_cast<int>(movie.width);
  const int height = static_cast<int>(movie.height);
  const size_t rowBytes = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
  for (const moviewriter::Bytes& memory : movie.frames) {
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
      // Frame memory starts with the bottom row; each pixel is B, G, R.
      const uint8_t* row = memory.data() + static_cast<size_t>(height - 1 - y) * rowBytes;
      for (int x = 0; x < width; ++x) {
        picture.setPixel(x, y, qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]));
      }
    }
    pictures.push_back(picture);
  }
  return pictures;
}

}  // namespace form_test
