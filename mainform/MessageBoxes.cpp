#include "mainform/MessageBoxes.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyleFactory>

#include "batch/Messages.h"

namespace {

// The button boxes of some desktops reverse Yes and No or move the accepting
// button to the right; the program's questions always read Yes, No, Yes to
// all from left to right, so their button row lays out as on Windows.
class LeftToRightButtons : public QProxyStyle {
 public:
  LeftToRightButtons() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_DialogButtonLayout) return QDialogButtonBox::WinLayout;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

class ProgramBox : public QMessageBox {
 public:
  ProgramBox(Icon icon, const QString& title, const QString& text)
      : QMessageBox(icon, title, text, QMessageBox::NoButton, nullptr) {
    setTextFormat(Qt::PlainText);
    if (auto* row = findChild<QDialogButtonBox*>()) {
      auto* order = new LeftToRightButtons;
      order->setParent(this);
      row->setStyle(order);
      // The row reads its layout policy only when it lays itself out anew.
      row->setOrientation(Qt::Vertical);
      row->setOrientation(Qt::Horizontal);
    }
  }

  QPushButton* Add(const char* caption, ButtonRole role) {
    return addButton(QString::fromUtf8(caption), role);
  }

  // Runs the box; the button that closed it, or nullptr when it was closed
  // in another way (its close box, the window manager).
  QAbstractButton* Run() {
    exec();
    return closedOtherwise_ ? nullptr : clickedButton();
  }

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    QScreen* where = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!where) return;
    QRect frame = frameGeometry();
    frame.moveCenter(where->availableGeometry().center());
    move(frame.topLeft());
  }

  void closeEvent(QCloseEvent* event) override {
    // A button's own close does not pass here (the dialog swallows it), so a
    // close event with no button clicked is the close box or the window
    // manager.
    if (clickedButton() == nullptr) closedOtherwise_ = true;
    QMessageBox::closeEvent(event);
  }

 private:
  bool closedOtherwise_ = false;
};

}  // namespace

void ShowWarningBox(const QString& text) {
  ProgramBox box(QMessageBox::Warning, QString::fromUtf8(kTitleWarning), text);
  QPushButton* ok = box.Add(kButtonOk, QMessageBox::AcceptRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  box.Run();
}

OverwriteAnswer AskOverwriteBox(const QString& text) {
  ProgramBox box(QMessageBox::Question, QString::fromUtf8(kTitleConfirm), text);
  QPushButton* yes = box.Add(kButtonYes, QMessageBox::YesRole);
  QPushButton* no = box.Add(kButtonNo, QMessageBox::NoRole);
  QPushButton* all = box.Add(kButtonYesToAll, QMessageBox::ActionRole);
  box.setDefaultButton(yes);
  box.setEscapeButton(no);
  QAbstractButton* answer = box.Run();
  if (answer == yes) return OverwriteAnswer::kYes;
  if (answer == no) return OverwriteAnswer::kNo;
  if (answer == all) return OverwriteAnswer::kYesToAll;
  return OverwriteAnswer::kCancelled;
}

bool AskYesNoBox(const QString& text) {
  ProgramBox box(QMessageBox::Question, QString::fromUtf8(kTitleConfirm), text);
  QPushButton* yes = box.Add(kButtonYes, QMessageBox::YesRole);
  QPushButton* no = box.Add(kButtonNo, QMessageBox::NoRole);
  box.setDefaultButton(yes);
  box.setEscapeButton(no);
  return box.Run() == yes;
}

void ShowExceptionBox(const QString& title, const QString& text) {
  ProgramBox box(QMessageBox::Critical, title, text);
  QPushButton* ok = box.Add(kButtonOk, QMessageBox::AcceptRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  box.Run();
}
