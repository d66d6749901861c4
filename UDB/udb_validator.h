#pragma once
// Makes names safe and unique within one naming scope (the tables of a
// database, the columns of a table, the indexes of a table): decides whether
// a name is acceptable to the destination and, when it is not or is already
// taken, produces a replacement. Owns its lists; `existing` only grows.
//
// The calling pattern: safe = get_safe_name(name); add_existing_name(safe).
// Every comparison of names ignores case.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class udb_validator {
 public:
  // Candidates tried after a rejected name: name00000 .. name99999.
  static constexpr uint32_t max_counter = 99999;

  explicit udb_validator(uint32_t max_length = 0);
  virtual ~udb_validator();

  // Not longer than max_length, not a restricted name, no forbidden or
  // control character (U+0000 to U+001F, U+007F).
  virtual bool is_acceptable(std::u16string_view name) const;
  // Equal to a name in `existing`.
  virtual bool is_duplicated(std::u16string_view name) const;
  // Lower case, cut to max_length - 1, forbidden and control characters
  // made '_'; if that is not acceptable or taken, cut to max_length - 6 and
  // followed by the first free five-digit counter. Exhausting the counter is an
  // internal error. The result is not added to `existing`.
  virtual std::u16string get_safe_name(std::u16string_view name) const;

  void add_existing_name(std::u16string_view name);
  void add_mapped_pair(std::u16string_view source, std::u16string_view mapped);
  // The name a source name was replaced by; the source name itself when it
  // was not replaced.
  std::u16string_view get_mapped_name(std::u16string_view source) const;

  uint32_t max_length() const noexcept { return max_length_; }
  const std::vector<char16_t>& forbidden() const noexcept { return forbidden_; }
  const std::vector<std::u16string>& existing() const noexcept { return existing_; }
  const std::map<std::u16string, std::u16string, std::less<>>& mapped() const noexcept { return mapped_; }

 protected:
  // The base algorithm once the family has prepared the name.
  std::u16string make_safe(std::u16string name) const;
  bool is_restricted(std::u16string_view name) const;
  void add_restricted(std::u16string_view name);
  // For the scopes' constructors: safe name, existing, mapped pair.
  void register_source_name(std::u16string_view name);

  uint32_t max_length_;
  std::map<std::u16string, std::u16string, std::less<>> mapped_;
  std::vector<char16_t> forbidden_;
  std::vector<std::u16string> restricted_;
  std::vector<std::u16string> existing_;

 private:
  // Case-folded forms of `existing_` and `restricted_` for constant-time tests.
  std::unordered_set<std::u16string> existing_folded_;
  std::unordered_set<std::u16string> restricted_folded_;
  // Per folded base name, the first counter not yet known to be rejected;
  // exact because `existing_` only grows.
  mutable std::unordered_map<std::u16string, uint32_t> next_counter_;
};

// Case folding used for the validators' sets (the same equivalence as
// tk_wstring::equal_no_case_by_character, the server's for names).
std::u16string udb_fold_case(std::u16string_view name);
