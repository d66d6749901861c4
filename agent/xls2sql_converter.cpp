#include "xls2sql_converter.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <new>
#include <set>

#include "csv_encoding.h"
#include "csv_file.h"
#include "dao_database.h"
#include "dao_engine.h"
#include "dao_exception.h"
#include "dao_recordset.h"
#include "dates_map.h"
#include "dmp_database.h"
#include "error_handler.h"
#include "init_conversion.h"
#include "num_map.h"
#include "sql_database.h"
#include "sql_destination.h"
#include "sql_exception.h"
#include "sql_field_upsizer.h"
#include "sql_row_error_sink.h"
#include "sql_row_writer.h"
#include "tk_exception_ex.h"
#include "tk_format.h"
#include "tk_interrupt.h"
#include "tk_logger.h"
#include "tk_path.h"
#include "tk_status_line.h"
#include "tk_unicode.h"
#include "tk_wstring.h"
#include "udb_name_compare.h"
#include "udb_profile.h"
#include "udb_recordset.h"
#include "udb_validator.h"

namespace {

// The server's answer to CREATE DATABASE for a name that exists.
constexpr unsigned database_exists_error = 1007;

// Processing modes.
constexpr int32_t mode_overwrite_database = 0;
constexpr int32_t mode_overwrite_tables = 1;
constexpr int32_t mode_skip_tables = 2;
constexpr int32_t mode_merge = 3;

// Columns whose statistics are settled need no more notes from the reading
// thread.
void settle_notes(const csv_file& csv, const dates_map& dates, const num_map& numbers) {
  for (const types_map_entry& e : numbers.entries())
    if (e.final) csv.drop_notes(e.field_index, field_note::number_read);
  for (const types_map_entry& e : dates.entries())
    if (e.final) csv.drop_notes(e.field_index, field_note::date_read);
}

void print_line(const char* head, const std::u16string& text, const char* tail = "") {
  tk_status_line::clear();
  std::fprintf(tk_message_stream(), "%s%s%s\n", head, tk_unicode_to_console(text).c_str(), tail);
}

}  // namespace

xls2sql_converter::xls2sql_converter() : tk_serializer("Software\\Hollowmere\\Gridloader") {
  TK_TRACE(2, "xls2sql_converter::ctor");
  tk_serializer::load();
  // The destinations ask the type mappings for a table's engine and
  // character set when they create it.
  engine_.udb_engine::set_properties(static_cast<const sql_db_mutator*>(this));
}

xls2sql_converter::~xls2sql_converter() { TK_TRACE(2, "xls2sql_converter::dtor"); }

void xls2sql_converter::serialize(bool storing) {
  if (storing) return;  // settings are only ever read
  std::u16string text = engine_.char_set();
  read_string("char_set", text);
  engine_.set_char_set(text);
  text = engine_.table_engine();
  read_string("tab_type", text);
  engine_.set_table_engine(text);
  bool load_data = engine_.load_data();
  read_bool("load_data", load_data);
  engine_.set_load_data(load_data);
  read_string("csv_code_page", csv_code_page);
  read_dword("read_ahead_rows", read_ahead_rows_);
  read_dword("dmp_line_br", dump_options_.dmp_line_br);
  read_bool("dmp_new_ver", dump_options_.dmp_new_ver);
  read_bool("dmp_loc_wri", dump_options_.dmp_loc_wri);
  read_bool("dmp_ins_com", dump_options_.dmp_ins_com);
  read_bool("dmp_ins_db", dump_options_.dmp_ins_db);
  read_bool("dmp_ins_tab", dump_options_.dmp_ins_tab);
}

void xls2sql_converter::set_silent(bool silent) {
  tk_converter::set_silent(silent);
  if (error_handler* handler = error_handler::instance_ptr()) handler->set_silent(silent);
}

bool xls2sql_converter::load_profile_file(const std::u16string& path) {
  TK_TRACE(2, "xls2sql_converter::load_profile(%s)", path);
  udb_profile profile;
  profile.load(path);
  // A line of the type mappings that holds '=' is a setting, no mapping:
  // left out, the lines after it would map another column.
  if (const auto& settings = profile.get_setting_lines(u"Type Mappings"); !settings.empty())
    throw tk_exception(u"The type mappings of profile '" + path + u"' cannot be read: the line '" + settings.front() +
                           u"' holds '=', which no mapping line may hold.",
                       1);
  if (!load_profile(profile)) {
    throw tk_exception(
        u"The type mappings of profile '" + path + u"' cannot be read: a line is out of place or wrongly indented.", 1);
  }
  if (const std::u16string slip = profile.misspelt_name(); !slip.empty())
    throw tk_exception(u"Profile '" + path + u"' cannot be read: " + slip, 1);
  return true;
}

namespace {

// A flag of the driver's own keys: true only for exactly "1"; an empty or
// missing value leaves it.
void read_flag(const udb_profile& profile, const char16_t* section, const char16_t* key, bool& flag) {
  const std::u16string& value = profile.get_value(section, key);
  if (!value.empty()) flag = value == u"1";
}

}  // namespace

bool xls2sql_converter::load_profile(const udb_profile& profile) {
  if (!udb_converter::load_profile(profile)) return false;
  if (!load_mysql_profile(profile)) return false;
  if (!sql_db_mutator::load(profile)) return false;
  read_flag(profile, u"MS Excel settings", u"extract field names", extract_field_names);
  read_flag(profile, u"MS Excel settings", u"refine types", refine_types);
  read_flag(profile, u"MS Excel settings", u"convert from xls", from_xls);
  read_flag(profile, u"MySQL settings", u"direct mode", direct);
  if (const std::u16string& v = profile.get_value(u"Generic settings", u"character set"); !v.empty()) set_char_set(v);
  if (const std::u16string& v = profile.get_value(u"Generic settings", u"storage engine"); !v.empty())
    set_table_engine(v);
  if (const std::u16string& v = profile.get_value(u"Generic settings", u"csv code page"); !v.empty()) csv_code_page = v;
  if (from_xls) {
    TK_TRACE(1, "Duplicate selected tables in 'worksheets' array");
    std::vector<std::u16string> sheets;
    get_all_sheets(sheets);
    set_sel_sheets2(selected_entries_);
  }
  return true;
}

xls2sql_converter::table_plan xls2sql_converter::plan_table(const std::u16string& source_name,
                                                            const udb_recordset& source, udb_validator& names) {
  table_plan plan;
  plan_columns(plan, source_name, source);
  if (std::none_of(plan.schema.fields.begin(), plan.schema.fields.end(), [](const auto& f) { return f != nullptr; }))
    throw tk_exception(u"The type mappings delete every column of table '" + plan.name + u"': it is not converted", 0);
  // Columns renamed to one name (or to another column's) make a table the
  // server refuses, live or when a dump is loaded.
  std::set<std::u16string> seen;
  for (const auto& f : plan.schema.fields)
    if (f && !seen.insert(udb_fold_case(f->name)).second)
      throw tk_exception(u"The type mappings give two columns of table '" + plan.name + u"' the name '" + f->name +
                             u"': it is not converted",
                         0);
  // Two sources feed one table only when the type mappings say so: names
  // that differ only in case ("DATA", "Data") would otherwise merge.
  const bool mapped = plan.name != source_name;
  const bool taken = made_this_run(plan.name);
  if (!names.is_acceptable(plan.name) || (taken && !mapped)) {
    plan.name = names.get_safe_name(plan.name);
    plan.generated_name = true;
  }
  names.add_existing_name(plan.name);
  return plan;
}

bool xls2sql_converter::made_this_run(const std::u16string& table) const {
  return std::any_of(created_tables_.begin(), created_tables_.end(),
                     [&](const std::u16string& t) { return udb_detail::same_name(t, table); });
}

void xls2sql_converter::plan_columns(table_plan& plan, const std::u16string& source_name, const udb_recordset& source) {
  plan.schema = source.schema();
  plan.indexes = skip_indexes_ ? udb_indexes() : source.indexes();
  TK_TRACE(1, "udb_db_mutator::modify1(%s)", source_name);
  const std::u16string name = modify1(source_name, plan.schema, plan.indexes);
  if (plan.name.empty()) plan.name = name;
  mapped_columns_.assign(plan.schema.size(), false);
  for (size_t i = 0; i < plan.schema.size(); ++i)
    mapped_columns_[i] = plan.schema.fields[i] && !plan.schema.fields[i]->native_type.empty();
}

void xls2sql_converter::check_dest() {
  TK_TRACE(1, "check_dest(%s)", destination_);
  if (direct) {
    TK_TRACE(2, "mysql_converter_impl::is_mysql_base_exist( %s )", destination_);
    if (mode_ == mode_overwrite_database) {
      sql_dialect::check_droppable(destination_);
      // Its tables would take another database's references with them.
      if (const std::u16string referrer = engine_.foreign_key_referrer_of(destination_); !referrer.empty())
        throw tk_exception(u"Database '" + destination_ + u"' is not dropped: a foreign key of table '" + referrer +
                               u"' refers to one of its tables",
                           1);
    }
    TK_TRACE(1, from_xls ? "from_xls=true" : "from_xls=false");
    return;
  }
  common_check_dest(destination_);
  // The dump replaces its destination only at the end of the run, which
  // would destroy a source read from the same file.
  std::string source, dest;
  tk_unicode_to_ansi2(source_, source);
  tk_unicode_to_ansi2(destination_, dest);
  if (tk_is_same_file(source, dest)) throw tk_exception("The destination file is the source file: '" + dest + "'", 1);
  // Nor may it replace the profile, the table list, the settings or the
  // client's option files.
  for (const std::string& file : read_files())
    if (tk_is_same_file(file, dest))
      throw tk_exception("The destination file is a file the run reads: '" + dest + "'", 1);
}

namespace {

// A column type of the type mappings: words, digits and the punctuation of
// "DECIMAL(10,2)" or "INT UNSIGNED".
bool is_type_text(std::u16string_view type) {
  for (char16_t c : type)
    if (!sql_dialect::is_plain_word(std::u16string_view(&c, 1)) && c != u' ' && c != u'(' && c != u')' && c != u',')
      return false;
  // An ENUM or SET names its members in quotes, which no type text holds.
  const std::u16string_view word = sql_dialect::type_word(type);
  return !tk_wstring::equal_no_case(word, u"ENUM") && !tk_wstring::equal_no_case(word, u"SET");
}

std::string refusal(const char* what, std::u16string_view name) {
  return std::string("Invalid ") + what + " name '" + tk_unicode_to_console(name) + "'";
}

}  // namespace

std::string xls2sql_converter::refused_name() const {
  if (!from_xls) {
    if (std::string refused = csv_encoding::refusal(csv_code_page); !refused.empty()) return refused;
  }
  // A dump refuses in the server's words what the server it is loaded into
  // would: its DROP statements would have gone first. (An empty character
  // set leaves the server's default.)
  auto engine_refusal = [this](std::u16string_view engine) {
    if (!sql_dialect::is_plain_word(engine)) return refusal("storage engine", engine);
    if (!direct && !sql_dialect::is_known_engine(engine))
      return "Unknown storage engine '" + tk_unicode_to_console(engine) + "'";
    return std::string();
  };
  auto char_set_refusal = [this](std::u16string_view set) {
    if (set.empty()) return std::string();
    if (!sql_dialect::is_plain_word(set)) return refusal("character set", set);
    if (!direct && !sql_dialect::is_known_char_set(set))
      return "Unknown character set: '" + tk_unicode_to_console(set) + "'";
    return std::string();
  };
  std::string refused = char_set_refusal(char_set());
  if (refused.empty()) refused = engine_refusal(table_engine());
  // The type mappings' own database properties.
  for (const auto& [key, value] : properties()) {
    if (refused.empty() && key == u"engine") refused = engine_refusal(value);
    if (refused.empty() && key == u"character set") refused = char_set_refusal(value);
  }
  for (const auto& [source, table] : table_mutators()) {
    if (const std::u16string engine = table->get_property(u"engine"); refused.empty() && !engine.empty())
      refused = engine_refusal(engine);
    if (refused.empty()) refused = char_set_refusal(table->get_property(u"character set"));
    for (const auto& [column, rule] : table->field_mutators()) {
      const udb_field_mapping& mapping = rule->mapping();
      if (refused.empty()) refused = char_set_refusal(mapping.character_set);
      if (refused.empty() && !is_type_text(mapping.type)) refused = refusal("column type", mapping.type);
    }
  }
  return refused;
}

std::unique_ptr<sql_destination> xls2sql_converter::get_dest_base() {
  TK_TRACE(2, "xls2sql_converter::get_dest_base(mode=%d, direct=%d)", mode_, direct);
  if (direct) {
    TK_TRACE(2, "mysql_converter_impl::is_mysql_base_exist( %s )", destination_);
    // Without its destination the run converts nothing: a failure here ends it.
    try {
      // Mode 0 empties the database only now, once the source is open: a
      // source that cannot be read costs the database nothing.
      if (mode_ == mode_overwrite_database && engine_.is_db_exist(destination_)) del_mysql_base(destination_);
      if (engine_.is_db_exist(destination_)) {
        return engine_.open_database(
            destination_, mode_ == mode_overwrite_database ? udb_database::mode_overwrite : udb_database::mode_append);
      }
      try {
        return engine_.create_database(destination_);
      } catch (const sql_exception& e) {
        // Another session created it a moment ago: its tables are as good.
        if (e.error_number() != database_exists_error || mode_ == mode_overwrite_database) throw;
        TK_TRACE(3, "Database '%s' was created meanwhile: opening it", destination_);
        return engine_.open_database(destination_, udb_database::mode_append);
      }
    } catch (const sql_exception& e) {
      if (e.level() >= 1) throw;
      throw sql_exception(e.message(), e.error_number(), 1);
    }
  }
  dump_options_.banner = tk_format("Gridloader %d.%d", 7, 1);
  std::unique_ptr<sql_destination> dump = engine_.create_dump(destination_, dump_options_);
  // A dump meets no table of the server: with its table statements each
  // table is dropped and made when it is loaded, whatever the mode says.
  // (Told once the dump is open: a dump on the standard output sends the
  // messages to the standard error.)
  // Rows alone (dmp_ins_tab=0) do what mode 2 does for a CSV file and mode
  // 3, add to the tables there; a worksheet's table mode 2 leaves as it is,
  // which no dump can do.
  const bool leaves_sheets = from_xls && mode_ == mode_skip_tables;
  const bool made_anew = (mode_ == mode_skip_tables || mode_ == mode_merge) && dump_options_.dmp_ins_tab;
  if ((made_anew || leaves_sheets) && !silent_) {
    const std::string what = std::string(made_anew ? " does not reach a dump: its tables are dropped and made anew"
                                                   : " does not reach a dump: its rows are added to the tables there") +
                             " when it is loaded " +
                             (leaves_sheets ? "(a dump cannot leave a worksheet's table as it is: convert into the "
                                              "server for that)"
                                            : "(set dmp_ins_tab=0 to add its rows to the tables there)");
    print_line("Mode ", tk_widen_ascii(std::to_string(mode_)), what.c_str());
  }
  return dump;
}

void xls2sql_converter::try_first_definition(const std::u16string& source_name, const udb_recordset& source) {
  if (!direct || mode_ != mode_overwrite_database) return;
  std::unique_ptr<sql_database> present;
  try {
    if (!engine_.is_db_exist(destination_)) return;
    present = engine_.open_database(destination_, udb_database::mode_append);
  } catch (const sql_exception&) {
    // A database that cannot be opened fails the run where it is opened.
    return;
  }
  // Named as in the database made anew, where no table stands in the way.
  const std::unique_ptr<udb_validator> names = present->dialect().create_tn_validator({});
  const table_plan plan = plan_table(source_name, source, *names);
  present->try_definition(plan.name, plan.schema, plan.indexes);
}

// A trace log that the system stopped taking (a full disk) ends the run
// where it is, as a dump file that cannot be written does: the table in
// progress is told with the rows it stored, nothing is done after it, and
// the status does not say that a run finished which did not.
void xls2sql_converter::end_if_log_failed() {
  if (const tk_logger* logger = tk_logger::instance_ptr(); logger && logger->write_error())
    throw tk_exception_ex("Cannot write log file '" + logger->file_name() + "': ", 1, logger->write_error());
}

void xls2sql_converter::operator()() {
  TK_TRACE(2, "xls2sql_converter::operator()");
  init_conversion scope(finished_, true);
  // A trace log that cannot take the run's first line would keep no trace
  // of anything the run does: it stops before it does anything.
  end_if_log_failed();
  tk_status_line::enable(!silent_ && ::isatty(STDERR_FILENO) == 1);
  run_start_ = std::chrono::steady_clock::now();
  try {
    if (from_xls) {
      convert_from_xls();
    } else {
      convert_from_csv();
    }
    if (tables_done_ > 0) {
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - run_start_).count();
      const std::string total =
          tk_format(tables_done_ == 1 ? "Total: %d table, " : "Total: %d tables, ", tables_done_) +
          (tables_failed_ ? tk_format("%d failed, ", tables_failed_) : std::string()) +
          table_progress::grouped(total_read_) + " rows read, " + table_progress::grouped(total_stored_) + " stored, " +
          (total_held_ ? table_progress::grouped(total_held_) + " passed over (key held), " : std::string()) +
          table_progress::grouped(total_refused_) + tk_format(" refused; %.1f s", seconds);
      TK_TRACE(3, "%s", total);
      if (tk_status_line::enabled()) std::fprintf(stderr, "%s\n", total.c_str());
    }
  } catch (const tk_final_exception&) {
  } catch (const tk_exception& e) {
    error_handler::instance().handle(e);
  } catch (const std::bad_alloc&) {
    // Whatever else fails ends the run as a failure, reported as any other.
    error_handler::instance().handle(tk_exception("Not enough memory", 1));
  } catch (const std::exception& e) {
    error_handler::instance().handle(tk_exception(e.what(), 1));
  }
}

void xls2sql_converter::convert_from_xls() {
  TK_TRACE(2, "xls2sql_converter::convert_from_xls(src=%s, dest=%s)", source_, destination_);
  dao_engine workbook_engine(true);
  if (!workbook_engine.set_version_if(3) && !workbook_engine.set_version_if(0)) {
    throw tk_exception(
        "Failed to load Data Access Objects (DAO) support library.\r\nPlease reinstall the application to repair "
        "it.\r\n",
        1);
  }
  std::unique_ptr<dao_database> source = open_xls(source_, extract_field_names);
  // The destination is opened (in mode 0, its database emptied) once a
  // worksheet has been read and holds values: a workbook none of whose
  // sheets can be read (damaged inside, or empty) costs it nothing.
  std::unique_ptr<sql_destination> dest;
  std::unique_ptr<udb_validator> names;
  if (sheets_.empty()) {
    std::vector<std::u16string> all;
    get_all_sheets(*source, all);
    set_sel_sheets1(all);
  }
  n_sel_tables_ = static_cast<int32_t>(sheets_.size());
  TK_TRACE(3, "Converting spreadsheet %s (%d worksheets)", source_, n_sel_tables_);
  if (!silent_) {
    tk_status_line::clear();
    std::fprintf(tk_message_stream(), "Converting spreadsheet %s(%d worksheets)\n",
                 tk_unicode_to_console(source_).c_str(), n_sel_tables_);
  }
  TK_TRACE(2, "sel_tables.size()=%d", selected_entries_.size());
  TK_TRACE(2, "sel_queries.size()=%d", available_queries_.size());

  // A worksheet is read ahead when its copy can be made again: a table this
  // run makes and refines on a live server.
  const bool ahead = read_ahead_rows_ > 0 && refine_types && !only_definitions_ && direct && mode_ != mode_merge;
  // A sheet whose name keeps blanks at its ends (beside one named without
  // them) comes after the others: the plain name's table is the plain
  // sheet's, whichever sorts first.
  std::vector<std::pair<std::u16string, std::u16string>> order(sheets_.begin(), sheets_.end());
  std::stable_partition(order.begin(), order.end(), [](const auto& sheet) {
    return sheet.first.empty() || (sheet.first.front() != u' ' && sheet.first.back() != u' ');
  });
  for (const auto& [plain, engine_name] : order) {
    std::unique_ptr<udb_recordset> sheet;
    try {
      current_table_ = plain;
      announced_ = false;
      // Opening a worksheet reads it through once for its types; an
      // interruption stops that reading too.
      const bool shown = tk_status_line::enabled();
      const std::string reading = shown ? tk_unicode_to_console(plain) + "  reading" : std::string();
      if (shown) tk_status_line::show(reading);
      dao_database::set_reading_observer([shown, &reading](uint64_t rows) {
        tk_interrupt::check();
        if (shown && tk_status_line::due())
          tk_status_line::show(reading + "  " + table_progress::grouped(rows) + " rows");
      });
      {
        struct stop_observing {
          ~stop_observing() { dao_database::set_reading_observer(nullptr); }
        } stop;
        if (ahead)
          sheet = source->get_table_ahead(engine_name, read_ahead_rows_);
        else
          sheet = source->get_table(engine_name, 1);
      }
      // A worksheet without a value names no column and holds no row: a
      // table made of it would replace the user's by an empty one of an
      // invented column.
      if (const auto* rows = dynamic_cast<const dao_recordset*>(sheet.get()); rows && !rows->holds_values())
        throw tk_exception("The worksheet holds no value: no table is made of it", 0);
      if (!dest) {
        try_first_definition(plain, *sheet);
        dest = get_dest_base();
        dest->set_date_numbers([&book = *source](double serial) { return book.date_of_serial(serial); });
        TK_TRACE(1, "After initializing DBs");
        names = dest->dialect().create_tn_validator(dest->tables());
      }
      table_plan plan = plan_table(plain, *sheet, *names);
      if (const auto* rows = dynamic_cast<const dao_recordset*>(sheet.get()); rows && rows->provisional()) {
        convert_ahead(sheet, plan, *dest, plain);
        ++converted_;
      } else {
        // Readings after a worksheet's first replay a compact record of its
        // cells: one more costs less than the rebuild the refinement's
        // changes make after the copy.
        convert_table(*sheet, plan, *dest, [] { return std::unique_ptr<udb_recordset>(); });
        ++converted_;
      }
    } catch (const tk_exception& e) {
      report(e, dest);
    }
    sheet.reset();
    if (refine_types && dest) mysql_refine_types(*dest);
    finish_table();
    ++cur_table_;
  }
  if (!dest)
    throw tk_exception(u"No worksheet of '" + source_ + u"' could be converted: the destination is left as it was", 1);
  finish_destination(*dest);
}

void xls2sql_converter::finish_destination(sql_destination& dest) {
  // A run of which nothing could be converted says so by its status; a
  // dump of it (no table, perhaps a DROP DATABASE) would replace the file
  // there and, loaded, empty a database: it is not written.
  if (converted_ == 0)
    throw tk_exception(u"Nothing of '" + source_ + u"' could be converted" +
                           (dest.live() ? std::u16string() : u": the dump file is not written"),
                       1);
  dest.finish();
}

void xls2sql_converter::report(const tk_exception& e, std::unique_ptr<sql_destination>& dest) {
  // An error that ends the run still leaves what was copied stored: the
  // destination goes first.
  if (e.level() >= 1) dest.reset();
  // The table's account first.
  finish_table(true);
  if (failed_record_ != 0)
    error_handler::instance().set_context(current_table_, static_cast<long>(failed_record_));
  else
    error_handler::instance().set_context(current_table_);
  error_handler::instance().handle(e);
  error_handler::instance().reset_context();
}

void xls2sql_converter::convert_table(udb_recordset& source, const table_plan& plan, sql_destination& dest,
                                      const source_opener& reopen) {
  progress_.emplace(plan.name);
  std::u16string target = plan.name;
  bool replacing = false;
  const bool existed = dest.is_table_exist(plan.name, false);
  // A table this run made already (another source the type mappings send
  // to it) takes this source's rows too: it is neither skipped nor replaced.
  const bool ours = made_this_run(plan.name);
  if (existed && !ours) {
    if (from_xls && mode_ == mode_skip_tables) return;
    if (mode_ == mode_overwrite_tables) {
      if (dest.live()) {
        dest.check_replaceable(plan.name);
        target = dest.unused_table_name();
        replacing = true;
      } else {
        dest.delete_tab(plan.name);
      }
    }
  }
  // Rows added to a table that was there stay in it when the copy fails:
  // the account then tells how many.
  progress_->set_rows_stay(dest.live() && existed && !replacing);
  std::unique_ptr<udb_recordset> table;
  bool copying = false;  // rows may be stored
  try {
    table = dest.create_table(target, plan.schema, plan.indexes);
    if (plan.generated_name) TK_TRACE(2, "Store generated table name '%s'", plan.name);
    created_tables_.push_back(plan.name);
    if (!from_xls) {
      TK_TRACE(3, "Converting CSV file %s", source_);
      if (!silent_) print_line("Converting CSV file ", source_);
    }
    // Only a table this run makes, starting empty, is refined and widened:
    // the statistics see the rows of this copy alone, and a table that held
    // rows before (rows added to an existing table, another source mapped to
    // the same table) would have its own values changed by a type chosen
    // without them ('007' stored as 7), and its columns' definitions
    // (NOT NULL, defaults, comments, character sets) replaced. A dump that
    // writes no CREATE TABLE fills tables that are there already.
    const bool made_here =
        (!existed || (mode_ == mode_overwrite_tables && !ours)) && (dest.live() || dump_options_.dmp_ins_tab);
    widen_columns_ = made_here;
    bool gather = refine_types && mode_ != mode_merge && made_here;
    // A table this run created and fills is refined before its rows arrive
    // when the source can be read twice: one copy instead of a copy and a
    // rebuild per change.
    if (gather && reopen && dest.live() && !only_definitions_) {
      std::unique_ptr<udb_recordset> again = reopen();
      const bool refined = refine_before_copy(again ? *again : source, dynamic_cast<sql_row_writer&>(*table), dest);
      if (!again) source.reset();
      if (refined) {
        table.reset();
        mysql_refine_types(dest);
        table = dest.get_table(target, udb_database::mode_created);
        gather = false;
      }
    }
    copying = true;
    convert_step(source, dynamic_cast<sql_row_writer&>(*table), dest, gather, plan.name);
    table.reset();
    // A request to stop that came after the last record (while the last
    // rows were sent, or the types changed) is honoured before the table
    // takes the old one's place.
    tk_interrupt::check();
    end_if_log_failed();
    if (replacing) {
      if (refine_types) mysql_refine_types(dest);
      tk_interrupt::check();
      dest.replace_table(plan.name, target);
    }
  } catch (...) {
    table.reset();
    // A table this run made holds none of the rows before they are copied
    // (while the source is read for its types): it is no result of the run,
    // and a later run adding rows to it would leave its types unrefined.
    if (replacing || (!copying && !existed && dest.live())) {
      discard_pending_changes();
      drop_unfinished(dest, target);
      if (!replacing) std::erase(created_tables_, plan.name);
    }
    throw;
  }
}

void xls2sql_converter::drop_unfinished(sql_destination& dest, const std::u16string& target) {
  try {
    if (dest.is_table_exist(target, true)) dest.delete_tab(target);
  } catch (const tk_exception& e) {
    // The user is told its name, to drop it when the cause is gone.
    TK_TRACE(3, "Cannot drop table '%s': %s", target, e.message());
    error_handler::instance().set_context(current_table_);
    error_handler::instance().handle(tk_exception(
        u"The unfinished table '" + target + u"' is left in the database: " + tk_utf8_to_unicode(e.message()), 0));
    error_handler::instance().reset_context();
  }
}

namespace {

// Whether two lists of column changes change the same columns alike.
bool same_changes(const std::vector<mysql_converter_impl::pending_change>& a,
                  const std::vector<mysql_converter_impl::pending_change>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
    return x.column == y.column && x.change == y.change && x.rewrite == y.rewrite &&
           x.empty_to_null == y.empty_to_null && x.no_op == y.no_op && x.depends_on_rows == y.depends_on_rows;
  });
}

}  // namespace

bool xls2sql_converter::changes_hold(const sql_dialect& dialect, const std::u16string& table, const udb_schema& columns,
                                     const dates_map& dates, const num_map& numbers,
                                     const std::vector<pending_change>& expected) {
  const size_t before = pending_statements_.size();
  weighing_changes_ = true;
  const weighing_ends ends{weighing_changes_};
  date_post_process(dialect, table, columns, dates, mapped_columns_);
  num_post_process(dialect, table, columns, numbers, mapped_columns_);
  const bool same =
      same_changes(expected, std::vector<pending_change>(pending_statements_.begin() + static_cast<ptrdiff_t>(before),
                                                         pending_statements_.end()));
  pending_statements_.resize(before);
  return same;
}

void xls2sql_converter::convert_ahead(std::unique_ptr<udb_recordset>& sheet, table_plan& plan, sql_destination& dest,
                                      const std::u16string& source_name) {
  auto& rows = dynamic_cast<dao_recordset&>(*sheet);
  const auto from_whole_pass = [&] {
    sheet = rows.reopen_whole();
    plan_columns(plan, source_name, *sheet);
    convert_table(*sheet, plan, dest, [] { return std::unique_ptr<udb_recordset>(); });
  };
  const bool existed = dest.is_table_exist(plan.name, false);
  // Rows added to a table that was there keep the types it has: nothing to
  // read ahead for.
  if (existed && (mode_ != mode_overwrite_tables || made_this_run(plan.name))) return from_whole_pass();

  progress_.emplace(plan.name);
  widen_columns_ = true;
  if (existed) dest.check_replaceable(plan.name);
  const std::u16string target = existed ? dest.unused_table_name() : plan.name;
  std::unique_ptr<udb_recordset> table;
  bool same = false;
  bool pass_failed = false;
  error_handler::instance().hold();
  try {
    table = dest.create_table(target, plan.schema, plan.indexes);
    if (plan.generated_name) TK_TRACE(2, "Store generated table name '%s'", plan.name);
    // The columns as made: the statistics of every row are weighed against
    // them at the end, as the reading of the whole sheet would have.
    const udb_schema made(table->schema());
    const bool refined = refine_before_copy(rows, dynamic_cast<sql_row_writer&>(*table), dest,
                                            static_cast<uint64_t>(rows.provisional_rows()));
    rows.reset();
    if (refined) {
      const std::vector<pending_change> first = pending_statements();
      table.reset();
      mysql_refine_types(dest);
      table = dest.get_table(target, udb_database::mode_created);
      ahead_changes_ = &first;
      struct stop_checking {
        const std::vector<pending_change>*& changes;
        ~stop_checking() { changes = nullptr; }
      } stop{ahead_changes_};
      try {
        convert_step(rows, dynamic_cast<sql_row_writer&>(*table), dest, true, plan.name, &made);
        same = same_changes(first, pending_statements());
      } catch (const read_ahead_given_up&) {
        TK_TRACE(3, "Worksheet %s: types changed at record %d", current_table_, record_no_);
        record_no_ = 0;
      }
      table.reset();
    }
    discard_pending_changes();
    // The whole first pass: whether the rows were those of its types.
    try {
      if (!rows.settle()) same = false;
    } catch (const dao_exception&) {
      pass_failed = true;
      throw;
    }
    tk_interrupt::check();
  } catch (...) {
    table.reset();
    discard_pending_changes();
    // A first pass that fails fails the worksheet before any copy, as it
    // does without reading ahead: the table made for it goes, with its
    // reports. Any other failure ends the copy as it would have ended it.
    if (pass_failed) {
      error_handler::instance().discard();
      progress_.reset();
    } else {
      error_handler::instance().release();
    }
    if (existed || pass_failed) {
      drop_unfinished(dest, target);
    }
    // The first pass stops here: a failure that ends the run ends the
    // process before the worksheet would be let go.
    sheet.reset();
    throw;
  }
  if (same) {
    TK_TRACE(3, "Worksheet %s: read ahead in its final types", current_table_);
    error_handler::instance().release();
    created_tables_.push_back(plan.name);
    tell_values_left_out(rows);
    if (existed) dest.replace_table(plan.name, target);
    return;
  }
  // The rows were not in their final types: made again from the start.
  TK_TRACE(3, "Worksheet %s: types changed past the first rows, converting it again", current_table_);
  error_handler::instance().discard();
  dest.delete_tab(target);
  progress_.reset();
  // So are the column changes the first copy went through: the account
  // tells those of the table that stands.
  take_applied_changes();
  from_whole_pass();
}

bool xls2sql_converter::refine_before_copy(udb_recordset& source, sql_row_writer& table, sql_destination& dest,
                                           uint64_t rows) {
  TK_TRACE(2, "xls2sql_converter::refine_before_copy(%s)", current_table_);
  sql_field_upsizer upsizer(dest, table, engine_.char_set());
  upsizer.keep(mapped_columns_);
  dates_map dates(table.table(), table.schema(), false);
  num_map numbers(table.table(), table.schema());
  const auto* csv = dynamic_cast<const csv_file*>(&source);
  progress_->begin_first_reading();
  struct end_reading {
    table_progress& p;
    ~end_reading() { p.end_first_reading(); }
  } end{*progress_};
  try {
    for (uint64_t n = 0; !source.is_eof();) {
      tk_interrupt::check();
      udb_record* source_record = source.get_record();
      TK_ASSERT(source_record != nullptr, "../grl_conv");
      progress_->record_read(source);
      try {
        const udb_record& record = modify2(current_table_, *source_record);
        upsizer.process(record);
        // Fields read ahead, unless the type mappings changed them.
        const field_note* notes = csv && &record == source_record ? csv->notes() : nullptr;
        dates.add_rec_stat(record, notes);
        numbers.add_rec_stat(record, notes);
        if (csv && (n & 255) == 0) settle_notes(*csv, dates, numbers);
      } catch (const sql_exception& e) {
        // The copy reports it and leaves the record out.
        TK_TRACE(2, "Record left out of the statistics: %s", e.message());
      }
      if (++n == rows) break;
      source.move_next();
    }
  } catch (const tk_exception& e) {
    tk_interrupt::check();
    // The copy meets the same failure at the same record.
    TK_TRACE(3, "The source cannot be read through before the copy: %s", e.message());
    return false;
  }
  widened_columns_ = upsizer.steps();
  date_post_process(dest.dialect(), table.table(), table.schema(), dates, mapped_columns_);
  num_post_process(dest.dialect(), table.table(), table.schema(), numbers, mapped_columns_);
  if (std::any_of(pending_statements().begin(), pending_statements().end(),
                  [](const pending_change& c) { return c.depends_on_rows; })) {
    discard_pending_changes();
    return false;
  }
  return true;
}

void xls2sql_converter::convert_from_csv() {
  TK_TRACE(1, "xls2sql_converter::convert_from_csv(src=%s, dest=%s, tab=%s)", source_, destination_, tab_name);
  // The file is opened before the destination: opening the destination in
  // mode 0 empties its database, which a file that cannot be read must not
  // cost.
  std::unique_ptr<sql_destination> dest;
  std::unique_ptr<csv_file> source;
  try {
    source = std::make_unique<csv_file>(source_, csv_delimiter(csv_delim), extract_field_names,
                                        csv_file::default_buffer_size, csv_code_page);
  } catch (const tk_exception& e) {
    report(e, dest);
    return;
  }
  try {
    current_table_ = tab_name;
    try_first_definition(tab_name, *source);
  } catch (const tk_exception& e) {
    report(e, dest);
    throw tk_exception(u"Nothing of '" + source_ + u"' could be converted", 1);
  }
  dest = get_dest_base();
  // The text goes on as the file holds it: a UTF-8 file's fields keep
  // their bytes.
  source->set_utf8_fields(true);
  // The reading thread reads the fields for the statistics too.
  source->set_noting(refine_types);
  try {
    if (source->encoding_guessed() && !silent_)
      print_line("CSV file '", source_,
                 ("' is not UTF-8; it is read as " +
                  (source->encoding().is_utf16() ? source->encoding().name() : std::string("Windows-1252")) +
                  " (set csv_code_page to choose another)")
                     .c_str());
    std::unique_ptr<udb_validator> names = dest->dialect().create_tn_validator(dest->tables());
    current_table_ = tab_name;
    const table_plan plan = plan_table(tab_name, *source, *names);
    // A pipe gives its rows once: they are copied as they come, and the
    // types refined after.
    source_opener reopen;
    if (source->can_read_again()) reopen = [&source] { return std::unique_ptr<udb_recordset>(source->read_again()); };
    convert_table(*source, plan, *dest, reopen);
    ++converted_;
    tell_fields_left_out(*source);
  } catch (const tk_exception& e) {
    report(e, dest);
  }
  source.reset();
  if (refine_types && dest) mysql_refine_types(*dest);
  finish_table();
  finish_destination(*dest);
}

namespace {

// Reports the rows of a batch that the server refused, each with the table
// being converted and the row's own number.
class refused_row_reporter : public sql_row_error_sink {
 public:
  // `built` is the name the rows are stored under for now, `final` the one
  // the table will have: the server's messages name the one the user knows.
  refused_row_reporter(const std::u16string& table, const std::u16string& built, const std::u16string& final,
                       table_progress& progress)
      : table_(table), built_(tk_unicode_to_utf8(built)), final_(tk_unicode_to_utf8(final)), progress_(progress) {}
  void rows_committed(uint64_t stored, uint64_t held) override { progress_.record_committed(stored, held); }
  void refused_row(uint64_t row_number, const tk_exception& error) override {
    progress_.record_refused();
    error_handler::instance().set_context(table_, static_cast<long>(row_number));
    const auto* server = dynamic_cast<const sql_exception*>(&error);
    if (server)
      error_handler::instance().handle(shown(*server));
    else
      error_handler::instance().handle(error);
    error_handler::instance().reset_context();
  }
  // The server's message with the name the user knows.
  sql_exception shown(const sql_exception& e) const {
    std::string text = e.message();
    if (built_ != final_)
      for (const char quote : {'`', '\''}) {
        const std::string from = quote + built_ + quote, to = quote + final_ + quote;
        for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
          text.replace(at, from.size(), to);
      }
    sql_exception out(text, e.error_number(), e.level());
    out.set_row(e.row());
    return out;
  }

 private:
  const std::u16string& table_;
  std::string built_, final_;
  table_progress& progress_;
};

}  // namespace

void xls2sql_converter::ends_run(const sql_exception& e, uint64_t record) {
  // Reported once the table's failure path has run (a replacement dropped):
  // at the first row of the statement that failed.
  failed_record_ = e.row() != 0 ? e.row() : record;
  throw e;
}

void xls2sql_converter::convert_step(udb_recordset& source, sql_row_writer& table, sql_destination& database,
                                     bool gather, const std::u16string& final_name, const udb_schema* stats_columns) {
  TK_TRACE(1, "xls2sql_converter::convert_step");
  if (only_definitions_) return;
  refused_row_reporter reporter(current_table_, table.table(), final_name, *progress_);
  table.set_row_error_sink(&reporter);
  // Left by a failure, the table first tells what became of the rows in
  // flight: the account counts those stored.
  struct detach {
    sql_row_writer& t;
    ~detach() {
      if (std::uncaught_exceptions() > 0) t.settle();
      t.set_row_error_sink(nullptr);
    }
  } detach_sink{table};
  sql_field_upsizer upsizer(database, table, engine_.char_set());
  TK_TRACE(1, "sql_field_upsizer::ctor");
  upsizer.keep(mapped_columns_);
  // Columns a reading before the copy widened are wide already.
  upsizer.assume_steps(widened_columns_);
  widened_columns_.clear();
  if (from_xls && !announced_) {
    TK_TRACE(3, "Converting worksheet %s", source.name());
    if (!silent_) print_line("Converting table ", current_table_);
    announced_ = true;
  }
  const udb_schema& columns = stats_columns ? *stats_columns : table.schema();
  dates_map dates(table.table(), columns, false);
  num_map numbers(table.table(), columns);
  // Rows read ahead come before the reading that would have widened their
  // columns: they are widened on the way.
  const auto* sheet = dynamic_cast<const dao_recordset*>(&source);
  const auto* csv = dynamic_cast<const csv_file*>(&source);
  const bool widen = widen_columns_ && (!from_xls || (sheet && sheet->provisional()));
  while (!source.is_eof()) {
    tk_interrupt::check();
    end_if_log_failed();
    try {
      TK_TRACE(1, "Converting %d record", record_no_);
      udb_record* source_record = source.get_record();
      TK_ASSERT(source_record != nullptr, "../grl_conv");
      progress_->record_read(source);
      TK_TRACE(1, "udb_db_mutator::modify2(%s)", current_table_);
      // A value that cannot take its mapped type ends the run: at this record.
      const udb_record& record = [&]() -> const udb_record& {
        try {
          return modify2(current_table_, *source_record);
        } catch (const tk_exception&) {
          failed_record_ = record_no_ + 1;
          throw;
        }
      }();
      if (from_xls && skip_empty && record.is_empty()) {
        TK_TRACE(1, "Empty -> skip");
        progress_->record_skipped();
        source.move_next();
        continue;
      }
      if (widen) upsizer.process(record);
      table.append_record(record);
      if (gather) {
        const field_note* notes = csv && &record == source_record ? csv->notes() : nullptr;
        dates.add_rec_stat(record, notes);
        numbers.add_rec_stat(record, notes);
        if (csv && (record_no_ & 255) == 0) settle_notes(*csv, dates, numbers);
      }
    } catch (const sql_exception& e) {
      if (e.level() >= 1) ends_run(reporter.shown(e), record_no_ + 1);
      progress_->record_refused();
      error_handler::instance().set_context(current_table_, static_cast<long>(record_no_ + 1));
      error_handler::instance().handle(e);
      error_handler::instance().reset_context();
    }
    ++record_no_;
    // Rows read ahead in the types of the first rows: once the rows so far
    // give other columns or other changes, so does the whole sheet (or very
    // likely), and the copy is given up at once rather than at the end.
    if (ahead_changes_ && (record_no_ & 4095) == 0 &&
        (!sheet->provisional_holds() ||
         !changes_hold(database.dialect(), table.table(), columns, dates, numbers, *ahead_changes_)))
      throw read_ahead_given_up();
    source.move_next();
  }
  // The last batch goes now, while refused rows can still be told apart.
  try {
    table.flush();
  } catch (const sql_exception& e) {
    if (e.level() >= 1) ends_run(reporter.shown(e), record_no_);
    error_handler::instance().set_context(current_table_, static_cast<long>(record_no_));
    error_handler::instance().handle(e);
    error_handler::instance().reset_context();
  }
  if (gather) {
    // (Of a copy read ahead, the changes are weighed against those it made.)
    weighing_changes_ = ahead_changes_ != nullptr;
    const weighing_ends ends{weighing_changes_};
    date_post_process(database.dialect(), table.table(), columns, dates, mapped_columns_);
    num_post_process(database.dialect(), table.table(), columns, numbers, mapped_columns_);
  }
  const std::vector<csv_field_upsizer::step>& steps = upsizer.steps();
  for (size_t i = 0; i < steps.size() && i < table.schema().size(); ++i) {
    const char16_t* type = steps[i] == csv_field_upsizer::step::text         ? u"TEXT"
                           : steps[i] == csv_field_upsizer::step::mediumtext ? u"MEDIUMTEXT"
                           : steps[i] == csv_field_upsizer::step::longtext   ? u"LONGTEXT"
                                                                             : nullptr;
    if (type && table.schema().fields[i])
      progress_->add_change(tk_unicode_to_console(table.schema().fields[i]->name + u" VARCHAR(255) \u2192 " + type));
  }
  record_no_ = 0;
  // Values below a worksheet's last row are not part of its table: the
  // rows above them are converted, and the user is told once.
  if (sheet && !sheet->provisional()) tell_values_left_out(*sheet);
}

void xls2sql_converter::tell_values_left_out(const dao_recordset& sheet) {
  const auto tell = [this](std::u16string_view what) {
    error_handler::instance().set_context(u"");
    error_handler::instance().handle(tk_exception(u"Worksheet " + current_table_ + u": " + std::u16string(what), 0));
  };
  const auto counted = [](uint64_t n) {
    const std::string count = std::to_string(n);
    return std::u16string(count.begin(), count.end());
  };
  if (sheet.rows_past_limit()) tell(u"rows beyond 1,048,576 are not converted");
  if (const uint64_t n = sheet.cells_out_of_order())
    tell(counted(n) +
         u" values out of order (in a row above one already read, or given twice for one cell) are not converted");
  if (const uint64_t n = sheet.unreadable_values())
    tell(counted(n) +
         u" values that are no value of their cell's kind (a number, date, boolean or shared text) are stored as NULL");
  if (const uint64_t n = sheet.uncalculated_formulas())
    tell(counted(n) +
         u" formula cells were saved without a calculated result: they are stored as the workbook holds them (NULL, "
         u"or the 0 its writer put in their place)");
  if (const uint64_t n = sheet.error_values())
    tell(counted(n) + u" cells hold an error value (#DIV/0!, #N/A and the like): they are stored as NULL");
}

void xls2sql_converter::tell_fields_left_out(const csv_file& source) {
  const int64_t lines = source.cut_lines();
  if (lines == 0) return;
  const auto counted = [](int64_t n) { return tk_widen_ascii(std::to_string(n)); };
  const std::u16string first = counted(source.first_cut_line());
  const std::u16string columns = counted(static_cast<int64_t>(source.schema().size()));
  error_handler::instance().set_context(u"");
  error_handler::instance().handle(tk_exception(
      u"CSV file '" + source_ + u"': " +
          (lines == 1 ? u"line " + first + u" has more fields than the first line; its fields after the first " +
                            columns + u" are not converted"
                      : counted(lines) + u" lines (the first: line " + first +
                            u") have more fields than the first line; their fields after the first " + columns +
                            u" are not converted"),
      0));
}

void xls2sql_converter::finish_table(bool failed) {
  if (!progress_) return;
  for (std::string& change : take_applied_changes()) progress_->add_change(std::move(change));
  progress_->finish(failed);
  ++tables_done_;
  total_read_ += progress_->read();
  if (failed) {
    ++tables_failed_;
  } else {
    total_stored_ += progress_->stored();
    total_refused_ += progress_->refused();
    total_held_ += progress_->held();
  }
  progress_.reset();
}
