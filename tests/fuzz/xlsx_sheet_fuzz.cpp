// Fuzz target: arbitrary bytes read as the shared strings, the styles and
// the worksheet XML of an OOXML workbook, then through the common layer
// (used range, types, rows) the engine runs on every sheet, and as a
// number format code. A second read of the sheet, replayed from the first
// read's record (kept in a temporary file past a few bytes), must deliver
// the very cells the first read delivered.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "wb_byte_reader.h"
#include "wb_number_format.h"
#include "wb_row_reader.h"
#include "wb_shared_strings.h"
#include "wb_sheet_schema.h"
#include "wb_xlsx_sheet.h"
#include "wb_xlsx_styles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  long error = 0;

  wb_shared_strings strings;
  wb_memory_reader sst_reader(bytes);
  strings.load(sst_reader, error);
  wb_xlsx_styles styles;
  wb_memory_reader styles_reader(bytes);
  styles.load(styles_reader, error);
  wb_number_format::classify_code(bytes.substr(0, 256));

  for (bool header : {false, true}) {
    wb_xlsx_sheet sheet(std::make_unique<wb_memory_reader>(bytes), &strings, &styles, header);
    wb_sheet_schema schema;
    if (!schema.scan(sheet, header, header, error)) continue;
    wb_row_reader rows(sheet, schema);
    if (!rows.restart()) continue;
    // A far-away cell makes a huge range of empty rows: a thousand tell enough.
    for (int n = 0; n < 1000 && rows.next_row(); ++n) {
      for (const wb_value& v : rows.values()) {
        if (v.kind == wb_value_kind::text && !v.text.empty()) (void)v.text.back();
      }
    }
  }

  wb_xlsx_sheet sheet(std::make_unique<wb_memory_reader>(bytes), &strings, &styles, false, 64);
  std::vector<std::string> reads[2];
  for (std::vector<std::string>& cells : reads) {
    wb_raw_cell c;
    while (cells.size() < 100000 && sheet.next_cell(c)) {
      std::string cell = std::to_string(c.row) + "," + std::to_string(c.column) + ",";
      cell.append(reinterpret_cast<const char*>(&c.number), sizeof c.number);
      cell += static_cast<char>(c.kind);
      cell += static_cast<char>(c.number_class);
      cell.append(reinterpret_cast<const char*>(c.text.data()), c.text.size() * 2);
      cells.push_back(std::move(cell));
    }
    if (sheet.error() != 0 || cells.size() == 100000 || !sheet.rewind()) return 0;
  }
  if (reads[0] != reads[1]) std::abort();
  return 0;
}
