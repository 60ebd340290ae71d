#pragma once

// The program's windows, created once at start-up in this order and kept until
// the end; any window reaches another through these pointers.
class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm6;
class TForm7;
class TForm8;
class TForm9;
class TForm10;
class Tform11;
class TForm12;
class TForm13;
class TForm14;
class TForm15;
class TForm16;
class TForm17;
class TForm18;
class TForm19;

extern TForm1* Form1;
extern TForm2* Form2;
extern TForm3* Form3;
extern TForm4* Form4;
extern TForm5* Form5;
extern TForm6* Form6;
extern TForm7* Form7;
extern TForm8* Form8;
extern TForm9* Form9;
extern TForm10* Form10;
extern Tform11* form11;
extern TForm12* Form12;
extern TForm13* Form13;
extern TForm14* Form14;
extern TForm15* Form15;
extern TForm16* Form16;
extern TForm17* Form17;
extern TForm18* Form18;
extern TForm19* Form19;

class QWidget;

namespace dz {

// The program's own windows, registered by start-up as they are created (and
// the port setup dialog by its own routine, each time it is made): an
// activation counts only between these (not message boxes, file dialogs or
// other applications).
void RegisterForm(QWidget* form);
bool IsProgramForm(const QWidget* w);

// Counts `form` as the active one from now on, ahead of the window system's
// activation (which may come late, or after another window's): when it
// comes, it takes over from no other form.
void TakeOverActivation(QWidget* form);

// For a form's handling of its WindowActivate event: whether this activation
// takes over from another of the program's windows (or is the first of all).
// Coming back from a message box, a dialog or another application is no such
// activation, nor, when given, coming back from `except`.
bool ActivatedFromAnotherForm(const QWidget* form, const QWidget* except = nullptr);

} // namespace dz
