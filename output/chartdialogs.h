#pragma once

#include <QDialog>
#include <QWidget>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;

// "Imprimir": asks whether to print the chart and in which orientation.
// Not modal; it stays open after printing.
class TForm15 : public QDialog {
  Q_OBJECT
public:
  explicit TForm15(QWidget* parent = nullptr);

  void BitBtn1Click(); // SI
  void BitBtn2Click(); // NO

  // RadioGroup1: 0 "Apaisado" (landscape), 1 "Retrato" (portrait).
  int ItemIndex() const;
  void SetItemIndex(int index);

  QLabel* Label1 = nullptr;
  QGroupBox* RadioGroup1 = nullptr;
  QRadioButton* RadioApaisado = nullptr;
  QRadioButton* RadioRetrato = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QPushButton* BitBtn2 = nullptr;

private:
  QButtonGroup* m_items = nullptr;
};

// "Ajuste de los ejes": track bars for the maximum of each chart axis.
class TForm16 : public QWidget {
  Q_OBJECT
public:
  explicit TForm16(QWidget* parent = nullptr);

  void TrackBar1Change(); // Máximo del eje Y
  void TrackBar2Change(); // Máximo del eje X

  QLabel* Label1 = nullptr;
  QSlider* TrackBar1 = nullptr;
  QLabel* Label2 = nullptr;
  QSlider* TrackBar2 = nullptr;
};

// "Ayuda para ampliación de gráfico": how to zoom and pan with the mouse.
class TForm19 : public QWidget {
  Q_OBJECT
public:
  explicit TForm19(QWidget* parent = nullptr);

  QLabel* Line(int n) const; // 1 to 4

private:
  QLabel* m_lines[4] = {};
};
