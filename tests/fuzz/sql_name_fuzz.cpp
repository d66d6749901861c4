// Fuzz target: arbitrary names through the identifier and comment writers.
// Byte 0 picks the target (live or dump); the rest is the name as UTF-16
// byte pairs. Invariants: a name embedded in a statement parses back, by
// the server's quoting rule (a doubled backtick stands for one), to exactly
// the name, and the statement goes on right after it; a dump comment block
// naming it holds no line break but its own and no control character.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "sql_dialect.h"
#include "tk_unicode.h"

namespace {

// The name a quoted identifier at the start of `text` stands for, and where
// the statement goes on after it.
std::string parse_identifier(std::string_view text, size_t& end) {
  check(!text.empty() && text[0] == '`');
  std::string name;
  for (size_t i = 1; i < text.size(); ++i) {
    if (text[i] != '`') {
      name += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '`') {
      name += '`';
      ++i;
      continue;
    }
    end = i + 1;
    return name;
  }
  check(false);
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const sql_dialect::target target = (data[0] & 1) ? sql_dialect::target::dump : sql_dialect::target::live;
  const sql_dialect dialect(sql_dialect::version_5_6_4, target);
  const std::u16string name = utf16_pairs(data + 1, size - 1);

  constexpr std::string_view head = "DROP TABLE IF EXISTS ";
  const std::string statement = dialect.drop_table(name);
  check(statement.compare(0, head.size(), head) == 0);
  size_t end = 0;
  const std::string parsed = parse_identifier(std::string_view(statement).substr(head.size()), end);
  // Lone surrogates have no UTF-8 form (U+FFFD stands for them): the name
  // is compared as the statement's UTF-8 writes it.
  std::string expected;
  tk_append_utf8(expected, name);
  check(parsed == expected);
  check(statement.substr(head.size() + end) == " CASCADE");

  const std::string block = dialect.comment_block("Table structure for table", name, "\n");
  size_t breaks = 0;
  for (char c : block) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\n') ++breaks;
    check(c == '\n' || (u >= 0x20 && u != 0x7F));
  }
  check(breaks == 4);
  return 0;
}
