#include "t_ftd.h"

#include "tk_logger.h"
#include "udb_field.h"

namespace {
void trace(const t_ftd& f) {
  TK_TRACE(1, "\tfield name='%s', vartype=%d, size=%d, b_not_null=%d, reserved=%d", f.name, f.vartype, f.size,
           f.b_not_null, f.reserved);
}
}  // namespace

t_ftd::t_ftd(const udb_field& field, const ole_variant& def, uint32_t reserved_word)
    : size(static_cast<uint32_t>(field.get_size())),
      name(field.name()),
      vartype(field.get_type()),
      b_auto_increment(field.is_auto_increment()),
      b_not_null(field.is_not_null()),
      def_value(def),
      reserved(reserved_word) {
  trace(*this);
}

t_ftd::t_ftd(uint32_t declared_size, std::u16string column, VARTYPE tag, bool not_null, bool auto_increment,
             const ole_variant& def, uint32_t reserved_word, std::u16string native)
    : size(declared_size),
      name(std::move(column)),
      vartype(tag),
      native_type(std::move(native)),
      b_auto_increment(auto_increment),
      b_not_null(not_null),
      def_value(def),
      reserved(reserved_word) {
  trace(*this);
}
