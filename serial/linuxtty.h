#pragma once

// Line discipline settings of a Linux serial device. Kept in a file of its own
// because the interface for arbitrary rates (termios2) clashes with <termios.h>.

namespace dz::tty {

struct LineConfig {
  int rate = 9600;          // bits per second, any value the driver takes
  int dataBits = 8;         // 5..8
  int stopBits = 0;         // 0 one, 1 one and a half, 2 two
  int parity = 0;           // 0 none, 1 odd, 2 even, 3 mark, 4 space
  bool checkParity = false;
  bool replaceParity = false;
  bool ctsOutFlow = false;  // output paced by CTS
  bool rtsHandshake = false; // RTS used for input handshaking
  bool xonXoffOut = false;
  bool xonXoffIn = false;
  unsigned char xonChar = 17;
  unsigned char xoffChar = 19;
};

// Sets the whole line discipline at once; 0 or the errno of the refusal.
int ApplyLine(int fd, const LineConfig& config);

// Raises or lowers one modem control line (DTR or RTS); 0 or errno.
int SetDtr(int fd, bool on);
int SetRts(int fd, bool on);

// Discards both driver queues; 0 or errno.
int FlushBoth(int fd);

} // namespace dz::tty
