#include "docwindows.h"

#include "access.h"
#include "uikit.h"

#include <QFile>
#include <QVBoxLayout>

namespace {

QString LoadText(const QString& resource)
{
  QFile f(resource);
  if (!f.open(QIODevice::ReadOnly))
    return QString();  // a missing resource is a build fault; the tests catch it
  return QString::fromUtf8(f.readAll());
}

} // namespace

TDocForm::TDocForm(const QString& caption, int width, int height, const QString& resource,
                   Centre centre, bool verticalScrollBar)
    : QWidget(nullptr), memo_(new QPlainTextEdit(this)), centre_(centre), designed_(width, height)
{
  setWindowTitle(caption);
  resize(width, height);

  memo_->setObjectName(QStringLiteral("Memo1"));
  memo_->setReadOnly(true);
  // To a screen reader a window named by its caption holding that text;
  // Tab is no character here.
  dz::MakeAccessibleWindow(this);
  memo_->setAccessibleName(caption);
  memo_->setTabChangesFocus(true);
  // Read-only still lets the user select with mouse or keys and copy.
  memo_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  memo_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  memo_->setFont(dz::AppFont(QStringLiteral("MS Sans Serif"), 16));
  memo_->setVerticalScrollBarPolicy(verticalScrollBar ? Qt::ScrollBarAlwaysOn
                                                      : Qt::ScrollBarAlwaysOff);
  memo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // The toolkit has no colour for inactive title text; the light window
  // background it stands for on the classic desktop is the inactive Window role.
  QPalette pal = memo_->palette();
  const QColor back = pal.color(QPalette::Inactive, QPalette::Window);
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
    pal.setColor(group, QPalette::Base, back);
  memo_->setPalette(pal);
  memo_->setPlainText(LoadText(resource));
  memo_->moveCursor(QTextCursor::Start);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(memo_);
}

QString TDocForm::text() const
{
  return memo_->toPlainText();
}

QSize TDocForm::sizeHint() const
{
  return designed_;
}

void TDocForm::showEvent(QShowEvent* event)
{
  if (!placed_) {
    placed_ = true;
    dz::CentreOnScreen(this, centre_ == Centre::Desktop ? dz::ScreenArea::Desktop : dz::ScreenArea::WorkArea);
  }
  QWidget::showEvent(event);
}

TForm2::TForm2()
    : TDocForm(QStringLiteral("Consideraciones acerca del sensor de humedad relativa"), 540, 375,
               QStringLiteral(":/docs/texts/humedad.txt")),
      Memo1(memo_)
{
}

TForm3::TForm3()
    : TDocForm(QStringLiteral("Consideraciones acerca del uso del sensor de  radiacion"), 544, 375,
               QStringLiteral(":/docs/texts/radiacion.txt")),
      Memo1(memo_)
{
}

TForm4::TForm4()
    : TDocForm(QStringLiteral("Manual del equipo OSTREL"), 542, 355,
               QStringLiteral(":/docs/texts/ostrel.txt")),
      memo1(memo_)
{
  memo_->setObjectName(QStringLiteral("memo1"));
}

TForm5::TForm5()
    : TDocForm(QStringLiteral("Manual del equipo BRUMEL"), 544, 375,
               QStringLiteral(":/docs/texts/brumel.txt")),
      Memo1(memo_)
{
}

TForm6::TForm6()
    : TDocForm(QStringLiteral("Manual del equipo SOLMET"), 544, 375,
               QStringLiteral(":/docs/texts/solmet.txt")),
      Memo1(memo_)
{
}

TForm7::TForm7()
    : TDocForm(QStringLiteral("Consideraciones acerca del sensor LM35Z"), 544, 375,
               QStringLiteral(":/docs/texts/lm35z.txt")),
      Memo1(memo_)
{
}

TForm8::TForm8()
    : TDocForm(QStringLiteral("Consideraciones acerca de pilas"), 544, 375,
               QStringLiteral(":/docs/texts/pilas.txt"), Centre::Screen, false),
      Memo1(memo_)
{
}

TForm9::TForm9()
    : TDocForm(QStringLiteral("Heptel"), 544, 375, QStringLiteral(":/docs/texts/heptel.txt")),
      Memo1(memo_)
{
}

TForm10::TForm10()
    : TDocForm(QStringLiteral("Consideraciones acerca de termocuplas"), 544, 375,
               QStringLiteral(":/docs/texts/termocuplas.txt")),
      Memo1(memo_)
{
}

TForm12::TForm12()
    : TDocForm(QStringLiteral("Uso de este programa"), 544, 375, QStringLiteral(":/docs/texts/uso.txt"),
               Centre::Desktop),
      Memo1(memo_)
{
}

TForm14::TForm14()
    : TDocForm(QStringLiteral("Contactarnos..."), 268, 255, QStringLiteral(":/docs/texts/contacto.txt"),
               Centre::Desktop),
      Memo1(memo_)
{
  // A single-line border: the user cannot resize it.
  setFixedSize(268, 255);
  dz::SetFixedFrame(this, false);
  memo_->setFont(dz::AppFont(QStringLiteral("MS Sans Serif"), 11, true));
  QPalette pal = memo_->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
    pal.setColor(group, QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
  memo_->setPalette(pal);
}
