#pragma once
// A profile: a text file of saved conversion settings, in sections.
//
//   [Section name]
//   key = value            a setting: key and value trimmed, split at the first "="
//   bare line              kept exactly as read (indentation included) and
//                          also entered as the key of its trimmed text with
//                          an empty value
//
// Lines before the first section, and lines that are blank once trimmed, are
// skipped. There is no comment syntax and no quoting. Section names and keys
// match exactly (case matters). A key written twice in one section keeps its
// first place among the entries and takes the last value.
//
// Text is UTF-8; a UTF-8 byte-order mark at the start of the file is dropped.
// A line that is not valid UTF-8 is read in the process code page (and,
// where even that fails, with U+FFFD for the bytes that do not decode). Lines
// may be of any length.
//
// The object owns the parsed text; the references it hands out stay valid
// until the next load or parse.

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class udb_profile {
 public:
  using entry = std::pair<std::u16string, std::u16string>;

  struct section {
    std::vector<entry> entries;                        // in order of the keys' first appearance
    std::vector<std::u16string> lines;                 // the bare lines, as read, in file order
    std::vector<std::u16string> settings;              // the lines holding '=', trimmed, in file order
    std::unordered_map<std::u16string, size_t> index;  // key -> position in `entries`
  };

  // Parses the file at `path` (narrow text in the process code page). A
  // missing file raises the level-1 "Profile does not exist. Please verify
  // the correct path/name was given."; a file that exists but cannot be read
  // raises a level-1 tk_exception_ex. Returns true.
  bool load(const std::string& path);
  bool load(std::u16string_view path);
  // Parses profile text held in memory (the whole file's bytes).
  void parse(std::string_view bytes);

  // The value of `key` in `section`, or the empty text when either is missing.
  const std::u16string& get_value(std::u16string_view section, std::u16string_view key) const;
  // The section's entries as (key, value) pairs; a bare line gives an empty value.
  const std::vector<entry>& get_entries(std::u16string_view section) const;
  // The section's bare lines exactly as read (only the line end removed).
  const std::vector<std::u16string>& get_lines(std::u16string_view section) const;
  // The section's lines that hold '=' (its settings), trimmed.
  const std::vector<std::u16string>& get_setting_lines(std::u16string_view section) const;
  bool has_section(std::u16string_view section_name) const;

  const std::map<std::u16string, section, std::less<>>& sections() const { return sections_; }

  // Once its readers have asked for what they read: a section or key that
  // differs from one they asked for only in letter case, blanks of any kind,
  // invisible characters or punctuation ("Mode=2", "mode:2", "mode 2",
  // "[Selected tables]"), a key they asked of another section, or a line
  // before the first section that holds one; said as a refusal names it,
  // empty when there is none. Left unread, the run would go on without it.
  std::u16string misspelt_name() const;

 private:
  const section* find(std::u16string_view name) const;

  std::map<std::u16string, section, std::less<>> sections_;
  // The lines before the first section, trimmed (read by no one).
  std::vector<std::u16string> unsectioned_;
  // The sections the readers asked for, each with the keys asked for in it.
  mutable std::map<std::u16string, std::set<std::u16string>, std::less<>> asked_;
};
