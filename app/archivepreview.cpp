#include "archivepreview.h"

#include "chartseries.h"
#include "csv.h"
#include "daysummary.h"
#include "models.h"
#include "uikit.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QDateTimeEdit>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace dz {

namespace {

QString Q(const std::string& s)
{
  return QString::fromStdString(s);
}

// The every-day form of a moment: "28/03/2026 12:00:00".
QString LocalText(std::int64_t ms)
{
  return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

// Whether the field shows the moment, to the second (the field keeps no more).
bool Shows(const QDateTimeEdit* field, std::int64_t ms)
{
  const QDateTime at = QDateTime::fromMSecsSinceEpoch(ms);
  const QTime t = field->time();
  return field->date() == at.date() && QTime(t.hour(), t.minute(), t.second()) ==
                                         QTime(at.time().hour(), at.time().minute(), at.time().second());
}

QString IntervalCaption(std::int64_t seconds)
{
  return Q(IntervalText(seconds));
}

// Every interval setting of every logger, shortest first.
std::vector<int> AllPositions()
{
  std::vector<int> all;
  for (const ModelInfo& m : AllModels())
    for (const int s : SamplingPositions(m.Index))
      if (std::find(all.begin(), all.end(), s) == all.end())
        all.push_back(s);
  std::sort(all.begin(), all.end());
  return all;
}

QStandardItem* Item(const QString& text, bool number = true)
{
  auto* item = new QStandardItem(text);
  item->setEditable(false);
  if (number)
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

} // namespace

ArchivePreview::ArchivePreview(QWidget* parent) : QWidget(parent)
{
  setObjectName(QStringLiteral("VistaPrevia"));
  const QFont bold = AppFont(QStringLiteral("MS Sans Serif"), 13, true);

  auto* startLabel = new QLabel(QStringLiteral("Primera muestra"), this);
  startLabel->setFont(bold);
  m_start = new QDateTimeEdit(this);
  m_start->setObjectName(QStringLiteral("PrimeraMuestra"));
  m_start->setDisplayFormat(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
  m_start->setCalendarPopup(true);
  m_start->setAccessibleName(QStringLiteral("Primera muestra"));
  m_start->setToolTip(QStringLiteral("Fecha y hora de la primera muestra: unos 10 segundos después de encender el "
                                     "Vexa-Logger"));
  startLabel->setBuddy(m_start);

  auto* intervalLabel = new QLabel(QStringLiteral("Intervalo"), this);
  intervalLabel->setFont(bold);
  m_interval = new QComboBox(this);
  m_interval->setObjectName(QStringLiteral("Intervalo"));
  m_interval->setAccessibleName(QStringLiteral("Intervalo de muestreo"));
  m_interval->setToolTip(QStringLiteral("Intervalo de muestreo elegido en el Vexa-Logger: primero los de su modelo"));
  intervalLabel->setBuddy(m_interval);

  m_save = new QPushButton(QStringLiteral("Guardar"), this);
  m_save->setObjectName(QStringLiteral("GuardarFecha"));
  m_save->setAccessibleName(QStringLiteral("Guardar la fecha de las muestras"));
  m_save->setFont(AppFont(QStringLiteral("Arial"), 14, true));
  m_save->setAutoDefault(false);
  connect(m_save, &QPushButton::clicked, this, [this] { SaveClick(); });
  connect(m_start, &QDateTimeEdit::dateTimeChanged, this, [this] { FieldsChanged(); });
  connect(m_interval, &QComboBox::currentIndexChanged, this, [this] { FieldsChanged(); });

  m_note = new QLabel(this);
  m_note->setObjectName(QStringLiteral("NotaFecha"));
  m_note->setWordWrap(true);
  m_note->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_note->setAccessibleName(QStringLiteral("Fecha de las muestras"));

  m_chart = new QChart;
  m_chart->setAnimationOptions(QChart::NoAnimation);
  m_chart->setBackgroundRoundness(0);
  m_chart->layout()->setContentsMargins(0, 0, 0, 0);
  m_chart->legend()->setFont(AppFont(QStringLiteral("Arial"), 11));
  // Numbers as the grid writes them: a decimal comma, no thousands separator.
  QLocale comma(QLocale::Spanish, QLocale::Spain);
  comma.setNumberOptions(QLocale::OmitGroupSeparator);
  m_chart->setLocale(comma);
  m_chart->setLocalizeNumbers(true);
  const QFont axisFont = AppFont(QStringLiteral("Arial"), 11);
  m_timeAxis = new QDateTimeAxis;
  m_sampleAxis = new QValueAxis;
  m_valueAxis = new QValueAxis;
  m_sampleAxis->setLabelFormat(QStringLiteral("%d"));
  m_valueAxis->setLabelFormat(QStringLiteral("%.6g"));
  m_sampleAxis->setTitleText(QStringLiteral("Muestra número"));
  for (QAbstractAxis* axis : {static_cast<QAbstractAxis*>(m_timeAxis), static_cast<QAbstractAxis*>(m_sampleAxis),
                              static_cast<QAbstractAxis*>(m_valueAxis)}) {
    axis->setLabelsFont(axisFont);
    axis->setTitleFont(axisFont);
  }
  m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
  m_chart->addAxis(m_sampleAxis, Qt::AlignBottom);
  m_chart->addAxis(m_valueAxis, Qt::AlignLeft);
  m_timeAxis->setTickCount(6);
  m_timeAxis->hide();
  for (int n = 1; n <= kChartSeriesCount; ++n) {
    auto* series = new QLineSeries;
    QPen pen(SeriesColour(n));
    pen.setWidth(2);
    series->setPen(pen);
    m_chart->addSeries(series);
    series->attachAxis(m_sampleAxis);
    series->attachAxis(m_valueAxis);
    m_series[n - 1] = series;
  }
  m_view = new QChartView(m_chart, this);
  m_view->setObjectName(QStringLiteral("GraficoVistaPrevia"));
  m_view->setAccessibleName(QStringLiteral("Gráfico de las muestras registradas"));
  m_view->setRenderHint(QPainter::Antialiasing);
  m_view->setMinimumSize(360, 200);

  m_dayModel = new QStandardItemModel(this);
  m_days = new QTableView(this);
  m_days->setObjectName(QStringLiteral("ResumenDiario"));
  m_days->setAccessibleName(QStringLiteral("Resumen diario de las muestras registradas"));
  m_days->setModel(m_dayModel);
  m_days->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_days->setSelectionBehavior(QAbstractItemView::SelectItems);
  m_days->setTabKeyNavigation(false); // Tab leaves the table; the arrows move in it
  m_days->verticalHeader()->hide();
  m_days->verticalHeader()->setDefaultSectionSize(20);
  m_days->setFont(AppFont(QStringLiteral("Arial"), 13));
  m_days->setAlternatingRowColors(true);

  auto* fields = new QHBoxLayout;
  fields->addWidget(startLabel);
  fields->addWidget(m_start);
  fields->addSpacing(8);
  fields->addWidget(intervalLabel);
  fields->addWidget(m_interval);
  fields->addSpacing(8);
  fields->addWidget(m_save);
  fields->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(fields);
  layout->addWidget(m_note);
  layout->addWidget(m_view, 3);
  layout->addWidget(m_days, 2);
  ShowNothing();
}

void ArchivePreview::ShowNothing(const QString& why)
{
  m_entry.reset();
  m_converted.reset();
  m_model = -1;
  m_filling = true;
  m_interval->clear();
  m_filling = false;
  for (QWidget* w : {static_cast<QWidget*>(m_start), static_cast<QWidget*>(m_interval),
                     static_cast<QWidget*>(m_save)})
    w->setEnabled(false);
  m_note->setText(why);
  Redraw();
}

void ArchivePreview::ShowDownload(const ArchivedDownload& d, int model, Converted converted)
{
  m_entry = d;
  m_model = model;
  m_converted = std::make_unique<Converted>(std::move(converted));
  m_filling = true;
  const auto stored = TimingOf(d.FirstSample, d.IntervalSeconds);
  // A download not yet dated starts from its own start: the fields want a
  // time, and the one of the download is the nearest the program knows.
  const std::int64_t shown = stored ? stored->First.Ms : d.Started.Ms;
  m_start->setDateTime(QDateTime::fromMSecsSinceEpoch(shown - shown % 1000));
  FillIntervals(model, stored ? stored->IntervalSeconds : 0);
  m_filling = false;
  m_start->setEnabled(true);
  m_interval->setEnabled(true);
  FieldsChanged();
}

void ArchivePreview::FillIntervals(int model, std::int64_t stored)
{
  m_interval->clear();
  m_interval->addItem(QStringLiteral("sin fecha"), qint64(0));
  // This logger's settings first, then those of the others.
  const std::span<const int> own = SamplingPositions(model);
  for (const int s : own)
    m_interval->addItem(IntervalCaption(s), qint64(s));
  bool separated = false;
  for (const int s : AllPositions()) {
    if (std::find(own.begin(), own.end(), s) != own.end())
      continue;
    if (!separated && !own.empty())
      m_interval->insertSeparator(m_interval->count());
    separated = true;
    m_interval->addItem(IntervalCaption(s), qint64(s));
  }
  int at = m_interval->findData(qint64(stored));
  if (at < 0) {
    // Set from the command line to what no logger offers: kept as it is.
    m_interval->addItem(IntervalCaption(stored), qint64(stored));
    at = m_interval->count() - 1;
  }
  m_interval->setCurrentIndex(at);
}

bool ArchivePreview::Unchanged() const
{
  if (!m_entry)
    return true;
  const auto stored = TimingOf(m_entry->FirstSample, m_entry->IntervalSeconds);
  const std::int64_t interval = m_interval->currentData().toLongLong();
  if (!stored)
    return interval == 0;
  return interval == stored->IntervalSeconds && Shows(m_start, stored->First.Ms);
}

std::optional<SampleTiming> ArchivePreview::Timing() const
{
  const std::int64_t interval = m_interval->currentData().toLongLong();
  if (!m_entry || interval <= 0)
    return std::nullopt;
  const auto stored = TimingOf(m_entry->FirstSample, m_entry->IntervalSeconds);
  // The stored moment as it was, even when its local time happens twice.
  if (stored && Shows(m_start, stored->First.Ms))
    return SampleTiming{stored->First, interval};
  const QDate date = m_start->date();
  const QTime time = m_start->time();
  const auto first = LocalWallTime(date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second());
  if (!first)
    throw std::runtime_error("La hora de la primera muestra no existe en la zona horaria de este equipo: ese día se "
                             "adelantaron los relojes");
  return SampleTiming{*first, interval};
}

void ArchivePreview::FieldsChanged()
{
  if (m_filling)
    return;
  m_save->setEnabled(m_entry.has_value() && !Unchanged());
  Redraw();
}

void ArchivePreview::SaveClick()
{
  if (!m_entry)
    return;
  const auto timing = Timing();
  const auto archive = Archive::OpenExisting(Archive::DefaultPath());
  if (!archive)
    throw std::runtime_error("El archivo de descargas ya no existe");
  const std::string first = timing ? timing->First.Iso() : std::string();
  const std::int64_t interval = timing ? timing->IntervalSeconds : 0;
  if (!archive->SetTiming(m_entry->Id, first, interval))
    throw std::runtime_error("Esta descarga ya no está en el archivo de descargas");
  m_entry->FirstSample = first;
  m_entry->IntervalSeconds = timing ? interval : 0;
  if (Saved)
    Saved(*m_entry);
  FieldsChanged();
}

void ArchivePreview::Redraw()
{
  const ModelInfo* model = FindModel(m_model);
  std::optional<SampleTiming> timing;
  QString problem;
  try {
    timing = Timing();
  } catch (const std::runtime_error& e) {
    problem = QString::fromUtf8(e.what());
  }
  m_shown = 0;
  int recorded = 0;
  if (model && m_converted) {
    recorded = timing ? RecordedSamples(*model, m_converted->Rows, *timing, m_entry->Started.Ms) : 0;
    // Undated, the rows past the card's capacity are left out all the same: never readings.
    m_shown = timing ? recorded : std::min(m_converted->Rows, CardCapacity(*model));
  }

  // The chart: against date and time when dated, else against sample number.
  // The points are read first and the series emptied while the axes change:
  // each change of an axis redraws every point its series hold.
  const int columns = model ? model->Columns : 0;
  std::array<QList<QPointF>, kChartSeriesCount> points;
  double low = std::numeric_limits<double>::max();
  double high = std::numeric_limits<double>::lowest();
  for (int n = 1; n <= columns && m_shown > 0; ++n) {
    QList<QPointF>& list = points[static_cast<std::size_t>(n - 1)];
    list.reserve(m_shown);
    for (int row = 1; row <= m_shown; ++row) {
      const auto v = GridNumber(m_converted->Grid.Cell(n, row));
      if (!v)
        continue;
      low = std::min(low, *v);
      high = std::max(high, *v);
      list.append(QPointF(timing ? double(timing->SampleMs(row)) : double(row), *v));
    }
  }
  for (QLineSeries* series : m_series)
    series->clear();
  QAbstractAxis* x = timing ? static_cast<QAbstractAxis*>(m_timeAxis) : static_cast<QAbstractAxis*>(m_sampleAxis);
  if (!m_series[0]->attachedAxes().contains(x)) {
    QAbstractAxis* other = x == m_timeAxis ? static_cast<QAbstractAxis*>(m_sampleAxis) : m_timeAxis;
    for (QLineSeries* series : m_series) {
      series->detachAxis(other);
      series->attachAxis(x);
    }
    other->hide();
    x->show();
  }
  if (low > high) {
    low = 0;
    high = 1;
  } else if (low == high) {
    low -= 1;
    high += 1;
  }
  m_valueAxis->setRange(low, high);
  m_valueAxis->applyNiceNumbers();
  if (timing && m_shown > 0) {
    const std::int64_t from = timing->SampleMs(1);
    const std::int64_t to = std::max(timing->SampleMs(m_shown), from + 60000);
    const QString format = to - from > 3 * 86400000LL ? QStringLiteral("dd/MM") : QStringLiteral("dd/MM HH:mm");
    if (m_timeAxis->format() != format)
      m_timeAxis->setFormat(format);
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(to));
  } else if (!timing) {
    m_sampleAxis->setRange(1, std::max(2, m_shown));
  }
  for (int n = 1; n <= kChartSeriesCount; ++n) {
    QLineSeries* series = m_series[n - 1];
    series->setName(model ? ChannelName(model->Index, n) : SeriesInitialTitle(n));
    series->setVisible(n <= columns);
    if (!points[static_cast<std::size_t>(n - 1)].isEmpty())
      series->replace(points[static_cast<std::size_t>(n - 1)]);
  }
  m_chart->legend()->setVisible(columns > 1);

  // What each day held.
  m_dayModel->clear();
  if (model && timing && recorded > 0) {
    const std::vector<DaySummary> days = SummariseDays(*model, m_converted->Grid, recorded, *timing);
    QStringList titles = {QStringLiteral("Fecha"), QStringLiteral("Muestras"), QStringLiteral("Horas")};
    for (int n = 1; n <= model->Columns; ++n) {
      const QString name = ChannelName(model->Index, n);
      titles << name + QStringLiteral(" mín.") << name + QStringLiteral(" media") << name + QStringLiteral(" máx.");
    }
    if (model->Index == kRadiationModel)
      titles << QStringLiteral("Luz diaria (mol m⁻² d⁻¹)");
    m_dayModel->setHorizontalHeaderLabels(titles);
    for (const DaySummary& day : days) {
      const QDate date = QDate::fromString(Q(day.Date), Qt::ISODate);
      QList<QStandardItem*> row = {Item(date.toString(QStringLiteral("dd/MM/yyyy")), false),
                                   Item(QString::number(day.Samples)),
                                   Item(Q(SummaryNumber(day.Hours, 4, DecimalStyle::Comma)))};
      for (const ChannelDay& c : day.Channels)
        row << Item(Q(c.MinText)) << Item(Q(SummaryNumber(c.Mean, 3, DecimalStyle::Comma))) << Item(Q(c.MaxText));
      if (day.Dli)
        row << Item(Q(SummaryNumber(*day.Dli, 3, DecimalStyle::Comma)));
      m_dayModel->appendRow(row);
    }
    m_days->resizeColumnsToContents();
  }

  // The line that says what is known.
  if (!m_entry || !model || !m_converted)
    return; // ShowNothing's reason stands
  QString note;
  if (!problem.isEmpty()) {
    note = problem;
  } else if (!timing) {
    note = QStringLiteral("Sin fecha: el gráfico muestra las muestras por número. Para fecharlas, indique la primera "
                          "muestra y el intervalo del Vexa-Logger y pulse \"Guardar\".");
  } else if (recorded == 0) {
    note = QStringLiteral("Ninguna muestra es anterior al comienzo de la descarga (%1): revise la primera muestra.")
             .arg(LocalText(m_entry->Started.Ms));
  } else {
    note = QStringLiteral("%1 muestras registradas, del %2 al %3, una cada %4.")
             .arg(recorded)
             .arg(LocalText(timing->SampleMs(1)), LocalText(timing->SampleMs(recorded)),
                  IntervalCaption(timing->IntervalSeconds));
    if (recorded < m_converted->Rows)
      note += QStringLiteral(" Las %1 filas siguientes no son lecturas registradas.").arg(m_converted->Rows - recorded);
  }
  if (m_converted->Error)
    note += QStringLiteral(" La conversión se detuvo en la muestra %1.").arg(m_converted->Error->Sample());
  if (m_save->isEnabled())
    note += QStringLiteral(" (sin guardar)");
  m_note->setText(note);
}

} // namespace dz
