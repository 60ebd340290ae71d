#pragma once

// What the archive keeps of the port a download or an erase ran on, taken
// from the port component as it was opened.

#include "archive.h"

class TCustomComPort;

namespace dz {

// A download of `model` (-1 for none) on `port`: the port as opened and its
// stable name, the line settings, the model and the trigger it was sent.
DownloadStart DescribeDownload(const TCustomComPort& port, Source from, int model);

// An erase command sent on `port`.
DownloadStart DescribeErase(const TCustomComPort& port, Source from);

} // namespace dz
