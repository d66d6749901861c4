// Fuzz target: a list of names (UTF-16, bytes in pairs, separated by U+000A)
// made safe one after the other in one scope, the way the writers do it.
// Byte 0 picks the rules (new or old) and the scope (tables, columns,
// indexes). Invariant: every name returned is acceptable and differs,
// ignoring case, from every name returned before. The only failure allowed
// is running out of counters, which the old rules reach for an empty name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "sql_new_validator.h"
#include "sql_old_validator.h"
#include "tk_mail_assertion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool old_rules = data[0] & 1;
  const int scope = (data[0] >> 1) % 3;
  std::unique_ptr<udb_validator> v;
  const std::vector<std::u16string> none;
  if (old_rules) {
    if (scope == 0)
      v = std::make_unique<sql_old_tn_validator>(none, none);
    else if (scope == 1)
      v = std::make_unique<sql_old_fn_validator>();
    else
      v = std::make_unique<sql_old_in_validator>(none);
  } else {
    if (scope == 0)
      v = std::make_unique<sql_new_tn_validator>(none, none);
    else if (scope == 1)
      v = std::make_unique<sql_new_fn_validator>();
    else
      v = std::make_unique<sql_new_in_validator>(none);
  }
  std::vector<std::u16string> names(1);
  for (size_t i = 1; i + 1 < size; i += 2) {
    char16_t c = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (c == u'\n') {
      names.emplace_back();
    } else {
      names.back() += c;
    }
  }
  std::set<std::u16string> folded;
  for (const std::u16string& name : names) {
    std::u16string safe;
    try {
      safe = v->get_safe_name(name);
    } catch (const tk_mail_assertion&) {
      if (!(old_rules && name.empty())) std::abort();
      continue;
    }
    if (!v->is_acceptable(safe) || v->is_duplicated(safe)) std::abort();
    if (!folded.insert(udb_fold_case(safe)).second) std::abort();
    v->add_existing_name(safe);
  }
  return 0;
}
