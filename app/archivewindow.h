#pragma once

// "Descargas anteriores": the archived downloads, newest first. A download
// opens into the main window and converts as closing a live download does;
// it can also be dated, previewed with what each day held, exported as CSV,
// saved raw, or deleted.

#include "archive.h"
#include "archivehost.h"
#include "archivepreview.h"

#include <QDialog>

#include <vector>

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QPushButton;
class QTableView;

namespace dz {

class ArchiveListModel;

class ArchiveWindow : public QDialog {
public:
  explicit ArchiveWindow(ArchiveHost& host);

  // Reads the archive again; the newest entry is selected and the list has
  // the keyboard focus.
  void Refresh();

  void OpenClick();
  void ExportCsvClick();
  void SaveRawClick();
  void DeleteClick();

  QTableView* List() const { return m_list; }
  QComboBox* ModelChoice() const { return m_model; }
  QComboBox* Interval() const { return m_preview->Interval(); }
  QComboBox* Decimal() const { return m_decimal; }
  QDateTimeEdit* FirstSample() const { return m_preview->FirstSample(); }
  ArchivePreview* Preview() const { return m_preview; }
  QPushButton* OpenButton() const { return m_open; }
  QLabel* Status() const { return m_status; }

protected:
  void showEvent(QShowEvent* e) override;

private:
  const ArchivedDownload* Selected() const;
  void SelectionChanged();
  // The model the download converts with: the one chosen here, else its own.
  int ChosenModel(const ArchivedDownload& d) const;
  std::string RawOf(const ArchivedDownload& d) const;
  Converted ConvertEntry(const ArchivedDownload& d, int model) const;

  ArchiveHost& m_host;
  ArchiveListModel* m_entries = nullptr;
  QTableView* m_list = nullptr;
  QComboBox* m_model = nullptr;
  ArchivePreview* m_preview = nullptr;
  QComboBox* m_decimal = nullptr;
  QPushButton* m_open = nullptr;
  QPushButton* m_csv = nullptr;
  QPushButton* m_raw = nullptr;
  QPushButton* m_delete = nullptr;
  QLabel* m_status = nullptr;
};

} // namespace dz
