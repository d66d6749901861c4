#include "udb_profile.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "tk_exception.h"
#include "tk_exception_ex.h"
#include "tk_format.h"
#include "tk_logger.h"
#include "tk_path.h"
#include "tk_unicode.h"

namespace {

// A name as a slip of the pen leaves it: its ASCII letters in lower case
// and digits. Blanks of every kind, punctuation and invisible characters (a
// no-break space, U+FEFF) go.
std::u16string loosely(std::u16string_view name) {
  std::u16string loose;
  for (char16_t c : name) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')) loose += c;
  }
  return loose;
}

// A name as a refusal shows it: what cannot be seen as "<U+00A0>".
std::u16string shown(std::u16string_view name) {
  std::u16string out;
  for (char16_t c : name) {
    if (c >= 0x20 && c < 0x7F) {
      out += c;
    } else {
      out += tk_utf8_to_unicode(tk_format("<U+%04X>", static_cast<unsigned>(c)));
    }
  }
  return out;
}

constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";

bool is_blank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r'; }

std::u16string_view trim_blanks(std::u16string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && is_blank(text[begin])) ++begin;
  while (end > begin && is_blank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// UTF-8 where it decodes; each byte that does not becomes U+FFFD.
void append_utf8_lenient(std::u16string& out, std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      out += static_cast<char16_t>(c);
      ++i;
      continue;
    }
    const size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    if (n != 0 && i + n <= bytes.size()) {
      std::u16string piece;
      if (tk_append_utf16(piece, bytes.substr(i, n))) {
        out += piece;
        i += n;
        continue;
      }
    }
    out += u'\uFFFD';
    ++i;
  }
}

// One line of the file as wide text: UTF-8 when it is valid UTF-8, the
// process code page otherwise.
void decode_line(std::string_view bytes, std::u16string& out) {
  out.clear();
  if (tk_append_utf16(out, bytes)) return;
  out.clear();
  if (!tk_code_page_is_utf8() && bytes.find('\0') == std::string_view::npos &&
      tk_ansi_to_unicode2(std::string(bytes).c_str(), out))
    return;
  TK_TRACE(3, "Profile line is not valid text; undecodable bytes replaced");
  out.clear();
  append_utf8_lenient(out, bytes);
}

const std::u16string empty_text;
const std::vector<udb_profile::entry> no_entries;
const std::vector<std::u16string> no_lines;

}  // namespace

bool udb_profile::load(std::u16string_view path) {
  std::string narrow;
  // A path the code page cannot hold cannot name an existing file either.
  if (!tk_unicode_to_ansi2(path, narrow)) narrow.clear();
  return load(narrow);
}

bool udb_profile::load(const std::string& path) {
  TK_TRACE(2, "udb_profile::load(%s)", path);
  if (path.empty() || !tk_is_file_exist(path, tk_file_exists))
    throw tk_exception("Profile does not exist. Please verify the correct path/name was given.", 1);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw tk_exception_ex("Cannot open profile '" + path + "': ", 1);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw tk_exception_ex("Cannot read profile '" + path + "': ", 1);
  parse(bytes);
  return true;
}

void udb_profile::parse(std::string_view bytes) {
  sections_.clear();
  unsectioned_.clear();
  if (bytes.substr(0, utf8_bom.size()) == utf8_bom) bytes.remove_prefix(utf8_bom.size());

  section* current = nullptr;
  std::u16string line;
  while (!bytes.empty()) {
    size_t end = bytes.find('\n');
    std::string_view raw = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);

    decode_line(raw, line);
    const std::u16string_view trimmed = trim_blanks(line);
    if (trimmed.empty()) continue;

    if (trimmed.size() >= 2 && trimmed.front() == u'[' && trimmed.back() == u']') {
      current = &sections_[std::u16string(trimmed.substr(1, trimmed.size() - 2))];
      continue;
    }
    if (!current) {
      unsectioned_.emplace_back(trimmed);
      continue;
    }

    std::u16string key, value;
    const size_t eq = trimmed.find(u'=');
    if (eq != std::u16string_view::npos) {
      current->settings.emplace_back(trimmed);
      key = trim_blanks(trimmed.substr(0, eq));
      value = trim_blanks(trimmed.substr(eq + 1));
    } else {
      // The type mappings depend on the indentation: the line is kept whole.
      current->lines.push_back(line);
      key = trimmed;
    }
    auto [it, added] = current->index.try_emplace(key, current->entries.size());
    if (added) {
      current->entries.emplace_back(std::move(key), std::move(value));
    } else {
      current->entries[it->second].second = std::move(value);
    }
  }
}

const udb_profile::section* udb_profile::find(std::u16string_view name) const {
  if (asked_.find(name) == asked_.end()) asked_.emplace(std::u16string(name), std::set<std::u16string>());
  auto it = sections_.find(name);
  return it == sections_.end() ? nullptr : &it->second;
}

bool udb_profile::has_section(std::u16string_view section_name) const { return find(section_name) != nullptr; }

const std::u16string& udb_profile::get_value(std::u16string_view section_name, std::u16string_view key) const {
  const section* s = find(section_name);
  asked_.find(section_name)->second.emplace(key);
  if (!s) return empty_text;
  auto it = s->index.find(std::u16string(key));
  return it == s->index.end() ? empty_text : s->entries[it->second].second;
}

const std::vector<udb_profile::entry>& udb_profile::get_entries(std::u16string_view section_name) const {
  const section* s = find(section_name);
  return s ? s->entries : no_entries;
}

const std::vector<std::u16string>& udb_profile::get_lines(std::u16string_view section_name) const {
  const section* s = find(section_name);
  return s ? s->lines : no_lines;
}

const std::vector<std::u16string>& udb_profile::get_setting_lines(std::u16string_view section_name) const {
  const section* s = find(section_name);
  return s ? s->settings : no_lines;
}

std::u16string udb_profile::misspelt_name() const {
  // Whether a key, or a line without '=', is `key` as a slip gives it: the
  // whole, or for a line without '=' what comes before a character that is
  // no letter or digit when one value alone follows ("mode 2", "mode:2";
  // not a note such as "Port 3306 is used", nor another tool's "src path=").
  const auto like = [](std::u16string_view text, std::u16string_view key, bool bare) {
    const std::u16string wanted = loosely(key);
    if (loosely(text) == wanted) return true;
    if (!bare) return false;
    const auto is_word = [](char16_t c) {
      return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
    };
    for (size_t i = 0; i < text.size(); ++i) {
      if (is_word(text[i]) || loosely(text.substr(0, i)) != wanted) continue;
      size_t value = i;
      while (value < text.size() && !is_word(text[value])) ++value;
      const std::u16string_view rest = text.substr(value);
      if (std::none_of(rest.begin(), rest.end(), [](char16_t c) { return c == u' ' || c == u'\t' || c == 0xA0; }))
        return true;
    }
    return false;
  };
  // A read key that `text`, standing elsewhere or misspelt, is meant to be.
  const auto read_key = [&](std::u16string_view text, bool bare, std::u16string& in) -> std::u16string {
    for (const auto& [name, keys] : asked_)
      for (const std::u16string& key : keys)
        if (like(text, key, bare)) {
          in = name;
          return key;
        }
    return {};
  };
  // A header with more on its line ("[Generic settings] ; main") is no
  // header: its section's lines would go to the section before.
  const auto header_like = [this](std::u16string_view line) -> std::u16string {
    const size_t close = line.find(u']');
    if (line.empty() || line.front() != u'[' || close == std::u16string_view::npos) return {};
    for (const auto& [asked, keys] : asked_)
      if (loosely(line.substr(1, close - 1)) == loosely(asked)) return asked;
    return {};
  };
  std::vector<const std::u16string*> lines;
  for (const std::u16string& line : unsectioned_) lines.push_back(&line);
  for (const auto& [name, content] : sections_)
    for (const std::u16string& line : content.lines) lines.push_back(&line);
  for (const std::u16string* line : lines)
    if (const std::u16string asked = header_like(trim_blanks(*line)); !asked.empty())
      return u"the line '" + shown(trim_blanks(*line)) + u"' is no header of section '" + asked +
             u"': a header stands alone on its line";
  std::u16string home;
  for (const std::u16string& line : unsectioned_) {
    const size_t eq = line.find(u'=');
    const std::u16string_view key_text =
        eq == std::u16string::npos ? line : trim_blanks(std::u16string_view(line).substr(0, eq));
    if (const std::u16string key = read_key(key_text, eq == std::u16string::npos, home); !key.empty())
      return u"the line '" + shown(line) + u"' stands before any section (the key '" + key + u"' is one of section '" +
             home + u"')";
  }
  for (const auto& [name, content] : sections_) {
    const auto same = asked_.find(name);
    if (same == asked_.end()) {
      for (const auto& [asked, keys] : asked_)
        if (loosely(name) == loosely(asked)) return u"section '" + shown(name) + u"' is spelt '" + asked + u"'";
      continue;
    }
    // Keys are asked of the sections that hold settings.
    if (same->second.empty()) continue;
    std::set<std::u16string_view> bare;
    for (const std::u16string& line : content.lines) bare.insert(trim_blanks(line));
    for (const auto& [key, value] : content.entries) {
      if (same->second.count(key) != 0) continue;
      const std::u16string meant = read_key(key, bare.count(key) != 0, home);
      if (meant.empty()) continue;
      if (home != name)
        return u"key '" + shown(key) + u"' of section '" + name + u"' is a key of section '" + home + u"'";
      return u"key '" + shown(key) + u"' of section '" + name + u"' is spelt '" + meant + u"'";
    }
  }
  return {};
}
