#pragma once

// Equipment of the window tests: answering the program's modal boxes and
// dialogs as a user would, writing test movies with our movie writer, and
// the pictures a decoder must deliver for them.

#include <QImage>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "tools/moviewriter/MovieMaker.h"

namespace form_test {

// What a test saw of one message box when it came up.
struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;  // captions from left to right
  QString defaultButton;
  QString focusedButton;
  bool plainText = false;
  bool centredOnScreen = false;
};

enum class Reply {
  kClick,     // click the button with the given caption
  kEnter,     // press Enter where the focus is
  kEscape,    // press Escape
  kCloseBox,  // close the box as its close box does
  kKey,       // press the given letter
};

// Watches for modal windows and handles each with the next queued step, in
// order. A modal window that comes with no step left is counted as
// unexpected and dismissed, so a test never hangs on a box it did not plan.
class ModalDriver : public QObject {
 public:
  ModalDriver();
  // The next modal window must be a message box: record it and reply.
  void Answer(Reply reply, const QString& captionOrKey = {});
  // The next modal window, of any kind, goes to step.
  void Then(std::function<void(QWidget*)> step);

  std::vector<SeenBox> boxes;
  int unexpected = 0;
  bool Finished() const { return steps_.empty(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Poll();
  std::deque<std::function<void(QWidget*)>> steps_;
  // Modal windows handled and still shown; a dialog shown again (the file
  // dialog is one object for the window's life) counts as new.
  std::vector<QWidget*> handled_;
  QTimer timer_;
};

// A VD02 movie of the given size and frame count written by our movie
// writer; returns its path.
std::string WriteV02(const std::string& path, uint32_t frames, uint32_t framesPerChunk = 8,
                     uint32_t width = 32, uint32_t height = 16, uint32_t seed = 1);
std::string WriteV00(const std::string& path, uint32_t frames, uint32_t width = 32,
                     uint32_t height = 16, uint32_t seed = 1);

// Every frame of a movie as the decoder must deliver it, read by the movie
// writer's own reference reader and turned into pictures here.
std::vector<QImage> ExpectedFrames(const std::string& moviePath);

}  // namespace form_test
