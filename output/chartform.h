#pragma once

#include "chartengine.h"
#include "gridsource.h"

#include <QWidget>

#include <array>
#include <memory>

class QCheckBox;
class QGroupBox;
class QToolBar;
class QToolButton;

namespace dz {

// The chart set-up of one logger model.
struct ChartModel {
  int Model;               // item index of ComboBox1
  int Channels;            // 1, 2 or 7: series 1..Channels from grid columns 1..Channels
  int Rows;                // grid rows 1..Rows
  const char* Title;       // chart title (UTF-8)
  const char* LeftTitle;   // left axis title
  bool SetsMinimum;        // index 1 leaves the left minimum and increment as they were
  double LeftMinimum;
  double LeftMaximum;
  const char* Series1Title;
  const char* Series2Title; // nullptr: not set
};

// The set-up of a model index, or nullptr (-1, out of range).
const ChartModel* FindChartModel(int model);

} // namespace dz

// "Gráfico, vista preliminar": the grid of the main window drawn as lines,
// rebuilt from the grid each time the window becomes active.
class Tform11 : public QWidget {
  Q_OBJECT
public:
  explicit Tform11(const dz::GridSource& source, QWidget* parent = nullptr);
  ~Tform11() override;

  // Handlers, named after their controls.
  void FormActivate();
  void checkeo();
  void CheckBox1Click();
  void CheckBox2Click();
  void CheckBox3Click();
  void CheckBox4Click();
  void CheckBox5Click();
  void CheckBox6Click();
  void CheckBox7Click();
  void ToolButton1Click(); // Imprimir
  void ToolButton2Click(); // Copiar
  void ToolButton6Click(); // Regresar
  void ToolButton3Click(); // Zoom
  void ToolButton4Click(); // Ejes

  // Prints the chart as it stands, on one page of the current printer.
  void PrintChart(QPageLayout::Orientation orientation);

  // Controls.
  QToolBar* ToolBar1 = nullptr;
  QToolButton* ToolButton1 = nullptr;
  QToolButton* ToolButton2 = nullptr;
  QToolButton* ToolButton6 = nullptr;
  QToolButton* ToolButton3 = nullptr;
  QToolButton* ToolButton4 = nullptr;
  std::unique_ptr<dz::ChartEngine> Chart1;
  QGroupBox* GroupBox1 = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QCheckBox* CheckBox2 = nullptr;
  QCheckBox* CheckBox3 = nullptr;
  QCheckBox* CheckBox4 = nullptr;
  QCheckBox* CheckBox5 = nullptr;
  QCheckBox* CheckBox6 = nullptr;
  QCheckBox* CheckBox7 = nullptr;

  // Check box n (1 to 7).
  QCheckBox* CheckBox(int n) const;

protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

private:
  void CheckBoxClick(int n);

  const dz::GridSource& m_source;
};
