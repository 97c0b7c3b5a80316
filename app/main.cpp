// henkan-porute: the desktop window of the converter.
#include <QIcon>
#include <cstdio>
#include <string>
#include <vector>

#include "app/ProgramEntry.h"
#include "mainform/Mainform.h"

int main(int argc, char** argv) {
  // Every argument is an input path, taken as the bytes the system passed
  // before Qt looks at them: names need not be valid in the locale's
  // encoding, and Qt removes the options it knows from argv.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  // Asked alone, these two are questions, not movies (a movie of that name
  // is still opened as ./--help).
  if (const std::string answer = InformationAnswer(arguments); !answer.empty()) {
    std::fputs(answer.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  ProgramApplication app(argc, argv);
  QIcon icon;
  for (const int size : {16, 32, 48, 256}) {
    icon.addFile(QStringLiteral(":/icons/henkan-porute-%1.png").arg(size), QSize(size, size));
  }
  QApplication::setWindowIcon(icon);
  return RunProgram(app, [&arguments] { return std::make_unique<TForm1>(arguments); });
}
