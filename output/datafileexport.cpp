#include "datafileexport.h"

#include "access.h"
#include "archive.h"
#include "archivefiles.h"
#include "datafile.h"
#include "models.h"
#include "uikit.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace dz {

std::string FileErrorMessage(int errnoValue)
{
  switch (errnoValue) {
  case EACCES:
  case EPERM:
  case EROFS:
    return "File access denied";
  case ENOSPC:
  case EDQUOT:
    return "Disk full";
  default:
    return "I/O error " + std::to_string(errnoValue);
  }
}

namespace {

[[noreturn]] void ThrowFileError(const QFileDevice& file, const QString& path, int savedErrno)
{
  int code = savedErrno;
  if (code == 0) {
    // Qt refused before any system call failed (an existing file that may
    // not be written, for one): report what Qt saw.
    const QFileInfo info(path);
    code = file.error() == QFileDevice::PermissionsError || (info.exists() && !info.isWritable()) ? EACCES : EIO;
  }
  throw FileError(FileErrorMessage(code), code);
}

// A device or a pipe cannot be replaced by a new file: it is written in place.
void WriteInPlace(const QString& path, const std::string& contents)
{
  QFile file(path);
  errno = 0;
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
    ThrowFileError(file, path, errno);
  errno = 0;
  if (file.write(contents.data(), static_cast<qint64>(contents.size())) != static_cast<qint64>(contents.size()))
    ThrowFileError(file, path, errno);
  file.close();
}

// Whether the user may write the file but not the folder it lies in: then no
// new file can be made beside it to replace it, and the file itself is
// written over.
bool OnlyTheFileIsWritable(const QFileInfo& info)
{
  if (!info.exists() || !info.isFile())
    return false;
  const QByteArray file = QFile::encodeName(info.absoluteFilePath());
  const QByteArray folder = QFile::encodeName(info.absolutePath());
  return ::faccessat(AT_FDCWD, file.constData(), W_OK, AT_EACCESS) == 0 &&
         ::faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) != 0 && errno == EACCES;
}

// Writes over an existing file from its start, then cuts it to the new length.
// The old contents are kept in memory: on a failure (a full disk as the file
// grows) they are written back, into space the file already held, and the
// failure is reported all the same.
void WriteOver(const QString& path, const std::string& contents)
{
  QFile file(path);
  errno = 0;
  if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
    ThrowFileError(file, path, errno);
  errno = 0;
  const QByteArray old = file.readAll();
  if (file.error() != QFileDevice::NoError)
    ThrowFileError(file, path, errno);
  const auto size = static_cast<qint64>(contents.size());
  auto fail = [&](int code) {
    file.seek(0);
    if (file.write(old) == old.size())
      file.resize(old.size());
    ::fsync(file.handle());
    ThrowFileError(file, path, code);
  };
  errno = 0;
  if (!file.seek(0) || file.write(contents.data(), size) != size)
    fail(errno);
  errno = 0;
  if (!file.resize(size) || ::fsync(file.handle()) != 0)
    fail(errno);
  file.close();
}

} // namespace

void WriteFileAtomically(const QString& path, const std::string& contents)
{
  // The archive keeps every download: a save over one of its files would
  // destroy them all.
  if (IsArchiveFile(QFile::encodeName(path).toStdString(), Archive::DefaultPath()))
    throw std::runtime_error(
      QStringLiteral("%1 es parte del archivo de descargas del programa: elija otro nombre").arg(path).toStdString());
  const QFileInfo info(path);
  if (info.exists() && !info.isFile() && !info.isDir()) {
    WriteInPlace(path, contents);
    return;
  }
  if (OnlyTheFileIsWritable(info)) {
    WriteOver(path, contents);
    return;
  }
  QSaveFile file(path);
  errno = 0;
  if (!file.open(QIODevice::WriteOnly))
    ThrowFileError(file, path, errno);
  errno = 0;
  if (file.write(contents.data(), static_cast<qint64>(contents.size())) != static_cast<qint64>(contents.size())) {
    const int saved = errno;
    file.cancelWriting();
    ThrowFileError(file, path, saved);
  }
  errno = 0;
  // commit() flushes, syncs and renames; on failure it removes the new file.
  if (!file.commit())
    ThrowFileError(file, path, errno);
}

DataFileExport::DataFileExport(QWidget* owner) : m_owner(owner), m_dialog(new QFileDialog(owner))
{
  m_dialog->setObjectName(QStringLiteral("SaveDialog1"));
  // Qt's own dialog everywhere, so that it behaves alike on every desktop
  // and can be driven in tests.
  m_dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  // The export asks its own overwrite question.
  m_dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
  m_dialog->setAcceptMode(QFileDialog::AcceptSave);
  m_dialog->setFileMode(QFileDialog::AnyFile);
  m_dialog->setDirectory(SaveFolder());
}

DataFileExport::~DataFileExport()
{
  // Without an owner nobody else deletes the dialog.
  if (m_owner == nullptr)
    delete m_dialog;
}

void DataFileExport::Save(int model, const CellGrid& grid)
{
  // Asking for a file name only to refuse it afterwards would report a
  // save that never happens: refuse at once.
  if (FindModel(model) == nullptr)
    throw std::runtime_error(kNoModelSelectedMessage);

  m_dialog->setDefaultSuffix(QStringLiteral("txt"));
  if (!m_lastFile.isEmpty()) {
    m_dialog->setDirectory(QFileInfo(m_lastFile).absolutePath());
    m_dialog->selectFile(m_lastFile);
  } else {
    m_dialog->setDirectory(SaveFolder());
  }
  if (m_dialog->exec() != QDialog::Accepted || m_dialog->selectedFiles().isEmpty())
    return;
  const QString path = m_dialog->selectedFiles().constFirst();
  m_lastFile = path;
  RememberSaveFolder(path);

  if (QFileInfo::exists(path)) {
    // The standard confirmation, in the program's language.
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirmar"), QStringLiteral("El archivo existe, sobreescribo?"),
                    QMessageBox::NoButton, m_owner);
    box.setObjectName(QStringLiteral("OverwriteQuestion"));
    DescribeMessageBox(box);
    QPushButton* yes = box.addButton(QStringLiteral("&Sí"), QMessageBox::YesRole);
    box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Cancelar"), QMessageBox::RejectRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() != yes)
      return;
  }

  WriteFileAtomically(path, DataFileContents(model, grid));
}

} // namespace dz
