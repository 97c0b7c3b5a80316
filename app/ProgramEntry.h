#pragma once

#include <QApplication>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TForm1;

// The program's application object. An exception that escapes an event
// handler is shown in the exception box and the event loop goes on, as the
// window's own toolkit habit was: one failed click must not lose the window.
class ProgramApplication : public QApplication {
 public:
  ProgramApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

using FormFactory = std::function<std::unique_ptr<TForm1>()>;

// The program entry's work: the application title "変換ぽるて", the window
// Form1 made by createForm and shown, and the event loop until the window
// closes. An exception that escapes the creation of the window or the loop
// is shown in the exception box (an exception of an unknown kind with an
// empty message). The result is the exit code, which is always 0.
int RunProgram(QApplication& app, const FormFactory& createForm);

// What `henkan-porute --help` or `henkan-porute --version` prints, the
// option alone on the command line, before any window is made; empty for
// every other command line, whose arguments are all input paths.
std::string InformationAnswer(const std::vector<std::string>& arguments);

// The exception box: stop icon, the application title, the message, "OK".
void ShowException(const std::exception_ptr& error);
