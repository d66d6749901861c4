#include "udb_schema.h"

#include "tk_logger.h"
#include "tk_mail_assertion.h"
#include "udb_name_compare.h"

udb_schema::udb_schema(const udb_schema& other) {
  fields.reserve(other.fields.size());
  for (const auto& f : other.fields) fields.push_back(f ? std::make_unique<t_ftd>(*f) : nullptr);
}

udb_schema& udb_schema::operator=(const udb_schema& other) {
  if (this != &other) {
    udb_schema copy(other);
    fields.swap(copy.fields);
  }
  return *this;
}

udb_schema::~udb_schema() = default;

void udb_schema::push_back(std::unique_ptr<t_ftd> field) {
  TK_ASSERT(field != nullptr, "udb_sch");
  fields.push_back(std::move(field));
}

ptrdiff_t udb_schema::find_index(std::u16string_view name) const {
  const bool ascii = udb_detail::is_ascii(name);
  for (size_t i = 0; i < fields.size(); ++i)
    if (fields[i] && udb_detail::same_name(fields[i]->name, name, ascii)) return static_cast<ptrdiff_t>(i);
  return -1;
}

const t_ftd* udb_schema::find(std::u16string_view name) const {
  ptrdiff_t i = find_index(name);
  return i < 0 ? nullptr : fields[static_cast<size_t>(i)].get();
}

t_ftd* udb_schema::find(std::u16string_view name) {
  ptrdiff_t i = find_index(name);
  return i < 0 ? nullptr : fields[static_cast<size_t>(i)].get();
}

bool udb_schema::find_field(std::u16string_view name) const {
  TK_TRACE(1, "udb_schema::find_field(%s)", name);
  bool found = find_index(name) >= 0;
  TK_TRACE(1, found ? "Field found!!!" : "Field NOT found!!!");
  return found;
}
