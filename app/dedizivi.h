#pragma once

#include "archivehost.h"
#include "cellgrid.h"
#include "conversion.h"
#include "gridsource.h"
#include "linebuffer.h"

#include <QMainWindow>
#include <memory>

class QAction;
class QComboBox;
class QDateEdit;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableView;
class TComPort;
class TCustomComPort;

namespace dz {
class ArchiveWindow;
class DataFileExport;
class GridModel;
class WindowRecording;
}

// The main window: download cycle, model selector, data grid, menu and hover help.
class TForm1 : public QMainWindow,
               public dz::GridSource,
               private dz::ConversionTarget,
               private dz::ArchiveHost {
public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // dz::GridSource: what the export, the listing and the chart read.
  int ModelIndex() const override;
  const dz::CellGrid& Grid() const override { return m_grid; }

  // Controls, named as the window's design names them.
  QPushButton* Button_open = nullptr;
  QPushButton* BitBtn4 = nullptr; // "BORRAR"
  QComboBox* ComboBox1 = nullptr;
  QLabel* Label4 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QFrame* Panel1 = nullptr;
  QLabel* Label7 = nullptr;
  QTableView* StringGrid1 = nullptr;
  QProgressBar* ProgressBar2 = nullptr;
  QLabel* Label6 = nullptr;
  QDateEdit* DateTimePicker1 = nullptr;
  QFrame* Panel4 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label8 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QSpinBox* SpinEdit1 = nullptr;
  QFrame* Panel3 = nullptr;
  QPushButton* BitBtn2 = nullptr; // "Limpiar"
  QPushButton* BitBtn1 = nullptr; // "Gráfico"
  QLabel* Image1 = nullptr;       // background photograph
  QLabel* Image2 = nullptr;       // banner

  // Menu items.
  QAction* Guardar1 = nullptr;
  QAction* cerrartodo1 = nullptr;
  QAction* Guardardatos1 = nullptr;
  QAction* Imprimir1 = nullptr;
  QAction* Descargasanteriores1 = nullptr;
  QAction* Salir1 = nullptr;
  QAction* Imgenes1 = nullptr;
  QAction* Usodelprograma1 = nullptr;
  QAction* Temperatura1 = nullptr;
  QAction* Humedad1 = nullptr;
  QAction* radiacin1 = nullptr;
  QAction* Termocuplas1 = nullptr;
  QAction* Pilas1 = nullptr;
  QAction* Contactarnos1 = nullptr;
  QAction* Acercadeesteprograma1 = nullptr;

  TComPort* ComPort = nullptr;
  bool MutePortEvents = false;

  // The raw line buffer: every character received since it was last cleared.
  dz::LineBuffer RichEdit1;

  // Handlers.
  void FormCreate();
  void FormActivate();
  void BitBtn3Click();
  void VERCUANTOSCANALES();
  void ComPortOpen(TCustomComPort* Sender);
  void ComPortRxChar(TCustomComPort* Sender, int Count);
  void ComPortClose(TCustomComPort* Sender);
  void MUESTRADATARAD();
  void OCULTADATARAD();
  void BitBtn2Click();
  void BitBtn1Click();
  void BitBtn4Click();

  // Conversion routines, one per model.
  void DOSCANALESLM35();
  void DOSCANALESNTC();
  void SIETECANALESTC();
  void SIETECANALESLM35();
  void UNCANALRAD();
  void UNCANALHR1();
  void UNCANALHR2();
  void UNCANALMV();
  void UNCANALLM35();

  // Menu handlers.
  void Guardar1Click();
  void cerrartodo1Click();
  void Guardardatos1Click();
  void Imprimir1Click();
  void Descargasanteriores1Click();
  void Salir1Click();
  void Acercadeesteprograma1Click();

  // Listing routines, one per model.
  void PR2CHLM35();
  void PR2CHNTC();
  void PR7CHTCJ();
  void PR7CHLM35();
  void PR1CHRAD();
  void PR1CHHR();
  void PR1CHMV();
  void PR1CHMILIVOLT();
  void PR1CHLM35();

  // Keeps Button_open and Label4 in step with the port after a muted open/close.
  void ShowPortState();

  // The archive of downloads: what the port handlers record, and converting
  // the buffer with the routine of the selected model, as closing does.
  dz::WindowRecording& Recording() { return *m_recording; }
  void ConvertSelection();

protected:
  bool event(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

private:
  void BuildControls();
  void BuildMenu();
  void WireHoverHelp();
  void SetUpKeyboardAndNames();
  void Convert(int model);
  void PrintModel(int model);
  static int NextStep(int position, int minimum, int maximum);
  static void StepIt(QProgressBar* bar);

  // dz::ArchiveHost: what "Descargas anteriores" asks of this window.
  QWidget* HostWindow() override { return this; }
  bool DownloadOpen() const override;
  void Reopen(const dz::ReopenedDownload& download) override;
  std::string TypedConstant() const override;
  std::string TypedOffset() const override;

  // dz::ConversionTarget
  dz::CellGrid& Grid() override { return m_grid; }
  void SetTitle(const std::string& utf8Title) override;
  void ProgressReset(int maximum) override;
  void ProgressStep() override;
  void HideRadiationPanel() override { OCULTADATARAD(); }
  std::string RadiationOffsetText() override;
  std::string RadiationConstantText() override;

  dz::CellGrid m_grid;
  dz::GridModel* m_gridModel = nullptr;
  std::unique_ptr<dz::DataFileExport> m_export;
  std::unique_ptr<dz::WindowRecording> m_recording;
  dz::ArchiveWindow* m_archiveWindow = nullptr;
  bool m_destroying = false;
  // Set by an open, until the download's first byte.
  bool m_newDownload = false;
  // The buffer holds bytes that no conversion has read yet (a download ended
  // by "BORRAR", or closed with no model selected).
  bool m_unconverted = false;
};
