#pragma once
// The destination database as the conversion driver sees it, implemented on
// a live server and on a dump file. The base keeps what both share: the
// database name, the open mode, the names of the tables that exist in it,
// and the names map of the tables and columns created in it; each operation
// has a base behaviour, mostly "nothing", that the destinations override.
//
// Ownership: the database owns its table list and names map. Recordsets it
// returns (create_table, get_table) are owned by the
// caller and keep a non-owning pointer back to the database, which must
// therefore outlive them. Schemas, indexes and records passed in are read
// during the call only.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "udb_indexes.h"
#include "udb_names_map.h"
#include "udb_schema.h"

class udb_recordset;

class udb_database {
 public:
  // Open-mode bits.
  static constexpr uint32_t mode_read_only = 1;  // creating or dropping a table is an internal error
  static constexpr uint32_t mode_created = 2;    // a database just created
  static constexpr uint32_t mode_overwrite = 4;  // the whole database is being overwritten
  static constexpr uint32_t mode_append = 8;     // tables are added to an existing database

  udb_database(std::u16string name, uint32_t mode);
  udb_database(const udb_database&) = delete;
  udb_database& operator=(const udb_database&) = delete;
  virtual ~udb_database();

  // Creates a table and returns its writer (owned by the caller); base: null.
  virtual std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema& schema,
                                                      const udb_indexes& indexes);
  // Drops a table; base: removes the name from the table list.
  virtual void delete_tab(const std::u16string& name);
  // A reader or writer of an existing table; base: null.
  virtual std::unique_ptr<udb_recordset> get_table(const std::u16string& name, uint32_t mode);
  // Whether the table list holds the name (exactly, or ignoring case).
  virtual bool is_table_exist(std::u16string_view name, bool case_sensitive) const;
  // The name a table of the list has: `name` itself when listed so, else
  // the first listed in another letter case, else `name` (the list is
  // searched ignoring case; the server may compare names exactly).
  std::u16string listed_name(std::u16string_view name) const;

  const std::u16string& name() const noexcept { return name_; }
  uint32_t mode() const noexcept { return mode_; }
  const std::vector<std::u16string>& tables() const noexcept { return tables_; }
  udb_names_map& names_map() noexcept { return names_map_; }
  const udb_names_map& names_map() const noexcept { return names_map_; }

 protected:
  // Table-list maintenance for the destinations.
  void add_table_name(std::u16string name);
  // False (and a trace) when the name was not in the list.
  bool remove_table_name(std::u16string_view name);

  std::u16string name_;
  uint32_t mode_;
  std::vector<std::u16string> tables_;
  udb_names_map names_map_;
};
