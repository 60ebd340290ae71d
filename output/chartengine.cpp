#include "chartengine.h"

#include "printing.h"
#include "uikit.h"

#include <QApplication>
#include <QChart>
#include <QClipboard>
#include <QGraphicsLayout>
#include <QLegend>
#include <QLineSeries>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QRubberBand>
#include <QTimer>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <utility>
#include <limits>

namespace dz {

namespace {

// A drag shorter than this is a click, not a rectangle.
constexpr int kMinDrag = 4;

} // namespace

// ---------------------------------------------------------------- view

ChartView::ChartView(ChartEngine& engine, QChart* chart, QWidget* parent)
  : QChartView(chart, parent), m_engine(engine)
{
  setRenderHint(QPainter::Antialiasing);
  setRubberBand(QChartView::NoRubberBand); // gestures are ours
  setDragMode(QGraphicsView::NoDrag);
}

void ChartView::mousePressEvent(QMouseEvent* event)
{
  if (event->button() == Qt::LeftButton) {
    m_zoomDrag = true;
    m_dragStart = event->position().toPoint();
    if (m_band == nullptr)
      m_band = new QRubberBand(QRubberBand::Rectangle, viewport());
    m_band->setGeometry(QRect(m_dragStart, QSize()));
    m_band->show();
    event->accept();
    return;
  }
  if (event->button() == Qt::RightButton) {
    m_panDrag = true;
    m_panLast = event->position().toPoint();
    event->accept();
    return;
  }
  QChartView::mousePressEvent(event);
}

void ChartView::mouseMoveEvent(QMouseEvent* event)
{
  const QPoint pos = event->position().toPoint();
  if (m_zoomDrag && m_band != nullptr) {
    m_band->setGeometry(QRect(m_dragStart, pos).normalized());
    event->accept();
    return;
  }
  if (m_panDrag) {
    // Moving the pointer drags the drawing along: the ranges move the other way.
    const QPointF from = m_engine.ValueAt(m_panLast);
    const QPointF to = m_engine.ValueAt(pos);
    m_panLast = pos;
    if (from != to)
      m_engine.Pan(from.x() - to.x(), from.y() - to.y());
    event->accept();
    return;
  }
  QChartView::mouseMoveEvent(event);
}

void ChartView::mouseReleaseEvent(QMouseEvent* event)
{
  const QPoint pos = event->position().toPoint();
  if (m_zoomDrag && event->button() == Qt::LeftButton) {
    m_zoomDrag = false;
    if (m_band != nullptr)
      m_band->hide();
    const QPoint d = pos - m_dragStart;
    if (d.x() >= kMinDrag && d.y() >= kMinDrag) {
      const QPointF a = m_engine.ValueAt(m_dragStart);
      const QPointF b = m_engine.ValueAt(pos);
      m_engine.ZoomTo(QRectF(QPointF(a.x(), b.y()), QPointF(b.x(), a.y())));
    } else if (d.x() <= -kMinDrag) {
      m_engine.Unzoom();
    }
    event->accept();
    return;
  }
  if (m_panDrag && event->button() == Qt::RightButton) {
    m_panDrag = false;
    event->accept();
    return;
  }
  QChartView::mouseReleaseEvent(event);
}

// ---------------------------------------------------------------- engine

ChartEngine::ChartEngine(QWidget* parent) : m_chart(new QChart)
{
  m_chart->setAnimationOptions(QChart::NoAnimation);
  m_chart->setObjectName(QStringLiteral("Chart1"));

  QLinearGradient background(0, 0, 0, 1);
  background.setCoordinateMode(QGradient::ObjectBoundingMode);
  background.setColorAt(0, Qt::white);
  background.setColorAt(1, QColor(255, 255, 196));
  m_chart->setBackgroundBrush(background);
  m_chart->setBackgroundRoundness(0);
  // The back wall is see-through: the gradient shows behind the lines.
  m_chart->setPlotAreaBackgroundVisible(false);

  const QFont titleFont = AppFont(QStringLiteral("Arial"), 19, true);
  m_chart->setTitleFont(titleFont);
  m_chart->setTitleBrush(QBrush(Qt::blue));

  m_bottom.Axis = new QValueAxis;
  m_left.Axis = new QValueAxis;
  for (QValueAxis* axis : {m_bottom.Axis, m_left.Axis}) {
    axis->setTitleFont(titleFont);
    axis->setTitleBrush(QBrush(Qt::blue));
    axis->setLabelFormat(QStringLiteral("%.6g"));
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0);
    axis->setMinorTickCount(0);
  }
  m_chart->addAxis(m_bottom.Axis, Qt::AlignBottom);
  m_chart->addAxis(m_left.Axis, Qt::AlignLeft);

  for (int i = 0; i < kSeriesCount; ++i) {
    auto* series = new QLineSeries;
    series->setName(SeriesInitialTitle(i + 1));
    QPen pen(SeriesColour(i + 1));
    pen.setWidth(2);
    series->setPen(pen);
    series->setPointsVisible(false);
    series->setPointLabelsVisible(false);
    m_chart->addSeries(series);
    series->attachAxis(m_bottom.Axis);
    series->attachAxis(m_left.Axis);
    m_series[static_cast<std::size_t>(i)] = series;
  }

  m_bottom.State = {0, 100, true};
  m_left.State = {0, 100, false};

  m_view = new ChartView(*this, m_chart, parent);
  DrawAxes();
}

ChartEngine::~ChartEngine()
{
  // The view refers to the engine; it goes first (it owns the chart).
  delete m_view;
}

QLineSeries* ChartEngine::Series(int n) const
{
  Q_ASSERT(n >= 1 && n <= kSeriesCount);
  return m_series[static_cast<std::size_t>(n - 1)];
}

void ChartEngine::SetSeriesTitle(int n, const QString& title) { Series(n)->setName(title); }
QString ChartEngine::SeriesTitle(int n) const { return Series(n)->name(); }

void ChartEngine::SetSeriesVisible(int n, bool visible)
{
  if (Series(n)->isVisible() == visible)
    return;
  Series(n)->setVisible(visible);
  // Automatic ranges follow the visible series only.
  AxesChanged();
}

bool ChartEngine::SeriesVisible(int n) const { return Series(n)->isVisible(); }

void ChartEngine::ClearSeries(int n)
{
  const auto i = static_cast<std::size_t>(n - 1);
  m_points.at(i).clear();
  m_dirty.at(i) = true;
  SchedulePaint();
}

void ChartEngine::AppendPoint(int n, double y)
{
  const auto i = static_cast<std::size_t>(n - 1);
  auto& points = m_points.at(i);
  points.append(QPointF(static_cast<double>(points.size()), y));
  m_dirty.at(i) = true;
  SchedulePaint();
}

int ChartEngine::PointCount(int n) const { return static_cast<int>(m_points.at(static_cast<std::size_t>(n - 1)).size()); }
QList<QPointF> ChartEngine::Points(int n) const { return m_points.at(static_cast<std::size_t>(n - 1)); }

void ChartEngine::SetTitle(const QStringList& lines) { m_chart->setTitle(lines.join(QLatin1Char('\n'))); }
QString ChartEngine::Title() const { return m_chart->title(); }

void ChartEngine::SetAxisTitle(ChartAxis axis, const QString& title) { Data(axis).Axis->setTitleText(title); }
QString ChartEngine::AxisTitle(ChartAxis axis) const { return Data(axis).Axis->titleText(); }

void ChartEngine::SetAxisMinimum(ChartAxis axis, double value)
{
  Data(axis).State.Minimum = value;
  AxesChanged();
}

void ChartEngine::SetAxisMaximum(ChartAxis axis, double value)
{
  Data(axis).State.Maximum = value;
  AxesChanged();
}

void ChartEngine::SetAxisAutomatic(ChartAxis axis, bool automatic)
{
  Data(axis).State.Automatic = automatic;
  AxesChanged();
}

void ChartEngine::SetLabelIncrement(ChartAxis axis, double increment)
{
  Data(axis).Increment = increment;
  UpdateLabelStep(axis);
}

double ChartEngine::LabelIncrement(ChartAxis axis) const { return Data(axis).Increment; }
AxisState ChartEngine::Axis(ChartAxis axis) const { return Data(axis).State; }

QPair<double, double> ChartEngine::DrawnRange(ChartAxis axis) const
{
  // What is drawn is only known once the pending changes are drawn.
  const_cast<ChartEngine*>(this)->CommitPoints();
  return {Data(axis).Axis->min(), Data(axis).Axis->max()};
}

double ChartEngine::DrawnLabelStep(ChartAxis axis) const
{
  const_cast<ChartEngine*>(this)->CommitPoints();
  return Data(axis).Axis->tickInterval();
}

void ChartEngine::SetDecimalSeparator(char separator)
{
  // Labels are written by the locale the chart is given; of the locales, one
  // with a decimal comma and one with a point. No thousands separator: the
  // grid's values have none either.
  QLocale locale = separator == ',' ? QLocale(QLocale::Spanish, QLocale::Spain) : QLocale::c();
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  m_chart->setLocale(locale);
  m_chart->setLocalizeNumbers(true);
}

void ChartEngine::SetLegendVisible(bool visible) { m_chart->legend()->setVisible(visible); }
bool ChartEngine::LegendVisible() const { return m_chart->legend()->isVisible(); }

void ChartEngine::Repaint()
{
  CommitPoints();
  m_view->viewport()->update();
}

void ChartEngine::SchedulePaint()
{
  if (m_paintScheduled)
    return;
  m_paintScheduled = true;
  QTimer::singleShot(0, m_view, [this] { CommitPoints(); });
}

void ChartEngine::AxesChanged()
{
  m_axesDirty = true;
  SchedulePaint();
}

void ChartEngine::CommitPoints()
{
  m_paintScheduled = false;
  bool changed = std::exchange(m_axesDirty, false);
  for (bool dirty : m_dirty)
    changed = changed || dirty;
  if (!changed)
    return;
  // Ranges first (automatic ones follow the gathered points): every change of
  // range or points makes the series compute their drawing again.
  DrawAxes();
  for (std::size_t i = 0; i < m_series.size(); ++i)
    if (std::exchange(m_dirty[i], false))
      m_series[i]->replace(m_points[i]);
}

void ChartEngine::DrawAxes()
{
  DrawAxis(ChartAxis::Left);
  DrawAxis(ChartAxis::Bottom);
}

void ChartEngine::DrawAxis(ChartAxis which)
{
  AxisData& data = Data(which);
  double lo = data.State.Minimum;
  double hi = data.State.Maximum;
  if (data.State.Automatic) {
    lo = std::numeric_limits<double>::infinity();
    hi = -lo;
    for (std::size_t i = 0; i < m_series.size(); ++i) {
      if (!m_series[i]->isVisible())
        continue;
      for (const QPointF& p : m_points[i]) {
        const double v = which == ChartAxis::Bottom ? p.x() : p.y();
        lo = std::min(lo, v);
        hi = std::max(hi, v);
      }
    }
    if (!(lo <= hi))
      return; // nothing to follow: the drawing keeps its range
    if (lo == hi) {
      lo -= 0.5;
      hi += 0.5;
    }
  }
  // A fixed range whose ends cross cannot be drawn; keep the last one drawn
  // until the window sets the other end.
  if (!(lo < hi))
    return;
  // The axis lays out its labels at each change of range or step: a coarser
  // step goes first, a finer one last, so that it never meets a range with
  // thousands of labels (a fine zoom, then the model's whole range: seconds).
  const double step = LabelStep(which, hi - lo);
  const bool coarser = step > data.Axis->tickInterval();
  if (coarser)
    data.Axis->setTickInterval(step);
  data.Axis->setRange(lo, hi);
  if (!coarser && data.Axis->tickInterval() != step)
    data.Axis->setTickInterval(step);
}

void ChartEngine::UpdateLabelStep(ChartAxis which)
{
  AxisData& data = Data(which);
  const double span = data.Axis->max() - data.Axis->min();
  if (!(span > 0))
    return;
  const double step = LabelStep(which, span);
  if (data.Axis->tickInterval() != step)
    data.Axis->setTickInterval(step);
}

double ChartEngine::LabelStep(ChartAxis which, double span) const
{
  const AxisData& data = Data(which);
  const QFontMetrics fm(data.Axis->labelsFont());
  // Room a label needs along its axis, with a gap.
  const double room = which == ChartAxis::Left ? fm.height() * 1.3 : fm.horizontalAdvance(QStringLiteral("00000")) * 1.5;
  // The axis length is estimated from the view, less title, legend, axis
  // titles and labels: following the plot area itself would change the
  // labels while the chart lays itself out, and its layout then stalls.
  const QSize view = m_view->size();
  const double length = which == ChartAxis::Left ? view.height() - 180.0 : view.width() - 120.0;
  const int maxLabels = std::max(2, static_cast<int>(length / room));
  // Start from the desired increment (or the finest decimal step) and grow it
  // by 1-2-5 steps until the labels fit.
  double step = data.Increment > 0 ? data.Increment : std::pow(10.0, std::floor(std::log10(span)) - 2);
  const double base = step;
  static constexpr double kFactors[] = {1, 2, 5};
  for (int decade = 0; span / step > maxLabels && decade < 30; ++decade)
    for (double f : kFactors) {
      step = base * f * std::pow(10.0, decade);
      if (span / step <= maxLabels)
        break;
    }
  return step;
}

// ---------------------------------------------------------------- zoom

void ChartEngine::ZoomTo(const QRectF& values)
{
  const QRectF r = values.normalized();
  if (!(r.width() > 0) || !(r.height() > 0))
    return;
  if (!m_beforeZoom)
    m_beforeZoom = std::make_pair(m_left.State, m_bottom.State);
  m_bottom.State = {r.left(), r.right(), false};
  m_left.State = {r.top(), r.bottom(), false};
  AxesChanged();
  CommitPoints();
}

void ChartEngine::Pan(double dx, double dy)
{
  if (dx == 0 && dy == 0)
    return;
  if (!m_beforeZoom)
    m_beforeZoom = std::make_pair(m_left.State, m_bottom.State);
  if (dx != 0) {
    const auto [lo, hi] = DrawnRange(ChartAxis::Bottom);
    m_bottom.State = {lo + dx, hi + dx, false};
  }
  if (dy != 0) {
    const auto [lo, hi] = DrawnRange(ChartAxis::Left);
    m_left.State = {lo + dy, hi + dy, false};
  }
  AxesChanged();
  CommitPoints();
}

void ChartEngine::Unzoom()
{
  if (!m_beforeZoom)
    return;
  m_left.State = m_beforeZoom->first;
  m_bottom.State = m_beforeZoom->second;
  m_beforeZoom.reset();
  AxesChanged();
  CommitPoints();
}

QPointF ChartEngine::ValueAt(const QPoint& viewportPos) const
{
  const QPointF inChart = m_chart->mapFromScene(m_view->mapToScene(viewportPos));
  const QRectF plot = m_chart->plotArea();
  const auto [x0, x1] = DrawnRange(ChartAxis::Bottom);
  const auto [y0, y1] = DrawnRange(ChartAxis::Left);
  const double x = x0 + (inChart.x() - plot.left()) / plot.width() * (x1 - x0);
  const double y = y1 - (inChart.y() - plot.top()) / plot.height() * (y1 - y0);
  return {x, y};
}

QPoint ChartEngine::PositionOf(const QPointF& value) const
{
  const QRectF plot = m_chart->plotArea();
  const auto [x0, x1] = DrawnRange(ChartAxis::Bottom);
  const auto [y0, y1] = DrawnRange(ChartAxis::Left);
  const QPointF inChart(plot.left() + (value.x() - x0) / (x1 - x0) * plot.width(),
                        plot.top() + (y1 - value.y()) / (y1 - y0) * plot.height());
  return m_view->mapFromScene(m_chart->mapToScene(inChart));
}

// ---------------------------------------------------------------- output

void ChartEngine::BringUpToDate()
{
  CommitPoints();
  // The chart lays itself out when the event loop comes round; a print or a
  // copy made before that must not show the state before the last change.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  for (QGraphicsWidget* w : {static_cast<QGraphicsWidget*>(m_chart), static_cast<QGraphicsWidget*>(m_chart->legend())})
    if (QGraphicsLayout* layout = w->layout())
      layout->activate();
}

void ChartEngine::Print(QPrinter& printer, QPageLayout::Orientation orientation)
{
  BringUpToDate();
  // The printer is shared by the whole program: whatever happens here, it
  // leaves with the orientation it came with.
  struct OrientationGuard {
    QPrinter& Printer;
    QPageLayout::Orientation Old;
    ~OrientationGuard() { Printer.setPageOrientation(Old); }
  } guard{printer, printer.pageLayout().orientation()};

  ThrowIfPrinterUnusable(printer);
  printer.setPageOrientation(orientation);
  QPainter painter;
  if (!painter.begin(&printer))
    throw PrintError("Cannot start the print job");
  const QRect source = m_view->viewport()->rect();
  const QSizeF page(printer.width(), printer.height());
  // The whole chart on one page, as large as fits, keeping its proportions.
  QSizeF size = QSizeF(source.size()).scaled(page, Qt::KeepAspectRatio);
  const QRectF target(QPointF((page.width() - size.width()) / 2, 0), size);
  m_view->render(&painter, target, source);
  if (!painter.end())
    throw PrintError("The print job could not be completed");
}

void ChartEngine::CopyToClipboard()
{
  BringUpToDate();
  QApplication::clipboard()->setPixmap(m_view->grab());
}

} // namespace dz
