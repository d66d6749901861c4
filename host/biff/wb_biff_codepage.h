// Decodes the byte strings of BIFF5/7 workbooks (sheet names, cell texts,
// format codes) from the workbook's Windows code page (its CODEPAGE record)
// to UTF-16 with an ICU converter. Unknown code pages fall back to 1252, the
// default when a workbook names none. A single-byte code page decodes
// through a table of its 256 characters, built once with the converter:
// most texts are short, and a converter call per text would cost more than
// the text itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct UConverter;

class wb_biff_codepage {
 public:
  static constexpr std::uint16_t default_id = 1252;

  explicit wb_biff_codepage(std::uint16_t id = default_id);
  ~wb_biff_codepage();
  wb_biff_codepage(const wb_biff_codepage&) = delete;
  wb_biff_codepage& operator=(const wb_biff_codepage&) = delete;

  // The code page in use (after any fallback).
  std::uint16_t id() const { return id_; }
  // Appends the decoded `bytes` to `out`; bytes the code page does not map
  // become U+FFFD.
  void decode(const unsigned char* bytes, std::size_t size, std::u16string& out) const;

 private:
  UConverter* converter_ = nullptr;
  std::uint16_t id_ = default_id;
  std::vector<char16_t> table_;  // empty unless the code page is single-byte
};
