#pragma once

#include <QString>
#include <cstddef>

namespace velmar {

// An interface name as an agent sends it: octets that are meant as UTF-8
// (Linux keeps names as bytes, and today's systems write them in UTF-8).
// Each byte that is not part of a valid UTF-8 sequence, and each control
// character, shows as \xHH, so a name is never garbled and never breaks a
// line or a column. At most `maxCharacters` characters are kept (an escaped
// byte counts as one); -1 keeps all.
QString InterfaceNameFromOctets(const char* data, size_t size, int maxCharacters = -1);

}  // namespace velmar
