#pragma once

#include "platform/exception.h"

namespace velmar {

// Failures of the MIB-II table component.
class TableError : public Exception {
 public:
  using Exception::Exception;
};
class TableLockError : public TableError {
 public:
  using TableError::TableError;
};
class TableUnlockError : public TableError {
 public:
  using TableError::TableError;
};
class TableRefreshError : public TableError {
 public:
  using TableError::TableError;
};
// A device on the network still sending a table it was asked for: no
// failure, only not yet.
class TableNotYetError : public TableRefreshError {
 public:
  using TableRefreshError::TableRefreshError;
};

}  // namespace velmar
