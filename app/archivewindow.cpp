#include "archivewindow.h"

#include "access.h"
#include "archivetasks.h"
#include "csv.h"
#include "datafileexport.h"
#include "models.h"
#include "streamconvert.h"
#include "timing.h"
#include "uikit.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <stdexcept>

namespace dz {

namespace {

QString Q(const std::string& s)
{
  return QString::fromStdString(s);
}

QString EndText(EndReason reason)
{
  switch (reason) {
  case EndReason::Running: return QStringLiteral("en curso");
  case EndReason::Closed: return QStringLiteral("cerrada por el usuario");
  case EndReason::FullCard: return QStringLiteral("tarjeta completa");
  case EndReason::Idle: return QStringLiteral("sin más datos");
  case EndReason::LineLost: return QStringLiteral("línea perdida");
  case EndReason::Quit: return QStringLiteral("programa cerrado");
  case EndReason::Interrupted: return QStringLiteral("interrumpida");
  case EndReason::Erase: return QStringLiteral("borrado de tarjeta");
  case EndReason::Incomplete: return QStringLiteral("incompleta: faltan datos");
  case EndReason::NotACard: return QStringLiteral("no es una tarjeta");
  case EndReason::OutputFailed: return QStringLiteral("falló su archivo crudo");
  case EndReason::Erased: return QStringLiteral("borrada");
  }
  return {};
}

// "01/05/2024 08:00:00" from the archive's ISO 8601, in the time it was recorded in.
QString LocalText(const std::string& iso)
{
  const QDateTime t = QDateTime::fromString(Q(iso), Qt::ISODate);
  return t.isValid() ? t.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) : Q(iso);
}

// What the window reads of one download at most: far more than any card,
// little enough that no damaged or tampered row can exhaust memory.
constexpr std::int64_t kMostBytesRead = 64 << 20;

// Reading one entry with its bytes, on the worker thread.
std::function<std::optional<Archive::Loaded>(const Archive::GiveUp&)> ReadEntry(std::int64_t id)
{
  return [path = Archive::DefaultPath(), id](const Archive::GiveUp& giveUp) {
    std::optional<Archive::Loaded> loaded;
    std::vector<ArchiveNotice> notices;
    UseArchive(path, notices, [&](Archive* archive) {
      loaded = archive ? archive->Load(id, kMostBytesRead) : std::nullopt;
    }, giveUp);
    return loaded;
  };
}

// What the archive did by itself, for the status line.
QString NoticesText(const std::vector<ArchiveNotice>& notices)
{
  QString text;
  for (const ArchiveNotice& n : notices)
    if (n.What == ArchiveNotice::MovedAside)
      text += QStringLiteral(" El archivo de descargas estaba dañado o no era un archivo de descargas (%1): se guardó "
                             "aparte como %2; la próxima descarga empieza uno nuevo.")
                .arg(Q(n.Detail), Q(n.MovedTo));
  return text;
}

} // namespace

// The archive's entries as the list shows them.
class ArchiveListModel : public QAbstractTableModel {
public:
  using QAbstractTableModel::QAbstractTableModel;

  void Set(std::vector<ArchivedDownload> entries)
  {
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
  }
  const ArchivedDownload* At(int row) const
  {
    return row >= 0 && row < static_cast<int>(m_entries.size()) ? &m_entries[static_cast<std::size_t>(row)] : nullptr;
  }
  // An entry as it now stands in the archive.
  void Update(const ArchivedDownload& d)
  {
    for (ArchivedDownload& e : m_entries)
      if (e.Id == d.Id)
        e = d;
  }

  int rowCount(const QModelIndex& parent = {}) const override
  {
    return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 6; }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override
  {
    static const char* const kTitles[] = {"Fecha y hora", "Modelo", "Líneas", "Bytes", "Puerto", "Fin"};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 6)
      return QString::fromUtf8(kTitles[section]);
    return {};
  }

  QVariant data(const QModelIndex& index, int role) const override
  {
    const ArchivedDownload* d = At(index.row());
    if (!d)
      return {};
    if (role == Qt::TextAlignmentRole)
      return (index.column() == 2 || index.column() == 3) ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                                          : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole)
      return QStringLiteral("%1, %2 baudios, %3 bits de datos, parada %4, paridad %5, control de flujo %6\n%7%8")
        .arg(Q(d->PortById.empty() ? d->Port : d->PortById))
        .arg(d->Line.Baud)
        .arg(d->Line.DataBits)
        .arg(Q(d->Line.StopBits), Q(d->Line.Parity), Q(d->Line.FlowControl))
        .arg(d->From == Source::Window ? QStringLiteral("Desde la ventana") : QStringLiteral("Desde dedizivi-cli"))
        .arg(d->Ended.empty() ? QString() : QStringLiteral(", terminó el %1").arg(LocalText(d->Ended)));
    if (role != Qt::DisplayRole)
      return {};
    switch (index.column()) {
    case 0: return LocalText(d->Started.Iso);
    case 1: return d->Erase ? QString() : d->Model < 0 ? QStringLiteral("sin modelo") : Q(d->ModelText);
    case 2: return d->Erase ? QString() : QString::number(d->Lines);
    case 3: return d->Erase ? QString() : QString::number(d->Bytes);
    case 4: return Q(d->Port);
    case 5: return EndText(d->End);
    default: return {};
    }
  }

private:
  std::vector<ArchivedDownload> m_entries;
};

ArchiveWindow::ArchiveWindow(ArchiveHost& host) : QDialog(host.HostWindow(), Qt::Window), m_host(host)
{
  m_tasks = new ArchiveTasks(this);
  m_tasks->OnAnswer = [this] { SelectionChanged(); };
  setObjectName(QStringLiteral("DescargasAnteriores"));
  setWindowTitle(QStringLiteral("Descargas anteriores"));
  setAutoFillBackground(true);
  QPalette bg = palette();
  bg.setColor(QPalette::Window, QColor(192, 192, 192)); // silver, as the main window
  setPalette(bg);
  setFont(AppFont(QStringLiteral("MS Sans Serif"), 13));
  resize(1180, 640);

  m_entries = new ArchiveListModel(this);
  m_list = new QTableView(this);
  m_list->setObjectName(QStringLiteral("Lista"));
  m_list->setModel(m_entries);
  m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_list->setSelectionMode(QAbstractItemView::SingleSelection);
  m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_list->setAlternatingRowColors(true);
  m_list->verticalHeader()->hide();
  m_list->verticalHeader()->setDefaultSectionSize(20);
  // The model's name takes what room there is; the rest keep their width.
  m_list->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  m_list->setFont(AppFont(QStringLiteral("Arial"), 13));
  for (const auto [column, width] : {std::pair{0, 140}, {2, 55}, {3, 65}, {4, 120}, {5, 160}})
    m_list->setColumnWidth(column, width);
  m_list->setAccessibleName(QStringLiteral("Descargas"));
  LetTabLeave(m_list);
  connect(m_list, &QTableView::doubleClicked, this, [this] { OpenClick(); });
  connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { SelectionChanged(); });

  QFont bold = AppFont(QStringLiteral("MS Sans Serif"), 13, true);
  QPalette blue = palette();
  blue.setColor(QPalette::WindowText, Qt::blue);
  blue.setColor(QPalette::Text, Qt::blue);
  auto caption = [&](const QString& text) {
    auto* label = new QLabel(text, this);
    label->setFont(bold);
    return label;
  };

  m_model = new QComboBox(this);
  m_model->setObjectName(QStringLiteral("Modelo"));
  m_model->setFont(bold);
  m_model->setPalette(blue);
  m_model->addItem(QStringLiteral("el de la descarga"));
  for (const ModelInfo& m : AllModels())
    m_model->addItem(QString::fromUtf8(m.SelectorText.data(), static_cast<qsizetype>(m.SelectorText.size())));

  m_preview = new ArchivePreview(this);
  m_preview->Saved = [this](const ArchivedDownload& d) { m_entries->Update(d); };
  connect(m_model, &QComboBox::currentIndexChanged, this, [this] { SelectionChanged(); });
  m_decimal = new QComboBox(this);
  m_decimal->setObjectName(QStringLiteral("Decimal"));
  m_decimal->setAccessibleName(QStringLiteral("Decimal del CSV"));
  m_decimal->addItem(QStringLiteral("coma, campos con ;"), static_cast<int>(DecimalStyle::Comma));
  m_decimal->addItem(QStringLiteral("punto, campos con ,"), static_cast<int>(DecimalStyle::Point));
  QLabel* decimalLabel = caption(QStringLiteral("Decimal del CSV"));
  decimalLabel->setBuddy(m_decimal);

  auto button = [&](const QString& text, const char* name, auto handler) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QString::fromLatin1(name));
    b->setFont(AppFont(QStringLiteral("Arial"), 14, true));
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, handler);
    return b;
  };
  m_open = button(QStringLiteral("Abrir"), "Abrir", [this] { OpenClick(); });
  m_open->setIcon(QIcon(QStringLiteral(":/art/open.png")));
  m_open->setDefault(true);
  m_csv = button(QStringLiteral("Exportar CSV"), "ExportarCSV", [this] { ExportCsvClick(); });
  m_raw = button(QStringLiteral("Guardar crudo"), "GuardarCrudo", [this] { SaveRawClick(); });
  m_delete = button(QStringLiteral("Eliminar"), "Eliminar", [this] { DeleteClick(); });
  QPalette red = m_delete->palette();
  red.setColor(QPalette::ButtonText, Qt::red);
  m_delete->setPalette(red);
  QPushButton* close = button(QStringLiteral("Cerrar"), "Cerrar", [this] { hide(); });

  m_status = new QLabel(this);
  m_status->setObjectName(QStringLiteral("Estado"));
  m_status->setWordWrap(true);
  m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* modelRow = new QHBoxLayout;
  QLabel* modelLabel = caption(QStringLiteral("Convertir con el modelo"));
  modelLabel->setBuddy(m_model);
  modelRow->addWidget(modelLabel);
  modelRow->addWidget(m_model, 1);
  modelRow->addSpacing(8);
  modelRow->addWidget(decimalLabel);
  modelRow->addWidget(m_decimal);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {m_open, m_csv, m_raw, m_delete})
    buttons->addWidget(b);
  buttons->addStretch();
  buttons->addWidget(close);
  // The list, and beside it the selected download dated and drawn.
  auto* split = new QSplitter(this);
  split->addWidget(m_list);
  split->addWidget(m_preview);
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 1);
  split->setChildrenCollapsible(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(split, 1);
  layout->addWidget(m_status);
  layout->addLayout(modelRow);
  layout->addLayout(buttons);
}

void ArchiveWindow::showEvent(QShowEvent* e)
{
  QDialog::showEvent(e);
  Refresh();
}

void ArchiveWindow::Refresh(int row)
{
  const std::string path = Archive::DefaultPath();
  struct Listed {
    std::vector<ArchivedDownload> Entries;
    std::vector<ArchiveNotice> Notices;
    std::string Error;
  };
  m_previewKey.reset(); // drawn again from what the archive holds now
  if (!m_tasks->Acting())
    m_status->setText(QStringLiteral("Leyendo el archivo de descargas…"));
  m_tasks->Run<Listed>(
    [path](const Archive::GiveUp& giveUp) {
      Listed listed;
      try {
        UseArchive(path, listed.Notices, [&listed](Archive* archive) {
          listed.Entries = archive ? archive->List() : std::vector<ArchivedDownload>();
        }, giveUp);
      } catch (const ArchiveError& e) {
        listed.Error = e.what();
      }
      return listed;
    },
    [this, path, row](Listed listed) {
      const std::size_t count = listed.Entries.size();
      m_entries->Set(std::move(listed.Entries));
      QString status = listed.Error.empty()
                         ? QStringLiteral("%1 en %2").arg(count == 1 ? QStringLiteral("1 entrada")
                                                                      : QStringLiteral("%1 entradas").arg(count),
                                                           Q(path))
                         : QStringLiteral("No se puede leer el archivo de descargas: %1").arg(Q(listed.Error));
      m_status->setText(status + NoticesText(listed.Notices));
      if (m_entries->rowCount() > 0)
        m_list->selectRow(std::clamp(row, 0, m_entries->rowCount() - 1));
      SelectionChanged();
      m_list->setFocus();
    });
  SelectionChanged();
}

bool ArchiveWindow::Busy() const
{
  return m_tasks->Busy();
}

const ArchivedDownload* ArchiveWindow::Selected() const
{
  return m_entries->At(m_list->currentIndex().row());
}

void ArchiveWindow::SelectionChanged()
{
  const ArchivedDownload* d = Selected();
  const bool idle = !m_tasks->Acting();
  // An entry with no bytes holds nothing to open or export.
  const bool data = idle && d && !d->Erase && d->Bytes > 0;
  for (QPushButton* b : {m_open, m_csv, m_raw})
    b->setEnabled(data);
  m_delete->setEnabled(idle && d != nullptr);
  if (!d || d->Erase || d->Bytes == 0) {
    m_previewKey.reset();
    m_preview->ShowNothing();
    return;
  }
  const int model = m_model->currentIndex() > 0 ? m_model->currentIndex() - 1 : d->Model;
  if (!FindModel(model)) {
    m_preview->ShowNothing(QStringLiteral("Esta descarga no tiene modelo: elija en \"Convertir con el modelo\" el del "
                                          "Vexa-Logger para verla."));
    return;
  }
  ShowPreview(*d, model);
}

void ArchiveWindow::ShowPreview(const ArchivedDownload& listed, int model)
{
  // Drawn once per download and model: the selection is looked at again at
  // every answer of the archive.
  const std::pair<std::int64_t, int> key{listed.Id, model};
  if (m_previewKey == key)
    return;
  m_previewKey = key;
  const std::string constant = listed.Constant ? *listed.Constant : m_host.TypedConstant();
  const std::string offset = listed.Offset ? *listed.Offset : m_host.TypedOffset();
  const std::int64_t id = listed.Id;
  m_tasks->Run<std::optional<Archive::Loaded>>(
    ReadEntry(id),
    [this, key, model, constant, offset](std::optional<Archive::Loaded> loaded) {
      if (m_previewKey != key)
        return; // another download or model was chosen meanwhile
      if (!loaded || loaded->TooLarge) {
        m_preview->ShowNothing(QStringLiteral("Esta descarga no se puede leer del archivo de descargas."));
        return;
      }
      const DownloadConversion dc =
        ConvertDownload(model, constant, offset, loaded->Raw,
                        EndedCut(loaded->Entry) ? LastLine::LeaveOutCut : LastLine::AsItStands);
      m_preview->ShowDownload(loaded->Entry, model, dc.Result);
    },
    false);
}

int ArchiveWindow::ChosenModel(const ArchivedDownload& d) const
{
  const int model = m_model->currentIndex() > 0 ? m_model->currentIndex() - 1 : d.Model;
  if (!FindModel(model))
    throw std::runtime_error("Esta descarga no tiene modelo: elija en \"Convertir con el modelo\" el del Vexa-Logger");
  return model;
}

void ArchiveWindow::Stale(const ArchivedDownload& listed, bool gone)
{
  const int row = m_list->currentIndex().row();
  Refresh(row);
  throw std::runtime_error(
    gone ? QStringLiteral("La descarga del %1 ya no está en el archivo de descargas: otro programa la eliminó. La lista "
                          "se actualizó")
             .arg(LocalText(listed.Started.Iso))
             .toStdString()
         : QStringLiteral("La descarga del %1 cambió en el archivo de descargas desde que se mostró la lista. La lista "
                          "se actualizó: vuelva a elegirla")
             .arg(LocalText(listed.Started.Iso))
             .toStdString());
}

void ArchiveWindow::Load(const ArchivedDownload& listed, std::function<void(Archive::Loaded)> use)
{
  const std::int64_t id = listed.Id;
  m_tasks->Run<std::optional<Archive::Loaded>>(
    ReadEntry(id),
    [this, listed, use = std::move(use)](std::optional<Archive::Loaded> loaded) {
      if (!loaded || !SameEntry(listed, loaded->Entry))
        Stale(listed, !loaded);
      if (loaded->TooLarge)
        throw std::runtime_error(QStringLiteral("La descarga del %1 guarda %2 bytes, más de los que caben en ninguna "
                                                "tarjeta: el archivo de descargas está dañado")
                                   .arg(LocalText(listed.Started.Iso))
                                   .arg(loaded->StoredBytes)
                                   .toStdString());
      if (loaded->Raw.empty())
        throw std::runtime_error(QStringLiteral("La descarga del %1 no tiene datos en el archivo de descargas")
                                   .arg(LocalText(listed.Started.Iso))
                                   .toStdString());
      use(std::move(*loaded));
    });
  SelectionChanged();
}

void ArchiveWindow::OpenClick()
{
  const ArchivedDownload* d = Selected();
  if (!d || d->Erase || d->Bytes == 0 || m_tasks->Acting())
    return;
  if (m_host.DownloadOpen())
    throw std::runtime_error("Cierre la descarga en curso antes de abrir una anterior");
  const int model = ChosenModel(*d);
  Load(*d, [this, model](Archive::Loaded loaded) {
    // A download may have been opened meanwhile.
    if (m_host.DownloadOpen())
      throw std::runtime_error("Cierre la descarga en curso antes de abrir una anterior");
    const ArchivedDownload& e = loaded.Entry;
    const ReopenedDownload reopened{std::move(loaded.Raw), model, e.Constant, e.Offset};
    // The main window first: hiding this one before would hand the focus to
    // whichever window the system picks.
    m_host.Reopen(reopened);
    hide();
  });
}

void ArchiveWindow::ExportCsvClick()
{
  const ArchivedDownload* d = Selected();
  if (!d || d->Erase || d->Bytes == 0 || m_tasks->Acting())
    return;
  const int model = ChosenModel(*d);
  // The timing shown dates the CSV, and only the recorded samples go in.
  CsvOptions csv;
  csv.Times = m_preview->Timing();
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Exportar CSV"),
                                                    QDir(SaveFolder()).filePath(QStringLiteral("descarga-%1.csv").arg(d->Id)),
                                                    QStringLiteral("CSV (*.csv);;Todos los archivos (*)"), nullptr,
                                                    QFileDialog::DontUseNativeDialog);
  if (path.isEmpty())
    return;
  RememberSaveFolder(path);
  d = Selected(); // the list may have been drawn again meanwhile
  if (!d)
    return;

  // The CSV of 'dedizivi-cli archive export --csv', from the same code.
  csv.Decimal = static_cast<DecimalStyle>(m_decimal->currentData().toInt());
  const std::string constant = d->Constant ? *d->Constant : m_host.TypedConstant();
  const std::string offset = d->Offset ? *d->Offset : m_host.TypedOffset();
  Load(*d, [this, model, path, csv, constant, offset](Archive::Loaded loaded) {
    // As the download was received, as 'dedizivi-cli archive export' does:
    // the samples that arrived whole; dated, only those recorded.
    const DownloadConversion dc =
      ConvertDownload(model, constant, offset, loaded.Raw,
                      EndedCut(loaded.Entry) ? LastLine::LeaveOutCut : LastLine::AsItStands);
    const Converted& c = dc.Result;
    if (dc.Failed())
      throw std::runtime_error(c.Error->what());
    if (c.Rows == 0)
      throw std::runtime_error(QStringLiteral("Ninguna muestra de esta descarga llegó entera (%1): no se escribió nada")
                                 .arg(QString::fromUtf8(c.Error ? c.Error->what() : ""))
                                 .toStdString());
    const ModelInfo& info = *FindModel(model);
    const int rows = csv.Times ? RecordedSamples(info, c.Rows, *csv.Times, loaded.Entry.Started.Ms) : c.Rows;
    WriteFileAtomically(path, CsvContents(info, c.Grid, rows, csv));
    QString said = dc.Short() ? QStringLiteral("Se exportaron %1 de %2 muestras a %3: la descarga terminó antes (%4).")
                                  .arg(c.Rows)
                                  .arg(dc.Samples)
                                  .arg(path, QString::fromUtf8(c.Error ? c.Error->what() : ""))
                              : QStringLiteral("CSV guardado en %1: %2 filas.").arg(path).arg(rows);
    if (rows < c.Rows)
      said += QStringLiteral(" %1 filas no registradas quedaron fuera.").arg(c.Rows - rows);
    else if (!csv.Times)
      said += QStringLiteral(" Sin fecha: sin columna de hora.");
    m_status->setText(said);
  });
}

void ArchiveWindow::SaveRawClick()
{
  const ArchivedDownload* d = Selected();
  if (!d || d->Erase || d->Bytes == 0 || m_tasks->Acting())
    return;
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Guardar crudo"),
                                                    QDir(SaveFolder()).filePath(QStringLiteral("descarga-%1.txt").arg(d->Id)),
                                                    QStringLiteral("Todos los archivos (*)"), nullptr,
                                                    QFileDialog::DontUseNativeDialog);
  d = Selected();
  if (path.isEmpty() || !d)
    return;
  RememberSaveFolder(path);
  Load(*d, [this, path](Archive::Loaded loaded) {
    WriteFileAtomically(path, loaded.Raw);
    m_status->setText(QStringLiteral("Se guardaron %1 bytes en %2").arg(loaded.Raw.size()).arg(path));
  });
}

void ArchiveWindow::DeleteClick()
{
  const ArchivedDownload* d = Selected();
  if (!d || m_tasks->Acting())
    return;
  if (d->End == EndReason::Running)
    throw std::runtime_error("Esta descarga sigue en curso: no se puede eliminar");
  QMessageBox box(QMessageBox::Question, windowTitle(),
                  d->Erase ? QStringLiteral("¿Eliminar del archivo el borrado de tarjeta del %1?").arg(LocalText(d->Started.Iso))
                           : QStringLiteral("¿Eliminar del archivo la descarga del %1 (%2 líneas)? No se puede deshacer.")
                               .arg(LocalText(d->Started.Iso))
                               .arg(d->Lines),
                  QMessageBox::NoButton, this);
  box.setObjectName(QStringLiteral("EliminarPregunta"));
  DescribeMessageBox(box);
  QPushButton* yes = box.addButton(QStringLiteral("&Sí"), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
  box.setDefaultButton(no);
  box.setEscapeButton(no);
  box.exec();
  d = Selected();
  if (box.clickedButton() != yes || !d)
    return;
  const int row = m_list->currentIndex().row();
  const ArchivedDownload listed = *d;
  const std::string path = Archive::DefaultPath();
  m_tasks->Run<Archive::DeleteResult>(
    [path, listed](const Archive::GiveUp& giveUp) {
      Archive::DeleteResult result = Archive::DeleteResult::Gone;
      std::vector<ArchiveNotice> notices;
      UseArchive(path, notices, [&](Archive* archive) {
        result = archive ? archive->DeleteAsListed(listed) : Archive::DeleteResult::Gone;
      }, giveUp);
      return result;
    },
    [this, listed, row](Archive::DeleteResult result) {
      if (result != Archive::DeleteResult::Deleted)
        Stale(listed, result == Archive::DeleteResult::Gone);
      Refresh(row);
    });
  SelectionChanged();
}

} // namespace dz
