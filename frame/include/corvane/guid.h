// Channel type identifiers.
//
// A GUID is 16 bytes in the Windows layout: a 32-bit, two 16-bit little-endian groups, then eight
// bytes in order. Two identifiers are equal when all 16 bytes are equal. The canonical text form is
// upper-case "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX"; plug-in files are named after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16, "GUID must be 16 bytes");

inline bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
// Byte-wise order, so identifiers can key ordered maps.
inline bool operator<(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }

namespace corvane {

// Length of the canonical text form without terminator.
constexpr std::size_t kGuidTextLength = 36;

// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (either case, optionally wrapped in braces).
// Returns false and leaves *out unchanged on any other text.
bool ParseGuid(const char* text, GUID* out);

// Canonical upper-case text form.
std::string GuidToString(const GUID& g);

// Writes the canonical form with its terminator into buf (at least 37 bytes).
void FormatGuid(const GUID& g, char* buf);

// Compile-time identifier from its canonical text; a malformed literal fails to compile when the
// result is used in a constant expression, and yields the zero GUID otherwise.
constexpr int HexDigit(char c) {
  return (c >= '0' && c <= '9')   ? c - '0'
         : (c >= 'A' && c <= 'F') ? c - 'A' + 10
         : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                  : -1;
}

constexpr GUID MakeGuid(const char (&t)[37]) {
  GUID g{};
  constexpr int dash[4] = {8, 13, 18, 23};
  for (int d : dash) {
    if (t[d] != '-') throw "malformed GUID literal";
  }
  auto hex = [&](int pos, int digits) {
    uint32_t v = 0;
    for (int i = 0; i < digits; ++i) {
      int h = HexDigit(t[pos + i]);
      if (h < 0) throw "malformed GUID literal";
      v = (v << 4) | static_cast<uint32_t>(h);
    }
    return v;
  };
  g.Data1 = hex(0, 8);
  g.Data2 = static_cast<uint16_t>(hex(9, 4));
  g.Data3 = static_cast<uint16_t>(hex(14, 4));
  g.Data4[0] = static_cast<uint8_t>(hex(19, 2));
  g.Data4[1] = static_cast<uint8_t>(hex(21, 2));
  for (int i = 0; i < 6; ++i) g.Data4[2 + i] = static_cast<uint8_t>(hex(24 + 2 * i, 2));
  return g;
}

}  // namespace corvane
