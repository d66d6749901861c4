#pragma once
// The conversion driver: the one object that carries a run. It holds the run
// settings, prepares the destination for the processing mode, opens the
// source, walks the worksheets of a workbook or the single CSV table, creates
// each destination table, copies the records and starts type refinement.

#include <string>

#include "mysql_converter_impl.h"
#include "tk_serializer.h"
#include "tk_singleton.h"
#include "xls_reader.h"

class xls2sql_converter : public xls_reader,
                          public mysql_converter_impl,
                          public tk_serializer,
                          public tk_singleton<xls2sql_converter> {
 public:
  xls2sql_converter();
  ~xls2sql_converter() override;

  void operator()() override;
  bool is_complete() const override { return false; }
  void set_silent(bool silent) override;

  // Prepares the destination before the run: drops the database in mode 0,
  // or replaces an existing dump file.
  void check_dest();

  // Run settings.
  int32_t csv_delim = -1;
  std::u16string tab_name;
  bool from_xls = true;
  bool extract_field_names = false;
  bool direct = true;
  bool skip_empty = false;
  bool refine_types = true;

  // Reads the profile at `path` and applies it at once. False when a part of
  // it fails to load.
  bool load_profile_file(const std::u16string& path);

  // Settings the command line writes into the converter's own state.
  void set_src(std::u16string s) { source_ = std::move(s); }
  void set_dest(std::u16string d) { destination_ = std::move(d); }

 protected:
  // The user's saved settings: character set, storage engine, dump options.
  void serialize(bool storing) override;

 private:
  void convert_from_xls();
  void convert_from_csv();
};
