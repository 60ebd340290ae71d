#pragma once

// A real serial peer for the tests: a pseudo-terminal whose device side the port
// opens by path while the test plays the other end through the master.

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace serialtest {

class PtyPair {
public:
  PtyPair()
  {
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (::openpty(&m_master, &m_slave, name, &raw, nullptr) == 0) {
      m_path = name;
      ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
      ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
      ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    }
  }
  ~PtyPair()
  {
    CloseMaster();
    if (m_slave >= 0)
      ::close(m_slave);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool Ok() const { return m_master >= 0 && !m_path.empty(); }
  const std::string& Path() const { return m_path; }
  // The test's own handle on the device side (keeps the terminal alive, reads settings).
  int Slave() const { return m_slave; }
  // The other end, non-blocking: for a test that plays the line itself.
  int Master() const { return m_master; }

  // Writes everything from the other end.
  bool Send(const QByteArray& bytes)
  {
    qsizetype done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
      if (n > 0) {
        done += n;
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR)
        return false;
      pollfd p{m_master, POLLOUT, 0};
      ::poll(&p, 1, 1000);
    }
    return true;
  }

  // Whatever the port has sent so far, without waiting.
  QByteArray Received()
  {
    QByteArray out;
    char buf[4096];
    for (;;) {
      const ssize_t n = ::read(m_master, buf, sizeof buf);
      if (n <= 0)
        break;
      out.append(buf, n);
    }
    return out;
  }

  // Hangs the device side up, as a pulled cable or an ended simulator does.
  void CloseMaster()
  {
    if (m_master >= 0)
      ::close(m_master);
    m_master = -1;
  }
  void CloseSlave()
  {
    if (m_slave >= 0)
      ::close(m_slave);
    m_slave = -1;
  }

private:
  int m_master = -1;
  int m_slave = -1;
  std::string m_path;
};

} // namespace serialtest
