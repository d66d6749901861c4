#pragma once
// Decides whether a text is, or contains, a GUID and where it starts:
// - 36 characters, all hexadecimal digits or '-';
// - 38 characters, the same 36 between '{' and '}';
// - 46 to 90 characters containing "guid" (or else "GUID"): the GUID starts
//   four characters after the word (five when a '{' stands there) and at
//   least 36 characters must follow it. The characters themselves are not
//   checked in this form; is_well_formed() tells whether they are a GUID of
//   the 8-4-4-4-12 shape.
// Holds a copy of the 36 characters only when the text is valid.

#include <cstddef>
#include <string>
#include <string_view>

class ole_guid_extractor {
 public:
  static constexpr size_t guid_length = 36;

  explicit ole_guid_extractor(std::u16string_view text);

  bool is_valid() const { return valid_; }
  // Position of the GUID in the text (meaningful when valid).
  size_t start() const { return start_; }
  // The 36 characters from start(); empty when not valid.
  const std::u16string& guid() const { return guid_; }
  // Valid and the 36 characters are hexadecimal groups of 8-4-4-4-12.
  bool is_well_formed() const;

 private:
  bool valid_ = false;
  size_t start_ = 0;
  std::u16string guid_;
};
