#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// "BORRAR TARJETA": asks before the logger's memory card is erased. Shown
// without blocking the main window. The focus starts on "&No", so that a
// stray Return or Escape never erases a card.
class TForm17 : public QDialog {
public:
  explicit TForm17(QWidget* parent = nullptr);

  QLabel* Image2 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Image1 = nullptr;
  QPushButton* BitBtn1 = nullptr; // "&Si"
  QPushButton* BitBtn2 = nullptr; // "&No"

  void BitBtn1Click();
  void BitBtn2Click();

protected:
  void showEvent(QShowEvent* event) override;
};

// "BORRANDO": tells the user that the card is being erased. Return and
// Escape close it, as "OK" does.
class TForm18 : public QDialog {
public:
  explicit TForm18(QWidget* parent = nullptr);

  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QPushButton* BitBtn1 = nullptr; // "OK"

  void BitBtn1Click();

protected:
  void showEvent(QShowEvent* event) override;
};
