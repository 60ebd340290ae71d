// The data file export: file layout through the whole save (dialog, question,
// file), the overwrite answers, the refusal without a model, and real file
// failures (read-only and full file systems, another user, /dev/full).

#include "datafile.h"
#include "datafileexport.h"
#include "outputtestkit.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstdio>
#include <sys/mount.h>

using dztest::OnModal;
using dztest::TypeName;

namespace {

QByteArray ReadAll(const QString& path)
{
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly))
    return "<missing>";
  return f.readAll();
}

void WriteRaw(const QString& path, const QByteArray& bytes)
{
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  QCOMPARE(f.write(bytes), bytes.size());
}

// A small tmpfs mounted for one test; unmounted at the end.
class TmpMount {
public:
  explicit TmpMount(const QString& at, const char* options) : m_at(at.toLocal8Bit())
  {
    m_ok = mount("dz-test", m_at.constData(), "tmpfs", 0, options) == 0;
    m_errno = errno;
  }
  ~TmpMount()
  {
    if (m_ok)
      umount2(m_at.constData(), MNT_DETACH);
  }
  bool Ok() const { return m_ok; }
  QString Why() const { return QStringLiteral("cannot mount a tmpfs here: %1").arg(QString::fromLocal8Bit(strerror(m_errno))); }
  bool RemountReadOnly() { return mount("dz-test", m_at.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0; }

private:
  QByteArray m_at;
  bool m_ok = false;
  int m_errno = 0;
};

} // namespace

class TestExport : public QObject {
  Q_OBJECT

private slots:
  void init()
  {
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    m_export = std::make_unique<dz::DataFileExport>(nullptr);
    m_grid.Clear();
  }

  void cleanup()
  {
    m_export.reset();
    QVERIFY(!dztest::AnyModalLeft());
  }

  void layoutFollowsModelTable_data()
  {
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("fields");
    const int lines[] = {512, 512, 1170, 1170, 1024, 1024, 1024, 1024, 1024};
    const int fields[] = {2, 2, 7, 7, 1, 1, 1, 1, 1};
    for (int m = 0; m < 9; ++m)
      QTest::addRow("model %d", m) << m << lines[m] << fields[m];
  }

  void layoutFollowsModelTable()
  {
    QFETCH(int, model);
    QFETCH(int, lines);
    QFETCH(int, fields);
    dztest::FillGrid(m_grid, 7, 1170);
    // Titles and sample numbers are never written.
    for (int c = 1; c <= 7; ++c)
      m_grid.SetCell(c, 0, "CANAL" + std::to_string(c));
    for (int r = 1; r <= 1170; ++r)
      m_grid.SetCell(0, r, std::to_string(r));

    const QString path = m_tmp->filePath(QStringLiteral("layout%1.txt").arg(model));
    std::unique_ptr<OnModal<QFileDialog>> answer(TypeName(path));
    m_export->Save(model, m_grid);
    QVERIFY(answer->Fired());

    const QByteArray bytes = ReadAll(path);
    QCOMPARE(bytes, QByteArray::fromStdString(dz::DataFileContents(model, m_grid)));
    QVERIFY(bytes.endsWith("\r\n"));
    QList<QByteArray> rows = bytes.split('\n');
    QCOMPARE(rows.takeLast(), QByteArray()); // after the last CR LF
    QCOMPARE(rows.size(), lines);
    for (int r = 0; r < rows.size(); ++r) {
      QVERIFY2(rows[r].endsWith('\r'), qPrintable(QStringLiteral("line %1").arg(r + 1)));
      const QList<QByteArray> got = rows[r].chopped(1).split(' ');
      QCOMPARE(got.size(), fields);
      for (int c = 1; c <= fields; ++c)
        QCOMPARE(got[c - 1], QByteArray::fromStdString(m_grid.Cell(c, r + 1)));
    }
  }

  void emptyGridStillGivesEveryLine_data()
  {
    QTest::addColumn<int>("model");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("one channel") << 6 << QByteArray("\r\n").repeated(1024);
    QTest::newRow("two channels") << 1 << QByteArray(" \r\n").repeated(512);
    QTest::newRow("seven channels") << 3 << QByteArray("      \r\n").repeated(1170);
  }

  void emptyGridStillGivesEveryLine()
  {
    QFETCH(int, model);
    QFETCH(QByteArray, expected);
    const QString path = m_tmp->filePath(QStringLiteral("empty%1.txt").arg(model));
    std::unique_ptr<OnModal<QFileDialog>> answer(TypeName(path));
    m_export->Save(model, m_grid);
    QCOMPARE(ReadAll(path), expected);
  }

  void layoutIsTheModelSelectedWhenSaving()
  {
    // A two-channel download, saved with a seven-channel model selected.
    dztest::FillGrid(m_grid, 2, 512);
    const QString path = m_tmp->filePath(QStringLiteral("switched.txt"));
    std::unique_ptr<OnModal<QFileDialog>> answer(TypeName(path));
    m_export->Save(2, m_grid);
    const QList<QByteArray> rows = ReadAll(path).split('\n');
    QCOMPARE(rows.size(), 1171);
    QCOMPARE(rows[0], QByteArray::fromStdString(m_grid.Cell(1, 1) + " " + m_grid.Cell(2, 1) + "     \r"));
    QCOMPARE(rows[600], QByteArray("      \r"));
  }

  void typedNameGetsTxtAndIsOfferedAgain()
  {
    const QString plain = m_tmp->filePath(QStringLiteral("datos"));
    std::unique_ptr<OnModal<QFileDialog>> answer(TypeName(plain));
    m_export->Save(4, m_grid);
    QVERIFY(QFile::exists(plain + QStringLiteral(".txt")));
    QVERIFY(!QFile::exists(plain));

    // The existence test uses the name with ".txt": the same typed name now asks.
    QString offered;
    answer.reset(new OnModal<QFileDialog>([&](QFileDialog* d) {
      offered = d->selectedFiles().value(0);
      d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(plain);
      QMetaObject::invokeMethod(d, "accept");
    }));
    OnModal<QMessageBox> question([](QMessageBox* box) { box->reject(); });
    m_export->Save(4, m_grid);
    QCOMPARE(offered, plain + QStringLiteral(".txt"));
    QVERIFY(question.Fired());
  }

  void firstDialogStartsAtHome()
  {
    QString where;
    OnModal<QFileDialog> look([&](QFileDialog* d) {
      where = d->directory().absolutePath();
      QCOMPARE(d->defaultSuffix(), QStringLiteral("txt"));
      QVERIFY(d->nameFilters().isEmpty() || d->nameFilters() == QStringList{QStringLiteral("All Files (*)")});
      d->reject();
    });
    m_export->Save(0, m_grid);
    QVERIFY(look.Fired());
    QCOMPARE(where, QDir::homePath());
  }

  void cancelledDialogWritesNothing()
  {
    const QDir before(m_tmp->path());
    const QStringList files = before.entryList(QDir::Files);
    OnModal<QFileDialog> cancel([](QFileDialog* d) { d->reject(); });
    OnModal<QMessageBox> question([](QMessageBox* box) { box->reject(); });
    m_export->Save(0, m_grid);
    QVERIFY(cancel.Fired());
    QVERIFY(!question.Fired());
    QCOMPARE(QDir(m_tmp->path()).entryList(QDir::Files), files);
  }

  void overwriteAnswers_data()
  {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("Yes") << "&Sí" << true;
    QTest::newRow("Enter (default Yes)") << "enter" << true;
    QTest::newRow("No") << "&No" << false;
    QTest::newRow("Cancel") << "Cancelar" << false;
    QTest::newRow("Esc") << "esc" << false;
  }

  void overwriteAnswers()
  {
    QFETCH(QString, answer);
    QFETCH(bool, replaced);
    const QString path = m_tmp->filePath(QStringLiteral("old.txt"));
    // Longer than the new file: nothing of it may remain after a Yes.
    const QByteArray old = QByteArray("old contents that must survive\r\n").repeated(2000);
    WriteRaw(path, old);
    dztest::FillGrid(m_grid, 1, 1024);

    std::unique_ptr<OnModal<QFileDialog>> name(TypeName(path));
    QString caption, text, buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    OnModal<QMessageBox> question([&](QMessageBox* box) {
      caption = box->windowTitle();
      text = box->text();
      icon = box->icon();
      for (QAbstractButton* b : box->buttons())
        buttons += b->text() + QLatin1Char('|');
      QCOMPARE(box->defaultButton()->text(), QStringLiteral("&Sí"));
      if (answer == QLatin1String("enter"))
        QTest::keyClick(box, Qt::Key_Return);
      else if (answer == QLatin1String("esc"))
        QTest::keyClick(box, Qt::Key_Escape);
      else
        for (QAbstractButton* b : box->buttons())
          if (b->text() == answer)
            b->click();
    });
    m_export->Save(5, m_grid);
    QVERIFY(question.Fired());
    QCOMPARE(caption, QStringLiteral("Confirmar"));
    QCOMPARE(text, QStringLiteral("El archivo existe, sobreescribo?"));
    QCOMPARE(icon, QMessageBox::Question);
    for (const char* b : {"&Sí|", "&No|", "Cancelar|"})
      QVERIFY2(buttons.contains(QString::fromUtf8(b)), qPrintable(buttons));
    QCOMPARE(ReadAll(path), replaced ? QByteArray::fromStdString(dz::DataFileContents(5, m_grid)) : old);
  }

  void noModelIsRefusedBeforeAnyDialog()
  {
    const QString path = m_tmp->filePath(QStringLiteral("keep.txt"));
    WriteRaw(path, "keep\r\n");
    OnModal<QFileDialog> dialog([](QFileDialog* d) { d->reject(); });
    for (int model : {-1, 9}) {
      try {
        m_export->Save(model, m_grid);
        QFAIL("a save without a model went through");
      } catch (const std::runtime_error& e) {
        QCOMPARE(QString::fromUtf8(e.what()), QString::fromUtf8(dz::kNoModelSelectedMessage));
      }
    }
    QTest::qWait(50);
    QVERIFY(!dialog.Fired());
    QCOMPARE(ReadAll(path), QByteArray("keep\r\n"));
    QCOMPARE(QDir(m_tmp->path()).entryList(QDir::Files), QStringList{QStringLiteral("keep.txt")});
  }

  void errnoTexts()
  {
    QCOMPARE(dz::FileErrorMessage(EACCES), std::string("File access denied"));
    QCOMPARE(dz::FileErrorMessage(EPERM), std::string("File access denied"));
    QCOMPARE(dz::FileErrorMessage(EROFS), std::string("File access denied"));
    QCOMPARE(dz::FileErrorMessage(ENOSPC), std::string("Disk full"));
    QCOMPARE(dz::FileErrorMessage(EDQUOT), std::string("Disk full"));
    QCOMPARE(dz::FileErrorMessage(EIO), std::string("I/O error 5"));
    QCOMPARE(dz::FileErrorMessage(ENAMETOOLONG), "I/O error " + std::to_string(ENAMETOOLONG));
  }

  void diskFullKeepsOldFileAndLeavesNoPart()
  {
    const QString at = m_tmp->filePath(QStringLiteral("small"));
    QVERIFY(QDir().mkpath(at));
    TmpMount fs(at, "size=64k");
    if (!fs.Ok())
      QSKIP(qPrintable(fs.Why()));
    const QString path = at + QStringLiteral("/data.txt");
    WriteRaw(path, "old\r\n");
    // Fill the file system so that a seven-channel file cannot fit.
    QFile filler(at + QStringLiteral("/filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    filler.close();
    QVERIFY(QFile::resize(filler.fileName(), filler.size() - 8192)); // a little room, not enough

    dztest::FillGrid(m_grid, 7, 1170);
    std::unique_ptr<OnModal<QFileDialog>> name(TypeName(path));
    OnModal<QMessageBox> yes([](QMessageBox* box) { box->defaultButton()->click(); });
    try {
      m_export->Save(2, m_grid);
      QFAIL("a full disk was reported as success");
    } catch (const dz::FileError& e) {
      QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("Disk full"));
    }
    QVERIFY(yes.Fired());
    QCOMPARE(ReadAll(path), QByteArray("old\r\n"));
    QCOMPARE(QDir(at).entryList(QDir::Files | QDir::Hidden), (QStringList{QStringLiteral("data.txt"), QStringLiteral("filler")}));
  }

  void devFullIsDiskFull()
  {
    try {
      dz::WriteFileAtomically(QStringLiteral("/dev/full"), dz::DataFileContents(0, m_grid));
      QFAIL("/dev/full accepted the file");
    } catch (const dz::FileError& e) {
      QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("Disk full"));
      QCOMPARE(e.Code(), ENOSPC);
    }
    // Still the device: it was written in place, never replaced by a file.
    QVERIFY(!QFileInfo(QStringLiteral("/dev/full")).isFile());
  }

  void readOnlyFileSystemIsAccessDenied()
  {
    const QString at = m_tmp->filePath(QStringLiteral("ro"));
    QVERIFY(QDir().mkpath(at));
    TmpMount fs(at, "size=64k");
    if (!fs.Ok())
      QSKIP(qPrintable(fs.Why()));
    const QString path = at + QStringLiteral("/data.txt");
    WriteRaw(path, "old\r\n");
    QVERIFY(fs.RemountReadOnly());
    for (const QString& target : {path, at + QStringLiteral("/new.txt")}) {
      try {
        dz::WriteFileAtomically(target, "new\r\n");
        QFAIL("a read-only file system took the file");
      } catch (const dz::FileError& e) {
        QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("File access denied"));
        QCOMPARE(e.Code(), EROFS);
      }
    }
    QCOMPARE(ReadAll(path), QByteArray("old\r\n"));
    QCOMPARE(QDir(at).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("data.txt")});
  }

  void anotherUserWritesWhatTheFoldersAllow()
  {
    // Root writes anywhere, so the writes run in a child process of this
    // test as the unprivileged user "nobody".
    QDir base(m_tmp->path());
    QVERIFY(QFile::setPermissions(m_tmp->path(), kRwxR_x));
    QVERIFY(base.mkdir(QStringLiteral("closed")));
    QVERIFY(base.mkdir(QStringLiteral("open")));
    const QString closedDir = base.filePath(QStringLiteral("closed"));
    const QString openDir = base.filePath(QStringLiteral("open"));
    QVERIFY(QFile::setPermissions(closedDir, kRwxR_x));
    QVERIFY(QFile::setPermissions(openDir, kRwxR_x | QFileDevice::WriteOther));
    const QString self = ChildCopy();
    if (self.isEmpty())
      QSKIP("user nobody cannot reach the temporary folder here");

    const QStringList refused{closedDir + QStringLiteral("/data.txt"), closedDir + QStringLiteral("/new.txt"),
                              openDir + QStringLiteral("/data.txt")};
    WriteRaw(refused[0], "old\r\n");
    WriteRaw(refused[2], "old\r\n");
    QVERIFY(QFile::setPermissions(refused[2], QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
    for (const QString& target : refused)
      QCOMPARE(WriteAsNobody(self, target), QByteArray("File access denied"));
    QCOMPARE(ReadAll(refused[0]), QByteArray("old\r\n"));
    QVERIFY(!QFile::exists(refused[1]));
    QCOMPARE(ReadAll(refused[2]), QByteArray("old\r\n"));
    QCOMPARE(QDir(openDir).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("data.txt")});

    // A file the user may write in a folder the user may not: no new file
    // can replace it, so it is written over, longer or shorter than before.
    const QString shared = closedDir + QStringLiteral("/shared.txt");
    WriteRaw(shared, QByteArray("old\r\n").repeated(100));
    QVERIFY(QFile::setPermissions(shared, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther));
    QCOMPARE(WriteAsNobody(self, shared), QByteArray("written"));
    QCOMPARE(ReadAll(shared), QByteArray("new\r\n"));
    QCOMPARE(WriteAsNobody(self, shared, 3000), QByteArray("written"));
    QCOMPARE(ReadAll(shared), QByteArray("new\r\n").repeated(600));
    QCOMPARE(QFileInfo(shared).ownerId(), 0u); // the same file, not a new one
    QCOMPARE(QDir(closedDir).entryList(QDir::Files | QDir::Hidden),
             (QStringList{QStringLiteral("data.txt"), QStringLiteral("shared.txt")}));
  }

  void writtenOverInPlaceAFullDiskKeepsTheOldFile()
  {
    const QString at = m_tmp->filePath(QStringLiteral("small"));
    QVERIFY(QDir().mkpath(at));
    QVERIFY(QFile::setPermissions(m_tmp->path(), kRwxR_x));
    TmpMount fs(at, "size=64k,mode=0755");
    if (!fs.Ok())
      QSKIP(qPrintable(fs.Why()));
    const QString self = ChildCopy();
    if (self.isEmpty())
      QSKIP("user nobody cannot reach the temporary folder here");
    const QString shared = at + QStringLiteral("/shared.txt");
    const QByteArray old = QByteArray("old\r\n").repeated(1000);
    WriteRaw(shared, old);
    QVERIFY(QFile::setPermissions(shared, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther));
    QFile filler(at + QStringLiteral("/filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    filler.close();
    QCOMPARE(WriteAsNobody(self, shared, 40000), QByteArray("Disk full"));
    QCOMPARE(ReadAll(shared), old);
  }

private:
  static constexpr QFileDevice::Permissions kRwxR_x = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                       QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                       QFileDevice::ExeOther;

  // A copy of this program where "nobody" may run it, wherever the build
  // lies; empty when nobody cannot run it there.
  QString ChildCopy()
  {
    const QString self = m_tmp->filePath(QStringLiteral("writer"));
    if (!QFile::exists(self) && (!QFile::copy(QCoreApplication::applicationFilePath(), self) ||
                                 !QFile::setPermissions(self, kRwxR_x)))
      return {};
    if (QProcess::execute(QStringLiteral("setpriv"), {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                                      QStringLiteral("--clear-groups"), QStringLiteral("test"),
                                                      QStringLiteral("-x"), self}) != 0)
      return {};
    return self;
  }

  // One write of the export as user nobody: its outcome ("written" or the
  // error's text).
  static QByteArray WriteAsNobody(const QString& self, const QString& target, int bytes = 0)
  {
    int rc = -1;
    QStringList args{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                     self, QStringLiteral("--write-as-child"), target};
    if (bytes > 0)
      args << QString::number(bytes);
    const QByteArray out = dztest::Run(QStringLiteral("setpriv"), args, &rc);
    return rc == 0 ? out.trimmed() : QByteArray("exit ") + QByteArray::number(rc);
  }

  std::unique_ptr<QTemporaryDir> m_tmp;
  dz::CellGrid m_grid;
  std::unique_ptr<dz::DataFileExport> m_export;
};

int main(int argc, char** argv)
{
  // Child mode of the tests as another user: one write of "new\r\n" (repeated
  // to about the size given), its outcome on stdout.
  if ((argc == 3 || argc == 4) && std::string(argv[1]) == "--write-as-child") {
    std::string contents = "new\r\n";
    while (argc == 4 && contents.size() < std::stoul(argv[3]))
      contents += "new\r\n";
    try {
      dz::WriteFileAtomically(QString::fromLocal8Bit(argv[2]), contents);
      std::puts("written");
    } catch (const dz::FileError& e) {
      std::puts(e.what());
    }
    return 0;
  }
  QApplication app(argc, argv);
  TestExport test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_export.moc"
