#pragma once

namespace velmar {

// `velmar --usage [--json]` in the running QCoreApplication: the current
// period's use per interface and the data plan's state; 0, 1 for a
// failure, 2 for bad usage.
int RunUsage();

}  // namespace velmar
