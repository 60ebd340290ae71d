#include "chartdialogs.h"

#include "access.h"
#include "chartform.h"
#include "forms.h"
#include "printing.h"
#include "uikit.h"

#include <QButtonGroup>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QVBoxLayout>

// ---------------------------------------------------------------- TForm15

TForm15::TForm15(QWidget* parent) : QDialog(parent)
{
  setObjectName(QStringLiteral("Form15"));
  setWindowTitle(QStringLiteral("Imprimir"));
  setModal(false);
  setFixedSize(288, 170);
  dz::SetFixedFrame(this, false);

  Label1 = new QLabel(QStringLiteral("Está seguro que desea imprimir?"), this);
  Label1->setFont(dz::AppFont(QStringLiteral("Arial"), 13, true));
  dz::Place(Label1, 16, 8, 256, 20);

  RadioGroup1 = new QGroupBox(this);
  RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
  dz::Place(RadioGroup1, 16, 34, 256, 70);
  auto* items = new QVBoxLayout(RadioGroup1);
  RadioApaisado = new QRadioButton(QStringLiteral("Apaisado"), RadioGroup1);
  RadioRetrato = new QRadioButton(QStringLiteral("Retrato"), RadioGroup1);
  items->addWidget(RadioApaisado);
  items->addWidget(RadioRetrato);
  m_items = new QButtonGroup(this);
  m_items->addButton(RadioApaisado, 0);
  m_items->addButton(RadioRetrato, 1);
  RadioRetrato->setChecked(true);

  BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("SI"), this);
  BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
  BitBtn1->setDefault(true); // Enter
  dz::Place(BitBtn1, 40, 120, 90, 30);
  BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("NO"), this);
  BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
  BitBtn2->setAutoDefault(false);
  dz::Place(BitBtn2, 158, 120, 90, 30);
  connect(BitBtn1, &QPushButton::clicked, this, &TForm15::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TForm15::BitBtn2Click);
  // Esc: QDialog's reject() hides the window, as "NO" does.
}

int TForm15::ItemIndex() const { return m_items->checkedId(); }

void TForm15::SetItemIndex(int index)
{
  if (QAbstractButton* b = m_items->button(index))
    b->setChecked(true);
}

void TForm15::BitBtn1Click()
{
  if (form11 == nullptr || (ItemIndex() != 0 && ItemIndex() != 1))
    return;
  // A printer that writes a file asks where, every time: an earlier file
  // (the listing printed last, say) is never replaced unasked.
  QPrinter& printer = dz::CurrentPrinter();
  if (!dz::ChoosePrintFile(this, printer, QStringLiteral("grafico")))
    return;
  form11->PrintChart(ItemIndex() == 0 ? QPageLayout::Landscape : QPageLayout::Portrait);
  dz::ReportPrinted(this, printer);
}

void TForm15::BitBtn2Click() { close(); }

// ---------------------------------------------------------------- TForm16

TForm16::TForm16(QWidget* parent) : QWidget(parent, Qt::Window)
{
  setObjectName(QStringLiteral("Form16"));
  setWindowTitle(QStringLiteral("Ajuste de los ejes"));
  dz::MakeAccessibleWindow(this);
  setFixedSize(330, 150);
  dz::SetFixedFrame(this, false);

  auto* layout = new QVBoxLayout(this);
  Label1 = new QLabel(QStringLiteral("Máximo del eje Y"), this);
  TrackBar1 = new QSlider(Qt::Horizontal, this);
  TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
  TrackBar1->setRange(80, 3000);
  TrackBar1->setValue(1170);
  Label2 = new QLabel(QStringLiteral("Máximo del eje X"), this);
  TrackBar2 = new QSlider(Qt::Horizontal, this);
  TrackBar2->setObjectName(QStringLiteral("TrackBar2"));
  TrackBar2->setRange(100, 1170);
  TrackBar2->setValue(512);
  for (QWidget* w : {static_cast<QWidget*>(Label1), static_cast<QWidget*>(TrackBar1), static_cast<QWidget*>(Label2),
                     static_cast<QWidget*>(TrackBar2)})
    layout->addWidget(w);
  // Connected after the start values, which change nothing on the chart.
  connect(TrackBar1, &QSlider::valueChanged, this, &TForm16::TrackBar1Change);
  connect(TrackBar2, &QSlider::valueChanged, this, &TForm16::TrackBar2Change);
}

void TForm16::TrackBar1Change()
{
  if (form11 == nullptr)
    return;
  form11->Chart1->SetAxisMaximum(dz::ChartAxis::Left, TrackBar1->value());
  form11->Chart1->Repaint();
}

void TForm16::TrackBar2Change()
{
  if (form11 == nullptr)
    return;
  dz::ChartEngine& chart = *form11->Chart1;
  // A maximum of a bottom axis that scales itself would not be drawn: the
  // axis takes a fixed range, from where it starts now.
  if (chart.Axis(dz::ChartAxis::Bottom).Automatic) {
    chart.SetAxisMinimum(dz::ChartAxis::Bottom, chart.DrawnRange(dz::ChartAxis::Bottom).first);
    chart.SetAxisAutomatic(dz::ChartAxis::Bottom, false);
  }
  chart.SetAxisMaximum(dz::ChartAxis::Bottom, TrackBar2->value());
  chart.Repaint();
}

// ---------------------------------------------------------------- TForm19

TForm19::TForm19(QWidget* parent) : QWidget(parent, Qt::Window)
{
  setObjectName(QStringLiteral("Form19"));
  setWindowTitle(QStringLiteral("Ayuda para ampliación de gráfico"));
  dz::MakeAccessibleWindow(this);
  setFixedSize(566, 117);
  dz::SetFixedFrame(this, false);

  auto* panel = new QFrame(this);
  panel->setAutoFillBackground(true);
  QPalette grey = panel->palette();
  grey.setColor(QPalette::Window, QColor(192, 192, 192));
  grey.setColor(QPalette::WindowText, Qt::blue);
  panel->setPalette(grey);
  dz::Place(panel, 0, 0, 566, 117);
  const char* texts[] = {
    "Puede hacer una ampliación generando un rectángulo en la zona que le interesa.",
    "El rectángulo se debe hacer de izquierda a derecha y de arriba hacia abajo.",
    "Para volver hacia atrás con la ampliación, haga el rectángulo de derecha a izquierda",
    "El botón derecho presionado le permitirá mover el gráfico.",
  };
  auto* layout = new QVBoxLayout(panel);
  for (int i = 0; i < 4; ++i) {
    m_lines[i] = new QLabel(QString::fromUtf8(texts[i]), panel);
    m_lines[i]->setFont(dz::AppFont(QStringLiteral("Arial"), 13));
    layout->addWidget(m_lines[i]);
  }
}

QLabel* TForm19::Line(int n) const { return m_lines[n - 1]; }
