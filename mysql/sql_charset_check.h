#pragma once
// Which characters reach a column of a MySQL character set through the
// run's session, which is UTF-8 of at most three bytes unless the set is
// utf8mb4. A strict server refuses a text with a character the session or
// the column cannot hold (error 1366, "Incorrect string value"), so a dump
// leaves such a row out, as a live run would. utf8mb4 and binary hold
// everything; the common one-byte sets and the Chinese and Japanese sets
// ICU converts as the server does are asked of ICU; every other set holds
// what the session carries (no character beyond the Basic Multilingual
// Plane).

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

struct UConverter;
struct sql_code_page_set;

class sql_charset_check {
 public:
  explicit sql_charset_check(std::u16string_view char_set);
  ~sql_charset_check();
  sql_charset_check(const sql_charset_check&) = delete;
  sql_charset_check& operator=(const sql_charset_check&) = delete;

  // The position of the first code unit of the first character of `text`
  // the set cannot hold, or text.size().
  size_t first_unheld(std::u16string_view text) const;
  // Whether the set surely holds every character of well-formed UTF-8
  // text; false also when only first_unheld can tell.
  bool holds_all(std::string_view utf8) const noexcept;
  // Whether the set holds every character (a Unicode set of four bytes).
  bool holds_every_character() const noexcept { return kind_ == kind::all; }

 private:
  enum class kind : std::uint8_t { all, bmp, code_page };
  bool holds(char16_t c) const;
  // What ICU and the set's known differences say (holds() keeps the answer).
  bool converts(char16_t c) const;

  kind kind_ = kind::all;
  UConverter* converter_ = nullptr;
  const sql_code_page_set* set_ = nullptr;
  // Per BMP character, once asked: 1 held, 2 not held.
  mutable std::vector<std::uint8_t> known_;
};
