#include "xls2sql_converter.h"

#include <cstdio>

#include "error_handler.h"
#include "init_conversion.h"
#include "tk_exception_ex.h"
#include "tk_logger.h"
#include "tk_path.h"
#include "tk_unicode.h"

xls2sql_converter::xls2sql_converter() : tk_serializer("Software\\Hollowmere\\Gridloader") {
  TK_TRACE(2, "xls2sql_converter::ctor");
  load();
}

void xls2sql_converter::serialize(bool storing) {
  if (storing) return;  // settings are only ever read
  std::u16string text = char_set();
  read_string("char_set", text);
  set_char_set(text);
  text = table_engine();
  read_string("tab_type", text);
  set_table_engine(text);
  read_dword("dmp_line_br", dump_options_.dmp_line_br);
  read_bool("dmp_new_ver", dump_options_.dmp_new_ver);
  read_bool("dmp_loc_wri", dump_options_.dmp_loc_wri);
  read_bool("dmp_ins_com", dump_options_.dmp_ins_com);
  read_bool("dmp_ins_db", dump_options_.dmp_ins_db);
  read_bool("dmp_ins_tab", dump_options_.dmp_ins_tab);
}

xls2sql_converter::~xls2sql_converter() { TK_TRACE(2, "xls2sql_converter::dtor"); }

void xls2sql_converter::set_silent(bool silent) {
  tk_converter::set_silent(silent);
  if (error_handler* handler = error_handler::instance_ptr()) handler->set_silent(silent);
}

void xls2sql_converter::check_dest() {
  TK_TRACE(1, "check_dest(%s)", destination_);
  if (direct) {
    throw tk_exception("Writing into a live MySQL server is not available in this build.", 1);
  }
  common_check_dest(destination_);
  std::string path;
  tk_unicode_to_ansi2(destination_, path);
  if (tk_is_file_exist(path, tk_file_exists) && std::remove(path.c_str()) != 0) throw tk_exception_ex("", 1);
}

bool xls2sql_converter::load_profile_file(const std::u16string& path) {
  TK_TRACE(2, "xls2sql_converter::load_profile(%s)", path);
  throw tk_exception("Conversion profiles are not available in this build.", 1);
}

void xls2sql_converter::operator()() {
  TK_TRACE(2, "xls2sql_converter::operator()");
  init_conversion scope(finished_, true);
  try {
    if (from_xls) {
      convert_from_xls();
    } else {
      convert_from_csv();
    }
  } catch (const tk_final_exception&) {
  } catch (const tk_exception& e) {
    error_handler::instance().handle(e);
  } catch (const std::exception& e) {
    TK_TRACE(3, "ERROR:\n%s", e.what());
    if (!silent_) std::fprintf(stderr, "%s\n", e.what());
  }
}

void xls2sql_converter::convert_from_xls() {
  TK_TRACE(2, "xls2sql_converter::convert_from_xls(src=%s, dest=%s)", source_, destination_);
  throw tk_exception("Converting MS Excel workbooks is not available in this build.", 1);
}

void xls2sql_converter::convert_from_csv() {
  TK_TRACE(1, "xls2sql_converter::convert_from_csv(src=%s, dest=%s, tab=%s)", source_, destination_, tab_name);
  throw tk_exception("Converting CSV files into dump files is not available in this build.", 1);
}
