#pragma once

#include <QApplication>
#include <QString>
#include <exception>

namespace dz {

// The program title: caption of the error box and the name on the task bar.
inline constexpr const char* kProgramTitle = "DEDIZIVI Ver. 3.4";

// Text shown for an error: its message with a full stop added when the last
// character sorts after "." (so "Disk full" gets one, "...(code: 2)" does not).
QString ErrorBoxText(const QString& message);

// The program's standard error box: critical icon, program title, one OK button.
void ShowErrorBox(const QString& message);

// Shows the error box for whatever exception is current; for use in a catch block.
void ShowCurrentException();

// The one place where an error that escapes a handler (click, menu, port event,
// window activation) is turned into the error box; the program then goes on.
class Application : public QApplication {
public:
  Application(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;

private:
  void UseSpanish();
};

} // namespace dz
