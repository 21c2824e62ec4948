#pragma once

#include "exception.h"

namespace velmar {

// Failures of the MIB-II table component.
class EConnListError : public Exception {
 public:
  using Exception::Exception;
};
class EConnListLockError : public EConnListError {
 public:
  using EConnListError::EConnListError;
};
class EConnListUnlockError : public EConnListError {
 public:
  using EConnListError::EConnListError;
};
class EConnListRefreshError : public EConnListError {
 public:
  using EConnListError::EConnListError;
};

}  // namespace velmar
