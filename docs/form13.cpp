#include "form13.h"

#include "access.h"
#include "docwindows.h"
#include "forms.h"
#include "uikit.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFocusEvent>
#include <QFileInfo>
#include <QImage>
#include <QPixmap>

namespace {

struct ButtonRow {
  QToolButton* TForm13::*button;
  const char* caption;
  int icon;
  bool tip;
  void (TForm13::*click)();
  void (TForm13::*move)();
};

// Left to right, top to bottom, as the buttons stand in the tool bar.
const ButtonRow kButtons[] = {
  {&TForm13::ToolButton1, "Ostrel", 0, true, &TForm13::ToolButton1Click, &TForm13::ToolButton1MouseMove},
  {&TForm13::ToolButton4, "Solmet", 3, true, &TForm13::ToolButton4Click, &TForm13::ToolButton4MouseMove},
  {&TForm13::ToolButton3, "Brumel", 2, true, &TForm13::ToolButton3Click, &TForm13::ToolButton3MouseMove},
  {&TForm13::ToolButton5, "Downloader", 4, true, &TForm13::ToolButton5Click, &TForm13::ToolButton5MouseMove},
  {&TForm13::ToolButton2, "Heptel", 1, true, &TForm13::ToolButton2Click, &TForm13::ToolButton2MouseMove},
  {&TForm13::ToolButton7, "NTC", 6, false, &TForm13::ToolButton7Click, &TForm13::ToolButton7MouseMove},
  {&TForm13::ToolButton8, "TERMOCUPLA", 7, false, &TForm13::ToolButton8Click, &TForm13::ToolButton8MouseMove},
  {&TForm13::ToolButton6, "LM35Z", 5, false, &TForm13::ToolButton6Click, &TForm13::ToolButton6MouseMove},
  {&TForm13::ToolButton9, "HUMEDAD", 8, false, &TForm13::ToolButton9Click, &TForm13::ToolButton9MouseMove},
  {&TForm13::ToolButton10, "PAR", 9, false, &TForm13::ToolButton10Click, &TForm13::ToolButton10MouseMove},
};

constexpr int kButtonW = 97;
constexpr int kButtonH = 73;

} // namespace

TForm13::TForm13() : QWidget(nullptr)
{
  setWindowTitle(QStringLiteral("Aspecto de los equipos"));
  // Close box only: no minimise or maximise button.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  resize(466, 402);

  ToolBar1 = new QWidget(this);
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  dz::Place(ToolBar1, 0, 0, 201, 371);

  QPalette blue;
  blue.setColor(QPalette::ButtonText, Qt::blue);
  int index = 0;
  for (const ButtonRow& row : kButtons) {
    auto* b = new QToolButton(ToolBar1);
    this->*row.button = b;
    const QString caption = QString::fromLatin1(row.caption);
    b->setText(caption);
    b->setIcon(QIcon(QStringLiteral(":/docs/icons/icon%1.png").arg(row.icon)));
    b->setIconSize(QSize(50, 50));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    b->setFont(dz::AppFont(QStringLiteral("Arial"), 13, true));
    b->setPalette(blue);
    if (row.tip)
      b->setToolTip(QStringLiteral("HAGA CLICK PARA VER MANUAL"));
    // Every move over the button loads its picture, not only entering it.
    b->setMouseTracking(true);
    b->installEventFilter(this);
    connect(b, &QToolButton::clicked, this, row.click);
    dz::Place(b, (index % 2) * kButtonW, (index / 2) * kButtonH, kButtonW, kButtonH);
    ++index;
  }
  ToolButton1->setObjectName(QStringLiteral("ToolButton1"));
  ToolButton2->setObjectName(QStringLiteral("ToolButton2"));
  ToolButton3->setObjectName(QStringLiteral("ToolButton3"));
  ToolButton4->setObjectName(QStringLiteral("ToolButton4"));
  ToolButton5->setObjectName(QStringLiteral("ToolButton5"));
  ToolButton6->setObjectName(QStringLiteral("ToolButton6"));
  ToolButton7->setObjectName(QStringLiteral("ToolButton7"));
  ToolButton8->setObjectName(QStringLiteral("ToolButton8"));
  ToolButton9->setObjectName(QStringLiteral("ToolButton9"));
  ToolButton10->setObjectName(QStringLiteral("ToolButton10"));

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setAccessibleName(QStringLiteral("Foto del equipo"));
  dz::MakeAccessibleWindow(this);
  Image1->setScaledContents(true);
  dz::Place(Image1, 197, 30, 259, 311);
}

namespace {

// Where a picture file is read from: the working directory, as it always
// was; where it is not there, the program's own folder (the build tree keeps
// the pictures beside the program) or the folder they are installed in. A
// program started from a terminal in any folder shows them.
QString PicturePath(const QString& name)
{
  if (QFileInfo::exists(name))
    return name;
  const QDir program(QCoreApplication::applicationDirPath());
  for (const QString& folder : {program.path(), program.filePath(QStringLiteral(DZ_PICTURES_FROM_BIN))}) {
    const QString path = QDir(folder).filePath(name);
    if (QFileInfo::exists(path))
      return path;
  }
  return name;
}

} // namespace

void TForm13::LoadPicture(const QString& name)
{
  // Errors name the file as the button does, wherever it was looked for.
  QFile file(PicturePath(name));
  if (!file.open(QIODevice::ReadOnly))
    throw dz::pictures::EFOpenError("Cannot open file " + name.toStdString());
  const QByteArray data = file.readAll();
  file.close();
  // The decoder follows the extension (".bmp": Windows bitmap), not the contents.
  const QByteArray format = QFileInfo(name).suffix().toLower().toLatin1();
  QImage picture;
  if (!picture.loadFromData(data, format.constData()))
    throw dz::pictures::EInvalidGraphic("Bitmap image is not valid");
  Image1->setPixmap(QPixmap::fromImage(picture));
}

QSize TForm13::sizeHint() const
{
  return QSize(466, 402);
}

bool TForm13::eventFilter(QObject* watched, QEvent* event)
{
  // Reaching a button with Tab shows its picture as the pointer does. Not a
  // focus that comes back after an error box: the box would come back too.
  const bool byKeyboard = event->type() == QEvent::FocusIn &&
                          (static_cast<QFocusEvent*>(event)->reason() == Qt::TabFocusReason ||
                           static_cast<QFocusEvent*>(event)->reason() == Qt::BacktabFocusReason);
  if (event->type() == QEvent::MouseMove || byKeyboard) {
    for (const ButtonRow& row : kButtons)
      if (watched == this->*row.button) {
        (this->*row.move)();  // a failure goes on to the application's error box
        Image1->setAccessibleDescription((this->*row.button)->text());
      }
  }
  return QWidget::eventFilter(watched, event);
}

void TForm13::showEvent(QShowEvent* event)
{
  if (!placed_) {
    placed_ = true;
    dz::CentreOnScreen(this, dz::ScreenArea::Desktop);
  }
  QWidget::showEvent(event);
}

void TForm13::ToolButton1Click() { dz::ShowForm(Form4); }
void TForm13::ToolButton2Click() { dz::ShowForm(Form9); }
void TForm13::ToolButton3Click() { dz::ShowForm(Form5); }
void TForm13::ToolButton4Click() { dz::ShowForm(Form6); }
void TForm13::ToolButton5Click() {}  // the download unit has no manual of its own
void TForm13::ToolButton6Click() { dz::ShowForm(Form7); }
void TForm13::ToolButton7Click() {}  // no note on NTC sensors
void TForm13::ToolButton8Click() { dz::ShowForm(Form10); }
void TForm13::ToolButton9Click() { dz::ShowForm(Form2); }
void TForm13::ToolButton10Click() { dz::ShowForm(Form3); }

void TForm13::ToolButton1MouseMove() { LoadPicture(QStringLiteral("ostrel.bmp")); }
void TForm13::ToolButton2MouseMove() { LoadPicture(QStringLiteral("heptel.bmp")); }
void TForm13::ToolButton3MouseMove() { LoadPicture(QStringLiteral("brumel.bmp")); }
void TForm13::ToolButton4MouseMove() { LoadPicture(QStringLiteral("solmet.bmp")); }
void TForm13::ToolButton5MouseMove() { LoadPicture(QStringLiteral("bajadat.bmp")); }
void TForm13::ToolButton6MouseMove() { LoadPicture(QStringLiteral("LM35.bmp")); }
void TForm13::ToolButton7MouseMove() { LoadPicture(QStringLiteral("NTC2.bmp")); }
void TForm13::ToolButton8MouseMove() { LoadPicture(QStringLiteral("TERMOCUPLA.bmp")); }
void TForm13::ToolButton9MouseMove() { LoadPicture(QStringLiteral("SENSHUMI.bmp")); }
void TForm13::ToolButton10MouseMove() { LoadPicture(QStringLiteral("SENSORAD.bmp")); }
