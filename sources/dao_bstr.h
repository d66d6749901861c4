#pragma once
// An owned text of the engine (a name, a description, a property value):
// the engine hands out views into memory it may reuse, so whatever must
// outlive the call is copied into one of these.

#include <string>
#include <string_view>

#include "tk_unicode.h"

class dao_bstr {
 public:
  dao_bstr() = default;
  explicit dao_bstr(std::u16string_view text) : text_(text) {}

  const std::u16string& str() const noexcept { return text_; }
  std::u16string_view view() const noexcept { return text_; }
  bool empty() const noexcept { return text_.empty(); }
  // The text in the process code page, for messages ('?' where it cannot be shown).
  std::string narrow() const { return tk_unicode_to_console(text_); }

  dao_bstr& operator=(std::u16string_view text) {
    text_.assign(text.data(), text.size());
    return *this;
  }

 private:
  std::u16string text_;
};
