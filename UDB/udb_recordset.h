#pragma once
// The common base of every table reader and writer: the table's name, its
// schema and indexes, and which index is the table's key.
//
// Ownership: a recordset owns its schema, its indexes and the record it
// hands out from get_record (valid until the next navigation call). It does
// not own its database, which must outlive it.
//
// Readers override the navigation operations, writers append_record.

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
  // Readers: the current row, owned by the recordset; base: none.
  virtual udb_record* get_record();
  // Readers: past the last row. Base: false.
  virtual bool is_eof();
  // Readers: position; base: nothing.
  virtual void move_next();
  virtual void move_prev();
  virtual void reset();
  // Readers: how much of the source is read (bytes so far and in all), for
  // a progress line; 0 in all when not known.
  virtual void read_share(int64_t& done, int64_t& total) const {
    done = 0;
    total = 0;
  }

  // Adds an index unless its name is taken; a primary index, or the first
  // unique one, becomes the key.
  void add_index(const udb_index& index);

  const std::u16string& name() const noexcept { return name_; }
  const std::u16string& table() const noexcept { return table_; }
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
