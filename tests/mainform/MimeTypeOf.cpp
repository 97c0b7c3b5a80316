// Prints the MIME type the desktop's shared MIME database gives each file
// named on the command line, one a line, as Qt applications and file
// managers built on it see them. Reads the database from XDG_DATA_DIRS.
#include <QCoreApplication>
#include <QMimeDatabase>
#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QMimeDatabase database;
  for (int i = 1; i < argc; ++i) {
    std::printf("%s\n", qPrintable(database.mimeTypeForFile(QString::fromLocal8Bit(argv[i])).name()));
  }
  return 0;
}
