#pragma once

#include "cellgrid.h"

#include <QString>

#include <stdexcept>
#include <string>

class QFileDialog;
class QWidget;

namespace dz {

// A file error of the export; what() is the text the error box shows:
// "File access denied", "Disk full" or "I/O error <errno>".
class FileError : public std::runtime_error {
public:
  FileError(const std::string& message, int code) : std::runtime_error(message), m_code(code) {}
  int Code() const noexcept { return m_code; }

private:
  int m_code;
};

// The user-visible text of a file error from its errno value.
std::string FileErrorMessage(int errnoValue);

// Shown when a save is asked for with no logger model selected.
inline constexpr const char* kNoModelSelectedMessage = "No hay ningún modelo de Vexa-Logger seleccionado";

// Writes `contents` to `path` so that the old file is replaced only once the
// new one is complete: on any failure the old file (if any) is untouched and
// no partial file remains. A device or pipe is written in place, and so is a
// file that the user may write in a folder the user may not (its old contents
// are put back if the write fails). Throws FileError; refuses any file of the
// archive of downloads (std::runtime_error), whatever its name.
void WriteFileAtomically(const QString& path, const std::string& contents);

// The main window's "Guardar datos descargados": owns the save dialog
// (SaveDialog1), which offers the last chosen name again at the next save.
class DataFileExport {
public:
  explicit DataFileExport(QWidget* owner);
  ~DataFileExport();
  DataFileExport(const DataFileExport&) = delete;
  DataFileExport& operator=(const DataFileExport&) = delete;

  // The whole save: no model → error (no dialog, no file); dialog (cancel →
  // nothing); overwrite question for an existing file (anything but Yes →
  // nothing); then the model's data file. Throws FileError or
  // std::runtime_error for the error box.
  void Save(int model, const CellGrid& grid);

  QFileDialog* SaveDialog1() const { return m_dialog; }

private:
  QWidget* m_owner;
  QFileDialog* m_dialog;
  QString m_lastFile;
};

} // namespace dz
