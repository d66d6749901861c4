#pragma once
// The common base of every table reader and writer: the table's name, its
// schema and indexes, which index is the table's key, and the key-based
// operations the merge mode needs (a row's key fields, the SQL filter of a
// key description).
//
// Ownership: a recordset owns its schema, its indexes and the record it
// hands out from get_record (valid until the next navigation call). It does
// not own its database, which must outlive it.
//
// Readers override the navigation operations, writers append_record and,
// where they support it, update and delete_key. The virtual operations are
// declared in a fixed order that the derived classes follow.

#include <cstdint>
#include <string>
#include <string_view>

#include "udb_indexes.h"
#include "udb_record.h"
#include "udb_schema.h"

class udb_database;

class udb_recordset {
 public:
  udb_recordset() = default;
  udb_recordset(udb_database* database, std::u16string name, std::u16string table);
  udb_recordset(const udb_recordset&) = delete;
  udb_recordset& operator=(const udb_recordset&) = delete;
  virtual ~udb_recordset();

  // Writers: one more row. Base: nothing.
  virtual void append_record(const udb_record& record);
  // Writers: replace the row of the given key description / of the row's
  // own key. Base: trace only.
  virtual void update(const std::u16string& key, const udb_record& record);
  virtual void update(const udb_record& record);
  // Kept for the fixed order; does nothing in this system.
  virtual void reserved();
  // Readers: the current row, owned by the recordset; base: none.
  virtual udb_record* get_record();
  // Readers: past the last row. Base: false.
  virtual bool is_eof();
  // Whether the recordset has a name.
  virtual bool is_valid() const;
  // Readers: position; base: trace only.
  virtual void move_to(int32_t position);
  virtual void move_next();
  virtual void move_prev();
  virtual void reset();
  // Writers: remove the row of a key description / of the row's key.
  virtual void delete_key(const std::u16string& key);
  virtual void delete_key(const udb_record& record);
  // Copies of the row's key fields, in key order, into `key` (its storage
  // reused). Throws tk_exception "There's no primary/unique key" when the
  // table has no key; false when the row lacks a key field.
  virtual bool get_key(const udb_record& row, udb_record& key) const;
  // The SQL condition of a key description "<col>value</col>...": columns
  // in double quotes, numeric and binary values bare, other values in
  // single quotes with &lt; &gt; &amp; decoded and ' and \ escaped with a
  // backslash; conditions joined by " and ". A column missing from the
  // schema throws tk_exception (the conformance message).
  virtual std::u16string get_filter_subquery(std::u16string_view key) const;

  // Adds an index unless its name is taken; a primary index, or the first
  // unique one, becomes the key.
  void add_index(const udb_index& index);

  const std::u16string& name() const noexcept { return name_; }
  const std::u16string& table() const noexcept { return table_; }
  int32_t key_pos() const noexcept { return key_pos_; }
  udb_schema& schema() noexcept { return schema_; }
  const udb_schema& schema() const noexcept { return schema_; }
  const udb_indexes& indexes() const noexcept { return indexes_; }
  udb_database* database() const noexcept { return database_; }

 protected:
  std::u16string name_;
  std::u16string table_;
  int32_t key_pos_ = -1;
  udb_schema schema_;
  udb_indexes indexes_;
  udb_database* database_ = nullptr;  // not owned
};
