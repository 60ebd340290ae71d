#include "erase.h"

#include "access.h"
#include "comport.h"
#include "dedizivi.h"
#include "forms.h"
#include "uikit.h"
#include "windowrecording.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace {

QLabel* RedLabel(QWidget* parent, const QString& text, int left, int top, int px, bool bold, bool red = true)
{
  auto* label = new QLabel(text, parent);
  label->setFont(dz::AppFont(QStringLiteral("Arial"), px, bold));
  if (red) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, Qt::red);
    label->setPalette(p);
  }
  label->move(left, top);
  label->adjustSize();
  return label;
}

QLabel* Picture(QWidget* parent, const QString& resource, int left, int top)
{
  // The question says it in words; the pictures only illustrate it. Marked
  // before a screen reader can meet them, as they join their window.
  auto* image = new QLabel;
  dz::MarkDecorative(image);
  image->setParent(parent);
  dz::Place(image, left, top, 105, 105);
  image->setScaledContents(true);
  image->setPixmap(QPixmap(resource));
  return image;
}

} // namespace

TForm17::TForm17(QWidget* parent) : QDialog(parent)
{
  setObjectName(QStringLiteral("Form17"));
  setWindowTitle(QStringLiteral("BORRAR TARJETA"));
  setFixedSize(393, 132);
  dz::SetFixedFrame(this, false);
  Image2 = Picture(this, QStringLiteral(":/art/eraser.png"), 0, 0);
  Label1 = RedLabel(this, QStringLiteral("ESTA SEGURO DE QUERER"), 105, 30, 13, true);
  Label2 = RedLabel(this, QStringLiteral("BORRAR LA TARJETA?"), 120, 60, 13, true);
  Image1 = Picture(this, QStringLiteral(":/art/eraser-crossed.png"), 280, 0);
  BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogYesButton), QStringLiteral("&Si"), this);
  dz::Place(BitBtn1, 15, 75, 75, 25);
  BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogNoButton), QStringLiteral("&No"), this);
  dz::Place(BitBtn2, 300, 75, 75, 25);
  BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
  BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
  // Return answers "&No" until the user moves to "&Si"; Escape always does.
  BitBtn2->setDefault(true);
  connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
  connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
  dz::MakeAccessibleWindow(this, Label1->text() + QLatin1Char(' ') + Label2->text());
}

void TForm17::showEvent(QShowEvent* event)
{
  QDialog::showEvent(event);
  BitBtn2->setFocus(Qt::ActiveWindowFocusReason);
}

void TForm17::BitBtn1Click()
{
  // The main window's open and close handlers stay quiet: no display change,
  // no conversion.
  Form1->MutePortEvents = true;
  Form1->ComPort->OpenPort();
  Form1->ComPort->WriteText("9");
  Form1->Recording().EraseSent();
  Form1->ComPort->ClosePort();
  Form1->MutePortEvents = false;
  // An erase during an open download leaves the port closed: the button must
  // say so, or its next click would open a new download instead of closing.
  Form1->ShowPortState();
  close();
  dz::ShowForm(Form18);
}

void TForm17::BitBtn2Click()
{
  close();
}

TForm18::TForm18(QWidget* parent) : QDialog(parent)
{
  setObjectName(QStringLiteral("Form18"));
  setWindowTitle(QStringLiteral("BORRANDO"));
  setFixedSize(413, 133);
  dz::SetFixedFrame(this, false);
  Label1 = RedLabel(this, QStringLiteral("BORRANDO TARJETA..........."), 90, 10, 16, true);
  Label2 = RedLabel(this, QStringLiteral("(Solo si fue descargada previamente)"), 90, 35, 13, false, false);
  BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
  dz::Place(BitBtn1, 155, 65, 75, 25);
  BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
  BitBtn1->setDefault(true);
  connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
  dz::MakeAccessibleWindow(this, Label1->text() + QLatin1Char(' ') + Label2->text());
}

void TForm18::showEvent(QShowEvent* event)
{
  QDialog::showEvent(event);
  BitBtn1->setFocus(Qt::ActiveWindowFocusReason);
}

void TForm18::BitBtn1Click()
{
  close();
}
