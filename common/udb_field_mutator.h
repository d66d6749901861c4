#pragma once
// The user's rule for one column of one table (from the "Type Mappings" of a
// profile): a new name, or the column dropped, or another type, default
// value, character set, length, scale or precision.
//
// The rule rewrites the column's descriptor (modify1) and each of its values
// (modify2). A rule without a type keeps the column's own type, size and
// values: only the name and the default change. With a type, the value tag
// comes from the type text; this base does not read type texts (the tag
// stays VT_NULL, "keep") and writes the type text as given. A destination
// derives to read its own type names (sql_field_mutator).
//
// Its properties are "new_name", "type", "default_value", "character_set",
// "length", "scale" and "precision", as text.

#include <cstdint>
#include <string>
#include <string_view>

#include "ole_vartype.h"
#include "udb_properties.h"

class udb_field;
struct t_ftd;

// What the "Type Mappings" lines say about one column, as written.
struct udb_field_mapping {
  std::u16string type;  // the type text after "type:", empty when none
  uint32_t length = 0;
  uint32_t scale = 0;
  uint32_t precision = 0;
  std::u16string default_value;
  std::u16string character_set;
};

class udb_field_mutator : public udb_properties {
 public:
  enum class status : uint8_t { modified = 1, deleted = 2 };

  explicit udb_field_mutator(std::u16string source_name);
  ~udb_field_mutator() override;

  // Takes the new name and the column's rule; derives the value tag, the
  // length the type implies and the reserved word (2 for a DATE, 3 for a
  // TIME, 0 otherwise).
  void set_mapping(std::u16string_view new_name, const udb_field_mapping& mapping);
  void set_status(status s) { status_ = s; }

  // Rewrites a column descriptor: name; with a type, also the tag (unless
  // VT_NULL), the type text, the size (the rule's length, or the column's
  // own size when the rule gives none), the reserved word; the default when
  // the rule gives one; precision and scale when either is not 0.
  void modify1(t_ftd& column) const;
  // Writes `source` rewritten into `out` (whose storage is reused): the new
  // name, the size as in modify1, and the value converted to the rule's tag.
  // Empty and null values stay as they are; empty text becomes empty (NULL)
  // for any tag other than text. A value that cannot take the tag raises the
  // level-1 "Data conversion is not supported for given type mapping".
  void modify2(const udb_field& source, udb_field& out) const;

  const std::u16string& source_name() const { return source_name_; }
  const std::u16string& new_name() const { return new_name_; }
  bool is_deleted() const { return status_ == status::deleted; }
  // Whether the rule gives a type (otherwise the column keeps its own).
  bool retypes() const { return !mapping_.type.empty(); }
  const udb_field_mapping& mapping() const { return mapping_; }
  // VT_NULL: the column keeps its own tag.
  VARTYPE vartype() const { return vartype_; }
  uint32_t length() const { return length_; }
  uint32_t reserved() const { return reserved_; }
  // The destination's column type text for a column of `column_size`.
  std::u16string native_type(uint32_t column_size) const;

 protected:
  // Sets vartype_ from the rule's type text and may complete length_,
  // mapping_.precision and mapping_.scale from it. Base: VT_NULL.
  virtual void resolve_type();
  // The column type text for the given length. Base: the type as written.
  virtual std::u16string native_type_text(uint32_t length) const;

  udb_field_mapping mapping_;
  VARTYPE vartype_ = VT_NULL;
  uint32_t length_ = 0;

 private:
  void convert_value(const udb_field& source, udb_field& out) const;

  std::u16string source_name_;
  std::u16string new_name_;
  status status_ = status::modified;
  uint32_t reserved_ = 0;
};
