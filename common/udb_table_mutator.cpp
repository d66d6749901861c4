#include "udb_table_mutator.h"

#include <algorithm>

#include "t_ftd.h"
#include "tk_logger.h"
#include "udb_indexes.h"
#include "udb_schema.h"

udb_table_mutator::udb_table_mutator(std::u16string source_name) : source_name_(std::move(source_name)) {
  TK_TRACE(2, "udb_table_mutator::ctor(%s)", source_name_);
}

udb_table_mutator::~udb_table_mutator() = default;

void udb_table_mutator::set_new_name(std::u16string_view name) {
  TK_TRACE(2, "udb_table_mutator::set_new_name(%s)", name);
  new_name_.assign(name);
}

std::unique_ptr<udb_field_mutator> udb_table_mutator::create_field_mutator(std::u16string source_name) const {
  return std::make_unique<udb_field_mutator>(std::move(source_name));
}

udb_field_mutator& udb_table_mutator::update_field(std::u16string_view old_name, std::u16string_view new_name,
                                                   const udb_field_mapping& mapping) {
  TK_TRACE(2, "udb_table_mutator::update_field(old_name=%s,new_name=%s,native_type=%s,length=%d)", old_name, new_name,
           mapping.type, mapping.length);
  auto it = field_mutators_.find(old_name);
  if (it == field_mutators_.end()) {
    TK_TRACE(1, "create_field_mutator(%s)", old_name);
    it = field_mutators_.emplace(std::u16string(old_name), create_field_mutator(std::u16string(old_name))).first;
  }
  udb_field_mutator& mutator = *it->second;
  mutator.set_mapping(new_name, mapping);
  has_plan_ = false;
  return mutator;
}

const udb_field_mutator* udb_table_mutator::find_field(std::u16string_view source_name) const {
  auto it = field_mutators_.find(source_name);
  return it == field_mutators_.end() ? nullptr : it->second.get();
}

void udb_table_mutator::modify1(udb_schema& schema) const {
  TK_TRACE(2, "udb_table_mutator::modify1()");
  if (field_mutators_.empty()) return;
  TK_TRACE(1, "create_modified_copy2");
  auto& columns = schema.fields;
  columns.erase(std::remove_if(columns.begin(), columns.end(),
                               [this](const std::unique_ptr<t_ftd>& column) {
                                 const udb_field_mutator* m = column ? find_field(column->name) : nullptr;
                                 return m && m->is_deleted();
                               }),
                columns.end());
  for (auto& column : columns) {
    if (!column) continue;
    if (const udb_field_mutator* m = find_field(column->name)) m->modify1(*column);
  }
}

void udb_table_mutator::modify3(udb_indexes& indexes) const {
  TK_TRACE(2, "udb_table_mutator::modify3()");
  if (field_mutators_.empty()) return;
  udb_indexes rewritten;
  for (size_t i = 0; i < indexes.size(); ++i) {
    udb_index index = indexes[i];
    const bool with_attributes = index.field_attributes.size() == index.fields.size();
    size_t kept = 0;
    for (size_t k = 0; k < index.fields.size(); ++k) {
      const udb_field_mutator* m = find_field(index.fields[k]);
      if (m && m->is_deleted()) continue;
      if (m) {
        index.fields[kept] = m->new_name();
      } else if (kept != k) {
        index.fields[kept] = std::move(index.fields[k]);
      }
      if (with_attributes && kept != k) index.field_attributes[kept] = std::move(index.field_attributes[k]);
      ++kept;
    }
    index.fields.resize(kept);
    if (with_attributes) index.field_attributes.resize(kept);
    if (index.fields.empty()) {
      TK_TRACE(1, "Index '%s' has no column left; dropped", index.name);
      continue;
    }
    rewritten.push_back(index);
  }
  indexes = std::move(rewritten);
}

bool udb_table_mutator::plan_fits(const udb_record& record) const {
  if (!has_plan_ || record.size() != plan_names_.size()) return false;
  for (size_t i = 0; i < record.size(); ++i)
    if (record[i].name() != plan_names_[i]) return false;
  return true;
}

void udb_table_mutator::make_plan(const udb_record& record) {
  TK_TRACE(1, "create_modified_copy1");
  plan_.clear();
  plan_names_.resize(record.size());
  for (size_t i = 0; i < record.size(); ++i) {
    const std::u16string& name = record[i].name();
    plan_names_[i] = name;
    TK_TRACE(1, "Field name='%s'", name);
    const udb_field_mutator* m = find_field(name);
    if (!m) {
      TK_TRACE(1, "Failed to find field");
    } else if (m->is_deleted()) {
      TK_TRACE(1, "status == udb_mutators::deleted, cotinue");
      continue;
    }
    plan_.push_back(plan_step{i, m});
  }
  has_plan_ = true;
}

const udb_record& udb_table_mutator::modify2(const udb_record& record) {
  TK_TRACE(2, "udb_table_mutator::modify2()");
  if (field_mutators_.empty()) {
    TK_TRACE(1, "field_mutators.size == 0, nothing to do");
    return record;
  }
  if (!plan_fits(record)) make_plan(record);
  out_.resize(plan_.size());
  for (size_t j = 0; j < plan_.size(); ++j) {
    const plan_step& step = plan_[j];
    if (step.mutator) {
      step.mutator->modify2(record[step.source_index], out_[j]);
    } else {
      out_[j] = record[step.source_index];
    }
  }
  return out_;
}
