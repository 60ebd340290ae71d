#pragma once

#include "chartseries.h"

#include <QChartView>
#include <QList>
#include <QPageLayout>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

class QChart;
class QLineSeries;
class QPrinter;
class QRubberBand;
class QValueAxis;

namespace dz {

enum class ChartAxis { Left, Bottom };

// Stored state of an axis. While Automatic, Minimum and Maximum are kept but
// the drawn range follows the points of the visible series.
struct AxisState {
  double Minimum = 0;
  double Maximum = 0;
  bool Automatic = false;
  bool operator==(const AxisState&) const = default;
};

class ChartEngine;

// The chart's view: draws the chart and turns mouse gestures into zoom
// (left drag from top-left to bottom-right), undo (left drag from right to
// left) and pan (right button held).
class ChartView : public QChartView {
public:
  ChartView(ChartEngine& engine, QChart* chart, QWidget* parent);

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  ChartEngine& m_engine;
  QRubberBand* m_band = nullptr;
  QPoint m_dragStart;
  QPoint m_panLast;
  bool m_zoomDrag = false;
  bool m_panDrag = false;
};

// The chart drawing engine as the chart window uses it: seven fixed line
// series, a bottom and a left axis with automatic or fixed scaling, title,
// legend, mouse zoom and pan, printing on one page and copying.
class ChartEngine {
public:
  static constexpr int kSeriesCount = kChartSeriesCount;

  explicit ChartEngine(QWidget* parent);
  ~ChartEngine();
  ChartEngine(const ChartEngine&) = delete;
  ChartEngine& operator=(const ChartEngine&) = delete;

  ChartView* View() const { return m_view; }
  QChart* Chart() const { return m_chart; }
  // Series 1 to 7.
  QLineSeries* Series(int n) const;

  void SetSeriesTitle(int n, const QString& title);
  QString SeriesTitle(int n) const;
  void SetSeriesVisible(int n, bool visible);
  bool SeriesVisible(int n) const;

  // Points: X is the number of points the series held before.
  void ClearSeries(int n);
  void AppendPoint(int n, double y);
  int PointCount(int n) const;
  QList<QPointF> Points(int n) const;

  void SetTitle(const QStringList& lines);
  QString Title() const;
  void SetAxisTitle(ChartAxis axis, const QString& title);
  QString AxisTitle(ChartAxis axis) const;

  void SetAxisMinimum(ChartAxis axis, double value);
  void SetAxisMaximum(ChartAxis axis, double value);
  void SetAxisAutomatic(ChartAxis axis, bool automatic);
  // Smallest step between two labels; larger steps are used where labels
  // would overlap. 0 lets the engine choose.
  void SetLabelIncrement(ChartAxis axis, double increment);
  double LabelIncrement(ChartAxis axis) const;
  AxisState Axis(ChartAxis axis) const;
  // The range that is drawn now.
  QPair<double, double> DrawnRange(ChartAxis axis) const;
  // The step between the labels drawn now.
  double DrawnLabelStep(ChartAxis axis) const;

  // The decimal separator of the axis labels, as the grid writes its cells.
  void SetDecimalSeparator(char separator);

  void SetLegendVisible(bool visible);
  bool LegendVisible() const;
  // Brings the drawing up to date with every change made so far.
  void Repaint();

  // Zoom and pan, in axis values. The modes and ranges from before the
  // first zoom or pan are kept until Unzoom restores them.
  void ZoomTo(const QRectF& values);
  void Pan(double dx, double dy);
  void Unzoom();
  bool IsZoomed() const { return m_beforeZoom.has_value(); }
  // Widget position in the view's viewport → axis values.
  QPointF ValueAt(const QPoint& viewportPos) const;
  // Axis values → widget position in the view's viewport.
  QPoint PositionOf(const QPointF& value) const;

  // Prints the chart as it stands on one page of the printer in the given
  // orientation, without a dialog; the printer's orientation is given back
  // afterwards, also on failure. Throws PrintError.
  void Print(QPrinter& printer, QPageLayout::Orientation orientation);
  // Puts a bitmap of the chart at its on-screen size on the clipboard.
  void CopyToClipboard();

private:
  struct AxisData {
    AxisState State;
    double Increment = 0;
    QValueAxis* Axis = nullptr;
  };
  AxisData& Data(ChartAxis axis) { return axis == ChartAxis::Left ? m_left : m_bottom; }
  const AxisData& Data(ChartAxis axis) const { return axis == ChartAxis::Left ? m_left : m_bottom; }
  // Draws every pending change of points, ranges and visibility.
  void CommitPoints();
  void BringUpToDate();
  void AxesChanged();
  void DrawAxis(ChartAxis axis);
  void DrawAxes();
  void UpdateLabelStep(ChartAxis axis);
  // The step between labels for a drawn range of this span.
  double LabelStep(ChartAxis axis, double span) const;
  void SchedulePaint();

  QChart* m_chart;
  ChartView* m_view;
  std::array<QLineSeries*, kSeriesCount> m_series{};
  // Points are gathered here and handed to the series in one go: appending
  // one by one to a drawn series costs a redraw each.
  std::array<QList<QPointF>, kSeriesCount> m_points;
  std::array<bool, kSeriesCount> m_dirty{};
  AxisData m_left;
  AxisData m_bottom;
  std::optional<std::pair<AxisState, AxisState>> m_beforeZoom; // left, bottom
  bool m_paintScheduled = false;
  bool m_axesDirty = false;
};

} // namespace dz
