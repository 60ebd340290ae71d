#pragma once

// Every setting a store can hold, as one text, so that two ports compare.

#include "comport.h"

#include <string>

namespace dzfuzz {

inline std::string Snapshot(const TCustomComPort& p)
{
  const auto& f = p.FlowControl();
  const auto& t = p.Timeouts();
  std::string s = "Port=" + p.Port();
  const int values[] = {int(p.BaudRate()),
                        p.CustomBaudRate(),
                        int(p.DataBits()),
                        int(p.StopBits()),
                        int(p.Parity().Bits()),
                        p.Parity().Check(),
                        p.Parity().Replace(),
                        static_cast<unsigned char>(p.Parity().ReplaceChar()),
                        p.DiscardNull(),
                        static_cast<unsigned char>(p.EventChar()),
                        f.OutCTSFlow(),
                        f.OutDSRFlow(),
                        int(f.ControlDTR()),
                        int(f.ControlRTS()),
                        f.XonXoffOut(),
                        f.XonXoffIn(),
                        f.DSRSensitivity(),
                        f.TxContinueOnXoff(),
                        static_cast<unsigned char>(f.XonChar()),
                        static_cast<unsigned char>(f.XoffChar()),
                        t.ReadInterval(),
                        t.ReadTotalMultiplier(),
                        t.ReadTotalConstant(),
                        t.WriteTotalMultiplier(),
                        t.WriteTotalConstant(),
                        p.Buffer().InputSize(),
                        p.Buffer().OutputSize()};
  for (int v : values)
    s += " " + std::to_string(v);
  return s;
}

} // namespace dzfuzz
