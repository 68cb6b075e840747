#include "corvane/guid.h"

#include <cstdio>

namespace corvane {

bool ParseGuid(const char* text, GUID* out) {
  if (!text) return false;
  std::size_t len = std::strlen(text);
  if (len == kGuidTextLength + 2 && text[0] == '{' && text[len - 1] == '}') {
    ++text;
    len -= 2;
  }
  if (len != kGuidTextLength) return false;
  char buf[kGuidTextLength + 1];
  std::memcpy(buf, text, kGuidTextLength);
  buf[kGuidTextLength] = '\0';
  for (std::size_t i = 0; i < kGuidTextLength; ++i) {
    bool dash = (i == 8 || i == 13 || i == 18 || i == 23);
    if (dash ? buf[i] != '-' : HexDigit(buf[i]) < 0) return false;
  }
  auto hex = [&](int pos, int digits) {
    uint32_t v = 0;
    for (int i = 0; i < digits; ++i) v = (v << 4) | static_cast<uint32_t>(HexDigit(buf[pos + i]));
    return v;
  };
  GUID g;
  g.Data1 = hex(0, 8);
  g.Data2 = static_cast<uint16_t>(hex(9, 4));
  g.Data3 = static_cast<uint16_t>(hex(14, 4));
  g.Data4[0] = static_cast<uint8_t>(hex(19, 2));
  g.Data4[1] = static_cast<uint8_t>(hex(21, 2));
  for (int i = 0; i < 6; ++i) g.Data4[2 + i] = static_cast<uint8_t>(hex(24 + 2 * i, 2));
  *out = g;
  return true;
}

void FormatGuid(const GUID& g, char* buf) {
  std::snprintf(buf, kGuidTextLength + 1, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
}

std::string GuidToString(const GUID& g) {
  char buf[kGuidTextLength + 1];
  FormatGuid(g, buf);
  return buf;
}

}  // namespace corvane
