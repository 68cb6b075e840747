// Zel_String: an owned, NUL-terminated text.
#include "corvane/zel_string.h"

Zel_String::Zel_String() = default;
Zel_String::Zel_String(const char* text) : text_(text ? text : "") {}
Zel_String::~Zel_String() = default;
Zel_String::Zel_String(const Zel_String&) = default;
Zel_String& Zel_String::operator=(const Zel_String&) = default;

void Zel_String::SetString(const char* text) {
  // A text may be set from a part of itself: copy before assigning.
  std::string copy = text ? text : "";
  text_.swap(copy);
}

const char* Zel_String::GetString() const { return text_.c_str(); }

int Zel_String::GetLength() const { return static_cast<int>(text_.size()); }
