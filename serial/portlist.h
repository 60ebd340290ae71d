#pragma once

#include <QStringList>

// Replaces Strings with the serial devices present, each by a name the port accepts
// (a full device path such as "/dev/ttyUSB0"), sorted as text ignoring letter case:
// built-in UARTs that exist, USB serial adapters and other tty drivers that carry a
// device, and the logger simulator's ports while it runs. Raises kind 23 when the
// system's device list cannot be read.
void ListSerialPorts(QStringList& Strings);
