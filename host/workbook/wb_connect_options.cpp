#include "wb_connect_options.h"

#include "wb_text.h"

namespace {

std::u16string_view trim(std::u16string_view s) {
  while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == u' ' || s.back() == u'\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

bool wb_connect_options::parse(std::u16string_view connect, wb_connect_options& out) {
  out = wb_connect_options{};
  bool first = true;
  while (!connect.empty() || first) {
    const std::size_t semi = connect.find(u';');
    const std::u16string_view item = trim(connect.substr(0, semi));
    connect = semi == std::u16string_view::npos ? std::u16string_view{} : connect.substr(semi + 1);
    if (first) {
      first = false;
      if (item.size() < 5 || !wb_ascii_equal_ignore_case(item.substr(0, 5), "excel")) return false;
      continue;
    }
    const std::size_t eq = item.find(u'=');
    if (eq == std::u16string_view::npos) continue;
    const std::u16string_view key = trim(item.substr(0, eq));
    const std::u16string_view value = trim(item.substr(eq + 1));
    if (wb_ascii_equal_ignore_case(key, "hdr")) {
      out.header_row =
          !(wb_ascii_equal_ignore_case(value, "no") || wb_ascii_equal_ignore_case(value, "false") || value == u"0");
    } else if (wb_ascii_equal_ignore_case(key, "imex")) {
      out.imex = (value.size() == 1 && value[0] >= u'0' && value[0] <= u'9') ? value[0] - u'0' : 0;
    }
  }
  return true;
}
