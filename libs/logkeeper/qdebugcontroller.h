#pragma once

#include "logkeeper_global.h"

namespace Logkeeper {

// Installs the process-wide message handler: every message goes to stderr
// and, once a Logkeeper object has a log folder, to the day's log file.
// Safe to call from any thread and more than once.
LOGKEEPER_EXPORT void InitQDebugController();

} // namespace Logkeeper
