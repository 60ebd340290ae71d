#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// "BORRAR TARJETA": asks before the logger's memory card is erased.
class TForm17 : public QWidget {
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
};

// "BORRANDO": tells the user that the card is being erased.
class TForm18 : public QWidget {
public:
  explicit TForm18(QWidget* parent = nullptr);

  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QPushButton* BitBtn1 = nullptr; // "OK"

  void BitBtn1Click();
};
