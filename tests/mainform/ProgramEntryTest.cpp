// The program entry: an exception that escapes the creation of the window or
// the event loop is shown in a box, and the exit code stays 0.
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include "app/ProgramEntry.h"
#include "mainform/Mainform.h"
#include "tests/mainform/FormTestSupport.h"

using form_test::ModalDriver;
using form_test::Reply;

class ProgramEntryTest : public QObject {
  Q_OBJECT

 private slots:
  void helpAndVersionAloneAreQuestions_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("answer");
    QTest::newRow("--version") << QStringList{"--version"} << "henkan-porute (変換ぽるて) 1.0\n";
    QTest::newRow("--help") << QStringList{"--help"} << "Usage: henkan-porute [FILE]...\n";
    QTest::newRow("among movies it is a movie") << QStringList{"a.V02", "--help"} << "";
    QTest::newRow("a path") << QStringList{"./--version"} << "";
    QTest::newRow("nothing") << QStringList{} << "";
  }
  void helpAndVersionAloneAreQuestions() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, answer);
    std::vector<std::string> line;
    for (const QString& argument : arguments) line.push_back(argument.toStdString());
    const QString got = QString::fromStdString(InformationAnswer(line));
    QCOMPARE(got.left(answer.size()), answer);
    QCOMPARE(got.isEmpty(), answer.isEmpty());
  }

  void exceptionFromCreationIsShown_data() {
    QTest::addColumn<bool>("knownKind");
    QTest::addColumn<QString>("message");
    QTest::newRow("std::exception shows its message") << true << "ウィンドウを作れません";
    QTest::newRow("unknown kind shows an empty message") << false << "";
  }
  void exceptionFromCreationIsShown() {
    QFETCH(bool, knownKind);
    QFETCH(QString, message);
    ModalDriver driver;
    driver.Answer(Reply::kEnter);
    const int exitCode = RunProgram(*qApp, [&]() -> std::unique_ptr<TForm1> {
      if (knownKind) throw std::runtime_error(message.toStdString());
      throw 42;
    });
    QCOMPARE(exitCode, 0);
    QCOMPARE(driver.boxes.size(), size_t{1});
    QCOMPARE(driver.boxes[0].title, QString("変換ぽるて"));
    QCOMPARE(driver.boxes[0].icon, QMessageBox::Critical);
    QCOMPARE(driver.boxes[0].text, message);
    QCOMPARE(driver.boxes[0].buttons, QStringList{"OK"});
    QCOMPARE(QApplication::applicationName(), QString("変換ぽるて"));
    QVERIFY(Form1 == nullptr);
  }

  void exceptionInTheLoopIsShownAndTheWindowLivesOn() {
    ModalDriver driver;
    driver.Answer(Reply::kClick, "OK");
    bool shownAfterBox = false;
    const int exitCode = RunProgram(*qApp, [&] {
      auto form = std::make_unique<TForm1>();
      TForm1* window = form.get();
      QTimer::singleShot(0, window, [] { throw std::runtime_error("途中で失敗"); });
      QTimer::singleShot(100, window, [&, window] {
        shownAfterBox = window->isVisible() && Form1 == window;
        window->close();
      });
      return form;
    });
    QCOMPARE(exitCode, 0);
    QCOMPARE(driver.boxes.size(), size_t{1});
    QCOMPARE(driver.boxes[0].text, QString("途中で失敗"));
    QVERIFY(shownAfterBox);
  }
};

int main(int argc, char** argv) {
  ProgramApplication app(argc, argv);
  ProgramEntryTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "ProgramEntryTest.moc"
