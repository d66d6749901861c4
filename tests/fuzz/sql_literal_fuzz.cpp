// Fuzz target: arbitrary text through the literal writers. Byte 0 picks the
// tag (from the tags a cell or column can have) and the style; the rest is
// the text, read as UTF-8 for the narrow form and as UTF-16 (byte pairs)
// for the wide form. Invariant: every literal is either a well-formed
// MySQL string literal (quote, escaped body, quote; in the dump style with
// no raw NUL, CR, LF or Ctrl-Z) or one bare token of letters, digits, '.',
// '+' and '-' (a number, NULL or a 0x literal), so no text can leave it.
// The wide and narrow forms agree on valid text.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "sql_dialect.h"
#include "t_ftd.h"
#include "tk_unicode.h"
#include "udb_field.h"

namespace {

bool is_token_char(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '+' || c == '-';
}

// A quoted literal ends exactly at the last character.
bool is_quoted_literal(std::string_view s, sql_dialect::target style) {
  if (s.size() < 2 || s.front() != '\'' || s.back() != '\'') return false;
  for (size_t i = 1; i + 1 < s.size(); ++i) {
    const char c = s[i];
    if (c == '\\') {
      if (i + 2 >= s.size()) return false;  // the escape would take the closing quote
      ++i;
      continue;
    }
    if (c == '\'') return false;
    if (style == sql_dialect::target::dump && (c == '\0' || c == '\r' || c == '\n' || c == '\x1A')) return false;
  }
  return true;
}

void check_literal(std::string_view s, sql_dialect::target style) {
  if (!s.empty() && s.front() == '\'') {
    check(is_quoted_literal(s, style));
    return;
  }
  check(!s.empty());
  for (char c : s) check(is_token_char(c));
}

constexpr VARTYPE tags[] = {VT_EMPTY, VT_NULL, VT_I2,      VT_I4,   VT_R4,          VT_R8,       VT_CY,  VT_DATE,
                            VT_BSTR,  VT_BOOL, VT_DECIMAL, VT_I1,   VT_UI1,         VT_UI2,      VT_UI4, VT_I8,
                            VT_UI8,   VT_INT,  VT_UINT,    VT_BLOB, VT_BLOB_OBJECT, VT_ARRAY_UI1};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const VARTYPE vt = tags[(data[0] & 0x7F) % std::size(tags)];
  const sql_dialect::target style = (data[0] & 0x80) ? sql_dialect::target::dump : sql_dialect::target::live;
  const sql_dialect dialect(sql_dialect::version_5_6_4, style);
  const std::string_view narrow(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::u16string wide = utf16_pairs(data + 1, size - 1);

  std::string from_narrow;
  dialect.append_literal(from_narrow, narrow, vt);
  check_literal(from_narrow, style);
  std::string from_wide;
  dialect.append_literal(from_wide, wide, vt);
  check_literal(from_wide, style);

  // The narrow and wide forms agree on the same valid text (dates are read
  // from narrow text in both, but wide text loses its non-ASCII letters).
  std::u16string decoded;
  if (vt != VT_DATE && tk_append_utf16(decoded, narrow)) {
    check(dialect.literal(decoded, vt) == from_narrow);
  }

  // The text as a cell in a column of the tag, and in a geometry column.
  udb_field cell(u"f", 0, ole_variant(std::u16string_view(wide)));
  t_ftd column(0, u"c", vt < VT_I2 ? VT_BSTR : vt, (data[0] & 1) != 0, false, ole_variant(), 0);
  std::string out;
  dialect.append_cell(out, cell, column, true);
  if (out != "?") check_literal(out, style);
  t_ftd geometry(0, u"g", VT_BSTR, false, false, ole_variant(), 2);
  out.clear();
  dialect.append_cell(out, cell, geometry, false);
  constexpr std::string_view head = "ST_GeomFromText(";
  check(out.size() > head.size() + 1 && out.compare(0, head.size(), head) == 0 && out.back() == ')');
  check(is_quoted_literal(std::string_view(out).substr(head.size(), out.size() - head.size() - 1), style));
  return 0;
}
