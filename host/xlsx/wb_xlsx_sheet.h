// wb_sheet_source for one OOXML worksheet part, streamed.
//
// The first read after opening (the pass that decides the used range and
// the types) goes through wb_xml_scanner, which reports the same events as
// expat for a UTF-8 part at a fraction of the cost; every read after
// rewind(), and a part the scanner declines, goes through expat
// (wb_xml_parser). Each parse step handles one chunk of the inflated part;
// the cells it completes go to a small queue (with inline texts in a reused
// arena) that next_cell() drains, so memory depends on the chunk size, not
// on the sheet.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "wb_byte_reader.h"
#include "wb_sheet_source.h"
#include "wb_xml_parser.h"
#include "wb_xml_scanner.h"

class wb_shared_strings;
class wb_xlsx_styles;

class wb_xlsx_sheet final : public wb_sheet_source, private wb_xml_handler {
 public:
  // `shared_strings` and `styles` may be null (the parts are optional) and
  // must otherwise outlive the sheet. `date1904` converts ISO dates (t="d").
  wb_xlsx_sheet(std::unique_ptr<wb_byte_reader> reader, const wb_shared_strings* shared_strings,
                const wb_xlsx_styles* styles, bool date1904);

  bool next_cell(wb_raw_cell& cell) override;
  bool rewind() override;
  long error() const override { return error_; }

 private:
  enum class cell_type : std::uint8_t { number, shared, formula_string, inline_string, boolean, error, iso_date };

  struct queued_cell {
    std::uint32_t row;
    std::uint32_t column;
    wb_cell_kind kind;
    wb_number_class number_class;
    bool stable;
    double number;
    const char16_t* stable_text;
    std::uint32_t text_offset;
    std::uint32_t text_length;
  };

  void on_start(wb_xml_ns ns, std::string_view local, const char** attributes) override;
  void on_end(wb_xml_ns ns, std::string_view local) override;
  void on_text(std::string_view text) override;

  void start_cell(const char** attributes);
  void finish_cell();
  void queue_text(queued_cell& q, std::string_view utf8);
  void reset_state();
  bool at_end() const { return scanning_ ? scanner_.at_end() : parser_.at_end(); }
  void parse_chunk();

  std::unique_ptr<wb_byte_reader> reader_;
  wb_xml_parser parser_;
  wb_xml_scanner scanner_;
  bool scanning_ = true;  // the first read, until rewind()
  const wb_shared_strings* shared_strings_;
  const wb_xlsx_styles* styles_;
  bool date1904_;
  long error_ = 0;

  std::vector<queued_cell> queue_;
  std::size_t queue_pos_ = 0;
  std::u16string text_arena_;

  // Parse state.
  bool in_sheet_data_ = false;
  bool in_cell_ = false;
  bool in_inline_ = false;
  bool collecting_v_ = false;
  bool collecting_t_ = false;
  bool has_v_ = false;
  bool cell_valid_ = false;
  int phonetic_depth_ = 0;
  std::int64_t row_ = -1;          // current row, 0-based
  std::uint32_t next_column_ = 0;  // column of a cell without a reference
  std::uint32_t cell_row_ = 0;
  std::uint32_t cell_column_ = 0;
  std::uint32_t cell_style_ = 0;
  cell_type cell_type_ = cell_type::number;
  std::string v_;
  std::string t_;
};
