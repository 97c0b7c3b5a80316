// The window driving whole batches as a user does: the start button, the
// message boxes answered as a user answers them, aborts by the button and by
// the close box, drops (also during a batch), the file dialog, the folder
// browser and the command line. Outputs are read back through ffprobe.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <memory>

#include <unistd.h>

#include "mainform/Mainform.h"
#include "mainform/PreviewImage.h"
#include "tests/batch/TestSupport.h"
#include "tests/mainform/FormTestSupport.h"

using form_test::ModalDriver;
using form_test::Reply;

namespace {

const QString kYes = QStringLiteral("はい(&Y)");
const QString kNo = QStringLiteral("いいえ(&N)");
const QString kYesToAll = QStringLiteral("すべてはい(&A)");

// The window's state each time the progress bar moves during a batch.
struct Sample {
  int position = 0;
  QString caption;
  bool inputEnabled = true;
  bool saveDirEnabled = true;
  QImage picture;
  QString fileName;
};

void Watch(TForm1& form, std::vector<Sample>& samples) {
  QObject::connect(form.ProgressBar1, &QProgressBar::valueChanged, &form, [&form, &samples](int value) {
    if (!form.Busy) return;  // the reset to 0 at the end of the batch
    samples.push_back({value, form.BtnStart->text(), form.InputSelBtn->isEnabled(),
                       form.SaveDirBtn->isEnabled(), form.Image1->Picture().copy(),
                       form.FnameLbl->text()});
  });
}

QList<int> Positions(const std::vector<Sample>& samples) {
  QList<int> positions;
  for (const Sample& sample : samples) positions << sample.position;
  return positions;
}

QByteArray UriList(const std::vector<std::string>& paths) {
  QByteArray list;
  for (const std::string& path : paths) {
    list += "file://" + QByteArray::fromStdString(path).toPercentEncoding("/") + "\r\n";
  }
  return list;
}

// A drag that enters the window and is dropped, as a file manager does it.
// Returns the action the window took, or Qt::IgnoreAction when refused.
Qt::DropAction Drop(TForm1& form, const QByteArray& uriList,
                    Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction) {
  QMimeData mime;
  mime.setData(QStringLiteral("text/uri-list"), uriList);
  QDragEnterEvent enter(QPoint(40, 40), offered, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&form, &enter);
  if (!enter.isAccepted()) return Qt::IgnoreAction;
  QDropEvent drop(QPointF(40, 40), offered, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&form, &drop);
  return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

void ExpectIdle(TForm1& form) {
  QCOMPARE(form.Busy, 0);
  QCOMPARE(form.AbortRequested, 0);
  QCOMPARE(form.BtnStart->text(), QString("変換開始"));
  QVERIFY(form.InputSelBtn->isEnabled());
  QVERIFY(form.SaveDirBtn->isEnabled());
  QCOMPARE(form.ProgressBar1->value(), 0);
}

void Accept(QDialog* dialog) { QMetaObject::invokeMethod(dialog, "accept"); }

// Closes a dialog that a failed check left open, so a test never hangs in it.
struct DismissLeftOpen {
  QDialog* dialog;
  ~DismissLeftOpen() {
    if (dialog && dialog->isVisible()) dialog->reject();
  }
};

}  // namespace

class FormBatchTest : public QObject {
  Q_OBJECT

  QTemporaryDir home_;
  std::unique_ptr<QTemporaryDir> dir_;
  std::string At(const QString& name) const { return dir_->filePath(name).toStdString(); }

  // A shown, activated window with no command line: what a user sees.
  std::unique_ptr<TForm1> ShownForm(std::vector<std::string> commandLine = {}) {
    auto form = std::make_unique<TForm1>(std::move(commandLine));
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get())) return nullptr;
    QCoreApplication::processEvents();
    return form;
  }

 private slots:
  void initTestCase() {
    QApplication::setQuitOnLastWindowClosed(false);
    // Qt's file dialog keeps its history in the user's configuration; keep
    // the tests' out of the real one.
    QVERIFY(home_.isValid());
    qputenv("HOME", home_.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home_.filePath("config").toLocal8Bit());
  }
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
  }

  void wholeBatchShowsEveryChunkAndReturnsToIdle() {
    const std::string a = form_test::WriteV02(At("A.V02"), 25, 8, 32, 16, 3);
    const std::string b = form_test::WriteV00(At("B.V00"), 12, 32, 16, 4);
    QVERIFY(!a.empty() && !b.empty());
    const std::vector<QImage> framesA = form_test::ExpectedFrames(a);
    const std::vector<QImage> framesB = form_test::ExpectedFrames(b);
    QCOMPARE(framesA.size(), size_t{25});
    QCOMPARE(framesB.size(), size_t{12});

    auto form = ShownForm();
    QVERIFY(form);
    ModalDriver boxes;
    std::vector<Sample> samples;
    Watch(*form, samples);
    form->FileList = {a, b};
    form->BtnStart->click();

    // 25 frames at 8 a chunk: four chunks, the last of one frame; then the
    // VD00 movie in chunks of eight, counting from 100.
    QCOMPARE(Positions(samples), (QList<int>{32, 64, 96, 100, 166, 200}));
    const QImage shown[] = {framesA[0], framesA[8], framesA[16], framesA[24], framesB[0], framesB[8]};
    for (size_t i = 0; i < samples.size(); ++i) {
      QCOMPARE(samples[i].caption, QString("処理中止"));
      QVERIFY(!samples[i].inputEnabled && !samples[i].saveDirEnabled);
      QCOMPARE(samples[i].picture, shown[i]);
      QCOMPARE(samples[i].fileName, QString(i < 4 ? "A.V02" : "B.V00"));
    }
    ExpectIdle(*form);
    QCOMPARE(form->ProgressBar1->maximum(), 200);
    QCOMPARE(form->Image1->Picture(), framesB[8]);
    QCOMPARE(form->FnameLbl->text(), QString("B.V00"));
    QCOMPARE(form->FileList, (std::vector<std::string>{a, b}));
    QVERIFY(boxes.boxes.empty() && boxes.unexpected == 0);
    QCOMPARE(porute_test::FramesRead(At("A.avi")), 25);
    QCOMPARE(porute_test::FramesRead(At("B.avi")), 12);
  }

  // The format list: AVI at start; MKV makes the batch write Matroska.
  void formatChoiceMkvWritesMatroska() {
    auto form = ShownForm();
    QVERIFY(form);
#ifndef PORUTE_HAVE_FFMPEG
    QVERIFY(form->FormatCombo == nullptr);
#else
    QCOMPARE(form->FormatCombo->count(), 3);
    QCOMPARE(form->FormatCombo->itemText(0), QString("AVI"));
    QCOMPARE(form->FormatCombo->itemText(1), QString("MKV"));
    QCOMPARE(form->FormatCombo->itemText(2), QString("MP4"));
    QCOMPARE(form->FormatCombo->currentText(), QString("AVI"));
    QCOMPARE(form->FormatCombo->geometry(), QRect(264, 94, 97, 22));
    const std::string a = form_test::WriteV02(At("A.V02"), 9, 8, 32, 16, 3);
    QVERIFY(!a.empty());
    ModalDriver boxes;
    form->FormatCombo->setCurrentIndex(1);
    form->FileList = {a};
    form->BtnStart->click();
    ExpectIdle(*form);
    QVERIFY(boxes.boxes.empty() && boxes.unexpected == 0);
    QVERIFY(!QFile::exists(QString::fromStdString(At("A.avi"))));
    const porute_test::Probe probe = porute_test::ProbeFile(At("A.mkv"));
    QVERIFY(probe.ok);
    QVERIFY(probe.formatName.find("matroska") != std::string::npos);
    QCOMPARE(porute_test::FramesRead(At("A.mkv")), 9);
#endif
  }

  void emptyListDoesNothing() {
    auto form = ShownForm();
    QVERIFY(form);
    ModalDriver boxes;
    form->BtnStart->click();
    ExpectIdle(*form);
    QCOMPARE(form->ProgressBar1->maximum(), 100);
    QCOMPARE(boxes.unexpected, 0);
  }

  void overwriteQuestion_data() {
    QTest::addColumn<QStringList>("replies");  // "click:<caption>", "enter", "escape", "close", "key:<c>"
    QTest::addColumn<QString>("overwritten");  // per file: Y overwritten, N kept
    QTest::newRow("yes, no, Enter for yes") << QStringList{"click:" + kYes, "click:" + kNo, "enter"} << "YNY";
    QTest::newRow("yes to all asks no more") << QStringList{"click:" + kYesToAll} << "YYY";
    QTest::newRow("Escape is no") << QStringList{"escape", "escape", "escape"} << "NNN";
    QTest::newRow("close box skips like no") << QStringList{"close", "click:" + kYes, "key:n"} << "NYN";
    QTest::newRow("letter a is yes to all") << QStringList{"key:a"} << "YYY";
  }
  void overwriteQuestion() {
    QFETCH(QStringList, replies);
    QFETCH(QString, overwritten);
    std::vector<std::string> inputs;
    for (const char* name : {"a", "b", "c"}) {
      inputs.push_back(form_test::WriteV02(At(QString("%1.V02").arg(name)), 8));
      QVERIFY(porute_test::WriteText(At(QString("%1.avi").arg(name)), "old"));
    }
    auto form = ShownForm();
    QVERIFY(form);
    ModalDriver driver;
    for (const QString& reply : replies) {
      const QString arg = reply.section(':', 1);
      if (reply.startsWith("click")) driver.Answer(Reply::kClick, arg);
      if (reply == "enter") driver.Answer(Reply::kEnter);
      if (reply == "escape") driver.Answer(Reply::kEscape);
      if (reply == "close") driver.Answer(Reply::kCloseBox);
      if (reply.startsWith("key")) driver.Answer(Reply::kKey, arg);
    }
    std::vector<Sample> samples;
    Watch(*form, samples);
    form->FileList = inputs;
    form->BtnStart->click();

    QCOMPARE(driver.unexpected, 0);
    QVERIFY(driver.Finished());
    QCOMPARE(driver.boxes.size(), size_t(replies.size()));
    for (size_t i = 0; i < driver.boxes.size(); ++i) {
      const form_test::SeenBox& box = driver.boxes[i];
      const QString output = QString::fromStdString(At(QString("%1.avi").arg(QChar('a' + int(i)))));
      QCOMPARE(box.title, QString("確認"));
      QCOMPARE(box.text, "\"" + output + "\"\n同じ名前のファイルがあります。上書きしますか？");
      QCOMPARE(box.icon, QMessageBox::Question);
      QCOMPARE(box.buttons, (QStringList{kYes, kNo, kYesToAll}));
      QCOMPARE(box.defaultButton, kYes);
      QCOMPARE(box.focusedButton, kYes);
      QVERIFY(box.plainText);
      QVERIFY(box.centredOnScreen);
    }
    QList<int> positions;
    for (int i = 0; i < 3; ++i) {
      const std::string output = At(QString("%1.avi").arg(QChar('a' + i)));
      if (overwritten[i] == 'Y') {
        QCOMPARE(porute_test::FramesRead(output), 8);
        positions << 100 * (i + 1);  // a skipped file moves the bar not at all
      } else {
        QCOMPARE(porute_test::ReadText(output), std::string("old"));
      }
    }
    QCOMPARE(Positions(samples), positions);
    ExpectIdle(*form);
  }

  void yesToAllHoldsForOneBatchOnly() {
    const std::string a = form_test::WriteV02(At("a.V02"), 8);
    QVERIFY(porute_test::WriteText(At("a.avi"), "old"));
    auto form = ShownForm();
    QVERIFY(form);
    ModalDriver driver;
    driver.Answer(Reply::kClick, kYesToAll);
    driver.Answer(Reply::kClick, kYesToAll);
    form->FileList = {a, a};
    form->BtnStart->click();  // asks for the first a.avi only
    QCOMPARE(driver.boxes.size(), size_t{1});
    form->BtnStart->click();  // a new batch asks again, once
    QCOMPARE(driver.boxes.size(), size_t{2});
    QCOMPARE(driver.unexpected, 0);
  }

  // A movie named "slow.V02" arrives slowly: the test's environment makes
  // every read of it take 250 ms (tests/faults/IoFaultShim.c), so that a
  // chunk takes three reads, 750 ms, during which the window is served only
  // by the driver's pumps while it waits for the chunk. An abort asked for
  // then gives up that chunk: the file keeps the one before it. Served only
  // after the chunk, it would keep both.
  void abortDuringBatch_data() {
    QTest::addColumn<bool>("byCloseBox");
    QTest::addColumn<bool>("answerYes");
    QTest::addColumn<QString>("movieName");
    QTest::addColumn<int>("framesWritten");
    QTest::newRow("button, yes: stops after the chunk in hand") << false << true << "long" << 8;
    QTest::newRow("button, no: goes on") << false << false << "long" << 40;
    QTest::newRow("close box, yes: stops, window stays") << true << true << "long" << 8;
    QTest::newRow("close box, no: goes on, window stays") << true << false << "long" << 40;
    QTest::newRow("button, yes, in a slow chunk: gives it up") << false << true << "slow" << 8;
    QTest::newRow("close box, yes, in a slow chunk: gives it up") << true << true << "slow" << 8;
  }
  void abortDuringBatch() {
    QFETCH(bool, byCloseBox);
    QFETCH(bool, answerYes);
    QFETCH(QString, movieName);
    QFETCH(int, framesWritten);
    const bool slow = movieName == "slow";
    const std::string movie = form_test::WriteV02(At(movieName + ".V02"), slow ? 24 : 40, 8);
    const std::string next = form_test::WriteV02(At("next.V02"), 8);
    auto form = ShownForm();
    QVERIFY(form);
    ModalDriver driver;
    driver.Answer(Reply::kClick, answerYes ? kYes : kNo);
    bool closeAccepted = true;
    bool asked = false;
    // After the first chunk: at once, in the batch's own pass over pending
    // events; for the slow movie 100 ms later, while the second chunk is
    // still being read.
    connect(form->ProgressBar1, &QProgressBar::valueChanged, form.get(), [&](int) {
      if (asked || !form->Busy) return;
      asked = true;
      QTimer::singleShot(slow ? 100 : 0, form.get(), [&] {
        if (byCloseBox) {
          closeAccepted = form->close();
        } else {
          form->BtnStart->click();
        }
      });
    });
    form->FileList = {movie, next};
    form->BtnStart->click();

    QCOMPARE(driver.boxes.size(), size_t{1});
    QCOMPARE(driver.boxes[0].title, QString("確認"));
    QCOMPARE(driver.boxes[0].text, QString("処理を中止しますか。"));
    QCOMPARE(driver.boxes[0].icon, QMessageBox::Question);
    QCOMPARE(driver.boxes[0].buttons, (QStringList{kYes, kNo}));
    QCOMPARE(driver.boxes[0].defaultButton, kYes);
    // A file cut short by the abort goes by its partial name.
    QCOMPARE(porute_test::FramesRead(At(movieName + (answerYes ? ".partial.avi" : ".avi"))),
             framesWritten);
    QCOMPARE(QFile::exists(QString::fromStdString(At(movieName + ".avi"))), !answerYes);
    // An abort begins no further file; a refused abort finishes the list.
    QCOMPARE(QFile::exists(QString::fromStdString(At("next.avi"))), !answerYes);
    if (byCloseBox) {
      QVERIFY(!closeAccepted);
      QVERIFY(form->isVisible());
    }
    ExpectIdle(*form);
    QCOMPARE(driver.unexpected, 0);
  }

  void dropReplacesListAndPreviewsFirst() {
    const std::string a = form_test::WriteV02(At("a.V02"), 8, 8, 32, 16, 7);
    const std::string b = form_test::WriteV00(At("b.V00"), 8, 32, 16, 9);
    auto form = ShownForm();
    QVERIFY(form);
    ModalDriver boxes;
    form->FileList = {"/old/entry.V02"};
    // Offered a move, the window takes a copy: it must never let the source
    // delete the files it dropped.
    QCOMPARE(Drop(*form, UriList({b, a})), Qt::CopyAction);
    QCOMPARE(form->FileList, (std::vector<std::string>{b, a}));
    QCOMPARE(form->Image1->Picture(), form_test::ExpectedFrames(b)[0]);
    QCOMPARE(form->FnameLbl->text(), QString("b.V00"));
    // A drag without local files is refused and changes nothing.
    QCOMPARE(Drop(*form, "http://example.invalid/c.V02\r\n"), Qt::IgnoreAction);
    QCOMPARE(form->FileList.size(), size_t{2});
    QCOMPARE(boxes.unexpected, 0);
  }

  void dropOfWhatCannotBePreviewed_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("kind");
    QTest::newRow("text file") << QByteArray("notes.txt") << "text";
    QTest::newRow("folder") << QByteArray("movies") << "folder";
    QTest::newRow("damaged movie") << QByteArray("broken.V02") << "text";
    QTest::newRow("movie named in Shift-JIS, not UTF-8") << QByteArray("\x82\xA0.V02") << "movie";
  }
  void dropOfWhatCannotBePreviewed() {
    QFETCH(QByteArray, name);
    QFETCH(QString, kind);
    const std::string path = dir_->path().toStdString() + "/" + name.toStdString();
    if (kind == "folder") QVERIFY(QDir().mkpath(QString::fromStdString(path)));
    if (kind == "text") QVERIFY(porute_test::WriteText(path, "VD02 but not really a movie"));
    if (kind == "movie") QVERIFY(!form_test::WriteV02(path, 8).empty());
    auto form = ShownForm();
    QVERIFY(form);
    ModalDriver boxes;
    QCOMPARE(Drop(*form, UriList({path})), Qt::CopyAction);
    QCOMPARE(form->FileList, std::vector<std::string>{path});
    if (kind == "movie") {
      // The name crossed as bytes, so the decoder found the file.
      QCOMPARE(form->Image1->Picture(), form_test::ExpectedFrames(path)[0]);
    } else {
      QVERIFY(form->Image1->Picture().isNull());
      QCOMPARE(form->FnameLbl->text(), QString::fromUtf8(name));
    }
    QCOMPARE(boxes.unexpected, 0);
    QVERIFY(boxes.boxes.empty());
    // QTemporaryDir cannot name what is not valid UTF-8: remove it by its bytes.
    if (kind == "movie") {
      QCOMPARE(::unlink(path.c_str()), 0);
      ::unlink((path.substr(0, path.size() - 4) + ".avi").c_str());
    }
  }

  void dropDuringBatchRedirectsTheRestOfIt() {
    const std::string a = form_test::WriteV02(At("a.V02"), 40);
    const std::string c = form_test::WriteV02(At("c.V02"), 8);
    const std::string x = form_test::WriteV02(At("x.V02"), 8);
    const std::string y = form_test::WriteV02(At("y.V02"), 8, 8, 32, 16, 5);
    auto form = ShownForm();
    QVERIFY(form);
    ModalDriver boxes;
    std::vector<Sample> samples;
    Watch(*form, samples);
    bool dropped = false;
    connect(form->ProgressBar1, &QProgressBar::valueChanged, form.get(), [&](int) {
      if (dropped || !form->Busy) return;
      dropped = true;
      QTimer::singleShot(0, form.get(), [&] { Drop(*form, UriList({x, y})); });
    });
    form->FileList = {a, c};
    form->BtnStart->click();

    // The list read anew for the second file is the dropped one: its second
    // entry is converted, and the bar keeps its first maximum.
    QCOMPARE(porute_test::FramesRead(At("a.avi")), 40);
    QCOMPARE(porute_test::FramesRead(At("y.avi")), 8);
    QVERIFY(!QFile::exists(QString::fromStdString(At("x.avi"))));
    QVERIFY(!QFile::exists(QString::fromStdString(At("c.avi"))));
    QCOMPARE(form->FileList, (std::vector<std::string>{x, y}));
    QCOMPARE(form->ProgressBar1->maximum(), 200);
    QCOMPARE(Positions(samples), (QList<int>{20, 40, 60, 80, 100, 200}));
    QCOMPARE(form->Image1->Picture(), form_test::ExpectedFrames(y)[0]);
    QCOMPARE(boxes.unexpected, 0);
  }

  void folderBrowserSetsAndCancelClearsSaveDir() {
    const QString home = dir_->filePath("home");
    QVERIFY(QDir().mkpath(home + "/Desktop"));
    qputenv("HOME", home.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", dir_->filePath("config").toLocal8Bit());
    QCOMPARE(TForm1::BrowserStartFolder(), home + "/Desktop");
    QVERIFY(QDir(home + "/Desktop").removeRecursively());
    QCOMPARE(TForm1::BrowserStartFolder(), QDir(home).absolutePath());

    QVERIFY(QDir().mkpath(dir_->filePath("in")) && QDir().mkpath(dir_->filePath("out")));
    const std::string movie = form_test::WriteV02(At("in/m.V02"), 8);
    auto form = ShownForm();
    QVERIFY(form);
    ModalDriver driver;
    driver.Then([&](QWidget* modal) {
      auto* browser = qobject_cast<QFileDialog*>(modal);
      DismissLeftOpen guard{qobject_cast<QDialog*>(modal)};
      QVERIFY(browser);
      QCOMPARE(browser->windowTitle(), QString("保存先フォルダを選択して下さい"));
      QCOMPARE(browser->fileMode(), QFileDialog::Directory);
      QVERIFY(browser->testOption(QFileDialog::ShowDirsOnly));
      QCOMPARE(browser->directory().absolutePath(), QDir(home).absolutePath());
      browser->setDirectory(dir_->filePath("out"));
      Accept(browser);
    });
    form->SaveDirBtn->click();
    QCOMPARE(form->SaveDir, At("out"));
    form->FileList = {movie};
    form->BtnStart->click();
    QCOMPARE(porute_test::FramesRead(At("out/m.avi")), 8);

    driver.Then([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    form->SaveDirBtn->click();
    QVERIFY(form->SaveDir.empty());
    form->BtnStart->click();
    QCOMPARE(porute_test::FramesRead(At("in/m.avi")), 8);
    QCOMPARE(driver.unexpected, 0);
    QVERIFY(driver.Finished());
  }

  void fileDialogListsMoviesAndKeepsTheChosenOrder() {
    for (const char* name : {"b.v02", "cV00", "d.v00", "Ev00", "f.avi", "g.V02x", "h.V00.bak", "noext"}) {
      QVERIFY(porute_test::WriteText(At(name), "x"));
    }
    QVERIFY(QDir().mkpath(dir_->filePath("sub")));
    const std::string a = form_test::WriteV02(At("a.V02"), 8, 8, 32, 16, 11);
    auto form = ShownForm();
    QVERIFY(form);
    form->FileList = {"/kept/by/cancel.V02"};
    ModalDriver driver;
    driver.Then([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    form->InputSelBtn->click();
    QCOMPARE(form->FileList, std::vector<std::string>{"/kept/by/cancel.V02"});

    QStringList listed;
    driver.Then([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      DismissLeftOpen guard{qobject_cast<QDialog*>(modal)};
      QVERIFY(dialog);
      QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFiles);
      QVERIFY(!dialog->testOption(QFileDialog::ReadOnly));
      QVERIFY(dialog->isSizeGripEnabled());
      auto* choices = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
      QVERIFY(choices);
      QCOMPARE(choices->count(), 2);
      QCOMPARE(choices->itemText(0), QString("動くぽるてファイル (*.V02;*.V00)"));
      QCOMPARE(choices->itemText(1), QString("すべてのファイル (*.*)"));
      QCOMPARE(choices->currentIndex(), 0);
      dialog->setDirectory(dir_->path());
      auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
      QVERIFY(view);
      (void)QTest::qWaitFor([&] { return view->model()->rowCount(view->rootIndex()) >= 6; }, 5000);
      QTest::qWait(100);  // let a wrongly listed seventh name show up too
      for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row) {
        listed << view->model()->index(row, 0, view->rootIndex()).data().toString();
      }
      dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
          ->setText(QStringLiteral("\"a.V02\" \"cV00\" \"b.v02\""));
      Accept(dialog);
    });
    form->InputSelBtn->click();
    listed.sort();
    // ".V02" and anything ending in "V00", in any letter case; folders too.
    QCOMPARE(listed, (QStringList{"Ev00", "a.V02", "b.v02", "cV00", "d.v00", "sub"}));
    // The list is the names chosen, in the order given, not the folder's.
    QCOMPARE(form->FileList, (std::vector<std::string>{At("a.V02"), At("cV00"), At("b.v02")}));
  }

  void commandLineConvertsThenCloses() {
    const std::string a = form_test::WriteV02(At("a.V02"), 20);
    const std::string b = form_test::WriteV00(At("b.V00"), 9);
    ModalDriver boxes;
    TForm1 window({a, b});
    TForm1* form = &window;
    // The batch starts from the first activation, and may well be over
    // before the window has been seen.
    form->show();
    QTRY_VERIFY_WITH_TIMEOUT(!form->isVisible(), 20000);
    QCOMPARE(porute_test::FramesRead(At("a.avi")), 20);
    QCOMPARE(porute_test::FramesRead(At("b.avi")), 9);
    QVERIFY(boxes.boxes.empty());
    QVERIFY(form->FileList.empty());
  }

  void commandLineStopsAtAnUnreadableMovie() {
    const std::string a = form_test::WriteV02(At("a.V02"), 8);
    const std::string bad = At("<b>bad & odd.V02");
    QVERIFY(porute_test::WriteText(bad, std::string(300, 'x')));
    const std::string c = form_test::WriteV02(At("c.V02"), 8);
    ModalDriver driver;
    driver.Answer(Reply::kEnter);
    TForm1 form({a, bad, c});
    form.show();
    QTRY_VERIFY_WITH_TIMEOUT(!form.isVisible(), 20000);
    QCOMPARE(driver.boxes.size(), size_t{1});
    const form_test::SeenBox& box = driver.boxes[0];
    QCOMPARE(box.title, QString("警告"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QStringList{"OK"});
    QCOMPARE(box.text, "\"" + QString::fromStdString(bad) + "\"\n対応できないファイル形式です。");
    QVERIFY(box.plainText);
    QVERIFY(box.centredOnScreen);
    QCOMPARE(porute_test::FramesRead(At("a.avi")), 8);
    QVERIFY(!QFile::exists(QString::fromStdString(At("c.avi"))));
    QCOMPARE(driver.unexpected, 0);
  }

  void noCommandLineWaitsForTheUser() {
    auto form = ShownForm();
    QVERIFY(form);
    // The first show queues the start of a command-line batch on a zero
    // timer; one queued now runs after it, however slow the machine.
    bool afterActivation = false;
    QTimer::singleShot(0, form.get(), [&] { afterActivation = true; });
    QTRY_VERIFY(afterActivation);
    QVERIFY(form->isVisible());
    QVERIFY(form->FileList.empty());
    QVERIFY(form->close());  // idle: the close is allowed
  }
};

QTEST_MAIN(FormBatchTest)
#include "FormBatchTest.moc"
