#include "archivewindow.h"

#include "access.h"
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
  }
  return {};
}

// "01/05/2024 08:00:00" from the archive's ISO 8601, in the time it was recorded in.
QString LocalText(const std::string& iso)
{
  const QDateTime t = QDateTime::fromString(Q(iso), Qt::ISODate);
  return t.isValid() ? t.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) : Q(iso);
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

void ArchiveWindow::Refresh()
{
  const std::string path = Archive::DefaultPath();
  std::vector<ArchivedDownload> entries;
  QString status;
  try {
    if (const auto archive = Archive::OpenExisting(path))
      entries = archive->List();
    status = QStringLiteral("%1 en %2").arg(entries.size() == 1 ? QStringLiteral("1 entrada")
                                                                 : QStringLiteral("%1 entradas").arg(entries.size()),
                                            Q(path));
  } catch (const ArchiveError& e) {
    status = QStringLiteral("No se puede leer el archivo de descargas: %1").arg(Q(e.what()));
  }
  m_entries->Set(std::move(entries));
  m_status->setText(status);
  if (m_entries->rowCount() > 0)
    m_list->selectRow(0);
  SelectionChanged();
  m_list->setFocus();
}

const ArchivedDownload* ArchiveWindow::Selected() const
{
  return m_entries->At(m_list->currentIndex().row());
}

void ArchiveWindow::SelectionChanged()
{
  const ArchivedDownload* d = Selected();
  const bool data = d && !d->Erase;
  for (QPushButton* b : {m_open, m_csv, m_raw})
    b->setEnabled(data);
  m_delete->setEnabled(d != nullptr);
  if (!data) {
    m_preview->ShowNothing();
    return;
  }
  const int model = m_model->currentIndex() > 0 ? m_model->currentIndex() - 1 : d->Model;
  if (!FindModel(model)) {
    m_preview->ShowNothing(QStringLiteral("Esta descarga no tiene modelo: elija en \"Convertir con el modelo\" el del "
                                          "Vexa-Logger para verla."));
    return;
  }
  m_preview->ShowDownload(*d, model, ConvertEntry(*d, model));
}

Converted ArchiveWindow::ConvertEntry(const ArchivedDownload& d, int model) const
{
  return ConvertStream(model, d.Constant ? *d.Constant : m_host.TypedConstant(),
                       d.Offset ? *d.Offset : m_host.TypedOffset(), RawOf(d),
                       EndedCut(d) ? LastLine::LeaveOutCut : LastLine::AsItStands);
}

int ArchiveWindow::ChosenModel(const ArchivedDownload& d) const
{
  const int model = m_model->currentIndex() > 0 ? m_model->currentIndex() - 1 : d.Model;
  if (!FindModel(model))
    throw std::runtime_error("Esta descarga no tiene modelo: elija en \"Convertir con el modelo\" el del Vexa-Logger");
  return model;
}

std::string ArchiveWindow::RawOf(const ArchivedDownload& d) const
{
  const auto archive = Archive::OpenExisting(Archive::DefaultPath());
  if (!archive)
    throw std::runtime_error("El archivo de descargas ya no existe");
  return archive->Raw(d.Id);
}

void ArchiveWindow::OpenClick()
{
  const ArchivedDownload* d = Selected();
  if (!d || d->Erase)
    return;
  if (m_host.DownloadOpen())
    throw std::runtime_error("Cierre la descarga en curso antes de abrir una anterior");
  ReopenedDownload reopened{RawOf(*d), ChosenModel(*d), d->Constant, d->Offset};
  hide();
  // After the main window's activation, which would blank what opening shows.
  WhenActive(m_host.HostWindow(), [this, reopened] { m_host.Reopen(reopened); });
}

void ArchiveWindow::ExportCsvClick()
{
  const ArchivedDownload* d = Selected();
  if (!d || d->Erase)
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

  // The CSV of 'dedizivi-cli archive export --csv', from the same code.
  csv.Decimal = static_cast<DecimalStyle>(m_decimal->currentData().toInt());
  const Converted c = ConvertEntry(*d, model);
  if (c.Error)
    throw std::runtime_error(c.Error->what());
  const int rows = csv.Times ? RecordedSamples(*FindModel(model), c.Rows, *csv.Times, d->Started.Ms) : c.Rows;
  WriteFileAtomically(path, CsvContents(*FindModel(model), c.Grid, rows, csv));
  QString said = QStringLiteral("CSV guardado en %1: %2 filas.").arg(path).arg(rows);
  if (rows < c.Rows)
    said += QStringLiteral(" %1 filas no registradas quedaron fuera.").arg(c.Rows - rows);
  else if (!csv.Times)
    said += QStringLiteral(" Sin fecha: sin columna de hora.");
  m_status->setText(said);
}

void ArchiveWindow::SaveRawClick()
{
  const ArchivedDownload* d = Selected();
  if (!d || d->Erase)
    return;
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Guardar crudo"),
                                                    QDir(SaveFolder()).filePath(QStringLiteral("descarga-%1.txt").arg(d->Id)),
                                                    QStringLiteral("Todos los archivos (*)"), nullptr,
                                                    QFileDialog::DontUseNativeDialog);
  if (path.isEmpty())
    return;
  RememberSaveFolder(path);
  WriteFileAtomically(path, RawOf(*d));
}

void ArchiveWindow::DeleteClick()
{
  const ArchivedDownload* d = Selected();
  if (!d)
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
  if (box.clickedButton() != yes)
    return;
  const int row = m_list->currentIndex().row();
  {
    const auto archive = Archive::OpenExisting(Archive::DefaultPath());
    if (archive)
      archive->Delete(d->Id);
  }
  Refresh();
  m_list->selectRow(std::min(row, m_entries->rowCount() - 1));
}

} // namespace dz
