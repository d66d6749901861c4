#include "udb_converter.h"

#include "tk_exception.h"
#include "tk_logger.h"
#include "tk_path.h"
#include "tk_unicode.h"
#include "udb_profile.h"

namespace {

// The sections and keys of the converter's part of a profile.
constexpr std::u16string_view generic_section = u"Generic settings";
constexpr std::u16string_view tables_section = u"Selected Tables";
constexpr std::u16string_view views_section = u"Selected Views";
constexpr std::u16string_view queries_section = u"Available Queries";

// Replaces `list` with the entries of `section` when the profile has it.
void load_selections(const udb_profile& profile, std::u16string_view section, std::vector<udb_selection>& list,
                     const char* bare_trace, const char* query_trace) {
  if (!profile.has_section(section)) return;
  list.clear();
  for (const auto& [name, text] : profile.get_entries(section)) {
    TK_TRACE(1, text.empty() ? bare_trace : query_trace, name);
    list.push_back(udb_selection{name, text});
  }
}

}  // namespace

void udb_converter::set_mode(int32_t mode) {
  TK_TRACE(1, "udb_converter::set_mode(%d)", mode);
  mode_ = mode;
}

bool udb_converter::load_profile(const udb_profile& profile) {
  TK_TRACE(2, "udb_converter::load_profile");
  load_selections(profile, tables_section, selected_entries_, "Loading table '%s'", "Loading query '%s'");
  load_selections(profile, views_section, selected_views_, "Loading view '%s'", "Loading view '%s'");
  load_selections(profile, queries_section, available_queries_, "Loading query '%s'", "Loading query '%s'");

  if (const std::u16string& src = profile.get_value(generic_section, u"src"); !src.empty()) {
    TK_TRACE(1, "source='%s'", src);
    source_ = src;
  }
  if (const std::u16string& dest = profile.get_value(generic_section, u"dest"); !dest.empty()) {
    TK_TRACE(1, "dest='%s'", dest);
    destination_ = dest;
  }
  if (const std::u16string& logfile = profile.get_value(generic_section, u"logfile"); !logfile.empty()) {
    TK_TRACE(1, "Logfile=%s", logfile);
    open_log(tk_unicode_to_ansi(logfile));
  }
  if (const std::u16string& flag = profile.get_value(generic_section, u"only definitions"); !flag.empty())
    only_definitions_ = flag != u"0";
  if (const std::u16string& mode = profile.get_value(generic_section, u"mode"); !mode.empty()) {
    if (mode.size() != 1 || mode[0] < u'0' || mode[0] > u'3') {
      TK_TRACE(3, "Invalid mode '%s' in the profile", mode);
      throw tk_exception("Invalid merge/overwrite mode", 1);
    }
    set_mode(mode[0] - u'0');
    mode_from_profile_ = true;
  }
  if (const std::u16string& flag = profile.get_value(generic_section, u"skip indexes"); !flag.empty())
    skip_indexes_ = flag != u"0";
  return true;
}

void udb_converter::keep_from_log(const udb_profile& profile, bool dump) {
  if (const std::u16string& src = profile.get_value(generic_section, u"src"); !src.empty())
    keep_from_log(tk_unicode_to_ansi(src));
  if (const std::u16string& dest = profile.get_value(generic_section, u"dest"); dump && !dest.empty())
    keep_dump_from_log(tk_unicode_to_ansi(dest));
}

void udb_converter::open_log(const std::string& path) {
  std::vector<std::string> read = read_files_;
  read.insert(read.end(), written_files_.begin(), written_files_.end());
  if (!source_.empty()) read.push_back(tk_unicode_to_ansi(source_));
  for (const std::string& file : read)
    if (!path.empty() && tk_is_same_file(path, file))
      throw tk_exception("The log file is a file the run reads or writes: '" + path + "'", 1);
  set_logfile(path);
}
