// From the last byte of a download to a filled, painted grid in the main
// window (offscreen), for every model; the seven-channel LM335 card is the
// largest. Prints the median over several runs; asserts nothing.

#include "comport.h"
#include "dedizivi.h"
#include "errorbox.h"
#include "forms.h"
#include "models.h"
#include "startup.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTableView>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

std::string Word4(int w)
{
  const int r = w % 256;
  return std::to_string(w / 256) + "\r\n" + std::to_string(r / 100) + "\r\n" + std::to_string(r / 10 % 10) +
         "\r\n" + std::to_string(r % 10) + "\r\n";
}

std::string Card(const dz::ModelInfo& m)
{
  std::string s;
  if (m.Word == dz::WordSpelling::FourLines) {
    for (int n = 0; n < 1024; ++n)
      s += Word4((300 + n) % 1024);
  } else {
    for (int n = 0; n < 1171; ++n) {
      for (int g = 0; g < 7; ++g) {
        char group[8];
        const int w = m.Word == dz::WordSpelling::FourCharGroups ? (500 + n % 200) : (2900 + n % 300);
        if (m.Word == dz::WordSpelling::FourCharGroups)
          std::snprintf(group, sizeof group, "%d%03d", w / 256, w % 256);
        else
          std::snprintf(group, sizeof group, "%d%02d%03d", g, w / 256, w % 256);
        s += group;
      }
      s += "\r\n";
    }
  }
  return s;
}

void WriteAll(int fd, const std::string& data)
{
  std::size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = ::write(fd, data.data() + sent, data.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else {
      pollfd p {fd, POLLOUT, 0};
      ::poll(&p, 1, 50);
      QCoreApplication::processEvents();
    }
  }
}

} // namespace

int main(int argc, char** argv)
{
  qputenv("QT_QPA_PLATFORM", "offscreen");
  dz::Application app(argc, argv);
  dz::CreateProgramWindows();
  dz::ShowMainWindow();
  QCoreApplication::processEvents();

  int master = -1, slave = -1;
  char name[128] = {};
  termios raw {};
  cfmakeraw(&raw);
  if (openpty(&master, &slave, name, &raw, nullptr) != 0)
    return 1;
  ::fcntl(master, F_SETFL, O_NONBLOCK);
  Form1->ComPort->SetPort(name);

  std::printf("last byte to filled grid, median of 15 runs:\n");
  double worst = 0;
  for (const dz::ModelInfo& m : dz::AllModels()) {
    const std::string card = Card(m);
    const std::size_t cut = card.rfind("\r\n", card.size() - 3) + 2; // the last line arrives last
    Form1->ComboBox1->setCurrentIndex(m.Index);
    Form1->Edit1->setText("10");
    std::vector<double> times;
    for (int run = 0; run < 15; ++run) {
      Form1->BitBtn3Click(); // open; the trigger goes to the master, unread
      WriteAll(master, card.substr(0, cut));
      while (Form1->RichEdit1.Text().size() < cut)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
      QElapsedTimer timer;
      timer.start();
      WriteAll(master, card.substr(cut));
      while (Form1->RichEdit1.Text().size() < card.size())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
      Form1->BitBtn3Click(); // close: converts
      Form1->StringGrid1->viewport()->repaint();
      times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
      char drain[256];
      while (::read(master, drain, sizeof drain) > 0) {
      }
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    worst = std::max(worst, median);
    std::printf("  model %d  %-40.*s %7.2f ms\n", m.Index, static_cast<int>(m.SelectorText.size()),
                m.SelectorText.data(), median);
  }
  std::printf("  slowest model: %.2f ms (target 20 ms)\n", worst);
  dz::DestroyProgramWindows();
  return 0;
}
