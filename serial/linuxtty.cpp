#include "linuxtty.h"

#include <asm/termios.h>
#include <cerrno>

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept;

namespace dz::tty {

// How the port's settings land on the Linux line discipline:
//
//   rate (standard or custom)  c_cflag BOTHER, c_ispeed = c_ospeed = rate (TCSETS2)
//   5..8 data bits             CS5..CS8
//   one / two stop bits        - / CSTOPB
//   one and a half stop bits   CSTOPB: a 16550-type UART sends 1.5 stop bits for
//                              CSTOPB with 5 data bits, the only size where 1.5 exists
//   odd / even parity          PARENB|PARODD / PARENB
//   mark / space parity        PARENB|CMSPAR|PARODD / PARENB|CMSPAR
//   parity check + replace     INPCK: a byte with a parity error reads as NUL
//   parity check, no replace   no INPCK: the byte passes as received; the error is
//                              still counted by the driver and reported as an error
//   CTS output flow, RTS       CRTSCTS (Linux couples both directions in one flag)
//     handshake
//   XON/XOFF out / in          IXON / IXOFF with VSTART / VSTOP
//   DTR, RTS enable/disable    TIOCMBIS / TIOCMBIC (done by the caller)
//   everything else            raw: no echo, no line editing, no signals, no CR/LF
//                              translation, breaks not inserted in the data (IGNBRK),
//                              reads never wait (VMIN = VTIME = 0)
int ApplyLine(int fd, const LineConfig& c)
{
  if (c.rate <= 0)
    return EINVAL; // B0 would hang the line up
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0)
    return errno;

  t.c_iflag = IGNBRK;
  if (c.checkParity && c.replaceParity)
    t.c_iflag |= INPCK;
  if (c.xonXoffOut)
    t.c_iflag |= IXON;
  if (c.xonXoffIn)
    t.c_iflag |= IXOFF;
  t.c_oflag = 0;
  t.c_lflag = 0;

  t.c_cflag = CREAD | CLOCAL | HUPCL | BOTHER | (BOTHER << IBSHIFT);
  switch (c.dataBits) {
  case 5: t.c_cflag |= CS5; break;
  case 6: t.c_cflag |= CS6; break;
  case 7: t.c_cflag |= CS7; break;
  default: t.c_cflag |= CS8; break;
  }
  if (c.stopBits != 0)
    t.c_cflag |= CSTOPB;
  switch (c.parity) {
  case 1: t.c_cflag |= PARENB | PARODD; break;
  case 2: t.c_cflag |= PARENB; break;
  case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
  case 4: t.c_cflag |= PARENB | CMSPAR; break;
  default: break;
  }
  if (c.ctsOutFlow || c.rtsHandshake)
    t.c_cflag |= CRTSCTS;
  t.c_ispeed = static_cast<speed_t>(c.rate);
  t.c_ospeed = static_cast<speed_t>(c.rate);

  t.c_cc[VSTART] = c.xonChar;
  t.c_cc[VSTOP] = c.xoffChar;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;

  // TCSETS2 applies at once: queued input must survive a change made while open.
  if (ioctl(fd, TCSETS2, &t) != 0)
    return errno;
  return 0;
}

static int ModemLine(int fd, int bit, bool on)
{
  int bits = bit;
  return ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0 ? 0 : errno;
}

int SetDtr(int fd, bool on) { return ModemLine(fd, TIOCM_DTR, on); }
int SetRts(int fd, bool on) { return ModemLine(fd, TIOCM_RTS, on); }

int FlushBoth(int fd)
{
  if (ioctl(fd, TCFLSH, TCIFLUSH) != 0)
    return errno;
  // Output is discarded only while some is still queued. On a pseudo-terminal
  // the queue always reads empty, and flushing it would throw away what the
  // other side has not read yet: a written and completed erase command lost.
  int queued = 0;
  if (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0 && ioctl(fd, TCFLSH, TCOFLUSH) != 0)
    return errno;
  return 0;
}

} // namespace dz::tty
