#include "chartform.h"

#include "access.h"
#include "chartdialogs.h"
#include "forms.h"
#include "numberformat.h"
#include "printing.h"
#include "textsyntax.h"
#include "uikit.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace dz {

namespace {

constexpr ChartModel kChartModels[] = {
  {0, 2, 512, "2 CANALES DE TEMPERATURA", "Temperatura", true, -21, 70, "Canal 1", "Canal 2"},
  {1, 2, 512, "2 CANALES DE TEMPERATURA", "Temperatura", false, 0, 70, "Canal 1", "Canal 2"},
  {2, 7, 1170, "7 CANALES DE TEMPERATURA CON TERMOCUPLAS", "Temperatura", true, -21, 70, "Ref.", "Canal 1"},
  {3, 7, 1170, "7 CANALES DE TEMPERATURA CON LM35Z", "Temperatura", true, 0, 105, "Ref.", "Canal 1"},
  {4, 1, 1024, "1 CANAL DE RADIACION SOLAR PAR", "uMOL M-2 S-1", true, 0, 2800, "PAR", nullptr},
  {5, 1, 1024, "1 CANAL DE HUMEDAD RELATIVA", "Hº Rº", true, 0, 100, "Hº Rº", nullptr},
  {6, 1, 1024, "1 CANAL DE HUMEDAD RELATIVA", "Hº Rº", true, 0, 100, "Hº Rº", nullptr},
  {7, 1, 1024, "1 CANAL DE MILIVOLTIOS", "Milivoltios", true, 0, 1024, "mV", nullptr},
  {8, 1, 1024, "1 CANAL DE TEMPERATURA", "Temperatura", true, -21, 70, "Canal 1", nullptr},
};

} // namespace

// Desired step between the left axis labels.
constexpr double kLeftIncrementDefault = 5;

const ChartModel* FindChartModel(int model)
{
  for (const ChartModel& m : kChartModels)
    if (m.Model == model)
      return &m;
  return nullptr;
}

} // namespace dz

using dz::ChartAxis;

Tform11::Tform11(const dz::GridSource& source, QWidget* parent) : QWidget(parent, Qt::Window), m_source(source)
{
  setObjectName(QStringLiteral("form11"));
  setWindowTitle(QStringLiteral("Gráfico, vista preliminar"));
  dz::MakeAccessibleWindow(this);
  setFixedSize(636, 433);
  dz::SetFixedFrame(this, true);

  ToolBar1 = new QToolBar(this);
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  ToolBar1->setMovable(false);
  dz::Place(ToolBar1, 0, 0, 636, 29);
  auto spacer = [this] {
    auto* w = new QWidget(ToolBar1);
    w->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    dz::MarkDecorative(w); // only centres the buttons
    return w;
  };
  ToolBar1->addWidget(spacer());
  auto button = [this](const char* name, const QString& text) {
    auto* b = new QToolButton(ToolBar1);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(text);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setFont(dz::AppFont(QStringLiteral("Arial"), 12, true));
    b->setFixedSize(60, 23);
    ToolBar1->addWidget(b);
    return b;
  };
  ToolButton1 = button("ToolButton1", QStringLiteral("Imprimir"));
  ToolButton2 = button("ToolButton2", QStringLiteral("Copiar"));
  ToolButton6 = button("ToolButton6", QStringLiteral("Regresar"));
  ToolButton3 = button("ToolButton3", QStringLiteral("Zoom"));
  ToolButton4 = button("ToolButton4", QStringLiteral("Ejes"));
  ToolBar1->addWidget(spacer());
  connect(ToolButton1, &QToolButton::clicked, this, &Tform11::ToolButton1Click);
  connect(ToolButton2, &QToolButton::clicked, this, &Tform11::ToolButton2Click);
  connect(ToolButton6, &QToolButton::clicked, this, &Tform11::ToolButton6Click);
  connect(ToolButton3, &QToolButton::clicked, this, &Tform11::ToolButton3Click);
  connect(ToolButton4, &QToolButton::clicked, this, &Tform11::ToolButton4Click);

  Chart1 = std::make_unique<dz::ChartEngine>(this);
  Chart1->SetDecimalSeparator(dz::ProgramNumberFormat().DecimalSeparator);
  dz::Place(Chart1->View(), 0, 29, 633, 393);
  // To a screen reader: the chart, described by its title.
  Chart1->View()->setAccessibleName(QStringLiteral("Gráfico"));
  Chart1->SetTitle({QStringLiteral("Grafico de temperatura en función del tiempo")});
  Chart1->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("Tiempo"));
  Chart1->SetAxisAutomatic(ChartAxis::Bottom, true);
  Chart1->SetAxisTitle(ChartAxis::Left, QStringLiteral("Temperatura"));
  Chart1->SetAxisAutomatic(ChartAxis::Left, false);
  Chart1->SetAxisMaximum(ChartAxis::Left, 70);
  Chart1->SetAxisMinimum(ChartAxis::Left, -41);
  Chart1->SetLabelIncrement(ChartAxis::Left, dz::kLeftIncrementDefault);

  GroupBox1 = new QGroupBox(QStringLiteral("   Series"), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  dz::Place(GroupBox1, 548, 110, 82, 176);
  auto* boxes = new QVBoxLayout(GroupBox1);
  boxes->setContentsMargins(6, 4, 4, 4);
  boxes->setSpacing(2);
  const char* captions[] = {"Ref.", "Canal 1", "Canal 2", "Canal 3", "Canal 4", "Canal 5", "Canal 6"};
  const QColor colours[] = {QColor(255, 0, 0), QColor(0, 128, 0), QColor(255, 255, 0), QColor(0, 0, 255),
                            QColor(255, 0, 255), QColor(), QColor(0, 255, 0)};
  QCheckBox** members[] = {&CheckBox1, &CheckBox2, &CheckBox3, &CheckBox4, &CheckBox5, &CheckBox6, &CheckBox7};
  for (int i = 0; i < 7; ++i) {
    auto* box = new QCheckBox(QString::fromUtf8(captions[i]), GroupBox1);
    box->setObjectName(QStringLiteral("CheckBox%1").arg(i + 1));
    box->setChecked(true);
    if (colours[i].isValid()) {
      QPalette pal = box->palette();
      pal.setColor(QPalette::WindowText, colours[i]);
      box->setPalette(pal);
    }
    boxes->addWidget(box);
    *members[i] = box;
    // Like a click, a change made by code also applies the box to its series.
    connect(box, &QCheckBox::toggled, this, [this, i] { CheckBoxClick(i + 1); });
  }
}

Tform11::~Tform11() = default;

QCheckBox* Tform11::CheckBox(int n) const
{
  QCheckBox* const all[] = {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, CheckBox6, CheckBox7};
  return all[n - 1];
}

bool Tform11::event(QEvent* e)
{
  const bool result = QWidget::event(e);
  // Only a return from another of the program's windows sets the chart up
  // again. Not one from a message box (the error box of a failed set-up
  // would come back for ever), nor from another application (a zoom would be
  // lost), nor from the axis window, whose settings hold until the chart is
  // set up again.
  if (e->type() == QEvent::WindowActivate && dz::ActivatedFromAnotherForm(this, Form16))
    FormActivate();
  return result;
}

void Tform11::showEvent(QShowEvent* e)
{
  QWidget::showEvent(e);
  // A window that is shown becomes the active one, so its set-up runs; some
  // desktops (or none at all) would otherwise leave the focus elsewhere.
  activateWindow();
}

void Tform11::FormActivate()
{
  checkeo();

  dz::UseProgramSeparators();
  const dz::NumberFormat& format = dz::ProgramNumberFormat();
  Chart1->SetDecimalSeparator(format.DecimalSeparator);

  const dz::ChartModel* model = dz::FindChartModel(m_source.ModelIndex());
  if (model == nullptr)
    return;

  dz::ChartEngine& chart = *Chart1;
  const bool legend = model->Channels > 1;
  chart.SetLegendVisible(legend);
  GroupBox1->setVisible(legend);
  if (model->Channels == 2) {
    CheckBox1->setText(QStringLiteral("Canal1"));
    CheckBox2->setText(QStringLiteral("Canal2"));
    for (int n = 1; n <= 7; ++n)
      CheckBox(n)->setVisible(n <= 2);
  } else if (model->Channels == 7) {
    CheckBox1->setText(QStringLiteral("Ref."));
    CheckBox2->setText(QStringLiteral("Canal1"));
    for (int n = 1; n <= 7; ++n)
      CheckBox(n)->setVisible(true);
  }

  chart.SetAxisMaximum(ChartAxis::Left, model->LeftMaximum);
  if (model->SetsMinimum) {
    chart.SetAxisMinimum(ChartAxis::Left, model->LeftMinimum);
    chart.SetLabelIncrement(ChartAxis::Left, dz::kLeftIncrementDefault);
  }
  chart.SetAxisMaximum(ChartAxis::Bottom, model->Rows);
  // What the axis window fixed ends here; a zoom keeps its range until undone.
  if (!chart.IsZoomed())
    chart.SetAxisAutomatic(ChartAxis::Bottom, true);
  chart.SetSeriesTitle(1, QString::fromUtf8(model->Series1Title));
  if (model->Series2Title != nullptr)
    chart.SetSeriesTitle(2, QString::fromUtf8(model->Series2Title));
  // Only hides: a series comes back through its check box alone.
  for (int n = model->Channels + 1; n <= dz::ChartEngine::kSeriesCount; ++n)
    chart.SetSeriesVisible(n, false);
  chart.SetTitle({QString::fromUtf8(model->Title)});
  Chart1->View()->setAccessibleDescription(QString::fromUtf8(model->Title));
  chart.SetAxisTitle(ChartAxis::Bottom, QStringLiteral("Muestra número (tiempo)"));
  chart.SetAxisTitle(ChartAxis::Left, QString::fromUtf8(model->LeftTitle));
  chart.Repaint();

  // A cell that is not a number stops the fill there: the series before keep
  // their new points, this one those appended so far, the later ones their
  // old points. The error reaches the error box.
  struct PaintOnExit {
    dz::ChartEngine& Chart;
    ~PaintOnExit() { Chart.Repaint(); }
  } paint{chart};
  const dz::CellGrid& grid = m_source.Grid();
  for (int n = 1; n <= model->Channels; ++n) {
    chart.ClearSeries(n);
    for (int row = 1; row <= model->Rows; ++row)
      chart.AppendPoint(n, static_cast<double>(dz::StrToFloat(grid.Cell(n, row), format.DecimalSeparator)));
  }
}

void Tform11::checkeo()
{
  for (int n = 1; n <= 7; ++n)
    Chart1->SetSeriesVisible(n, CheckBox(n)->isChecked());
}

void Tform11::CheckBoxClick(int n)
{
  Chart1->SetSeriesVisible(n, CheckBox(n)->isChecked());
  Chart1->Repaint();
}

void Tform11::CheckBox1Click() { CheckBoxClick(1); }
void Tform11::CheckBox2Click() { CheckBoxClick(2); }
void Tform11::CheckBox3Click() { CheckBoxClick(3); }
void Tform11::CheckBox4Click() { CheckBoxClick(4); }
void Tform11::CheckBox5Click() { CheckBoxClick(5); }
void Tform11::CheckBox6Click() { CheckBoxClick(6); }
void Tform11::CheckBox7Click() { CheckBoxClick(7); }

void Tform11::ToolButton1Click() { dz::ShowForm(Form15); }
void Tform11::ToolButton2Click() { Chart1->CopyToClipboard(); }
void Tform11::ToolButton6Click() { close(); }
void Tform11::ToolButton3Click() { dz::ShowForm(Form19); }
void Tform11::ToolButton4Click() { dz::ShowForm(Form16); }

void Tform11::PrintChart(QPageLayout::Orientation orientation) { Chart1->Print(dz::CurrentPrinter(), orientation); }
