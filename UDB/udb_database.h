#pragma once
// The destination database as the conversion driver sees it, implemented on
// a live server and on a dump file. The base keeps what both share: the
// database name, the open mode, the names of the tables that exist in it,
// and the names map of the tables and columns created in it; each operation
// has a base behaviour, mostly "nothing", that the destinations override.
//
// Ownership: the database owns its table list and names map. Recordsets it
// returns (create_table, get_table, get_query, query) are owned by the
// caller and keep a non-owning pointer back to the database, which must
// therefore outlive them. Schemas, indexes and records passed in are read
// during the call only.
//
// The virtual operations are declared in a fixed order that the
// destinations follow.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "udb_converter.h"
#include "udb_indexes.h"
#include "udb_names_map.h"
#include "udb_relationship.h"
#include "udb_schema.h"

class udb_recordset;

class udb_database {
 public:
  // Open-mode bits.
  static constexpr uint32_t mode_read_only = 1;   // creating or dropping a table is an internal error
  static constexpr uint32_t mode_created = 2;     // a database just created
  static constexpr uint32_t mode_overwrite = 4;   // the whole database is being overwritten
  static constexpr uint32_t mode_append = 8;      // tables are added to an existing database
  static constexpr uint32_t mode_no_views = 128;  // do not read the database's views
  static constexpr uint32_t mode_replace = 256;   // writers replace rows with existing keys

  udb_database(std::u16string name, uint32_t mode);
  udb_database(const udb_database&) = delete;
  udb_database& operator=(const udb_database&) = delete;
  virtual ~udb_database();

  // Kept for the fixed order; does nothing in this system.
  virtual void reserved1();
  // A table shaped like a source recordset; base: create_table with its
  // table name, schema and indexes.
  virtual std::unique_ptr<udb_recordset> create_table(const udb_recordset& source);
  // Creates a table and returns its writer (owned by the caller); base: null.
  virtual std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema& schema,
                                                      const udb_indexes& indexes);
  // One index on an existing table; base: nothing.
  virtual void create_index(const std::u16string& table, const udb_index& index);
  // Base: create_index for each index in order.
  virtual void create_indexes(const std::u16string& table, const udb_indexes& indexes);
  virtual void reserved2();
  // Views from source queries; base: nothing.
  virtual void create_views(const std::vector<udb_selection>& queries);
  // Base: nothing.
  virtual void delete_fk(const std::u16string& table, const std::u16string& name);
  virtual void delete_idx(const std::u16string& table, const udb_index& index);
  // Drops a table; base: removes the name from the table list.
  virtual void delete_tab(const std::u16string& name);
  virtual void reserved3();
  // Removes every row of a table; base: nothing.
  virtual void empty_table(const std::u16string& name);
  virtual void reserved4();
  // A read-only recordset over a query; base: null.
  virtual std::unique_ptr<udb_recordset> get_query(const std::u16string& name, const std::u16string& sql);
  // A table given by a narrow name; base: get_table with the name widened.
  virtual std::unique_ptr<udb_recordset> get_table(std::string_view name, uint32_t mode);
  // The writer of an existing table; base: null.
  virtual std::unique_ptr<udb_recordset> get_table(const std::u16string& name, uint32_t mode);
  // Runs a statement; the recordset over its result, or null when it has
  // none. Base: nothing, null.
  virtual std::unique_ptr<udb_recordset> query(const std::u16string& sql);
  // Runs a statement, true on success; never throws. Base: false.
  virtual bool exec(const std::u16string& sql);
  // Foreign keys; base: nothing.
  virtual void create_relationships(const std::vector<udb_relationship>& relationships);
  // Whether a table has an index over exactly these leading columns; base:
  // false.
  virtual bool has_index_on_fields(const std::u16string& table, const std::vector<std::u16string>& columns);
  // Whether the table list holds the name (exactly, or ignoring case).
  virtual bool is_table_exist(std::u16string_view name, bool case_sensitive) const;

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
