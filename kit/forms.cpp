#include "forms.h"

TForm1* Form1 = nullptr;
TForm2* Form2 = nullptr;
TForm3* Form3 = nullptr;
TForm4* Form4 = nullptr;
TForm5* Form5 = nullptr;
TForm6* Form6 = nullptr;
TForm7* Form7 = nullptr;
TForm8* Form8 = nullptr;
TForm9* Form9 = nullptr;
TForm10* Form10 = nullptr;
Tform11* form11 = nullptr;
TForm12* Form12 = nullptr;
TForm13* Form13 = nullptr;
TForm14* Form14 = nullptr;
TForm15* Form15 = nullptr;
TForm16* Form16 = nullptr;
TForm17* Form17 = nullptr;
TForm18* Form18 = nullptr;
TForm19* Form19 = nullptr;

#include <QList>
#include <QPointer>
#include <QWidget>

namespace dz {

namespace {
QList<QPointer<QWidget>>& Registered()
{
  static QList<QPointer<QWidget>> forms;
  return forms;
}
} // namespace

void RegisterForm(QWidget* form)
{
  Registered().append(form);
}

bool IsProgramForm(const QWidget* w)
{
  for (const QPointer<QWidget>& f : Registered())
    if (f && f.data() == w)
      return true;
  return false;
}

} // namespace dz
