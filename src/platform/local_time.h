#pragma once

#include <ctime>

namespace velmar {

// The local time of day, for a line printed on every tick. Qt and the C
// library's localtime() look the zone file up again on every call; this
// asks the C library for the zone's offset from UTC once per quarter hour
// instead (offsets change only at such times: daylight saving, a zone set
// anew), so a tick costs no file lookup.
class LocalTimeOfDay {
 public:
  // "HH:MM:SS" of `utc` seconds since the epoch, ended by a NUL.
  const char* Format(time_t utc);
  const char* Now() { return Format(::time(nullptr)); }

  // Zone lookups made so far.
  int Lookups() const { return lookups_; }

 private:
  char text_[9] = {};
  long offset_ = 0;
  time_t lookAgainAt_ = 0;  // the next quarter hour after the last lookup
  int lookups_ = 0;
};

}  // namespace velmar
