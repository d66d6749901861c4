#include "udb_validator.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <cstdio>

#include "tk_logger.h"
#include "tk_mail_assertion.h"
#include "tk_wstring.h"
#include "udb_name_compare.h"

namespace {

// Units forbidden in every name: control characters (printed in a dump
// comment, a line break would end the comment and start a statement), and
// the halves of a character beyond the Basic Multilingual Plane (an emoji),
// which the server's names cannot hold: it refuses the statement that
// carries one, and a table so named would be lost.
bool is_unsafe_unit(char16_t c) { return c < 0x20 || c == 0x7F || (c >= 0xD800 && c <= 0xDFFF); }

// Cuts to n units without leaving half of a surrogate pair at the end.
void cut(std::u16string& name, size_t n) {
  if (name.size() <= n) return;
  name.resize(n);
  if (!name.empty() && name.back() >= 0xD800 && name.back() <= 0xDBFF) name.pop_back();
}

}  // namespace

std::u16string udb_fold_case(std::u16string_view name) {
  if (udb_detail::is_ascii(name)) {
    std::u16string out(name);
    for (char16_t& c : out)
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    return out;
  }
  // Character by character (simple folding: "ß" stays itself).
  std::u16string out;
  out.reserve(name.size());
  const auto n = static_cast<int32_t>(name.size());
  for (int32_t i = 0; i < n;) {
    UChar32 c = 0;
    U16_NEXT(name.data(), i, n, c);
    c = u_foldCase(c, U_FOLD_CASE_DEFAULT);
    if (U_IS_BMP(c)) {
      out += static_cast<char16_t>(c);
    } else {
      out += static_cast<char16_t>(U16_LEAD(c));
      out += static_cast<char16_t>(U16_TRAIL(c));
    }
  }
  return out;
}

udb_validator::udb_validator(uint32_t max_length) : max_length_(max_length) {}

udb_validator::~udb_validator() = default;

bool udb_validator::is_restricted(std::u16string_view name) const {
  return !restricted_folded_.empty() && restricted_folded_.count(udb_fold_case(name)) != 0;
}

void udb_validator::add_restricted(std::u16string_view name) {
  restricted_.emplace_back(name);
  restricted_folded_.insert(udb_fold_case(name));
}

bool udb_validator::is_acceptable(std::u16string_view name) const {
  TK_TRACE(1, "udb_validator::is_acceptable(%s)", name);
  if (max_length_ != 0 && name.size() > max_length_) {
    TK_TRACE(1, "The name is too long");
    return false;
  }
  if (is_restricted(name)) {
    TK_TRACE(1, "The name is restricted");
    return false;
  }
  for (char16_t c : name) {
    if (is_unsafe_unit(c) || std::find(forbidden_.begin(), forbidden_.end(), c) != forbidden_.end()) {
      TK_TRACE(1, "The name contains illegal: %c", c);
      return false;
    }
  }
  return true;
}

bool udb_validator::is_duplicated(std::u16string_view name) const {
  TK_TRACE(1, "udb_validator::is_duplicated(%s)", name);
  if (existing_folded_.count(udb_fold_case(name)) == 0) return false;
  TK_TRACE(1, "Name is duplicated");
  return true;
}

std::u16string udb_validator::get_safe_name(std::u16string_view name) const { return make_safe(std::u16string(name)); }

std::u16string udb_validator::make_safe(std::u16string name) const {
  TK_TRACE(1, "udb_validator::get_safe_name(%s)", name);
  std::u16string safe = tk_wstring::to_lower(name);
  if (max_length_ != 0 && safe.size() > max_length_) cut(safe, max_length_ - 1);
  for (char16_t& c : safe)
    if (is_unsafe_unit(c) || std::find(forbidden_.begin(), forbidden_.end(), c) != forbidden_.end()) c = u'_';
  if (is_acceptable(safe) && !is_duplicated(safe)) return safe;

  // Room for the five-digit counter.
  if (max_length_ > 5 && safe.size() > max_length_ - 5) cut(safe, max_length_ - 6);
  // Counters below the remembered one were rejected before, and a rejected
  // name stays rejected: `existing` only grows.
  uint32_t& next = next_counter_[udb_fold_case(safe)];
  const size_t base = safe.size();
  for (uint32_t counter = next; counter <= max_counter; ++counter) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%05u", counter);
    safe.resize(base);
    for (const char* p = digits; *p; ++p) safe += static_cast<char16_t>(*p);
    if (is_acceptable(safe) && !is_duplicated(safe)) {
      next = counter;
      return safe;
    }
  }
  next = max_counter + 1;
  throw tk_mail_assertion("udb_vali", 55);
}

void udb_validator::add_existing_name(std::u16string_view name) {
  TK_TRACE(1, "udb_validator::add_existing_name(%s)", name);
  existing_.emplace_back(name);
  existing_folded_.insert(udb_fold_case(name));
}

void udb_validator::add_mapped_pair(std::u16string_view source, std::u16string_view mapped) {
  TK_TRACE(1, "udb_validator::add_mapped_pair(%s,%s)", source, mapped);
  mapped_.insert_or_assign(std::u16string(source), std::u16string(mapped));
}

std::u16string_view udb_validator::get_mapped_name(std::u16string_view source) const {
  auto it = mapped_.find(source);
  return it == mapped_.end() ? source : std::u16string_view(it->second);
}

void udb_validator::register_source_name(std::u16string_view name) {
  std::u16string safe = get_safe_name(name);
  add_existing_name(safe);
  if (safe != name) add_mapped_pair(name, safe);
}
