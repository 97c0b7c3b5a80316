#include "app/ProgramEntry.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <exception>

#include "batch/Messages.h"
#include "mainform/Mainform.h"
#include "mainform/MessageBoxes.h"

ProgramApplication::ProgramApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool ProgramApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ShowException(std::current_exception());
  }
  return false;
}

void ShowException(const std::exception_ptr& error) {
  QString message;
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& known) {
    message = QString::fromLocal8Bit(known.what());
  } catch (...) {
    // A kind we know nothing of: the box still appears, with no text.
  }
  ShowExceptionBox(QString::fromUtf8(kProgramName), message);
}

namespace {

// The window's texts are Japanese whatever the locale, so Qt's own dialogs
// (the file dialog and the folder browser) speak Japanese too where Qt's
// translations are installed; without them they stay in English.
void LoadToolkitTranslation(QApplication& app) {
  auto* translator = new QTranslator(&app);
  if (translator->load(QStringLiteral("qtbase_ja"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(translator);
  } else {
    delete translator;
  }
}

}  // namespace

std::string InformationAnswer(const std::vector<std::string>& arguments) {
  if (arguments.size() != 1) return std::string();
  if (arguments[0] == "--version") {
    return std::string("henkan-porute (") + kProgramName + ") " + kProgramVersion + "\n";
  }
  if (arguments[0] == "--help") {
    return "Usage: henkan-porute [FILE]...\n"
           "The window of the converter of VD02 (.V02) and VD00 (.V00) movies.\n"
           "With FILEs it converts them at once, one after another, and closes when\n"
           "done; without, it waits for movies chosen or dropped onto it.\n"
           "\n"
           "  --help     show this help and exit\n"
           "  --version  show the version and exit\n"
           "\n"
           "The command line's converter is porute2avi (see porute2avi --help).\n";
  }
  return std::string();
}

int RunProgram(QApplication& app, const FormFactory& createForm) {
  QApplication::setApplicationName(QString::fromUtf8(kProgramName));
  QGuiApplication::setDesktopFileName(QStringLiteral("henkan-porute"));
  LoadToolkitTranslation(app);

  std::unique_ptr<TForm1> form;
  try {
    form = createForm();
    Form1 = form.get();
    form->show();
    QApplication::exec();
  } catch (...) {
    ShowException(std::current_exception());
  }
  Form1 = nullptr;
  form.reset();
  return 0;
}
