#pragma once
// The ordered column descriptions of a table. The schema owns its
// descriptors; the list is public because the writers walk it in order (the
// column order of a table is the schema's order). Entries may be null (a
// writer may drop a column in place); lookups skip them.
//
// Copies are deep.

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "t_ftd.h"

class udb_schema {
 public:
  std::vector<std::unique_ptr<t_ftd>> fields;

  udb_schema() = default;
  udb_schema(const udb_schema& other);
  udb_schema(udb_schema&&) noexcept = default;
  udb_schema& operator=(const udb_schema& other);
  udb_schema& operator=(udb_schema&&) noexcept = default;
  virtual ~udb_schema();

  // Appends a descriptor (a null one is an internal error). Virtual so that
  // a destination schema can guard its row-size limit as columns arrive.
  virtual void push_back(std::unique_ptr<t_ftd> field);
  void push_back(const t_ftd& field) { push_back(std::make_unique<t_ftd>(field)); }

  size_t size() const noexcept { return fields.size(); }
  bool empty() const noexcept { return fields.empty(); }

  // Case-insensitive lookups, first match wins, null entries skipped.
  bool find_field(std::u16string_view name) const;
  ptrdiff_t find_index(std::u16string_view name) const;
  const t_ftd* find(std::u16string_view name) const;
  t_ftd* find(std::u16string_view name);
};
