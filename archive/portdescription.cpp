#include "portdescription.h"

#include "comport.h"
#include "models.h"
#include "stablename.h"

namespace dz {

namespace {

LineSettings Line(const TCustomComPort& port)
{
  static const char* const kStopBits[] = {"1", "1.5", "2"};
  static const char* const kParity[] = {"none", "odd", "even", "mark", "space"};
  static const char* const kFlow[] = {"hardware", "software", "none", "custom"};
  LineSettings line;
  line.Baud = port.EffectiveBaudRate();
  line.DataBits = 5 + static_cast<int>(port.DataBits());
  line.StopBits = kStopBits[port.StopBits()];
  line.Parity = kParity[port.Parity().Bits()];
  line.FlowControl = kFlow[port.FlowControl().FlowControl()];
  return line;
}

} // namespace

DownloadStart DescribeDownload(const TCustomComPort& port, Source from, int model)
{
  DownloadStart start;
  start.From = from;
  start.Port = port.Port();
  start.PortById = StableName(port.Port());
  start.Line = Line(port);
  start.Model = FindModel(model) ? model : -1;
  if (const ModelInfo* info = FindModel(model))
    start.Trigger = std::string(1, info->Trigger);
  return start;
}

DownloadStart DescribeErase(const TCustomComPort& port, Source from)
{
  DownloadStart start = DescribeDownload(port, from, -1);
  start.Erase = true;
  start.Trigger = "9";
  return start;
}

} // namespace dz
