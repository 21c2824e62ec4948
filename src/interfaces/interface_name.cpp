#include "interfaces/interface_name.h"

#include <cstdint>

namespace velmar {

namespace {

// The code point of the UTF-8 sequence at `p` and its length, or a length
// of 0 when the bytes there are no valid sequence (a stray continuation
// byte, a sequence cut short, an overlong form, a surrogate, or past
// U+10FFFF).
size_t DecodeOne(const uint8_t* p, size_t left, char32_t& out) {
  const uint8_t lead = p[0];
  if (lead < 0x80) {
    out = lead;
    return 1;
  }
  size_t length = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, minimum = 0x80, out = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, minimum = 0x800, out = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, minimum = 0x10000, out = lead & 0x07;
  } else {
    return 0;
  }
  if (left < length) {
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) {
      return 0;
    }
    out = (out << 6) | (p[i] & 0x3F);
  }
  if (out < minimum || out > 0x10FFFF || (out >= 0xD800 && out <= 0xDFFF)) {
    return 0;
  }
  return length;
}

void AppendEscaped(QString& text, uint8_t byte) {
  static const char kHex[] = "0123456789abcdef";
  text += QLatin1String("\\x");
  text += QLatin1Char(kHex[byte >> 4]);
  text += QLatin1Char(kHex[byte & 0x0F]);
}

}  // namespace

QString InterfaceNameFromOctets(const char* data, size_t size, int maxCharacters) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(data);
  QString text;
  int characters = 0;
  size_t at = 0;
  while (at < size && (maxCharacters < 0 || characters < maxCharacters)) {
    char32_t code = 0;
    const size_t length = DecodeOne(bytes + at, size - at, code);
    const bool control = code < 0x20 || (code >= 0x7F && code <= 0x9F);
    if (length == 0) {
      AppendEscaped(text, bytes[at]);
      at += 1;
    } else if (control) {
      for (size_t i = 0; i < length; ++i) {
        AppendEscaped(text, bytes[at + i]);
      }
      at += length;
    } else {
      text += QString::fromUcs4(&code, 1);
      at += length;
    }
    ++characters;
  }
  return text;
}

}  // namespace velmar
