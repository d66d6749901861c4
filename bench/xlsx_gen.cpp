// Writes the .xlsx of the workbook benchmarks with libxlsxwriter:
//   xlsx_gen ROWS OUTPUT.xlsx
// One sheet "Data": a header row, then ROWS rows of 13 typed columns, texts
// in the shared-strings table as a spreadsheet application writes them:
// mostly unique long texts (name, street, note, comment), a repeated one
// (city), whole numbers, decimals, dates and currency amounts. The content
// depends only on the row number.
#include <xlsxwriter.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: xlsx_gen ROWS OUTPUT.xlsx\n");
    return 2;
  }
  // A sheet holds 1,048,576 rows, the header row included.
  constexpr long max_rows = 1048575;
  const long requested = std::atol(argv[1]);
  if (requested < 0 || requested > max_rows) {
    std::fprintf(stderr, "xlsx_gen: ROWS must be 0 to %ld\n", max_rows);
    return 2;
  }
  const auto rows = static_cast<lxw_row_t>(requested);
  const std::string out = argv[2];
  // The writer's temporary files go beside the output.
  const std::size_t slash = out.find_last_of('/');
  std::string tmp = slash == std::string::npos ? std::string(".") : out.substr(0, slash + 1);
  lxw_workbook_options options = {};
  options.tmpdir = tmp.data();
  lxw_workbook* book = workbook_new_opt(out.c_str(), &options);
  if (book == nullptr) return 1;
  lxw_worksheet* s = workbook_add_worksheet(book, "Data");
  lxw_format* date = workbook_add_format(book);
  format_set_num_format(date, "yyyy-mm-dd");
  lxw_format* money = workbook_add_format(book);
  format_set_num_format(money, "#,##0.00 [$\xE2\x82\xAC-407]");
  const char* heads[] = {"id",    "name",  "street",  "city",    "note",   "comment", "qty",
                         "price", "ratio", "created", "shipped", "amount", "fee"};
  for (lxw_col_t c = 0; c < 13; ++c) worksheet_write_string(s, 0, c, heads[c], nullptr);
  char buf[256];
  for (lxw_row_t r = 1; r <= rows; ++r) {
    worksheet_write_number(s, r, 0, r, nullptr);
    std::snprintf(buf, sizeof buf, "Customer %u of the large benchmark workbook", r);
    worksheet_write_string(s, r, 1, buf, nullptr);
    std::snprintf(buf, sizeof buf, "%u Long Street Name With Several Words, Building %u", r % 9973, r);
    worksheet_write_string(s, r, 2, buf, nullptr);
    std::snprintf(buf, sizeof buf, "City number %u", r % 500);
    worksheet_write_string(s, r, 3, buf, nullptr);
    std::snprintf(buf, sizeof buf, "Note %u: lorem ipsum dolor sit amet, consectetur adipiscing elit", r);
    worksheet_write_string(s, r, 4, buf, nullptr);
    std::snprintf(buf, sizeof buf, "Comment %x with \xC3\xA4\xC3\xB6\xC3\xBC and \xE2\x82\xAC signs, row %u",
                  r * 2654435761u, r);
    worksheet_write_string(s, r, 5, buf, nullptr);
    worksheet_write_number(s, r, 6, r % 1000, nullptr);
    worksheet_write_number(s, r, 7, r * 0.37, nullptr);
    worksheet_write_number(s, r, 8, 1.0 / r, nullptr);
    worksheet_write_number(s, r, 9, 40000 + r % 5000, date);
    worksheet_write_number(s, r, 10, 40010 + r % 5000, date);
    worksheet_write_number(s, r, 11, r * 1.25, money);
    worksheet_write_number(s, r, 12, (r % 100) * 0.5, money);
  }
  if (workbook_close(book) != LXW_NO_ERROR) {
    std::fprintf(stderr, "cannot write %s\n", out.c_str());
    return 1;
  }
  return 0;
}
