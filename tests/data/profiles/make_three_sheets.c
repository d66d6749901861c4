/* Writes three_sheets.xlsx, the workbook of the profile fixtures, with
 * libxlsxwriter. Run by hand from this folder and commit the file it writes:
 *   cc make_three_sheets.c -lxlsxwriter -o /tmp/make_three_sheets && /tmp/make_three_sheets
 */
#include <xlsxwriter.h>

static void write_date(lxw_worksheet* sheet, int row, int col, int y, int m, int d, lxw_format* f) {
  lxw_datetime dt = {y, m, d, 0, 0, 0.0};
  worksheet_write_datetime(sheet, row, col, &dt, f);
}

int main(void) {
  lxw_workbook* book = workbook_new("three_sheets.xlsx");
  lxw_format* date = workbook_add_format(book);
  format_set_num_format(date, "yyyy-mm-dd");

  /* Customers: renamed to clients by the profile; name and email renamed,
   * note dropped, balance retyped to DECIMAL(10,2). */
  lxw_worksheet* customers = workbook_add_worksheet(book, "Customers");
  const char* head1[] = {"id", "name", "email", "balance", "note"};
  for (int c = 0; c < 5; ++c) worksheet_write_string(customers, 0, (lxw_col_t)c, head1[c], NULL);
  worksheet_write_number(customers, 1, 0, 1, NULL);
  worksheet_write_string(customers, 1, 1, "Ann Lee", NULL);
  worksheet_write_string(customers, 1, 2, "ann@example.com", NULL);
  worksheet_write_number(customers, 1, 3, 1250.5, NULL);
  worksheet_write_string(customers, 1, 4, "vip", NULL);
  worksheet_write_number(customers, 2, 0, 2, NULL);
  worksheet_write_string(customers, 2, 1, "Bo Chen", NULL);
  worksheet_write_string(customers, 2, 2, "bo@example.com", NULL);
  worksheet_write_number(customers, 2, 3, 99.99, NULL);
  worksheet_write_number(customers, 3, 0, 3, NULL);
  worksheet_write_string(customers, 3, 1, "Cy O'Hara", NULL);
  worksheet_write_string(customers, 3, 2, "cy@example.com", NULL);
  worksheet_write_number(customers, 3, 3, -7.125, NULL);
  worksheet_write_string(customers, 3, 4, "late payer", NULL);

  /* Orders: selected, no rules. */
  lxw_worksheet* orders = workbook_add_worksheet(book, "Orders");
  const char* head2[] = {"order_no", "customer_id", "amount", "ordered"};
  for (int c = 0; c < 4; ++c) worksheet_write_string(orders, 0, (lxw_col_t)c, head2[c], NULL);
  worksheet_write_number(orders, 1, 0, 1001, NULL);
  worksheet_write_number(orders, 1, 1, 1, NULL);
  worksheet_write_number(orders, 1, 2, 250, NULL);
  write_date(orders, 1, 3, 2024, 2, 29, date);
  worksheet_write_number(orders, 2, 0, 1002, NULL);
  worksheet_write_number(orders, 2, 1, 3, NULL);
  worksheet_write_number(orders, 2, 2, 17.5, NULL);
  write_date(orders, 2, 3, 2024, 3, 1, date);

  /* Scratch: not selected; must not reach the destination. */
  lxw_worksheet* scratch = workbook_add_worksheet(book, "Scratch");
  worksheet_write_string(scratch, 0, 0, "ignore me", NULL);
  worksheet_write_number(scratch, 1, 0, 1, NULL);

  return workbook_close(book) == LXW_NO_ERROR ? 0 : 1;
}
