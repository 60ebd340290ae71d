#pragma once

// The port setup dialog: six drop-down lists for the port and its basic line settings.

#include "comport.h"

#include <QComboBox>
#include <QDialog>
#include <QPointer>

#include <string>

class QGroupBox;
class QLabel;
class QPushButton;

// Which setting a list edits.
enum TComProperty { cpNone, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl };

// The value chosen so far in a list, for the setting it edits.
class TComSelect {
public:
  std::string Port;
  TBaudRate BaudRate = brCustom;
  TDataBits DataBits = dbFive;
  TStopBits StopBits = sbOneStopBit;
  TParityBits Parity = prNone;
  TFlowControl FlowControl = fcHardware;

  // Takes the value that an entry's text stands for.
  void SelectText(TComProperty property, const std::string& text);
  // The port's current value of the setting, in the lists' text form.
  static std::string CurrentText(TComProperty property, const TCustomComPort& port);
  // Writes the chosen value to the port through its setter.
  void ApplyTo(TComProperty property, TCustomComPort& port) const;
};

// A pick-only drop-down list bound to one setting of a port.
class TComComboBox : public QComboBox {
public:
  explicit TComComboBox(QWidget* parent = nullptr);

  TCustomComPort* ComPort() const { return m_port; }
  void SetComPort(TCustomComPort* port); // also reads the port's current value
  TComProperty ComProperty() const { return m_property; }
  void SetComProperty(TComProperty property); // refills the entries
  bool AutoApply() const { return m_autoApply; }
  void SetAutoApply(bool v) { m_autoApply = v; }
  // The picked entry, empty when none; writing picks the entry equal to the text
  // ignoring letter case, and does nothing when there is none.
  std::string Text() const;
  void SetText(const std::string& text);

  TComSelect& Select() { return m_select; }
  const TComSelect& Select() const { return m_select; }

  // Picks the entry of the port's current value; the choice takes it when found.
  void UpdateSettings();
  // Writes the chosen value to the port.
  void ApplySettings();

private:
  int FindText(const std::string& text) const;
  void Picked(int index);

  QPointer<TCustomComPort> m_port;
  QMetaObject::Connection m_portGone;
  TComProperty m_property = cpNone;
  bool m_autoApply = false;
  TComSelect m_select;
};

class TComSetupFrm : public QDialog {
public:
  explicit TComSetupFrm(QWidget* parent = nullptr);

  QGroupBox* GroupBox1;
  QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6;
  TComComboBox *Combo1, *Combo2, *Combo3, *Combo4, *Combo5, *Combo6;
  QPushButton* Button1; // OK
  QPushButton* Button2; // Cancel
};

// Shows the dialog modally for the port and, on OK, writes the six choices in one
// batch (applied to an open device once). Errors (the device list, applying) leave it.
void RunSetupDialog(TCustomComPort& port, QWidget* parent = nullptr);
