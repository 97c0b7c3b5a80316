// The window as designed: geometry, captions, tab order, window properties,
// the preview's placement and colours, and reading dropped URI lists.
#include <QComboBox>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <utility>

#include "mainform/DroppedPaths.h"
#include "mainform/Mainform.h"
#include "mainform/PreviewImage.h"
#include "v02dec/TBitmap.h"

Q_DECLARE_METATYPE(std::vector<std::string>)

class FormLayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void controlsSitWhereDesigned_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QString>("caption");
    QTest::newRow("Bevel1") << "Bevel1" << QRect(8, 8, 241, 177) << "";
    QTest::newRow("Image1") << "Image1" << QRect(16, 16, 225, 161) << "";
    QTest::newRow("InputSelBtn") << "InputSelBtn" << QRect(264, 16, 97, 25) << "ファイル選択...";
    QTest::newRow("SaveDirBtn") << "SaveDirBtn" << QRect(264, 64, 97, 25) << "保存先...";
    QTest::newRow("BtnStart") << "BtnStart" << QRect(264, 120, 97, 41) << "変換開始";
    QTest::newRow("ProgressBar1") << "ProgressBar1" << QRect(8, 216, 353, 17) << "";
    // Labels keep their place and at least their designed size, and grow
    // where the font at hand needs more.
    QTest::newRow("FnameLbl") << "FnameLbl" << QRect(88, 192, 4, 12) << " ";
    QTest::newRow("Label1") << "Label1" << QRect(272, 176, 77, 12) << "変換ぽるて 1.0";
    QTest::newRow("Label2") << "Label2" << QRect(280, 192, 69, 12) << "©ぽるて工房";
  }
  void controlsSitWhereDesigned() {
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    QFETCH(QString, caption);
    TForm1 form;
    auto* control = form.findChild<QWidget*>(name);
    QVERIFY(control);
    if (auto* label = qobject_cast<QLabel*>(control)) {
      QCOMPARE(label->text(), caption);
      QCOMPARE(label->pos(), rect.topLeft());
      QVERIFY(label->width() >= rect.width() && label->height() >= rect.height());
      QVERIFY(label->width() >= label->sizeHint().width());
      QVERIFY(label->height() >= label->sizeHint().height());
      // Only the font's own metrics may widen a label, never by much.
      QVERIFY2(label->width() <= rect.width() + 4, qPrintable(QString::number(label->width())));
      return;
    }
    QCOMPARE(control->geometry(), rect);
    if (auto* button = qobject_cast<QPushButton*>(control)) QCOMPARE(button->text(), caption);
  }

  void windowIsTheDesignedFixedWindow() {
    TForm1 form;
    QCOMPARE(form.windowTitle(), QString("変換ぽるて"));
    QCOMPARE(form.size(), QSize(369, 240));
    QCOMPARE(form.minimumSize(), QSize(369, 240));
    QCOMPARE(form.maximumSize(), QSize(369, 240));
    QCOMPARE(form.pos(), QPoint(232, 124));
    const Qt::WindowFlags flags = form.windowFlags();
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QCOMPARE(form.palette().color(QPalette::Window), form.palette().color(QPalette::Button));
    QVERIFY(form.autoFillBackground());
    QCOMPARE(form.font().family(), QString("ＭＳ Ｐゴシック"));
    QCOMPARE(form.font().pixelSize(), 12);
    // The design's font is not on Debian; a Japanese Gothic must stand in.
    const QString actual = QFontInfo(form.font()).family();
    QVERIFY2(actual == "IPAPGothic" || actual == "IPA Pゴシック" || actual == "Noto Sans CJK JP",
             qPrintable(actual));
    QCOMPARE(form.BtnStart->font(), form.font());
    QCOMPARE(form.ProgressBar1->minimum(), 0);
    QCOMPARE(form.ProgressBar1->maximum(), 100);
    QCOMPARE(form.ProgressBar1->value(), 0);
    QVERIFY(form.acceptDrops());
    QVERIFY(form.FileList.empty() && form.SaveDir.empty());
    QCOMPARE(form.Busy, 0);
    QCOMPARE(form.AbortRequested, 0);
  }

  // The designed four, and the format list (where built) after 保存先...
  void tabOrderRunsThroughTheFocusableControls() {
    TForm1 form;
    QList<QWidget*> order;
    QWidget* at = form.InputSelBtn;
    do {
      if (at->focusPolicy() & Qt::TabFocus) order << at;
      at = at->nextInFocusChain();
    } while (at != form.InputSelBtn);
    QList<QWidget*> designed = {form.InputSelBtn, form.SaveDirBtn, form.BtnStart,
                                form.ProgressBar1};
    if (form.FormatCombo != nullptr) designed.insert(2, static_cast<QWidget*>(form.FormatCombo));
    QCOMPARE(order, designed);
  }

  // Each button shows a 16 x 16 glyph of at most 16 colours (4 bits a
  // pixel), its own, and a different, grey one when disabled; a dense screen
  // gets art drawn for 32 x 32, not the small one enlarged.
  void buttonsCarryGlyphsForBothStates() {
    TForm1 form;
    const auto colours = [](const QImage& image) {
      QSet<QRgb> seen;
      for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) seen.insert(image.pixel(x, y));
      }
      return seen;
    };
    QList<QImage> normals;
    for (QPushButton* button : {form.InputSelBtn, form.SaveDirBtn, form.BtnStart}) {
      QImage small;
      for (const int pixels : {16, 32}) {
        const auto shown = [&](QIcon::Mode mode) {
          QImage image = button->icon().pixmap(QSize(16, 16), pixels / 16.0, mode).toImage();
          image.setDevicePixelRatio(1.0);
          return image.convertToFormat(QImage::Format_ARGB32);
        };
        const QImage normal = shown(QIcon::Normal);
        const QImage disabled = shown(QIcon::Disabled);
        QCOMPARE(normal.size(), QSize(pixels, pixels));
        QCOMPARE(disabled.size(), QSize(pixels, pixels));
        QVERIFY(colours(normal).size() > 2);
        QVERIFY(normal != disabled);
        for (const QRgb pixel : colours(disabled)) {
          QVERIFY(qAlpha(pixel) == 0 || (qRed(pixel) == qGreen(pixel) && qGreen(pixel) == qBlue(pixel)));
        }
        if (pixels == 16) {
          QVERIFY(colours(normal).size() <= 16);
          small = normal;
          normals << normal;
        } else {
          QVERIFY(normal != small.scaled(32, 32));
        }
      }
    }
    QVERIFY(normals[0] != normals[1] && normals[1] != normals[2] && normals[0] != normals[2]);
  }

  void fileNameLabelGrowsUnderLabel2AndShrinksBack() {
    TForm1 form;
    const QRect label2 = form.Label2->geometry();
    form.ShowFileName("a_rather_long_movie_file_name_that_runs_on.V02");
    QCOMPARE(form.FnameLbl->pos(), QPoint(88, 192));
    QVERIFY(form.FnameLbl->width() >= form.FnameLbl->sizeHint().width());
    QVERIFY(form.FnameLbl->geometry().right() > label2.left());
    QCOMPARE(form.Label2->geometry(), label2);
    form.ShowFileName("a.V02");
    QCOMPARE(form.FnameLbl->width(), std::max(4, form.FnameLbl->sizeHint().width()));
  }

  // A 24-bit bottom-up bitmap whose pixel (x, y) is (x, y, 0x5A) in R, G, B.
  static void FillCoordinates(TBitmap& bitmap, int width, int height) {
    QVERIFY(bitmap.SetSize(width, height));
    for (int y = 0; y < height; ++y) {
      uint8_t* row = bitmap.ScanLine(y);
      for (int x = 0; x < width; ++x) {
        row[3 * x] = 0x5A;
        row[3 * x + 1] = static_cast<uint8_t>(y);
        row[3 * x + 2] = static_cast<uint8_t>(x);
      }
    }
  }

  void bitmapBecomesPictureWithColoursInPlace() {
    // Three pixels a row leave a fill byte at each row's end, which must not
    // shift the next row.
    TBitmap bitmap;
    QVERIFY(bitmap.SetSize(3, 2));
    const uint8_t top[] = {0x01, 0x02, 0x03, 0x11, 0x12, 0x13, 0x21, 0x22, 0x23};
    const uint8_t bottom[] = {0xA1, 0xA2, 0xA3, 0xB1, 0xB2, 0xB3, 0xC1, 0xC2, 0xC3};
    std::copy(std::begin(top), std::end(top), bitmap.ScanLine(0));
    std::copy(std::begin(bottom), std::end(bottom), bitmap.ScanLine(1));
    QImage picture;
    CopyBitmapToImage(bitmap, picture);
    QCOMPARE(picture.size(), QSize(3, 2));
    QCOMPARE(picture.pixel(0, 0), qRgb(0x03, 0x02, 0x01));
    QCOMPARE(picture.pixel(2, 0), qRgb(0x23, 0x22, 0x21));
    QCOMPARE(picture.pixel(1, 1), qRgb(0xB3, 0xB2, 0xB1));
    TBitmap empty;
    CopyBitmapToImage(empty, picture);
    QVERIFY(picture.isNull());
  }

  void previewIsCentredNeverStretched_data() {
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QPoint>("origin");
    QTest::newRow("smaller") << QSize(160, 120) << QPoint(32, 20);
    QTest::newRow("exact") << QSize(225, 161) << QPoint(0, 0);
    QTest::newRow("larger shows the middle") << QSize(320, 240) << QPoint(-47, -39);
    QTest::newRow("one wider loses the last column") << QSize(226, 162) << QPoint(0, 0);
  }
  void previewIsCentredNeverStretched() {
    QFETCH(QSize, picture);
    QFETCH(QPoint, origin);
    TForm1 form;
    TBitmap bitmap;
    FillCoordinates(bitmap, picture.width(), picture.height());
    form.ShowFrame(bitmap);
    QCOMPARE(form.Image1->PictureOrigin(), origin);
    const QImage shown = form.grab(form.Image1->geometry()).toImage();
    const QRgb background = form.palette().color(QPalette::Window).rgb();
    for (const QPoint at : {QPoint(0, 0), QPoint(112, 80), QPoint(224, 160)}) {
      const QPoint source = at - origin;
      const bool inside = QRect(QPoint(0, 0), picture).contains(source);
      const QRgb expected = inside ? qRgb(source.x() & 0xFF, source.y() & 0xFF, 0x5A) : background;
      QCOMPARE(shown.pixel(at), expected);
    }
    form.ShowFrame(TBitmap());
    QVERIFY(form.Image1->Picture().isNull());
  }

  void uriListGivesLocalPathsAsBytes_data() {
    QTest::addColumn<QByteArray>("uriList");
    QTest::addColumn<std::vector<std::string>>("paths");
    QTest::newRow("two files, CRLF, in order")
        << QByteArray("file:///m/b.V02\r\nfile:///m/a.V00\r\n")
        << std::vector<std::string>{"/m/b.V02", "/m/a.V00"};
    QTest::newRow("comments and blank lines skipped")
        << QByteArray("# from a file manager\r\n\r\nfile:///m/a.V02\r\n")
        << std::vector<std::string>{"/m/a.V02"};
    QTest::newRow("localhost is local, other hosts and schemes are not")
        << QByteArray("file://localhost/m/a.V02\nfile://elsewhere/m/b.V02\nhttp://x/c.V02\n")
        << std::vector<std::string>{"/m/a.V02"};
    QTest::newRow("escapes decode to raw bytes, not UTF-8")
        << QByteArray("file:///m/%82%A0%20x.V02\n")
        << std::vector<std::string>{"/m/\x82\xA0 x.V02"};
    QTest::newRow("folder slash dropped, root kept")
        << QByteArray("file:///m/movies/\nfile:///\n")
        << std::vector<std::string>{"/m/movies", "/"};
    QTest::newRow("broken escape kept, escaped NUL refused")
        << QByteArray("file:///m/100%.V02\nfile:///m/a%00b\n")
        << std::vector<std::string>{"/m/100%.V02"};
  }
  void uriListGivesLocalPathsAsBytes() {
    QFETCH(QByteArray, uriList);
    QFETCH(std::vector<std::string>, paths);
    QCOMPARE(LocalPathsFromUriList(uriList), paths);
  }
};

QTEST_MAIN(FormLayoutTest)
#include "FormLayoutTest.moc"
