#pragma once

// The dated view of one archived download in "Descargas anteriores": the
// time of its first sample and its interval ("Primera muestra", "Intervalo",
// "Guardar"), a line that says what is known, a chart of its recorded
// samples against date and time (against sample number while it is not
// dated), and what each day held.

#include "archive.h"
#include "streamconvert.h"
#include "timing.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QDateTimeEdit;
class QLabel;
class QLineSeries;
class QPushButton;
class QStandardItemModel;
class QTableView;
class QValueAxis;

namespace dz {

class ArchivePreview : public QWidget {
public:
  explicit ArchivePreview(QWidget* parent);

  // The download to show, converted under `model` (its rows as far as they
  // converted). Nothing: an erase, no selection, or no model to convert
  // with; `why` then says so.
  void ShowDownload(const ArchivedDownload& d, int model, Converted converted);
  void ShowNothing(const QString& why = {});

  // The timing the fields show; nothing for "sin fecha". Throws, with the
  // user's message, for a local time that does not exist.
  std::optional<SampleTiming> Timing() const;

  // "Guardar": stores the fields' timing in the archive.
  void SaveClick();
  // Called after a timing was stored, with the entry as it now is.
  std::function<void(const ArchivedDownload&)> Saved;

  QDateTimeEdit* FirstSample() const { return m_start; }
  QComboBox* Interval() const { return m_interval; }
  QPushButton* SaveButton() const { return m_save; }
  QLabel* Note() const { return m_note; }
  QChartView* Chart() const { return m_view; }
  QTableView* Days() const { return m_days; }
  // Rows the chart shows.
  int Shown() const { return m_shown; }

private:
  void FillIntervals(int model, std::int64_t stored);
  void FieldsChanged();
  void Redraw();
  bool Unchanged() const;

  std::optional<ArchivedDownload> m_entry;
  int m_model = -1;
  std::unique_ptr<Converted> m_converted;
  int m_shown = 0;
  bool m_filling = false;

  QDateTimeEdit* m_start = nullptr;
  QComboBox* m_interval = nullptr;
  QPushButton* m_save = nullptr;
  QLabel* m_note = nullptr;
  QChart* m_chart = nullptr;
  QChartView* m_view = nullptr;
  QDateTimeAxis* m_timeAxis = nullptr;
  QValueAxis* m_sampleAxis = nullptr;
  QValueAxis* m_valueAxis = nullptr;
  QLineSeries* m_series[7] = {};
  QStandardItemModel* m_dayModel = nullptr;
  QTableView* m_days = nullptr;
};

} // namespace dz
