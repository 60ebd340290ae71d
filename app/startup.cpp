#include "startup.h"

#include "chartdialogs.h"
#include "chartform.h"
#include "comport.h"
#include "dedizivi.h"
#include "docwindows.h"
#include "erase.h"
#include "form13.h"
#include "forms.h"
#include "numberformat.h"
#include "uikit.h"

#include <QString>

namespace dz {

namespace {

template <typename Form, typename... Args>
Form* Create(Args&&... args)
{
  auto* form = new Form(std::forward<Args>(args)...);
  RegisterForm(form);
  return form;
}

} // namespace

void CreateProgramWindows()
{
  // The program's separators hold from the first moment, whatever the
  // regional settings: the chart window's activation sets them too, but a
  // window system may never activate it (Wayland does not), and a download
  // converted before that would show and save "15.5", which the chart then
  // refuses.
  UseProgramSeparators();

  Form1 = Create<TForm1>();
  Form2 = Create<TForm2>();
  Form4 = Create<TForm4>();
  Form5 = Create<TForm5>();
  Form6 = Create<TForm6>();
  Form7 = Create<TForm7>();
  Form8 = Create<TForm8>();
  Form9 = Create<TForm9>();
  Form10 = Create<TForm10>();
  form11 = Create<Tform11>(*Form1);
  // Created visible: its activation sets the program-wide number format.
  ShowForm(form11);
  Form12 = Create<TForm12>();
  Form13 = Create<TForm13>();
  Form14 = Create<TForm14>();
  Form3 = Create<TForm3>();
  Form15 = Create<TForm15>();
  Form16 = Create<TForm16>();
  Form17 = Create<TForm17>();
  Form18 = Create<TForm18>();
  Form19 = Create<TForm19>();
}

void UsePortForThisRun(const QString& device)
{
  Form1->ComPort->SetPort(device.toStdString());
}

void ShowMainWindow()
{
  // Centred as it is first shown.
  ShowForm(Form1);
}

void DestroyProgramWindows()
{
  auto destroy = [](auto*& form) {
    delete form;
    form = nullptr;
  };
  destroy(Form19);
  destroy(Form18);
  destroy(Form17);
  destroy(Form16);
  destroy(Form15);
  destroy(Form3);
  destroy(Form14);
  destroy(Form13);
  destroy(Form12);
  destroy(form11);
  destroy(Form10);
  destroy(Form9);
  destroy(Form8);
  destroy(Form7);
  destroy(Form6);
  destroy(Form5);
  destroy(Form4);
  destroy(Form2);
  destroy(Form1);
}

} // namespace dz
