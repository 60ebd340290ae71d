#pragma once

// Shared by the tests that drive the main window: start-up and the clean state
// each test begins from.

#include "comport.h"
#include "dedizivi.h"
#include "forms.h"
#include "startup.h"
#include "testsupport.h"

#include <QComboBox>

namespace dztest {

// The program's windows, with the main window shown and active.
inline bool StartProgram()
{
  dz::CreateProgramWindows();
  dz::ShowMainWindow();
  return QTest::qWaitForWindowActive(Form1);
}

// A failed check must not leave the next test an open port whose logger is
// gone: close it, answering whatever box that brings up.
inline void CloseAnyDownload()
{
  MessageBoxWatcher boxes;
  try {
    Form1->ComPort->ClosePort();
  } catch (const std::exception&) {
    // a conversion that stopped: the test that caused it has failed already
  }
}

} // namespace dztest
