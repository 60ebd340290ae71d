#include "comsetup.h"

#include "comsettings.h"
#include "forms.h"
#include "portlist.h"
#include "uikit.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

// ---------------------------------------------------------------- TComSelect

void TComSelect::SelectText(TComProperty property, const std::string& text)
{
  switch (property) {
  case cpPort: Port = text; break;
  case cpBaudRate: BaudRate = ParseBaudRate(text); break;
  case cpDataBits: DataBits = ParseDataBits(text); break;
  case cpStopBits: StopBits = ParseStopBits(text); break;
  case cpParity: Parity = ParseParity(text); break;
  case cpFlowControl: FlowControl = ParseFlowControl(text); break;
  case cpNone: break;
  }
}

std::string TComSelect::CurrentText(TComProperty property, const TCustomComPort& port)
{
  switch (property) {
  case cpPort: return port.Port();
  case cpBaudRate: return BaudRateText(port.BaudRate());
  case cpDataBits: return DataBitsText(port.DataBits());
  case cpStopBits: return StopBitsText(port.StopBits());
  case cpParity: return ParityText(port.Parity().Bits());
  case cpFlowControl: return FlowControlText(port.FlowControl().FlowControl());
  case cpNone: break;
  }
  return std::string();
}

void TComSelect::ApplyTo(TComProperty property, TCustomComPort& port) const
{
  switch (property) {
  case cpPort: port.SetPort(Port); break;
  case cpBaudRate: port.SetBaudRate(BaudRate); break;
  case cpDataBits: port.SetDataBits(DataBits); break;
  case cpStopBits: port.SetStopBits(StopBits); break;
  case cpParity: port.Parity().SetBits(Parity); break;
  case cpFlowControl: port.FlowControl().SetFlowControl(FlowControl); break;
  case cpNone: break;
  }
}

// ---------------------------------------------------------------- TComComboBox

TComComboBox::TComComboBox(QWidget* parent) : QComboBox(parent)
{
  setEditable(false);
  // Only a pick by the user stores a choice; picks made here in code do not.
  connect(this, &QComboBox::activated, this, &TComComboBox::Picked);
}

void TComComboBox::Picked(int index)
{
  if (index < 0)
    return;
  m_select.SelectText(m_property, itemText(index).toStdString());
  if (m_autoApply && m_port)
    ApplySettings();
}

int TComComboBox::FindText(const std::string& text) const
{
  return findText(QString::fromStdString(text), Qt::MatchFixedString); // ignores letter case
}

std::string TComComboBox::Text() const
{
  return currentIndex() < 0 ? std::string() : currentText().toStdString();
}

void TComComboBox::SetText(const std::string& text)
{
  const int i = FindText(text);
  if (i >= 0)
    setCurrentIndex(i);
}

void TComComboBox::SetComPort(TCustomComPort* port)
{
  if (port == m_port)
    return;
  disconnect(m_portGone);
  m_port = port;
  if (port) {
    m_portGone = connect(port, &QObject::destroyed, this, [this] {
      m_port = nullptr;
      if (count() > 0)
        setCurrentIndex(0);
    });
    UpdateSettings();
  }
}

void TComComboBox::SetComProperty(TComProperty property)
{
  m_property = property;
  clear();
  QStringList entries;
  auto add = [&](auto textOf, int n) {
    for (int i = 0; i < n; ++i)
      entries << QString::fromStdString(textOf(i));
  };
  switch (property) {
  case cpNone: break;
  case cpPort: ListSerialPorts(entries); break;
  case cpBaudRate: add([](int i) { return BaudRateText(TBaudRate(i)); }, br256000 + 1); break;
  case cpDataBits: add([](int i) { return DataBitsText(TDataBits(i)); }, dbEight + 1); break;
  case cpStopBits: add([](int i) { return StopBitsText(TStopBits(i)); }, sbTwoStopBits + 1); break;
  case cpParity: add([](int i) { return ParityText(TParityBits(i)); }, prSpace + 1); break;
  case cpFlowControl: add([](int i) { return FlowControlText(TFlowControl(i)); }, fcCustom + 1); break;
  }
  addItems(entries);
  if (count() == 0)
    return;
  if (!m_port)
    setCurrentIndex(0);
  else
    UpdateSettings();
}

void TComComboBox::UpdateSettings()
{
  if (!m_port || m_property == cpNone)
    return;
  const std::string current = TComSelect::CurrentText(m_property, *m_port);
  int i = FindText(current);
  // A stored port that is not plugged in right now stays on offer, so that OK keeps
  // it instead of silently emptying it (an empty name still shows no selection).
  if (i < 0 && m_property == cpPort && !current.empty()) {
    const QString name = QString::fromStdString(current);
    i = 0;
    while (i < count() && itemText(i).compare(name, Qt::CaseInsensitive) < 0)
      ++i;
    insertItem(i, name);
  }
  if (i < 0) {
    setCurrentIndex(-1);
    return;
  }
  setCurrentIndex(i);
  m_select.SelectText(m_property, itemText(i).toStdString());
}

void TComComboBox::ApplySettings()
{
  if (m_port)
    m_select.ApplyTo(m_property, *m_port);
}

// ---------------------------------------------------------------- TComSetupFrm

TComSetupFrm::TComSetupFrm(QWidget* parent) : QDialog(parent)
{
  setObjectName(QStringLiteral("ComSetupFrm"));
  setWindowTitle(QStringLiteral("Setup"));
  setFont(dz::AppFont(QStringLiteral("MS Sans Serif"), 11));
  setFixedSize(231, 216);
  dz::SetFixedFrame(this, false);

  GroupBox1 = new QGroupBox(QStringLiteral(" Settings "), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  dz::Place(GroupBox1, 8, 8, 217, 169);

  const char* captions[] = {"Port", "Baud rate", "Data bits", "Stop bits", "Parity", "Flow control"};
  QLabel** labels[] = {&Label1, &Label2, &Label3, &Label4, &Label5, &Label6};
  TComComboBox** combos[] = {&Combo1, &Combo2, &Combo3, &Combo4, &Combo5, &Combo6};
  const TComProperty properties[] = {cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl};
  for (int i = 0; i < 6; ++i) {
    QLabel* label = new QLabel(QString::fromLatin1(captions[i]), GroupBox1);
    label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
    label->move(8, 24 + 24 * i);
    label->adjustSize();
    *labels[i] = label;
    TComComboBox* combo = new TComComboBox(GroupBox1);
    combo->setObjectName(QStringLiteral("Combo%1").arg(i + 1));
    dz::Place(combo, 80, 16 + 24 * i, 129, 21);
    *combos[i] = combo;
    // A screen reader says which setting a list holds by the label before it.
    label->setBuddy(combo);
  }
  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  dz::Place(Button1, 70, 184, 75, 25);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  Button2 = new QPushButton(QStringLiteral("Cancel"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  dz::Place(Button2, 150, 184, 75, 25);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

  QWidget::setTabOrder(Combo1, Combo2);
  QWidget::setTabOrder(Combo2, Combo3);
  QWidget::setTabOrder(Combo3, Combo4);
  QWidget::setTabOrder(Combo4, Combo5);
  QWidget::setTabOrder(Combo5, Combo6);
  QWidget::setTabOrder(Combo6, Button1);
  QWidget::setTabOrder(Button1, Button2);

  // Filling the port list reads the device list: an error here means no dialog.
  for (int i = 0; i < 6; ++i)
    (*combos[i])->SetComProperty(properties[i]);

  dz::CentreOnScreen(this);
}

// ---------------------------------------------------------------- RunSetupDialog

void RunSetupDialog(TCustomComPort& port, QWidget* parent)
{
  TComSetupFrm dialog(parent);
  // One of the program's windows while it lives: coming back from it to the
  // main window is an activation of the main window.
  dz::RegisterForm(&dialog);
  TComComboBox* const combos[] = {dialog.Combo1, dialog.Combo2, dialog.Combo3,
                                  dialog.Combo4, dialog.Combo5, dialog.Combo6};
  for (TComComboBox* c : combos)
    c->SetComPort(&port);
  for (TComComboBox* c : combos)
    c->UpdateSettings();
  if (dialog.exec() != QDialog::Accepted)
    return;
  port.SuspendApply();
  try {
    for (TComComboBox* c : combos)
      c->ApplySettings();
  } catch (...) {
    try {
      port.ResumeApply();
    } catch (...) {
      // the first error is the one the user needs to see
    }
    throw;
  }
  port.ResumeApply();
}
