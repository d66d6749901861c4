#pragma once
// Column statistics gathered while a table's records are copied: for each
// column, the narrowest type that every value seen so far fits. After the
// table is copied, the post-processing turns each column whose final type
// differs from its arrival type into a column change.
//
// Entries follow the schema's column order; `field_index` is the position of
// the column in the schema and in every record.

#include <cstdint>
#include <string>
#include <vector>

class udb_record;
class udb_schema;

struct types_map_entry {
  uint32_t field_index = 0;
  std::u16string field_name;
  int32_t state = 0;             // the type chosen so far (meaning per statistic)
  int32_t arrival = 0;           // the class of the column's type as it arrived
  bool seen = false;             // a non-empty value has been taken into account
  bool seen_empty_text = false;  // an empty text ('' rather than NULL) was met
  bool final = false;            // no later value can change the state
  // For a date column whose texts all follow one pattern other than the
  // server's own forms: the server's STR_TO_DATE pattern that reads them.
  std::string pattern;
};

class types_map {
 public:
  explicit types_map(std::u16string table);
  virtual void add_rec_stat(const udb_record& record) = 0;

  const std::u16string& table() const { return table_; }
  const std::vector<types_map_entry>& entries() const { return entries_; }
  std::vector<types_map_entry>& entries() { return entries_; }

 protected:
  // The destructor is not virtual: statistics are owned by their concrete type.
  ~types_map() = default;

  std::u16string table_;
  std::vector<types_map_entry> entries_;
  // Reused for every cell's text, so gathering statistics does not allocate.
  std::string text_;
};
