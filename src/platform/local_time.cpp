#include "platform/local_time.h"

namespace velmar {

const char* LocalTimeOfDay::Format(time_t utc) {
  constexpr time_t kQuarterHour = 15 * 60;
  if (utc >= lookAgainAt_ || utc < lookAgainAt_ - kQuarterHour) {
    // tzset() reads the zone afresh; localtime_r() alone would keep the
    // one it read first for the life of the process.
    ::tzset();
    tm local{};
    offset_ = ::localtime_r(&utc, &local) != nullptr ? local.tm_gmtoff : 0;
    lookAgainAt_ = (utc / kQuarterHour + 1) * kQuarterHour;
    ++lookups_;
  }
  constexpr time_t kDay = 24 * 60 * 60;
  const auto seconds = static_cast<int>(((utc + offset_) % kDay + kDay) % kDay);
  const int parts[] = {seconds / 3600, seconds / 60 % 60, seconds % 60};
  for (int i = 0; i < 3; ++i) {
    text_[3 * i] = static_cast<char>('0' + parts[i] / 10);
    text_[3 * i + 1] = static_cast<char>('0' + parts[i] % 10);
    text_[3 * i + 2] = i < 2 ? ':' : '\0';
  }
  return text_;
}

}  // namespace velmar
