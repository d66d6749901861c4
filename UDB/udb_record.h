#pragma once
// A row: an ordered list of owned fields. Fields are held by pointer so that
// derived field kinds (the server's fields) can live in a record; the record
// destroys them.
//
// Reuse: a reader refills the same record row after row. resize(n) keeps
// the fields it already has (with their name and value storage), and fields
// dropped by a shrink are kept aside and come back, as they were left, when
// the record grows again; add() hands out the next field with its value
// cleared and the given name. Copy assignment into an existing record copies
// field by field into the fields it already has. Only reset() and the
// destructor free fields.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "udb_field.h"

class udb_record {
 public:
  udb_record() = default;
  udb_record(const udb_record& other);
  udb_record(udb_record&&) noexcept = default;
  udb_record& operator=(const udb_record& other);
  udb_record& operator=(udb_record&&) noexcept = default;
  virtual ~udb_record();

  size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  udb_field& operator[](size_t i) noexcept { return *fields_[i]; }
  const udb_field& operator[](size_t i) const noexcept { return *fields_[i]; }

  // Appends an owned field; a null pointer is an internal error.
  void push_back(std::unique_ptr<udb_field> field);
  void push_back(const udb_field& field);
  // The next field, reused when one is kept aside: its name set, its value
  // cleared (VT_EMPTY), size 0, flags off.
  udb_field& add(std::u16string_view name);
  // n fields; new ones are empty fields without a name.
  void resize(size_t n) {
    if (n > fields_.size()) grow(n);
    size_ = n;
  }
  // No fields; the field objects are kept aside for reuse.
  void clear() noexcept { size_ = 0; }
  // Destroys every field.
  void reset() noexcept;

  // Case-insensitive lookups; the first match wins.
  bool find_field(std::u16string_view name) const { return find_index(name) >= 0; }
  ptrdiff_t find_index(std::u16string_view name) const;
  const udb_field* find(std::u16string_view name) const;
  udb_field* find(std::u16string_view name);

  // True when no field has content: VT_NULL fields and fields whose text
  // form is empty count as empty.
  bool is_empty() const;
  // Sum of get_size() over the fields whose tag is not VT_EMPTY.
  size_t get_total_size() const noexcept;

  // Records of the same nonzero layout and size have fields of the same
  // names in the same order (a reader's records, named once): a writer
  // need not compare the names record by record. 0 promises nothing.
  virtual uint64_t layout() const noexcept { return 0; }

 protected:
  // Where the pointers to the fields are kept.
  const std::unique_ptr<udb_field>* field_slots() const noexcept { return fields_.data(); }
  // The fields in use and kept aside.
  size_t fields_held() const noexcept { return fields_.size(); }

 private:
  void grow(size_t n);

  std::vector<std::unique_ptr<udb_field>> fields_;  // [0, size_) in use, the rest kept aside
  size_t size_ = 0;
};
