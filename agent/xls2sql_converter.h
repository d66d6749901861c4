#pragma once
// The conversion driver: the one object that carries a run. It holds the run
// settings, prepares the destination for the processing mode, opens the
// source, walks the worksheets of a workbook or the single CSV table, creates
// each destination table, copies the records and starts type refinement.
//
// It owns, for the length of one conversion path, the source database and
// the destination database; a destination table writer lives for one table.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "csv_field_upsizer.h"
#include "mysql_converter_impl.h"
#include "sql_db_mutator.h"
#include "table_progress.h"
#include "tk_serializer.h"
#include "tk_singleton.h"
#include "udb_indexes.h"
#include "udb_schema.h"
#include "xls_reader.h"

class csv_file;
class sql_destination;
class sql_exception;
class sql_row_writer;
class udb_profile;
class udb_recordset;
class udb_validator;

class dao_recordset;
class dates_map;
class num_map;
class sql_dialect;

class xls2sql_converter : public xls_reader,
                          public mysql_converter_impl,
                          public tk_serializer,
                          public sql_db_mutator,
                          public tk_singleton<xls2sql_converter> {
 public:
  xls2sql_converter();
  ~xls2sql_converter() override;

  // The conversion: the workbook or the CSV path, each failure reported.
  void operator()();
  void set_silent(bool silent) override;

  // Prepares the destination before the run: drops the database in mode 0,
  // drops an existing CSV table in mode 1, or replaces an existing dump file.
  void check_dest();

  // The first storage-engine, character-set or column-type name of the
  // settings (command line, profile, settings file, type mappings) that
  // cannot stand in a statement as written, as the message that refuses
  // it, or for a CSV source a code page that cannot be read; empty when
  // every name is a plain word.
  std::string refused_name() const;

  // Reads the profile at `path` and applies it at once. A profile that does
  // not exist, or a part of it that fails to load, ends the run.
  bool load_profile_file(const std::u16string& path);
  // Applies a loaded profile: generic settings, MySQL settings, type
  // mappings, the driver's own keys, then the worksheet selection.
  bool load_profile(const udb_profile& profile) override;

  // Run settings.
  int32_t csv_delim = -1;
  std::u16string tab_name;
  bool from_xls = true;
  bool extract_field_names = false;
  bool direct = true;
  bool skip_empty = false;
  bool refine_types = true;
  // The code page of a CSV file without a byte-order mark (a Windows code
  // page number or an ICU converter name); empty: UTF-8 when the file is
  // UTF-8 throughout, Windows-1252 otherwise.
  std::u16string csv_code_page;

  void set_src(std::u16string s) { source_ = std::move(s); }
  void set_dest(std::u16string d) { destination_ = std::move(d); }

 protected:
  // The user's saved settings: character set, storage engine, CSV code
  // page, dump options.
  void serialize(bool storing) override;

 private:
  // Throws the run-ending failure of a trace log that stopped taking lines.
  static void end_if_log_failed();
  void convert_from_xls();
  void convert_from_csv();
  // Opens or creates the destination database (or the dump file).
  std::unique_ptr<sql_destination> get_dest_base();
  // Mode 0 on a live server empties the database before its first table is
  // made: the table of `source` is tried first in the database as it is,
  // and a definition the server refuses (too many columns, a row too large)
  // is thrown while the database still holds its tables.
  void try_first_definition(const std::u16string& source_name, const udb_recordset& source);
  // Copies the records of one table; with `gather` the refinement's
  // statistics are taken on the way and its changes made ready. Reports
  // name the table `final_name` (a replacement is built under another).
  // The statistics are taken against `stats_columns` when given (the
  // columns as the table was made, before changes the copy does not see).
  void convert_step(udb_recordset& source, sql_row_writer& table, sql_destination& database, bool gather,
                    const std::u16string& final_name, const udb_schema* stats_columns = nullptr);
  // A second reader of the source, from its first record, for a reading
  // before the copy. A null one returns nothing: the source itself is read
  // and then restarted (a worksheet, whose later readings replay its first).
  using source_opener = std::function<std::unique_ptr<udb_recordset>()>;
  // Reads the whole source before any row is sent: the text columns are
  // widened and the refined types given to the still empty table, so that
  // the rows are stored once, in their final types, as the copy and the
  // changes after it would have left them. False when that cannot be told
  // in advance (the source cannot be read through, or a column's values
  // must be rewritten before its change): nothing is changed then but the
  // widening, which the copy would have made too.
  // At most `rows` records are read (and the source is not moved past the
  // last of them).
  bool refine_before_copy(udb_recordset& source, sql_row_writer& table, sql_destination& dest,
                          uint64_t rows = UINT64_MAX);
  // Reports a failure of the table being converted; a level-1 failure ends
  // the run, after `dest` has stored what it holds (a dump file is then
  // not put in the destination's place).
  void report(const tk_exception& e, std::unique_ptr<sql_destination>& dest);
  // Rethrows a failure of the copy that ends the run (the server lost, a
  // statement of rows refused as a whole), for the table's failure path,
  // noting the record it is reported at (`record` unless it names one).
  [[noreturn]] void ends_run(const sql_exception& e, uint64_t record);
  // The destination table for a source table: the mapped and validated
  // name, the source's schema and indexes as mapped (indexes left out when
  // the profile says so).
  struct table_plan {
    std::u16string name;
    udb_schema schema;
    udb_indexes indexes;
    bool generated_name = false;
  };
  // The destination table of a source: its name from the type mappings,
  // made safe, and made unique (ignoring case) against the tables this run
  // created unless the mappings chose it.
  table_plan plan_table(const std::u16string& source_name, const udb_recordset& source, udb_validator& names);
  // The plan's columns and indexes from `source` again, its name kept.
  void plan_columns(table_plan& plan, const std::u16string& source_name, const udb_recordset& source);
  // Converts one source into the destination table of `plan` as the mode
  // says: an existing table is skipped (mode 2, worksheets), added to, or
  // replaced (mode 1). On a live server the replacement is built under a
  // temporary name and takes the old table's place only when complete; a
  // failure drops it and leaves the old table as it was.
  void convert_table(udb_recordset& source, const table_plan& plan, sql_destination& dest, const source_opener& reopen);
  // Converts a worksheet read ahead (dao_recordset::provisional): a table
  // this run makes (or replaces, mode 1) on a live server is made in the
  // types of the first rows and filled while the first pass reads on, with
  // the reports of refused rows held back. When the pass and the copy's
  // statistics end with the types of the first rows, the copy stands and
  // the reports are printed; otherwise the table is dropped, the reports
  // forgotten, and the worksheet converted again from the whole first pass,
  // as convert_table does. `sheet` is replaced by the whole recordset then.
  void convert_ahead(std::unique_ptr<udb_recordset>& sheet, table_plan& plan, sql_destination& dest,
                     const std::u16string& source_name);

  // Thrown out of the copy of a worksheet read ahead once its types are
  // known to differ from those of its first rows.
  struct read_ahead_given_up {};
  // Whether the statistics of the rows so far give the changes `expected`.
  bool changes_hold(const sql_dialect& dialect, const std::u16string& table, const udb_schema& columns,
                    const dates_map& dates, const num_map& numbers, const std::vector<pending_change>& expected);
  // While a worksheet read ahead is copied: the changes its first rows gave.
  const std::vector<pending_change>* ahead_changes_ = nullptr;

  // Tells the user of values below the worksheet's last row, or out of
  // order, which its table does not hold.
  // Whether this run made (or replaced) `table` for an earlier source.
  bool made_this_run(const std::u16string& table) const;
  // Drops the table a failed replacement was built in; one that cannot be
  // dropped is reported by name.
  void drop_unfinished(sql_destination& dest, const std::u16string& target);
  // Ends the run on the destination (a dump file takes its place), or
  // fails it when nothing could be converted.
  void finish_destination(sql_destination& dest);
  // Says how many lines of a CSV file had fields past its columns (left
  // out), once after its table.
  void tell_fields_left_out(const csv_file& source);
  void tell_values_left_out(const dao_recordset& sheet);

  // Writes the account of the table in hand (one that failed says so) and
  // adds it to the run's.
  void finish_table(bool failed = false);

  // The table being converted, and the run's totals.
  std::optional<table_progress> progress_;
  std::chrono::steady_clock::time_point run_start_;
  int32_t tables_done_ = 0;
  int32_t tables_failed_ = 0;  // of tables_done_
  int32_t converted_ = 0;      // sources converted (or skipped by the mode) without a failure
  uint64_t total_read_ = 0, total_stored_ = 0, total_refused_ = 0, total_held_ = 0;

  // The data rows a worksheet's types are first taken from while the rest
  // of it is read (settings key read_ahead_rows); 0 reads it whole first.
  uint32_t read_ahead_rows_ = 1000;
  // The worksheet being converted has been announced ("Converting table").
  bool announced_ = false;

  // The table being filled is one this run makes: a longer text widens its
  // column (a table that was there keeps its columns, and refuses the row).
  bool widen_columns_ = true;

  // The columns the reading before the copy widened, for the copy.
  std::vector<csv_field_upsizer::step> widened_columns_;
  // The record a failure that ends the run is reported at, or 0.
  uint64_t failed_record_ = 0;

  // Names of the tables created in this run.
  std::vector<std::u16string> created_tables_;

  // Per column of the table being converted: the user's type mappings chose
  // its type, so type refinement leaves it alone.
  std::vector<bool> mapped_columns_;
};
