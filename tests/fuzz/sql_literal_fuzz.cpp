// Fuzz target: arbitrary text through the literal writers. Byte 0 picks the
// tag (from the tags a cell or column can have) and the style; the rest is
// the text, read as UTF-8 for the narrow form and as UTF-16 (byte pairs)
// for the wide form. Invariant: every literal is either a well-formed
// MySQL string literal (quote, escaped body, quote; in the dump style with
// no raw NUL, CR, LF or Ctrl-Z) or one bare token of letters, digits, '.',
// '+' and '-' (a number, NULL or a 0x literal), so no text can leave it.
// The wide and narrow forms agree on valid text.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sql_util.h"
#include "t_ftd.h"
#include "tk_unicode.h"
#include "udb_field.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

bool is_token_char(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '+' || c == '-';
}

// A quoted literal ends exactly at the last character.
bool is_quoted_literal(std::string_view s, sql_literal_style style) {
  if (s.size() < 2 || s.front() != '\'' || s.back() != '\'') return false;
  for (size_t i = 1; i + 1 < s.size(); ++i) {
    const char c = s[i];
    if (c == '\\') {
      if (i + 2 >= s.size()) return false;  // the escape would take the closing quote
      ++i;
      continue;
    }
    if (c == '\'') return false;
    if (style == sql_literal_style::dump && (c == '\0' || c == '\r' || c == '\n' || c == '\x1A')) return false;
  }
  return true;
}

void check_literal(std::string_view s, sql_literal_style style) {
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
  const sql_literal_style style = (data[0] & 0x80) ? sql_literal_style::dump : sql_literal_style::live;
  const std::string_view narrow(reinterpret_cast<const char*>(data + 1), size - 1);
  std::u16string wide;
  for (size_t i = 1; i + 1 < size; i += 2) wide += static_cast<char16_t>(data[i] | data[i + 1] << 8);

  const std::string from_narrow = to_mysql_str(narrow, vt, style);
  check_literal(from_narrow, style);
  std::string from_wide;
  append_mysql_wstr(from_wide, wide, vt, style);
  check_literal(from_wide, style);
  std::string widened;
  tk_append_utf8(widened, to_mysql_wstr(wide, vt, style));
  check(widened == from_wide);

  // The narrow and wide forms agree on the same valid text (dates are read
  // from narrow text in both, but wide text loses its non-ASCII letters).
  std::u16string decoded;
  if (vt != VT_DATE && tk_append_utf16(decoded, narrow)) {
    std::string again;
    append_mysql_wstr(again, decoded, vt, style);
    check(again == from_narrow);
  }

  // The text as a cell in a column of the tag, and in a geometry column.
  udb_field cell(u"f", 0, ole_variant(std::u16string_view(wide)));
  t_ftd column(0, u"c", vt < VT_I2 ? VT_BSTR : vt, (data[0] & 1) != 0, false, ole_variant(), 0);
  std::string out;
  get_fld_append_str(out, &cell, &column, true, style);
  if (out != "?") check_literal(out, style);
  t_ftd geometry(0, u"g", VT_BSTR, false, false, ole_variant(), 2);
  out.clear();
  get_fld_append_str(out, &cell, &geometry, false, style);
  constexpr std::string_view head = "ST_GeomFromText(";
  check(out.size() > head.size() + 1 && out.compare(0, head.size(), head) == 0 && out.back() == ')');
  check(is_quoted_literal(std::string_view(out).substr(head.size(), out.size() - head.size() - 1), style));
  return 0;
}
