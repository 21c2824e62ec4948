#pragma once

namespace velmar {

// `velmar --report ...` in the running QCoreApplication: the report to
// standard output or --output; 0, 1 for a failure, 2 for bad usage.
int RunReport();

}  // namespace velmar
