// The equipment pictures window: its buttons, the pictures read from the
// working directory on every mouse move, the error box, and the clicks.
#include "docwindows.h"
#include "errorbox.h"
#include "form13.h"
#include "forms.h"

#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

namespace {

// Records and dismisses every error box that opens while it is alive.
class ErrorBoxCatcher {
public:
  ErrorBoxCatcher()
  {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box)
        return;
      texts << box->text();
      titles << box->windowTitle();
      icons << box->icon();
      box->done(QMessageBox::Ok);
    });
    timer_.start();
  }
  QStringList texts;
  QStringList titles;
  QList<QMessageBox::Icon> icons;

private:
  QTimer timer_;
};

// A mouse move with no button held, as the pointer crossing the button gives.
void MoveOver(QWidget* w, QPoint at = QPoint(20, 20))
{
  QMouseEvent ev(QEvent::MouseMove, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::NoButton,
                 Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(w, &ev);
}

void WriteBmp(const QString& name, QColor colour)
{
  QImage img(8, 6, QImage::Format_RGB32);
  img.fill(colour);
  QVERIFY(img.save(name, "BMP"));
}

QColor Shown(const QLabel* image)
{
  const QPixmap pm = image->pixmap();
  if (pm.isNull())
    return QColor();
  return pm.toImage().pixelColor(pm.width() / 2, pm.height() / 2);
}

} // namespace

class TestPicturesWindow : public QObject {
  Q_OBJECT

  std::unique_ptr<TForm13> form;
  QList<QWidget*> docs;
  QTemporaryDir workDir;
  QString startDir;

  QList<QWidget*> visibleDocs() const
  {
    QList<QWidget*> v;
    for (QWidget* w : docs)
      if (w->isVisible())
        v << w;
    return v;
  }

private slots:
  void initTestCase()
  {
    // The program creates these before the pictures window is used.
    docs << (Form2 = new TForm2) << (Form3 = new TForm3) << (Form4 = new TForm4)
         << (Form5 = new TForm5) << (Form6 = new TForm6) << (Form7 = new TForm7)
         << (Form8 = new TForm8) << (Form9 = new TForm9) << (Form10 = new TForm10)
         << (Form12 = new TForm12) << (Form14 = new TForm14);
    form = std::make_unique<TForm13>();
    Form13 = form.get();
    QVERIFY(workDir.isValid());
    startDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workDir.path()));
  }

  void cleanupTestCase()
  {
    QDir::setCurrent(startDir);
    form.reset();
    qDeleteAll(docs);
  }

  void init()
  {
    for (QWidget* w : docs)
      w->hide();
    QVERIFY(QDir::setCurrent(workDir.path()));
    for (const QString& f : QDir().entryList(QDir::Files))
      QFile::remove(f);
  }

  // Window frame, tool bar of five rows of two, captions, icons and tooltips.
  void layout()
  {
    QCOMPARE(form->windowTitle(), QStringLiteral("Aspecto de los equipos"));
    QCOMPARE(form->size(), QSize(466, 402));
    QVERIFY(!form->isVisible());
    const Qt::WindowFlags flags = form->windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QCOMPARE(form->ToolBar1->size(), QSize(201, 371));
    QCOMPARE(form->Image1->geometry(), QRect(197, 30, 259, 311));
    QVERIFY(form->Image1->hasScaledContents());
    QVERIFY(form->Image1->pixmap().isNull());

    const QString manual = QStringLiteral("HAGA CLICK PARA VER MANUAL");
    struct Row {
      QToolButton* b;
      const char* caption;
      bool tip;
    };
    const Row rows[] = {
      {form->ToolButton1, "Ostrel", true},      {form->ToolButton4, "Solmet", true},
      {form->ToolButton3, "Brumel", true},      {form->ToolButton5, "Downloader", true},
      {form->ToolButton2, "Heptel", true},      {form->ToolButton7, "NTC", false},
      {form->ToolButton8, "TERMOCUPLA", false}, {form->ToolButton6, "LM35Z", false},
      {form->ToolButton9, "HUMEDAD", false},    {form->ToolButton10, "PAR", false},
    };
    QSet<QByteArray> icons;
    for (int i = 0; i < 10; ++i) {
      const Row& r = rows[i];
      QCOMPARE(r.b->parentWidget(), form->ToolBar1);
      QCOMPARE(r.b->text(), QString::fromLatin1(r.caption));
      QCOMPARE(r.b->size(), QSize(97, 73));
      // row i / 2, left button first
      QCOMPARE(r.b->pos(), QPoint((i % 2) * 97, (i / 2) * 73));
      QVERIFY(r.b->geometry().bottom() < form->ToolBar1->height());
      QCOMPARE(r.b->toolTip(), r.tip ? manual : QString());
      QCOMPARE(r.b->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
      QCOMPARE(r.b->iconSize(), QSize(50, 50));
      QVERIFY(r.b->font().bold());
      QCOMPARE(r.b->font().pixelSize(), 13);
      QCOMPARE(r.b->palette().color(QPalette::ButtonText), QColor(Qt::blue));
      const QPixmap icon = r.b->icon().pixmap(50, 50);
      QVERIFY2(!icon.isNull(), r.caption);
      const QImage pixels = icon.toImage().convertToFormat(QImage::Format_ARGB32);
      icons.insert(QByteArray(reinterpret_cast<const char*>(pixels.constBits()),
                              pixels.sizeInBytes()));
    }
    QCOMPARE(icons.size(), 10);  // ten different icons
  }

  // A present file is shown; a move reads the file again every time.
  void pictureReadOnEveryMove()
  {
    WriteBmp(QStringLiteral("ostrel.bmp"), Qt::red);
    ErrorBoxCatcher boxes;
    MoveOver(form->ToolButton1);
    QCOMPARE(Shown(form->Image1), QColor(Qt::red));
    WriteBmp(QStringLiteral("ostrel.bmp"), Qt::green);
    MoveOver(form->ToolButton1, QPoint(21, 20));
    QCOMPARE(Shown(form->Image1), QColor(Qt::green));
    // the same position again still reads afresh
    WriteBmp(QStringLiteral("ostrel.bmp"), Qt::blue);
    MoveOver(form->ToolButton1, QPoint(21, 20));
    QCOMPARE(Shown(form->Image1), QColor(Qt::blue));
    QVERIFY(boxes.texts.isEmpty());
  }

  // Each button reads its own file, by bare name, letter case as tabled.
  void eachButtonItsFile()
  {
    const QList<QPair<QToolButton*, QString>> table = {
      {form->ToolButton1, "ostrel.bmp"},     {form->ToolButton4, "solmet.bmp"},
      {form->ToolButton3, "brumel.bmp"},     {form->ToolButton5, "bajadat.bmp"},
      {form->ToolButton2, "heptel.bmp"},     {form->ToolButton7, "NTC2.bmp"},
      {form->ToolButton8, "TERMOCUPLA.bmp"}, {form->ToolButton6, "LM35.bmp"},
      {form->ToolButton9, "SENSHUMI.bmp"},   {form->ToolButton10, "SENSORAD.bmp"},
    };
    auto colour = [](int i) { return QColor(QColor::fromHsv(i * 36, 255, 255).rgb()); };
    for (int i = 0; i < table.size(); ++i)
      WriteBmp(table[i].second, colour(i));
    ErrorBoxCatcher boxes;
    for (int i = 0; i < table.size(); ++i) {
      MoveOver(table[i].first);
      QCOMPARE(Shown(form->Image1), colour(i));
    }
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('|')));
  }

  // A missing file: the standard error box, on every move, picture kept.
  void missingFile()
  {
    WriteBmp(QStringLiteral("solmet.bmp"), Qt::yellow);
    MoveOver(form->ToolButton4);
    QCOMPARE(Shown(form->Image1), QColor(Qt::yellow));

    ErrorBoxCatcher boxes;
    MoveOver(form->ToolButton1);
    MoveOver(form->ToolButton1, QPoint(22, 22));
    QCOMPARE(boxes.texts, QStringList({QStringLiteral("Cannot open file ostrel.bmp."),
                                       QStringLiteral("Cannot open file ostrel.bmp.")}));
    QCOMPARE(boxes.titles.front(), QStringLiteral("DEDIZIVI Ver. 3.4"));
    QCOMPARE(boxes.icons.front(), QMessageBox::Critical);
    QCOMPARE(Shown(form->Image1), QColor(Qt::yellow));

    // a file that cannot be opened counts as missing
    QVERIFY(QDir().mkdir(QStringLiteral("brumel.bmp")));
    MoveOver(form->ToolButton3);
    QCOMPARE(boxes.texts.size(), 3);
    QCOMPARE(boxes.texts.back(), QStringLiteral("Cannot open file brumel.bmp."));
    QVERIFY(QDir().rmdir(QStringLiteral("brumel.bmp")));
    QCOMPARE(Shown(form->Image1), QColor(Qt::yellow));
  }

  // A file that is no bitmap, or a broken one: the picture stays.
  void invalidFile()
  {
    WriteBmp(QStringLiteral("heptel.bmp"), Qt::cyan);
    MoveOver(form->ToolButton2);
    QCOMPARE(Shown(form->Image1), QColor(Qt::cyan));

    QFile junk(QStringLiteral("NTC2.bmp"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("this is not a bitmap at all");
    junk.close();
    // a PNG named .bmp: the decoder goes by the extension, so it is refused
    QImage png(4, 4, QImage::Format_RGB32);
    png.fill(Qt::magenta);
    QVERIFY(png.save(QStringLiteral("LM35.bmp"), "PNG"));
    // a real bitmap cut short after its header
    WriteBmp(QStringLiteral("PARTIAL.bmp"), Qt::black);
    QFile partial(QStringLiteral("PARTIAL.bmp"));
    QVERIFY(partial.open(QIODevice::ReadOnly));
    const QByteArray head = partial.read(20);
    partial.close();
    QFile cut(QStringLiteral("SENSORAD.bmp"));
    QVERIFY(cut.open(QIODevice::WriteOnly));
    cut.write(head);
    cut.close();
    // and an empty file
    QFile empty(QStringLiteral("SENSHUMI.bmp"));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();

    ErrorBoxCatcher boxes;
    MoveOver(form->ToolButton7);
    MoveOver(form->ToolButton6);
    MoveOver(form->ToolButton10);
    MoveOver(form->ToolButton9);
    const QString invalid = QStringLiteral("Bitmap image is not valid.");
    QCOMPARE(boxes.texts, QStringList({invalid, invalid, invalid, invalid}));
    QCOMPARE(Shown(form->Image1), QColor(Qt::cyan));
  }

  // The error reaches the application's handler as an exception, not a return.
  void loadPictureThrows()
  {
    QString message;
    try {
      form->LoadPicture(QStringLiteral("none.bmp"));
    } catch (const dz::pictures::EFOpenError& e) {
      message = QString::fromUtf8(e.what());
    }
    QCOMPARE(message, QStringLiteral("Cannot open file none.bmp"));
    QFile junk(QStringLiteral("junk.bmp"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("BM");
    junk.close();
    QVERIFY_THROWS_EXCEPTION(dz::pictures::EInvalidGraphic,
                             form->LoadPicture(QStringLiteral("junk.bmp")));
  }

  // Clicks open the matching window; Downloader and NTC do nothing.
  void clicks()
  {
    const QList<QPair<QToolButton*, QWidget*>> table = {
      {form->ToolButton1, Form4}, {form->ToolButton4, Form6},  {form->ToolButton3, Form5},
      {form->ToolButton5, nullptr}, {form->ToolButton2, Form9}, {form->ToolButton7, nullptr},
      {form->ToolButton8, Form10}, {form->ToolButton6, Form7}, {form->ToolButton9, Form2},
      {form->ToolButton10, Form3},
    };
    for (const auto& [button, target] : table) {
      for (QWidget* w : docs)
        w->hide();
      button->click();
      const QList<QWidget*> shown = visibleDocs();
      if (target)
        QCOMPARE(shown, QList<QWidget*>({target}));
      else
        QVERIFY2(shown.isEmpty(), qPrintable(button->text()));
    }
    // clicking works without any picture file present
    QVERIFY(QDir().entryList(QDir::Files).isEmpty());
  }

  // The picture stays after the window is closed and shown again.
  void pictureSurvivesHide()
  {
    WriteBmp(QStringLiteral("brumel.bmp"), Qt::darkRed);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    MoveOver(form->ToolButton3);
    QCOMPARE(Shown(form->Image1), QColor(Qt::darkRed));
    QVERIFY(form->close());
    QVERIFY(!form->isVisible());
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QCOMPARE(Shown(form->Image1), QColor(Qt::darkRed));
    // the pointer reaching the button through the window system loads too
    WriteBmp(QStringLiteral("heptel.bmp"), Qt::darkGreen);
    QTest::mouseMove(form->ToolButton2, QPoint(30, 30));
    QTest::mouseMove(form->ToolButton2, QPoint(31, 31));
    QTRY_COMPARE(Shown(form->Image1), QColor(Qt::darkGreen));
    form->hide();
  }

  // The pictures the build draws are all found and decoded where the program runs.
  void generatedPictures()
  {
    QVERIFY(QDir::setCurrent(QStringLiteral(DZ_PICTURES_DIR)));
    ErrorBoxCatcher boxes;
    for (QToolButton* b : form->ToolBar1->findChildren<QToolButton*>()) {
      form->Image1->clear();
      MoveOver(b);
      QVERIFY2(!form->Image1->pixmap().isNull(), qPrintable(b->text()));
    }
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('|')));
  }
};

int main(int argc, char** argv)
{
  // The real application object: it turns escaping errors into the error box.
  dz::Application app(argc, argv);
  TestPicturesWindow t;
  return QTest::qExec(&t, argc, argv);
}
#include "tst_pictureswindow.moc"
