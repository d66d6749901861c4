// Fuzz target: arbitrary bytes read as the shared strings, the styles and
// the worksheet XML of an OOXML workbook, then through the common layer
// (used range, types, rows) the engine runs on every sheet, and as a
// number format code.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

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
  return 0;
}
