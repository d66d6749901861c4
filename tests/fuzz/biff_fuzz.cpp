// Arbitrary bytes through the .xls readers: a compound file when the input
// starts with its signature, an Excel 2.x-4.0 file when it starts with
// their BOF, otherwise a bare workbook stream for the record cursor. Every worksheet is read twice (with a rewind
// between) and must give the same cells both times; failures must be the DAO errors 3274 or 3161.

#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "wb_biff_early_workbook.h"
#include "wb_biff_workbook.h"
#include "wb_cfb_reader.h"

namespace {

// The failures the readers may report.
bool dao_error(long error) { return error == 3274 || error == 3161; }

// A cheap fingerprint of the cell sequence.
std::uint64_t read_all(wb_sheet_source& sheet, std::size_t& count) {
  std::uint64_t h = 1469598103934665603ull;
  auto mix = [&h](std::uint64_t v) { h = (h ^ v) * 1099511628211ull; };
  wb_raw_cell c;
  count = 0;
  while (sheet.next_cell(c)) {
    // The reader never delivers empty cells, nor empty texts.
    check(c.kind != wb_cell_kind::empty && !(c.kind == wb_cell_kind::text && c.text.empty()) && c.row <= 0xFFFF);
    mix(c.row);
    mix(c.column);
    mix(static_cast<std::uint64_t>(c.kind));
    for (char16_t u : c.text) mix(u);  // touches every unit of the view
    ++count;
  }
  check(sheet.error() == 0 || dao_error(sheet.error()));
  return h;
}

// Reads every stream of a compound file through the window.
void read_streams(std::string_view bytes) {
  auto cfb = wb_cfb_reader::open(wb_cfb_storage::from_memory(bytes));
  if (!cfb) return;
  for (std::size_t i = 0; i < cfb->entries().size(); ++i) {
    auto stream = cfb->open_stream(i);
    if (!stream) continue;
    std::uint64_t total = 0;
    while (std::size_t n = stream->require(4096)) {
      const std::size_t step = n < 4096 ? n : 4096;
      stream->advance(step);
      total += step;
    }
    check(stream->failed() || total == stream->size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  long error = 0;
  std::unique_ptr<wb_workbook_source> book;
  if (wb_cfb_reader::has_signature(data, size)) {
    read_streams(bytes);
    book = wb_biff_workbook::open_memory(bytes, error);
  } else if (wb_biff_early_workbook::has_signature(data, size)) {
    book = wb_biff_early_workbook::open_memory(bytes, u"fuzz", error);
  } else {
    book = wb_biff_workbook::open_stream(std::vector<unsigned char>(data, data + size), error);
  }
  check(book || dao_error(error));
  if (!book) return 0;
  for (std::size_t i = 0; i < book->sheet_count(); ++i) {
    long sheet_error = 0;
    auto sheet = book->open_sheet(i, sheet_error);
    check(sheet || dao_error(sheet_error));
    if (!sheet) continue;
    std::size_t first_count = 0, second_count = 0;
    const std::uint64_t first = read_all(*sheet, first_count);
    if (!sheet->rewind()) continue;
    const std::uint64_t second = read_all(*sheet, second_count);
    check(first == second && first_count == second_count);
  }
  return 0;
}
