// Fuzz target: a list of names (UTF-16, bytes in pairs, separated by U+000A)
// made safe one after the other in one scope, the way the writers do it.
// Byte 0 picks the rules (new or old) and the scope (tables, columns,
// indexes). Invariant: every name returned is acceptable and differs,
// ignoring case, from every name returned before. The only failure allowed
// is running out of counters, which the old rules reach for an empty name.
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "fuzz_check.h"
#include "sql_new_validator.h"
#include "sql_old_validator.h"
#include "tk_mail_assertion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool old_rules = data[0] & 1;
  const std::vector<std::u16string> none;
  const std::function<std::unique_ptr<udb_validator>()> scopes[2][3] = {
      {[&] { return std::make_unique<sql_new_tn_validator>(none, none); },
       [] { return std::make_unique<sql_new_fn_validator>(); },
       [&] { return std::make_unique<sql_new_in_validator>(none); }},
      {[&] { return std::make_unique<sql_old_tn_validator>(none, none); },
       [] { return std::make_unique<sql_old_fn_validator>(); },
       [&] { return std::make_unique<sql_old_in_validator>(none); }}};
  const std::unique_ptr<udb_validator> v = scopes[old_rules][(data[0] >> 1) % 3]();
  std::vector<std::u16string> names(1);
  for (char16_t c : utf16_pairs(data + 1, size - 1)) c == u'\n' ? names.emplace_back() : names.back() += c;
  std::set<std::u16string> folded;
  for (const std::u16string& name : names) {
    std::u16string safe;
    try {
      safe = v->get_safe_name(name);
    } catch (const tk_mail_assertion&) {
      check(old_rules && name.empty());
      continue;
    }
    check(v->is_acceptable(safe) && !v->is_duplicated(safe));
    check(folded.insert(udb_fold_case(safe)).second);
    v->add_existing_name(safe);
  }
  return 0;
}
