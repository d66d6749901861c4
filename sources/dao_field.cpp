#include "dao_field.h"

#include <string_view>

#include "tk_logger.h"
#include "wb_field.h"

namespace {

constexpr std::string_view zero_date = "1899-12-30";
constexpr std::u16string_view zero_date_w = u"1899-12-30";
// Bit of a field's attributes marking an auto-increment column.
constexpr int32_t attr_auto_increment = 16;

// The zero date in the variant's own text stands for "no date": alone it
// becomes `midnight`, inside a longer text it becomes `blank_date`. The
// texts come in the character type of `text`.
template <class S, class V>
S without_fake_date(S text, V zero, V midnight, V blank_date) {
  const auto at = text.find(zero);
  if (at == S::npos) return text;
  TK_TRACE(1, "Fake date has been found");
  if (text.size() <= zero.size()) {
    TK_TRACE(1, "Transform pure fake date to pure time");
    return S(midnight);
  }
  text.replace(at, zero.size(), blank_date);
  return text;
}

}  // namespace

dao_field::dao_field(const wb_field& source) : source_(&source), dao_type_(source.type_code()) {
  TK_TRACE(1, "dao_field::ctor");
  set_name(source.name());
  set_declared_size(static_cast<uint32_t>(source.size()));
  TK_TRACE(1, "Field name='%s', size=%d, native type=%d", name(), source.size(), dao_type_);
  set_not_null(source.required());
  set_auto_increment((source.attributes() & attr_auto_increment) != 0);
  refill();
}

dao_field::~dao_field() = default;

void dao_field::refill() {
  const wb_value& v = source_->value();
  set_shown(shown::itself, 0);
  switch (v.kind) {
    case wb_value_kind::null:
      TK_TRACE(1, "*** NULL *** ");
      set_null();
      break;
    case wb_value_kind::number:
      set_r8(v.number);
      break;
    case wb_value_kind::date: {
      TK_TRACE(1, "Special processing for VT_DATE");
      ole_date date;
      if (ole_date::from_ole_number(v.number, date)) {
        date.pure_date = true;
        // A moment on the zero date is a time of day: held as a pure time,
        // every text form of the value (literals, statistics) is the time
        // alone, whichever path renders it.
        if (date.st.year == 1899 && date.st.month == 12 && date.st.day == 30) {
          date.kind = ole_date::kind_time;
          date.st.year = date.st.month = date.st.day = 0;
          date.st.day_of_week = 0;
        }
        set_date(date);
      } else {
        TK_TRACE(3, "Failed to convert VARIANT->SYSTEMTIME");
        set_null();
      }
      break;
    }
    case wb_value_kind::currency:
      set_cy(v.currency);
      break;
    case wb_value_kind::text:
      if (v.shows != wb_value_kind::text)
        set_shown(v.shows == wb_value_kind::boolean ? shown::boolean : shown::number, v.number);
      if (v.text.size() < wb_long_text_units) {
        set_text(v.text);
        break;
      }
      // A long text moves over from the engine instead of being copied.
      long_value_ = true;
      if (source_->has_movable_text())
        source_->take_text(text_for_write());
      else
        set_text(v.text);
      break;
    case wb_value_kind::boolean:
      set_bool(v.boolean);
      break;
  }
  TK_TRACE(1, "src.vt=%d", ole_variant::get_type());
  TK_TRACE(1, "Got DAO field: %s", to_string());
}

VARTYPE dao_field::get_vartype(int16_t dao_type) noexcept {
  switch (dao_type) {
    case 1:
      return VT_BOOL;
    case 2:
      return VT_UI1;
    case 3:
      return VT_I2;
    case 4:
      return VT_I4;
    case 5:
      return VT_CY;
    case 6:
      return VT_R4;
    case 7:
    case 19:
    case 20:
    case 21:
      return VT_R8;
    case 8:
    case 22:
      return VT_DATE;
    case 10:
    case 12:
      return VT_BSTR;
    default:
      return VT_ARRAY_UI1;
  }
}

VARTYPE dao_field::get_type() const noexcept {
  if (!is_empty()) return ole_variant::get_type();
  TK_TRACE(1, "Use DAO methods to extract field type");
  return get_vartype(dao_type_);
}

namespace {

// A moment on the zero date is held as a pure time (see refill); its text
// forms are those of the zero date: the time after "0000-00-00", or
// "00:00:00" alone for the zero date itself.
std::string time_text(const ole_date& d) {
  if (d.st.hour == 0 && d.st.minute == 0 && d.st.second == 0 && d.st.milliseconds == 0 && d.microseconds == 0) {
    TK_TRACE(1, "Transform pure fake date to pure time");
    return "00:00:00";
  }
  return d.to_string(6);  // "0000-00-00 hh:mm:ss[.ffffff]"
}

}  // namespace

std::string dao_field::to_string() const {
  if (ole_variant::get_type() != VT_DATE) return ole_variant::to_string();
  if (get_date().kind == ole_date::kind_time) return time_text(get_date());
  return without_fake_date(ole_variant::to_string(), zero_date, std::string_view("00:00:00"),
                           std::string_view("0000-00-00"));
}

std::u16string dao_field::to_wstring() const {
  if (ole_variant::get_type() != VT_DATE) return ole_variant::to_wstring();
  if (get_date().kind == ole_date::kind_time) {
    const std::string text = time_text(get_date());
    return std::u16string(text.begin(), text.end());
  }
  return without_fake_date(ole_variant::to_wstring(), zero_date_w, std::u16string_view(u"00:00:00"),
                           std::u16string_view(u"0000-00-00"));
}
