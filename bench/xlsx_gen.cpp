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
  const long rows = std::atol(argv[1]);
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
  for (int c = 0; c < 13; ++c) worksheet_write_string(s, 0, c, heads[c], nullptr);
  char buf[256];
  for (long r = 1; r <= rows; ++r) {
    const lxw_row_t row = static_cast<lxw_row_t>(r);
    worksheet_write_number(s, row, 0, r, nullptr);
    std::snprintf(buf, sizeof buf, "Customer %ld of the large benchmark workbook", r);
    worksheet_write_string(s, row, 1, buf, nullptr);
    std::snprintf(buf, sizeof buf, "%ld Long Street Name With Several Words, Building %ld", r % 9973, r);
    worksheet_write_string(s, row, 2, buf, nullptr);
    std::snprintf(buf, sizeof buf, "City number %ld", r % 500);
    worksheet_write_string(s, row, 3, buf, nullptr);
    std::snprintf(buf, sizeof buf, "Note %ld: lorem ipsum dolor sit amet, consectetur adipiscing elit", r);
    worksheet_write_string(s, row, 4, buf, nullptr);
    std::snprintf(buf, sizeof buf, "Comment %x with \xC3\xA4\xC3\xB6\xC3\xBC and \xE2\x82\xAC signs, row %ld",
                  static_cast<unsigned>(r * 2654435761u), r);
    worksheet_write_string(s, row, 5, buf, nullptr);
    worksheet_write_number(s, row, 6, static_cast<double>(r % 1000), nullptr);
    worksheet_write_number(s, row, 7, r * 0.37, nullptr);
    worksheet_write_number(s, row, 8, 1.0 / r, nullptr);
    worksheet_write_number(s, row, 9, 40000 + r % 5000, date);
    worksheet_write_number(s, row, 10, 40010 + r % 5000, date);
    worksheet_write_number(s, row, 11, r * 1.25, money);
    worksheet_write_number(s, row, 12, (r % 100) * 0.5, money);
  }
  if (workbook_close(book) != LXW_NO_ERROR) {
    std::fprintf(stderr, "cannot write %s\n", out.c_str());
    return 1;
  }
  return 0;
}
