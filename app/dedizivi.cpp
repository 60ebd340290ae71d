#include "dedizivi.h"

#include "access.h"
#include "comport.h"
#include "datafileexport.h"
#include "errorbox.h"
#include "forms.h"
#include "gridmodel.h"
#include "listing.h"
#include "models.h"
#include "comsetup.h"
#include "uikit.h"
#include "windowrecording.h"

#include "archivewindow.h"

#include "chartdialogs.h"
#include "chartform.h"
#include "erase.h"
#include "docwindows.h"
#include "form13.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTableView>

#include <cerrno>

namespace {

const char* const kWaitMessage = "Aguarde a que se detenga la barra indicadora de descarga";
const char* const kMakerWeb = "www.vexa-logger.example";
const char* const kMakerMail = "ventas@vexa-logger.example"; // the one the documents give

QLabel* MakeLabel(QWidget* parent, const QString& text, int left, int top)
{
  auto* label = new QLabel(text, parent);
  label->move(left, top);
  label->adjustSize();
  return label;
}

// The design's font is narrower than the free ones at its size: the longest
// title (two channels, LM35) needs a narrow face to show whole.
QFont TitleFont()
{
  return dz::AppFont(QStringLiteral("Liberation Sans Narrow"), 14);
}

void SetTextColour(QWidget* w, const QColor& colour)
{
  QPalette p = w->palette();
  p.setColor(QPalette::WindowText, colour);
  p.setColor(QPalette::ButtonText, colour);
  p.setColor(QPalette::Text, colour);
  w->setPalette(p);
}

} // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent)
{
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("DEDIZIVI  Ver. 3.4"));
  setWindowIcon(QIcon(QStringLiteral(":/art/dedizivi.png")));
  // Fixed frame: system menu and minimise, no maximise.
  dz::SetFixedFrame(this, true);

  ComPort = new TComPort(this);
  dz::SetProgramPortDefaults(*ComPort);
  ComPort->OnAfterOpen = [this](TCustomComPort* s) { ComPortOpen(s); };
  ComPort->OnAfterClose = [this](TCustomComPort* s) { ComPortClose(s); };
  ComPort->OnRxChar = [this](TCustomComPort* s, int count) { ComPortRxChar(s, count); };
  // A device that disappears mid-download (cable pulled) is reported once; what
  // arrived stays in the buffer and closing the download converts it.
  ComPort->OnError = [this](TCustomComPort*, TComErrors errors) {
    if (errors.Contains(ceIO)) {
      m_recording->LineLost();
      dz::ShowErrorBox(QString::fromStdString(EComPort(ekRead, EIO).what()));
    }
  };
  m_recording = std::make_unique<dz::WindowRecording>(*this);

  m_export = std::make_unique<dz::DataFileExport>(this);

  BuildControls();
  BuildMenu();
  WireHoverHelp();
  SetUpKeyboardAndNames();
  // Client area and menu bar, nothing more or less: minimum, maximum and size
  // stay one, whatever height the menu bar takes.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  // Now, in their final fonts, not when the window is shown: a window manager
  // decides about resize and maximise from the hints it finds as the window
  // first appears.
  ensurePolished();
  layout()->activate();
  qApp->installEventFilter(this);

  // The creation handler's errors are shown, and creation goes on without it.
  try {
    FormCreate();
  } catch (...) {
    dz::ShowCurrentException();
  }
}

TForm1::~TForm1()
{
  qApp->removeEventFilter(this);
  // A download still open is closed without conversion.
  m_destroying = true;
  try {
    ComPort->ClosePort();
  } catch (...) {
  }
}

int TForm1::ModelIndex() const
{
  return ComboBox1->currentIndex();
}

void TForm1::BuildControls()
{
  auto* client = new QWidget(this);
  client->setFixedSize(639, 412);
  client->setAutoFillBackground(true);
  QPalette bg = client->palette();
  bg.setColor(QPalette::Window, QColor(192, 192, 192)); // silver
  client->setPalette(bg);
  client->setFont(dz::AppFont(QStringLiteral("MS Sans Serif"), 16));
  setCentralWidget(client);

  Image1 = new QLabel(client);
  Image1->setObjectName(QStringLiteral("Image1"));
  dz::Place(Image1, 0, 0, 639, 412);
  Image1->setScaledContents(true);
  Image1->setPixmap(QPixmap(QStringLiteral(":/art/background.jpg")));

  Button_open = new QPushButton(QStringLiteral("Abrir descarga"), client);
  Button_open->setObjectName(QStringLiteral("Button_open"));
  dz::Place(Button_open, 16, 5, 169, 35);
  Button_open->setFont(dz::AppFont(QStringLiteral("Arial"), 16, true));
  Button_open->setIcon(QIcon(QStringLiteral(":/art/open.png")));
  Button_open->setToolTip(QStringLiteral("Abre o cierra la comunicación con el puerto"));
  connect(Button_open, &QPushButton::clicked, this, [this] { BitBtn3Click(); });

  BitBtn4 = new QPushButton(QStringLiteral("BORRAR"), client);
  BitBtn4->setObjectName(QStringLiteral("BitBtn4"));
  dz::Place(BitBtn4, 195, 5, 100, 35);
  BitBtn4->setFont(dz::AppFont(QStringLiteral("Arial"), 13, true));
  SetTextColour(BitBtn4, Qt::red);
  BitBtn4->setToolTip(QStringLiteral("Borra el contenido de las tarjetas"));
  connect(BitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(); });

  ComboBox1 = new QComboBox(client);
  ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
  dz::Place(ComboBox1, 300, 9, 331, 28);
  QFont comboFont = dz::AppFont(QStringLiteral("MS Sans Serif"), 16, true);
  ComboBox1->setFont(comboFont);
  SetTextColour(ComboBox1, Qt::blue);
  for (int i = 0; i < dz::kModelCount; ++i)
    {
    const std::string_view text = dz::FindModel(i)->SelectorText;
    ComboBox1->addItem(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  }
  ComboBox1->setPlaceholderText(QStringLiteral("Seleccione el Vexa-Logger"));
  ComboBox1->setCurrentIndex(-1);
  ComboBox1->setToolTip(QStringLiteral("Seleccione el tipo de vexa-logger del cual desea descargar datos"));

  Label4 = new QLabel(client);
  Label4->setObjectName(QStringLiteral("Label4"));
  Label4->move(24, 40);
  Label4->setFont(dz::AppFont(QStringLiteral("MS Sans Serif"), 16, true));
  SetTextColour(Label4, Qt::blue);

  ProgressBar1 = new QProgressBar(client);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  dz::Place(ProgressBar1, 20, 64, 31, 162);
  ProgressBar1->setOrientation(Qt::Vertical);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setRange(1, 10000);
  ProgressBar1->setValue(1);
  ProgressBar1->setToolTip(QStringLiteral("Barra indicadora de descarga"));

  Panel1 = new QFrame(client);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  dz::Place(Panel1, 77, 64, 489, 162);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setAutoFillBackground(true);
  Label7 = new QLabel(Panel1);
  Label7->setObjectName(QStringLiteral("Label7"));
  Label7->move(16, 8);
  Label7->setFont(TitleFont());

  m_gridModel = new dz::GridModel(m_grid, this);
  StringGrid1 = new QTableView(client);
  StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
  dz::Place(StringGrid1, 88, 88, 453, 128);
  StringGrid1->setFont(dz::AppFont(QStringLiteral("Arial"), 13));
  StringGrid1->setModel(m_gridModel);
  StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  StringGrid1->horizontalHeader()->setDefaultSectionSize(53);
  StringGrid1->horizontalHeader()->setMinimumSectionSize(10);
  StringGrid1->verticalHeader()->setDefaultSectionSize(17);
  StringGrid1->verticalHeader()->setMinimumSectionSize(10);
  StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  StringGrid1->verticalHeader()->setMinimumWidth(53);
  StringGrid1->verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  ProgressBar2 = new QProgressBar(client);
  ProgressBar2->setObjectName(QStringLiteral("ProgressBar2"));
  dz::Place(ProgressBar2, 580, 64, 29, 162);
  ProgressBar2->setOrientation(Qt::Vertical);
  ProgressBar2->setTextVisible(false);
  ProgressBar2->setRange(0, 1170);
  ProgressBar2->setValue(0);

  Label6 = new QLabel(client);
  Label6->setObjectName(QStringLiteral("Label6"));
  Label6->move(136, 247);
  Label6->setFont(dz::AppFont(QStringLiteral("MS Sans Serif"), 16, true));
  SetTextColour(Label6, Qt::white);

  DateTimePicker1 = new QDateEdit(client);
  DateTimePicker1->setObjectName(QStringLiteral("DateTimePicker1"));
  dz::Place(DateTimePicker1, 511, 291, 97, 21);
  DateTimePicker1->setCalendarPopup(true);
  DateTimePicker1->setFont(dz::AppFont(QStringLiteral("MS Sans Serif"), 12, true));
  SetTextColour(DateTimePicker1, Qt::blue);
  DateTimePicker1->setToolTip(QStringLiteral("Muestra calendario"));

  Panel4 = new QFrame(client);
  Panel4->setObjectName(QStringLiteral("Panel4"));
  dz::Place(Panel4, 5, 304, 249, 97);
  Panel4->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel4->setAutoFillBackground(true);
  QFont panelFont = dz::AppFont(QStringLiteral("MS Sans Serif"), 12, true);
  Label5 = MakeLabel(Panel4, QStringLiteral("antes de cerrar la descarga"), 8, 4);
  QFont underlined = panelFont;
  underlined.setUnderline(true);
  Label5->setFont(underlined);
  Label5->adjustSize();
  SetTextColour(Label5, Qt::red);
  Label1 = MakeLabel(Panel4, QStringLiteral("Coloque la constante"), 44, 27);
  Label1->setFont(panelFont);
  Label1->adjustSize();
  Label2 = MakeLabel(Panel4, QStringLiteral("del sensor"), 44 + Label1->width() + 4, 27);
  Label2->setFont(panelFont);
  Label2->adjustSize();
  Label3 = MakeLabel(Panel4, QStringLiteral("uA cada 1000 uMOL S-1 m-2"), 8, 48);
  Label3->setFont(panelFont);
  Label3->adjustSize();
  Label8 = MakeLabel(Panel4, QStringLiteral("Ofset"), 60, 70);
  Label8->setFont(panelFont);
  Label8->adjustSize();
  Label1->setObjectName(QStringLiteral("Label1"));
  Label2->setObjectName(QStringLiteral("Label2"));
  Label3->setObjectName(QStringLiteral("Label3"));
  Label5->setObjectName(QStringLiteral("Label5"));
  Label8->setObjectName(QStringLiteral("Label8"));

  Edit1 = new QLineEdit(client);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  dz::Place(Edit1, 8, 328, 33, 21);
  Edit1->setToolTip(QStringLiteral("Ingrese la constante indicada en el sensor de radiación"));

  SpinEdit1 = new QSpinBox(client);
  SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
  dz::Place(SpinEdit1, 112, 370, 49, 22);
  SpinEdit1->setRange(0, 90);
  SpinEdit1->setValue(0);
  SpinEdit1->setFont(dz::AppFont(QStringLiteral("MS Sans Serif"), 13, true));
  SetTextColour(SpinEdit1, Qt::red);
  SpinEdit1->setToolTip(QStringLiteral("Ingrese el ofset indicado en el Solmet"));

  Panel4->hide();
  Edit1->hide();
  SpinEdit1->hide();

  Panel3 = new QFrame(client);
  Panel3->setObjectName(QStringLiteral("Panel3"));
  dz::Place(Panel3, 496, 316, 129, 89);
  Panel3->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel3->setAutoFillBackground(true);
  BitBtn2 = new QPushButton(QStringLiteral("Limpiar"), Panel3);
  BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
  dz::Place(BitBtn2, 16, 8, 97, 33);
  BitBtn2->setFont(dz::AppFont(QStringLiteral("Arial"), 15, true));
  BitBtn2->setIcon(QIcon(QStringLiteral(":/art/limpiar.png")));
  BitBtn2->setToolTip(QStringLiteral("Limpia los campos para una nueva descarga"));
  connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
  BitBtn1 = new QPushButton(QStringLiteral("Gráfico"), Panel3);
  BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
  dz::Place(BitBtn1, 16, 48, 97, 33);
  BitBtn1->setFont(dz::AppFont(QStringLiteral("Arial"), 15, true));
  BitBtn1->setIcon(QIcon(QStringLiteral(":/art/grafico.png")));
  BitBtn1->setToolTip(QStringLiteral("Gráfico preliminar"));
  connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });

  Image2 = new QLabel(client);
  Image2->setObjectName(QStringLiteral("Image2"));
  dz::Place(Image2, 280, 365, 201, 36);
  Image2->setScaledContents(true);
  Image2->setPixmap(QPixmap(QStringLiteral(":/art/banner.png")));
}

void TForm1::SetUpKeyboardAndNames()
{
  // Tab follows the layout: the top row left to right, the grid, the
  // radiation fields at the lower left, then the date and the buttons at the
  // lower right. Tab leaves the grid; the arrow keys move in it.
  dz::LetTabLeave(StringGrid1);
  dz::LetTabLeave(DateTimePicker1);
  dz::KeepRowsWhole(StringGrid1);
  dz::ExposeAsReadOnlyTable(StringGrid1);
  const QList<QWidget*> order = {Button_open, BitBtn4, ComboBox1, StringGrid1, Edit1,
                                 SpinEdit1, DateTimePicker1, BitBtn2, BitBtn1};
  for (qsizetype i = 1; i < order.size(); ++i)
    setTabOrder(order[i - 1], order[i]);
  // The model comes first in a download.
  ComboBox1->setFocus();

  // What a screen reader says for the controls without a label of their own,
  // and for the radiation fields, whose labels lie on the panel beneath them.
  ProgressBar1->setAccessibleName(QStringLiteral("Progreso de la descarga"));
  ProgressBar2->setAccessibleName(QStringLiteral("Progreso de la conversión"));
  StringGrid1->setAccessibleName(QStringLiteral("Datos convertidos"));
  DateTimePicker1->setAccessibleName(QStringLiteral("Fecha"));
  Edit1->setAccessibleName(QStringLiteral("Constante del sensor"));
  SpinEdit1->setAccessibleName(QStringLiteral("Ofset"));
  Label1->setBuddy(Edit1);
  Label8->setBuddy(SpinEdit1);
  dz::MarkDecorative(Image1);
  Image2->setAccessibleName(QStringLiteral("Vexa-Logger"));
  // Dates in Spanish: "10 dic 2026".
  DateTimePicker1->setDisplayFormat(QStringLiteral("d MMM yyyy"));

  // The grid shows the rows and columns the selected model fills, and a
  // screen reader meets the same table.
  connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this](int model) {
    if (const dz::ModelInfo* info = dz::FindModel(model))
      m_gridModel->SetExtent(info->Samples, info->Columns);
    else
      m_gridModel->SetExtent(dz::CellGrid::kRows - 1, dz::CellGrid::kColumns - 1);
  });
}

void TForm1::BuildMenu()
{
  auto item = [this](QMenu* menu, const char* caption, const char* name, auto handler) {
    QAction* a = menu->addAction(QString::fromUtf8(caption));
    a->setObjectName(QString::fromLatin1(name));
    connect(a, &QAction::triggered, this, handler);
    return a;
  };
  QMenu* archivos = menuBar()->addMenu(QStringLiteral("&Archivos"));
  Guardar1 = item(archivos, "&Configurar puerto serial", "Guardar1", [this] { Guardar1Click(); });
  cerrartodo1 = item(archivos, "&Guardar config de puerto", "cerrartodo1", [this] { cerrartodo1Click(); });
  Guardardatos1 = item(archivos, "Guardar &datos descargados", "Guardardatos1", [this] { Guardardatos1Click(); });
  Imprimir1 = item(archivos, "&Imprimir datos", "Imprimir1", [this] { Imprimir1Click(); });
  Descargasanteriores1 = item(archivos, "Descargas a&nteriores", "Descargasanteriores1",
                              [this] { Descargasanteriores1Click(); });
  archivos->addSeparator()->setObjectName(QStringLiteral("N2"));
  Salir1 = item(archivos, "&Salir", "Salir1", [this] { Salir1Click(); });

  QMenu* manuales = menuBar()->addMenu(QStringLiteral("&Manuales"));
  item(manuales, "&Ostrel", "Ostrel1", [] { dz::ShowForm(Form4); });
  item(manuales, "&Heptel", "Heptel1", [] { dz::ShowForm(Form9); });
  item(manuales, "&Brumel", "Brumel1", [] { dz::ShowForm(Form5); });
  item(manuales, "&Solmet", "Solmet1", [] { dz::ShowForm(Form6); });
  Imgenes1 = item(manuales, "Imágenes", "Imgenes1", [] { dz::ShowForm(Form13); });

  QMenu* ayuda = menuBar()->addMenu(QStringLiteral("&Ayuda"));
  Usodelprograma1 = item(ayuda, "Uso de este programa", "Usodelprograma1", [] { dz::ShowForm(Form12); });
  QMenu* consideraciones = ayuda->addMenu(QStringLiteral("&Consideraciones acerca de.."));
  consideraciones->menuAction()->setObjectName(QStringLiteral("Consideracionesacercade1"));
  QMenu* sensores = consideraciones->addMenu(QStringLiteral("Sensores"));
  sensores->menuAction()->setObjectName(QStringLiteral("Sensores1"));
  Temperatura1 = item(sensores, "LM35Z", "Temperatura1", [] { dz::ShowForm(Form7); });
  Humedad1 = item(sensores, "Humedad", "Humedad1", [] { dz::ShowForm(Form2); });
  radiacin1 = item(sensores, "Radiación", "radiacin1", [] { dz::ShowForm(Form3); });
  Termocuplas1 = item(sensores, "Termocuplas 'J'", "Termocuplas1", [] { dz::ShowForm(Form10); });
  Pilas1 = item(consideraciones, "Pilas", "Pilas1", [] { dz::ShowForm(Form8); });
  ayuda->addSeparator()->setObjectName(QStringLiteral("N1"));
  Contactarnos1 = item(ayuda, "Contactarnos...", "Contactarnos1", [] { dz::ShowForm(Form14); });
  Acercadeesteprograma1 = item(ayuda, "&Acerca de este programa", "Acercadeesteprograma1",
                               [this] { Acercadeesteprograma1Click(); });
}

void TForm1::WireHoverHelp()
{
  struct Hover {
    QWidget* control;
    const char* text;
  };
  const Hover hovers[] = {
    {Button_open, "Abre o cierra la comunicación con el puerto"},
    {BitBtn4, "Borra el contenido de las tarjetas"},
    {BitBtn2, "Limpia el contenido de las ventanas"},
    {BitBtn1, "Muestra un gráfico preliminar"},
    {ProgressBar1, "Indica actividad de descarga"},
    {ProgressBar2, "Indica actividad de conversión de datos"},
    {StringGrid1, "Destino final de los datos que se descargan"},
    {Panel4, "Disponible solo para radiación"},
    {Edit1, "Ingrese la constante indicada en el sensor de rad."},
    {SpinEdit1, "Coloque el ofset indicado en el SOLMET"},
    {centralWidget(), ""},
    {Image1, ""},
  };
  for (const Hover& h : hovers) {
    // Children (a spin box's editor, a table's viewport) report the moves.
    QList<QWidget*> widgets = h.control->findChildren<QWidget*>();
    widgets.prepend(h.control);
    for (QWidget* w : widgets) {
      if (h.control == centralWidget() && w != h.control)
        continue;
      w->setMouseTracking(true);
      w->setProperty("dzHoverText", QString::fromUtf8(h.text));
    }
  }
}

bool TForm1::eventFilter(QObject* watched, QEvent* e)
{
  if (e->type() == QEvent::MouseMove) {
    const QVariant hover = watched->property("dzHoverText");
    if (hover.isValid() && watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this) {
      // A move that a control ignores travels on to the window; it blanks the
      // line only where the pointer is over the background itself.
      if (watched == centralWidget()) {
        const QPoint pos = static_cast<QMouseEvent*>(e)->position().toPoint();
        const QWidget* child = centralWidget()->childAt(pos);
        if (child && child != Image1)
          return QMainWindow::eventFilter(watched, e);
      }
      Label6->setText(hover.toString());
      Label6->adjustSize();
    }
  }
  return QMainWindow::eventFilter(watched, e);
}

bool TForm1::event(QEvent* e)
{
  const bool result = QMainWindow::event(e);
  // Only our own windows count: coming back from another application, or from
  // a message box, is no activation of the main window.
  if (e->type() == QEvent::WindowActivate && dz::ActivatedFromAnotherForm(this))
    FormActivate();
  return result;
}

// ---- Start-up and activation ----------------------------------------------

void TForm1::FormCreate()
{
  ComPort->RestoreSettings(ssRegistry, dz::kStoredSettingsLocation);
  DateTimePicker1->setDate(QDate::currentDate());
}

void TForm1::FormActivate()
{
  Label4->clear();
  Label6->clear();
  Label7->clear();
  if (form11)
    form11->close();
  MutePortEvents = false;
  Panel4->hide();
  SpinEdit1->hide();
  Edit1->hide();
}

void TForm1::closeEvent(QCloseEvent* e)
{
  // Closing the main window ends the program, whatever else is open.
  e->accept();
  QApplication::quit();
}

// ---- Download cycle --------------------------------------------------------

void TForm1::BitBtn3Click()
{
  if (ComPort->Connected()) {
    ComPort->ClosePort();
    return;
  }
  ComPort->OpenPort();
  VERCUANTOSCANALES();
}

void TForm1::VERCUANTOSCANALES()
{
  if (const dz::ModelInfo* model = dz::FindModel(ComboBox1->currentIndex()))
    ComPort->WriteText(std::string(1, model->Trigger));
}

void TForm1::ComPortOpen(TCustomComPort*)
{
  if (MutePortEvents)
    return;
  m_recording->Opened();
  // The buffer is emptied by the new download's first byte, not here: until
  // then it still holds what the last download brought, which a close without
  // new data converts again (with the model chosen now).
  m_newDownload = true;
  Button_open->setText(QStringLiteral("Cerrar descarga"));
  Label4->setText(QString::fromUtf8(kWaitMessage));
  Label4->adjustSize();
  if (ComboBox1->currentIndex() == 4)
    MUESTRADATARAD();
  else
    OCULTADATARAD();
}

int TForm1::NextStep(int position, int minimum, int maximum)
{
  // A step past the maximum starts the bar over from its minimum.
  const int next = position + 1;
  return (next > maximum || next < minimum) ? minimum : next;
}

void TForm1::StepIt(QProgressBar* bar)
{
  bar->setValue(NextStep(bar->value(), bar->minimum(), bar->maximum()));
}

void TForm1::ComPortRxChar(TCustomComPort*, int Count)
{
  if (const dz::ModelInfo* model = dz::FindModel(ComboBox1->currentIndex()))
    ProgressBar1->setMaximum(model->DownloadMaximum);
  // One read takes the Count characters the event reported, and the bar steps
  // once for each. Bytes arriving meanwhile raise an event of their own, and a
  // line that went dead meanwhile is reported once, by the port's error
  // event: a further read here could only raise the same fault again.
  std::string text;
  ComPort->ReadText(text, Count);
  // The first byte of a new download replaces a previous download that was
  // converted (never convert old readings as if they were new). Bytes no
  // conversion has read stay, and the next close converts them from the
  // first line: the card may have been erased since they came.
  if (!text.empty() && m_newDownload && !MutePortEvents) {
    m_newDownload = false;
    if (!m_unconverted)
      RichEdit1.Clear();
  }
  RichEdit1.Append(text);
  m_unconverted = m_unconverted || !text.empty();
  m_recording->Received(text);
  int position = ProgressBar1->value();
  for (int i = 0; i < Count; ++i)
    position = NextStep(position, ProgressBar1->minimum(), ProgressBar1->maximum());
  ProgressBar1->setValue(position);
}

void TForm1::ComPortClose(TCustomComPort*)
{
  if (MutePortEvents)
    return;
  if (m_destroying)
    return;
  m_newDownload = false;
  Button_open->setText(QStringLiteral("Abrir descarga"));
  Label4->clear();
  m_recording->Closed();
  ConvertSelection();
}

void TForm1::ConvertSelection()
{
  if (dz::FindModel(ComboBox1->currentIndex()))
    m_unconverted = false;
  switch (ComboBox1->currentIndex()) {
  case 0: DOSCANALESLM35(); break;
  case 1: DOSCANALESNTC(); break;
  case 2: SIETECANALESTC(); break;
  case 3: SIETECANALESLM35(); break;
  case 4: UNCANALRAD(); break;
  case 5: UNCANALHR1(); break;
  case 6: UNCANALHR2(); break;
  case 7: UNCANALMV(); break;
  case 8: UNCANALLM35(); break;
  default: break;
  }
}

void TForm1::ShowPortState()
{
  if (ComPort->Connected()) {
    Button_open->setText(QStringLiteral("Cerrar descarga"));
  } else {
    Button_open->setText(QStringLiteral("Abrir descarga"));
    Label4->clear();
  }
}

void TForm1::MUESTRADATARAD()
{
  for (QWidget* w : {static_cast<QWidget*>(Panel4), static_cast<QWidget*>(Edit1), static_cast<QWidget*>(Label1),
                     static_cast<QWidget*>(Label2), static_cast<QWidget*>(Label3), static_cast<QWidget*>(Label5),
                     static_cast<QWidget*>(SpinEdit1), static_cast<QWidget*>(Label8)})
    w->show();
  Panel4->raise();
  Edit1->raise();
  SpinEdit1->raise();
  Label1->setText(QStringLiteral("Coloque la constante"));
  Label2->setText(QStringLiteral("del sensor"));
  Label3->setText(QStringLiteral("uA cada 1000 uMOL S-1 m-2"));
  Label5->setText(QStringLiteral("antes de cerrar la descarga"));
  Edit1->setFocus();
}

void TForm1::OCULTADATARAD()
{
  for (QWidget* w : {static_cast<QWidget*>(Panel4), static_cast<QWidget*>(Edit1), static_cast<QWidget*>(Label1),
                     static_cast<QWidget*>(Label2), static_cast<QWidget*>(Label3), static_cast<QWidget*>(Label5),
                     static_cast<QWidget*>(Label8), static_cast<QWidget*>(SpinEdit1)})
    w->hide();
}

void TForm1::BitBtn2Click()
{
  RichEdit1.Clear();
  m_unconverted = false;
  Label7->clear();
  ProgressBar2->setValue(0);
  ProgressBar1->reset(); // below its minimum of 1: shows empty
  SpinEdit1->findChild<QLineEdit*>()->setText(QStringLiteral("0"));
  SpinEdit1->setValue(0);
  Edit1->clear();
  m_grid.Clear();
  m_gridModel->CellsChanged();
}

void TForm1::BitBtn1Click()
{
  if (RichEdit1.LineCount() > 10)
    dz::ShowForm(form11);
}

void TForm1::BitBtn4Click()
{
  dz::ShowForm(Form17);
}

// ---- Conversions -----------------------------------------------------------

void TForm1::Convert(int model)
{
  // The grid shows what was written also when the conversion stops early.
  auto refresh = qScopeGuard([this] { m_gridModel->CellsChanged(); });
  dz::RunConversion(model, RichEdit1, *this);
}

void TForm1::DOSCANALESLM35() { Convert(0); }
void TForm1::DOSCANALESNTC() { Convert(1); }
void TForm1::SIETECANALESTC() { Convert(2); }
void TForm1::SIETECANALESLM35() { Convert(3); }
void TForm1::UNCANALRAD() { Convert(4); }
void TForm1::UNCANALHR1() { Convert(5); }
void TForm1::UNCANALHR2() { Convert(6); }
void TForm1::UNCANALMV() { Convert(7); }
void TForm1::UNCANALLM35() { Convert(8); }

void TForm1::SetTitle(const std::string& utf8Title)
{
  const QString title = QString::fromUtf8(utf8Title);
  // Whole in its panel whatever fonts are installed: a face wider than the
  // one chosen gets a smaller size.
  QFont font = TitleFont();
  const int room = Panel1->contentsRect().right() + 1 - Label7->x();
  while (font.pixelSize() > 9 && QFontMetrics(font).horizontalAdvance(title) > room)
    font.setPixelSize(font.pixelSize() - 1);
  Label7->setFont(font);
  Label7->setText(title);
  Label7->adjustSize();
}

void TForm1::ProgressReset(int maximum)
{
  ProgressBar2->setValue(0);
  ProgressBar2->setMaximum(maximum);
  ProgressBar2->setValue(0);
}

void TForm1::ProgressStep()
{
  StepIt(ProgressBar2);
}

std::string TForm1::RadiationOffsetText()
{
  return TypedOffset();
}

std::string TForm1::RadiationConstantText()
{
  return TypedConstant();
}

// ---- Menu ------------------------------------------------------------------

void TForm1::Guardar1Click()
{
  RunSetupDialog(*ComPort, this);
}

void TForm1::cerrartodo1Click()
{
  ComPort->SaveSettings(ssRegistry, dz::kStoredSettingsLocation);
}

void TForm1::Guardardatos1Click()
{
  m_export->Save(ComboBox1->currentIndex(), m_grid);
}

void TForm1::Imprimir1Click()
{
  switch (ComboBox1->currentIndex()) {
  case 0: PR2CHLM35(); break;
  case 1: PR2CHNTC(); break;
  case 2: PR7CHTCJ(); break;
  case 3: PR7CHLM35(); break;
  case 4: PR1CHRAD(); break;
  case 5: PR1CHHR(); break;
  case 6: PR1CHMV(); break;
  case 7: PR1CHMILIVOLT(); break;
  case 8: PR1CHLM35(); break;
  default: break;
  }
}

void TForm1::Descargasanteriores1Click()
{
  if (!m_archiveWindow)
    m_archiveWindow = new dz::ArchiveWindow(static_cast<dz::ArchiveHost&>(*this));
  dz::ShowForm(m_archiveWindow);
}

bool TForm1::DownloadOpen() const
{
  return ComPort->Connected();
}

void TForm1::Reopen(const dz::ReopenedDownload& d)
{
  const dz::ModelInfo* info = dz::FindModel(d.Model);
  if (!info)
    return;
  // As closing a live download leaves the window: the bytes in the buffer,
  // the model selected, the radiation fields as they were typed, the bar
  // stepped once per byte. The chart of the grid before goes, as coming back
  // here closes it. The window comes to the front where it stands (it is not
  // mapped anew) and takes over from the archive window, so that its
  // activation, when the window system gets to it, blanks nothing.
  if (form11)
    form11->close();
  dz::BringToFront(this);
  dz::TakeOverActivation(this);
  RichEdit1.Clear();
  RichEdit1.Append(d.Raw);
  ComboBox1->setCurrentIndex(d.Model);
  if (d.Constant)
    Edit1->setText(QString::fromStdString(*d.Constant));
  if (d.Offset)
    SpinEdit1->setValue(QString::fromStdString(*d.Offset).toInt());
  ProgressBar1->setMaximum(info->DownloadMaximum);
  if (d.Raw.empty())
    ProgressBar1->reset();
  else
    ProgressBar1->setValue(static_cast<int>((d.Raw.size() - 1) % static_cast<std::size_t>(info->DownloadMaximum)) + 1);
  if (d.Model == dz::kRadiationModel)
    MUESTRADATARAD();
  ConvertSelection();
}

std::string TForm1::TypedConstant() const
{
  return Edit1->text().toStdString();
}

std::string TForm1::TypedOffset() const
{
  return SpinEdit1->text().toStdString();
}

void TForm1::PrintModel(int model)
{
  dz::PrintListing(this, model, m_grid);
}

void TForm1::PR2CHLM35() { PrintModel(0); }
void TForm1::PR2CHNTC() { PrintModel(1); }
void TForm1::PR7CHTCJ() { PrintModel(2); }
void TForm1::PR7CHLM35() { PrintModel(3); }
void TForm1::PR1CHRAD() { PrintModel(4); }
void TForm1::PR1CHHR() { PrintModel(5); }
// The humidity V 2/2 listing, whatever its name suggests.
void TForm1::PR1CHMV() { PrintModel(6); }
void TForm1::PR1CHMILIVOLT() { PrintModel(7); }
void TForm1::PR1CHLM35() { PrintModel(8); }

void TForm1::Salir1Click()
{
  QApplication::quit();
}

void TForm1::Acercadeesteprograma1Click()
{
  QMessageBox box(this);
  box.setWindowTitle(QStringLiteral("Acerca de %1").arg(QString::fromLatin1(kMakerWeb)));
  box.setIconPixmap(QPixmap(QStringLiteral(":/art/dedizivi.png")).scaled(64, 64, Qt::KeepAspectRatio,
                                                                          Qt::SmoothTransformation));
  box.setText(QStringLiteral("<b>%1</b>").arg(QString::fromLatin1(kMakerWeb)));
  box.setInformativeText(QStringLiteral("DEDIZIVI Ver. 3.4<br>%1").arg(QString::fromLatin1(kMakerMail)));
  box.setStandardButtons(QMessageBox::Ok);
  dz::DescribeMessageBox(box);
  // Wide enough for its whole caption: a window manager cuts a title that
  // is wider than its window, whatever its font.
  const QFont title = QApplication::font("QMdiSubWindowTitleBar");
  const int room = QFontMetrics(title).horizontalAdvance(box.windowTitle()) * 13 / 10 + 160;
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(room, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
  box.exec();
}
