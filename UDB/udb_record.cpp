#include "udb_record.h"

#include "tk_logger.h"
#include "tk_mail_assertion.h"
#include "udb_name_compare.h"

udb_record::udb_record(const udb_record& other) {
  fields_.reserve(other.size_);
  for (size_t i = 0; i < other.size_; ++i) fields_.push_back(std::make_unique<udb_field>(*other.fields_[i]));
  size_ = other.size_;
}

udb_record& udb_record::operator=(const udb_record& other) {
  if (this == &other) return *this;
  resize(other.size_);
  for (size_t i = 0; i < size_; ++i) *fields_[i] = *other.fields_[i];
  return *this;
}

udb_record::~udb_record() = default;

void udb_record::push_back(std::unique_ptr<udb_field> field) {
  TK_ASSERT(field != nullptr, "udb_rec");
  if (size_ < fields_.size()) {
    // A kept-aside field gives way to the new one.
    fields_[size_] = std::move(field);
  } else {
    fields_.push_back(std::move(field));
  }
  ++size_;
}

void udb_record::push_back(const udb_field& field) {
  if (size_ < fields_.size()) {
    *fields_[size_++] = field;
    return;
  }
  push_back(std::make_unique<udb_field>(field));
}

udb_field& udb_record::add(std::u16string_view name) {
  if (size_ == fields_.size()) fields_.push_back(std::make_unique<udb_field>());
  udb_field& f = *fields_[size_++];
  f.set_name(name);
  f.clear();
  f.set_declared_size(0);
  f.set_not_null(false);
  f.set_auto_increment(false);
  return f;
}

void udb_record::grow(size_t n) {
  while (fields_.size() < n) fields_.push_back(std::make_unique<udb_field>());
}

void udb_record::reset() noexcept {
  fields_.clear();
  size_ = 0;
}

ptrdiff_t udb_record::find_index(std::u16string_view name) const {
  const bool ascii = udb_detail::is_ascii(name);
  for (size_t i = 0; i < size_; ++i)
    if (udb_detail::same_name(fields_[i]->name(), name, ascii)) return static_cast<ptrdiff_t>(i);
  return -1;
}

const udb_field* udb_record::find(std::u16string_view name) const {
  ptrdiff_t i = find_index(name);
  return i < 0 ? nullptr : fields_[static_cast<size_t>(i)].get();
}

udb_field* udb_record::find(std::u16string_view name) {
  ptrdiff_t i = find_index(name);
  return i < 0 ? nullptr : fields_[static_cast<size_t>(i)].get();
}

bool udb_record::is_empty() const {
  for (size_t i = 0; i < size_; ++i) {
    const udb_field* f = fields_[i].get();
    TK_ASSERT(f != nullptr, "udb_rec");
    if (f->is_null()) continue;
    if (!f->is_text_form_empty()) {
      TK_TRACE(1, "Field %s is not empty", f->name());
      return false;
    }
  }
  return true;
}

size_t udb_record::get_total_size() const noexcept {
  size_t total = 0;
  for (size_t i = 0; i < size_; ++i) {
    const udb_field* f = fields_[i].get();
    if (f->get_type() != VT_EMPTY) total += f->get_size();
  }
  return total;
}
