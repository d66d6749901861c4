// wb_sheet_source for one OOXML worksheet part, streamed.
//
// The first read after opening (the pass that decides the used range and
// the types) goes through wb_xml_scanner, which reports the same events as
// expat for a UTF-8 part at a fraction of the cost; a part the scanner
// declines goes through expat (wb_xml_parser). Each parse step handles one
// chunk of the inflated part; the cells it completes go to a small queue
// (with texts converted to UTF-16 in a reused arena) that next_cell()
// drains, so memory depends on the chunk size, not on the sheet.
//
// The first read also records its cells in a compact form (wb_spill_buffer:
// in memory up to a bound, beyond it in a temporary file): numbers as their
// eight bytes, shared strings as their index, texts as their UTF-8 bytes,
// rows and columns as varints. Once it has read the whole part, every read
// after rewind() replays that record through the same cell assembly instead
// of parsing the XML again; a read rewound before the end parses the part
// again with expat.
//
// Long texts (inline strings and formula results past wb_long_text_units
// bytes of UTF-8) are converted piece by piece as they arrive into a buffer
// of their own, which the reader may take over (wb_raw_cell::text_buffer),
// so such a cell costs its UTF-16 size once. The first read notes the
// length of each; later reads size its buffer once from that note.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "wb_byte_reader.h"
#include "wb_sheet_source.h"
#include "wb_spill_buffer.h"
#include "wb_value.h"
#include "wb_xml_parser.h"
#include "wb_xml_scanner.h"

class wb_shared_strings;
class wb_xlsx_styles;

class wb_xlsx_sheet final : public wb_sheet_source, private wb_xml_handler {
 public:
  // `shared_strings` and `styles` may be null (the parts are optional) and
  // must otherwise outlive the sheet. `date1904` converts ISO dates (t="d").
  // `spill_memory` bounds the memory of the first read's record.
  wb_xlsx_sheet(std::unique_ptr<wb_byte_reader> reader, const wb_shared_strings* shared_strings,
                const wb_xlsx_styles* styles, bool date1904,
                std::size_t spill_memory = wb_spill_buffer::default_memory_bound);

  bool next_cell(wb_raw_cell& cell) override;
  bool rewind() override;
  long error() const override { return error_; }
  std::uint64_t unreadable_values() const override { return unreadable_; }
  std::uint64_t uncalculated_formulas() const override { return uncalculated_; }
  // The workbook asks to be calculated when it is opened: a formula result
  // of 0 is then most likely the place-holder of a writing program that
  // cannot calculate, and counts as uncalculated.
  void set_results_stale(bool stale) { results_stale_ = stale; }
  void set_text_limit(std::size_t units) override { text_limit_ = units; }

 private:
  enum class cell_type : std::uint8_t { number, shared, formula_string, inline_string, boolean, error, iso_date };

  struct queued_cell {
    std::uint32_t row;
    std::uint32_t column;
    wb_cell_kind kind;
    wb_number_class number_class;
    double number;
    std::uint32_t text_offset;     // in text_arena_
    std::int32_t long_text;        // index into long_texts_, or -1
    std::size_t text_length;       // units delivered
    std::size_t text_omitted = 0;  // units measured beyond them
  };

  // The length of a long text, noted on the first read: cell `cell` (the
  // 0-based count of <c> elements before it), the record's cell `recorded`
  // (the count of cells recorded before it), holds `units` UTF-16 units.
  struct long_text_note {
    std::uint64_t cell;
    std::uint64_t recorded;
    std::size_t units;
  };
  // What the first read records, one tag byte each (the low four bits; the
  // high four carry a number's class or a boolean's value). A cell's record
  // goes on with its row (the difference from the last recorded row,
  // zigzag varint) and column (varint), then its value: the eight bytes of
  // a number, a shared string's index (varint), or the length (varint) and
  // UTF-8 bytes of a text. A long text comes before its cell in pieces
  // (length and bytes each); a restart drops the pieces so far.
  enum record_tag : std::uint8_t { tag_piece, tag_restart, tag_number, tag_boolean, tag_error, tag_shared, tag_text };

  void on_start(wb_xml_ns ns, std::string_view local, const char** attributes) override;
  void on_end(wb_xml_ns ns, std::string_view local) override;
  void on_text(std::string_view text) override;

  void start_cell(const char** attributes);
  void finish_cell();
  void queue_text(queued_cell& q);
  // The same, and the text into the record of the sheet when one is made.
  void queue_and_record_text(queued_cell& q);
  // Converts shared string `index` into the arena; false when there is none
  // or it is empty.
  bool queue_shared(queued_cell& q, std::size_t index);
  void record_cell(std::uint8_t tag);
  void record_bytes(std::string_view bytes) {
    spill_.put_varint(bytes.size());
    spill_.put(bytes.data(), bytes.size());
  }
  // Where each cell begins in a replay: what start_cell() does to the text.
  void start_replayed_cell();
  // Replays the next cells of the record into the queue.
  void replay_chunk();
  // The text of the cell: collected as UTF-8 in t_ while short, converted
  // into long_text_ once long.
  void collect_text(std::string_view utf8) {
    t_.append(utf8);
    if (t_.size() > spill_bytes_) continue_long_text();
  }
  void restart_text() {
    t_.clear();
    if (text_is_long_) {
      if (recording_) spill_.put_byte(tag_restart);
      end_long_text();
    }
  }
  void continue_long_text();
  void end_long_text();
  void start_long_text();
  // Converts t_ into long_text_ but for a tail that the next piece may
  // complete; all of it when `final`.
  void convert_long_text(bool final);
  void release_long_texts();
  void reset_state();
  bool at_end() const { return replaying_ ? replay_done_ : scanning_ ? scanner_.at_end() : parser_.at_end(); }
  void parse_chunk();

  std::unique_ptr<wb_byte_reader> reader_;
  wb_xml_parser parser_;
  wb_xml_scanner scanner_;
  bool scanning_ = true;  // the first read, until rewind()
  // unreadable_values(), counted by the first read (until rewind())
  std::uint64_t unreadable_ = 0;
  bool first_read_ = true;
  void note_unreadable() {
    if (first_read_) ++unreadable_;
  }
  // uncalculated_formulas(), counted likewise.
  std::uint64_t uncalculated_ = 0;
  bool results_stale_ = false;

  // The first read's record: written while recording_, complete once the
  // first read reached the end of the part without failing.
  wb_spill_buffer spill_;
  bool recording_ = true;
  bool recorded_ = false;
  std::uint64_t recorded_cells_ = 0;  // cells recorded, or replayed so far
  std::uint32_t recorded_row_ = 0;    // the row of the last cell recorded or replayed
  bool replaying_ = false;
  bool replay_done_ = false;
  const wb_shared_strings* shared_strings_;
  const wb_xlsx_styles* styles_;
  bool date1904_;
  long error_ = 0;

  std::vector<queued_cell> queue_;
  std::size_t queue_pos_ = 0;
  std::u16string text_arena_;
  // The long texts of the queued cells. A slot the reader took holds the
  // buffer it gave back; slots larger than a measured text are released
  // when the queue is drained.
  std::vector<std::u16string> long_texts_;
  std::size_t long_texts_used_ = 0;

  std::size_t text_limit_ = 0;  // see set_text_limit; 0: none
  std::vector<long_text_note> notes_;
  bool notes_done_ = false;   // the first read is over: notes_ is complete
  std::size_t note_pos_ = 0;  // the next note to come
  static constexpr std::uint64_t no_note = ~std::uint64_t{0};
  std::uint64_t noted_cell_ = no_note;  // the cell of notes_[note_pos_], no_note after the last
  std::uint64_t cell_ordinal_ = 0;      // <c> elements started in this read
  std::size_t expected_units_ = 0;      // the note of the current cell, 0 without one

  // Parse state.
  bool in_sheet_data_ = false;
  bool in_cell_ = false;
  bool in_inline_ = false;
  bool collecting_v_ = false;
  bool collecting_t_ = false;
  bool has_v_ = false;
  bool has_f_ = false;  // the cell holds a formula
  bool cell_valid_ = false;
  int phonetic_depth_ = 0;
  std::int64_t row_ = -1;          // current row, 0-based
  std::uint32_t next_column_ = 0;  // column of a cell without a reference
  std::uint32_t cell_row_ = 0;
  std::uint32_t cell_column_ = 0;
  std::uint32_t cell_style_ = 0;
  cell_type cell_type_ = cell_type::number;
  std::string v_;
  std::string t_;  // the cell's text (UTF-8): whole while short, else its unconverted tail
  // The cell's text once it turned out long, and its length in units
  // (measured: may be more than the buffer holds under a text limit).
  bool text_is_long_ = false;
  // t_ turns into a long text past this many bytes: wb_long_text_units, 0
  // once long or when the first read noted the cell's text as long.
  std::size_t spill_bytes_ = wb_long_text_units;
  std::u16string long_text_;
  std::size_t long_text_units_ = 0;
  std::unique_ptr<char16_t[]> slice_;  // one converted slice on its way into long_text_
};
