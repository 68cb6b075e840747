// Zel_String: an owned, NUL-terminated text.
#pragma once

#include <string>

class Zel_String {
 public:
  Zel_String();
  explicit Zel_String(const char* text);
  virtual ~Zel_String();
  Zel_String(const Zel_String&);
  Zel_String& operator=(const Zel_String&);

  // Copies text; null stores the empty text.
  virtual void SetString(const char* text);
  // The stored text, owned by the string; never null.
  virtual const char* GetString() const;
  virtual int GetLength() const;

 private:
  std::string text_;
};
