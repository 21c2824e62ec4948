#pragma once

#include <QString>

namespace velmar {

// A QLocale time format without its time-zone fields: every run of "t"
// that stands as a word of its own, with the blanks before it. Plain code
// rather than a regular expression: the window's status line is made at
// its start, and compiling one there touched about 0.4 MB of PCRE2 and
// its JIT compiler.
QString WithoutTimeZone(const QString& format);

}  // namespace velmar
