#include "sql_fk_parser.h"

#include "tk_logger.h"

namespace {

void skip_blanks(std::u16string_view text, size_t& pos) {
  while (pos < text.size() && (text[pos] == u' ' || text[pos] == u'\n' || text[pos] == u'\r' || text[pos] == u'\t'))
    ++pos;
}

}  // namespace

std::u16string sql_fk_parser::get_name(std::u16string_view text, size_t& pos) {
  skip_blanks(text, pos);
  std::u16string name;
  if (pos < text.size() && text[pos] == u'`') {
    // A backtick inside a quoted name is doubled.
    ++pos;
    while (pos < text.size()) {
      if (text[pos] == u'`') {
        if (pos + 1 < text.size() && text[pos + 1] == u'`') {
          name += u'`';
          pos += 2;
          continue;
        }
        ++pos;
        break;
      }
      name += text[pos++];
    }
    return name;
  }
  while (pos < text.size() && text[pos] != u' ' && text[pos] != u'(' && text[pos] != u',' && text[pos] != u')' &&
         text[pos] != u'\n')
    name += text[pos++];
  return name;
}

std::vector<std::u16string> sql_fk_parser::get_columns(std::u16string_view text, size_t& pos) {
  TK_TRACE(1, "sql_fk_parser::get_columns");
  std::vector<std::u16string> columns;
  skip_blanks(text, pos);
  if (pos >= text.size() || text[pos] != u'(') return columns;
  ++pos;
  while (pos < text.size()) {
    columns.push_back(get_name(text, pos));
    TK_TRACE(1, "GOT FK COLUMN: %s", columns.back());
    skip_blanks(text, pos);
    if (pos < text.size() && text[pos] == u',') {
      ++pos;
      continue;
    }
    if (pos < text.size() && text[pos] == u')') ++pos;
    break;
  }
  return columns;
}

sql_fk_parser::sql_fk_parser(std::u16string_view table, std::u16string_view create_sql) {
  TK_TRACE(2, "sql_fk_parser::ctor(%s)", create_sql);
  static constexpr std::u16string_view constraint = u"CONSTRAINT ";
  static constexpr std::u16string_view foreign_key = u"FOREIGN KEY";
  static constexpr std::u16string_view references = u"REFERENCES ";
  size_t pos = 0;
  while ((pos = create_sql.find(constraint, pos)) != std::u16string_view::npos) {
    pos += constraint.size();
    udb_relationship fk;
    fk.fk_table = std::u16string(table);
    fk.name = get_name(create_sql, pos);
    skip_blanks(create_sql, pos);
    if (create_sql.substr(pos, foreign_key.size()) != foreign_key) continue;  // a CHECK or another constraint
    pos += foreign_key.size();
    fk.fk_columns = get_columns(create_sql, pos);
    skip_blanks(create_sql, pos);
    if (create_sql.substr(pos, references.size()) != references) continue;
    pos += references.size();
    fk.pk_table = get_name(create_sql, pos);
    fk.pk_columns = get_columns(create_sql, pos);
    relationships_.push_back(std::move(fk));
  }
}
