#pragma once
// A CSV record: the fields of one logical line, named after the columns of
// the schema it is tied to (or F1, F2, ... while there is none).
//
// The record is refilled line after line: its field objects and its text
// buffer are kept from one do_create to the next, so parsing a line of a
// width already seen allocates nothing. A line read as UTF-8 leaves the text
// of all its fields in that one buffer, one after the other, and the fields
// hold views of it (ole_variant::set_utf8_borrowed) until the next line. The
// schema is not owned.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "field_note.h"
#include "udb_record.h"
#include "udb_schema.h"

class csv_record : public udb_record {
 public:
  // `schema` may be null or empty: the line then gives all its fields.
  // A nonzero `layout` is the reader's for the schema (udb_record::layout):
  // the fields keep the names given here, so nobody may rename them.
  explicit csv_record(const udb_schema* schema, uint64_t layout = 0);
  ~csv_record() override;

  // Parses one logical line into the fields of this record (replacing
  // them). Outside quotes the delimiter ends a field; a quote opens or
  // closes a quoted section anywhere in a field; inside one, two quotes
  // stand for one literal quote, and the delimiter and line feeds are
  // ordinary characters. With a schema of N columns, at most N fields are
  // made and the text after the N-th delimiter is dropped.
  void do_create(std::u16string_view line, char16_t delimiter);
  // The same of a line in well-formed UTF-8: the fields hold their text as
  // UTF-8 (ole_variant::utf8_for_write).
  void do_create_utf8(std::string_view line, char delimiter);

  // What split_buffered found of the logical line it split.
  struct buffered_line {
    size_t bytes = 0;       // of the buffer, its last line feed included
    int64_t lines = 0;      // physical lines
    int64_t inside_on = 0;  // the physical line (1 the first) on which a quote in
                            // mid-field opened a section carried past it, or 0
  };
  // do_create_utf8 of the logical line that starts at the front of `bytes`,
  // read in one pass from a reader's buffer of well-formed UTF-8 (line
  // ends, quotes and delimiters found together; csv_file tells the line
  // ends). False when the buffer does not tell the whole line (it ends
  // first, or ends with a quote inside quotes), when the line has more
  // fields than the schema, or when it is empty or starts with Ctrl-Z: the
  // reader then reads the line itself and splits it anew.
  bool split_buffered(std::string_view bytes, char delimiter, buffered_line& line);

  // Notes the statistics' readings of the fields (field_note), of each as
  // `wanted` asks (field_note's bits, one a field; all when null); a split
  // drops them.
  void note_fields(const std::atomic<uint8_t>* wanted);
  // The notes of the fields as they were split, or null.
  const field_note* notes() const noexcept { return noted_ ? notes_.data() : nullptr; }

  const udb_schema* schema() const noexcept { return schema_; }
  uint64_t layout() const noexcept override { return layout_; }
  // Asks the processor for a step of the record ahead of its use on
  // another thread than the one that filled it: 0 the record, 1 its list of
  // fields, 2 the fields, 3 their UTF-8 text. Each step reads what the one
  // before fetched.
  void prefetch(int step) const noexcept;
  // The code units the fields of the last line keep room for.
  size_t held() const noexcept { return held_; }
  // Whether the last line had more fields than the schema, and text other
  // than blanks, quotes and delimiters in them: that text is not in the
  // record.
  bool cut() const noexcept { return cut_; }

 private:
  // The k-th field of the line: the one the last line left, with its name
  // and buffers, when there is one (add_field otherwise).
  udb_field& next_field(size_t k) {
    if (k < built_ && k < fields_held()) {
      resize(k + 1);
      return (*this)[k];
    }
    return add_field(k);
  }
  udb_field& add_field(size_t k);
  // The UTF-8 fields: where each one's text lies in text_, and its length.
  struct span {
    size_t at = 0;
    size_t size = 0;
    size_t units = 0;  // UTF-16 units
  };
  // The next field's text starts at `at` (in text_).
  void open_span(const char* at);
  // The last field's text ends at `at`; `high` tells whether a byte of it
  // may be no ASCII.
  void close_span(const char* at, unsigned high);
  // The fields of the spans, viewing their text; fields kept aside are
  // emptied (their views would be of another line's text).
  void take_spans();
  // More room in text_ for `more` bytes written at `at`; returns where `at`
  // is now.
  char* grow_text(char* at, size_t more);

  const udb_schema* schema_;
  uint64_t layout_;
  size_t built_ = 0;  // field objects this record has made (in use or kept aside)
  size_t held_ = 0;
  bool cut_ = false;
  bool noted_ = false;
  std::vector<field_note> notes_;
  std::string text_;      // the UTF-8 fields' text (its size is its room)
  size_t text_used_ = 0;  // of which the last line used
  std::vector<span> spans_;
};
