#pragma once

// "Descargas anteriores": the archived downloads, newest first. A download
// opens into the main window and converts as closing a live download does;
// it can also be dated, previewed with what each day held, exported as CSV,
// saved raw, or deleted.

#include "archive.h"
#include "archivehost.h"
#include "archivepreview.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QPushButton;
class QTableView;

namespace dz {

class ArchiveListModel;
class ArchiveTasks;

class ArchiveWindow : public QDialog {
public:
  explicit ArchiveWindow(ArchiveHost& host);

  // Reads the archive again, off the user-interface thread; then the entry
  // at `row` (the newest by default) is selected and the list has the
  // keyboard focus.
  void Refresh(int row = 0);
  // Whether the archive has not answered yet (a list, an entry, a delete,
  // the preview).
  bool Busy() const;

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
  // The selected download drawn beside the list, read off the
  // user-interface thread.
  void ShowPreview(const ArchivedDownload& listed, int model);
  // The entry as listed and its bytes, read off the user-interface thread,
  // then `use`d here; an entry gone or changed since the list was drawn is
  // never used: the list is drawn again and the user told.
  void Load(const ArchivedDownload& listed, std::function<void(Archive::Loaded)> use);
  void Stale(const ArchivedDownload& listed, bool gone);

  ArchiveHost& m_host;
  ArchiveTasks* m_tasks = nullptr;
  ArchiveListModel* m_entries = nullptr;
  QTableView* m_list = nullptr;
  QComboBox* m_model = nullptr;
  ArchivePreview* m_preview = nullptr;
  // The download and model the preview shows or is reading, if any.
  std::optional<std::pair<std::int64_t, int>> m_previewKey;
  QComboBox* m_decimal = nullptr;
  QPushButton* m_open = nullptr;
  QPushButton* m_csv = nullptr;
  QPushButton* m_raw = nullptr;
  QPushButton* m_delete = nullptr;
  QLabel* m_status = nullptr;
};

} // namespace dz
