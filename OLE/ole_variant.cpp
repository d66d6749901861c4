#include "ole_variant.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "ole_cast_exception.h"
#include "ole_coerce.h"
#include "ole_number_text.h"
#include "ole_type_exception.h"
#include "tk_logger.h"
#include "tk_mail_assertion.h"
#include "tk_string.h"
#include "tk_unicode.h"

namespace {

// Short texts are copied to the stack for the edits the readers need
// (',' taken as '.'); longer ones to the heap.
class scratch_text {
 public:
  explicit scratch_text(std::string_view text) {
    char* p = text.size() <= sizeof small_ ? small_ : (big_.resize(text.size()), big_.data());
    std::memcpy(p, text.data(), text.size());
    view_ = std::string_view(p, text.size());
  }
  // Every ',' replaced by '.'.
  std::string_view comma_to_point() {
    char* p = const_cast<char*>(view_.data());
    for (size_t i = 0; i < view_.size(); ++i)
      if (p[i] == ',') p[i] = '.';
    return view_;
  }

 private:
  char small_[128];
  std::string big_;
  std::string_view view_;
};

// Floats keep the runtime's answer for doubles out of their range (an
// infinity) instead of an undefined conversion.
float to_float_saturating(double x) {
  if (x > FLT_MAX) return HUGE_VALF;
  if (x < -FLT_MAX) return -HUGE_VALF;
  return static_cast<float>(x);
}

// Truncation toward zero into 32 bits; out of range gives the value the
// processor's conversion gives (the lowest 32-bit integer).
int32_t truncate_to_long(double x) {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(x);
}

inline int hex_digit(char16_t c) {
  static constexpr char upper[] = "0123456789ABCDEF";
  static constexpr char lower[] = "0123456789abcdef";
  for (int i = 0; i < 16; ++i)
    if (c == static_cast<unsigned char>(upper[i])) return i;
  for (int i = 0; i < 16; ++i)
    if (c == static_cast<unsigned char>(lower[i])) return i;
  return 0;  // not a hexadecimal digit: taken as 0
}

// A narrow text's unit is a byte, never a sign-extended code unit.
inline int hex_digit(char c) { return hex_digit(char16_t{static_cast<unsigned char>(c)}); }

template <class Char>
void hex_to_bytes(std::basic_string_view<Char> text, std::vector<uint8_t>& out) {
  if (text.size() >= 2 && (text[0] == Char('0') || text[0] == Char('\\')) &&
      (text[1] == Char('x') || text[1] == Char('X')))
    text.remove_prefix(2);
  out.resize(text.size() / 2);
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<uint8_t>(hex_digit(text[2 * i]) << 4 | hex_digit(text[2 * i + 1]));
}

void append_hex_wide(std::u16string& out, const std::vector<uint8_t>& bytes, size_t n) {
  static constexpr char16_t digits[] = u"0123456789ABCDEF";
  size_t old = out.size();
  out.resize(old + 2 * n);
  char16_t* p = out.data() + old;
  for (size_t i = 0; i < n; ++i) {
    *p++ = digits[bytes[i] >> 4];
    *p++ = digits[bytes[i] & 15];
  }
}

bool equals_no_case(std::string_view a, std::string_view word) {
  if (a.size() != word.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
    if (c != word[i]) return false;
  }
  return true;
}

bool equals_no_case(std::u16string_view a, std::string_view word) {
  if (a.size() != word.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t c = a[i] >= u'A' && a[i] <= u'Z' ? static_cast<char16_t>(a[i] + 32) : a[i];
    if (c != static_cast<unsigned char>(word[i])) return false;
  }
  return true;
}

template <class T>
void append_le(std::vector<uint8_t>& out, T value) {
  uint8_t raw[sizeof(T)];
  std::memcpy(raw, &value, sizeof(T));  // the agent runs on little-endian hosts only
  out.insert(out.end(), raw, raw + sizeof(T));
}

bool is_high_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

const std::u16string empty_text;
const std::vector<uint8_t> empty_bytes;

}  // namespace

// ---- Construction and assignment --------------------------------------------

ole_variant::ole_variant(const ole_variant& o) : vt_(o.vt_), num_(o.num_), decimal_(o.decimal_), date_(o.date_) {
  if (o.vt_ == VT_BSTR) {
    copy_text_from(o);
  } else if (o.is_binary_storage()) {
    bytes_ = o.bytes_;
  }
}

ole_variant::ole_variant(ole_variant&& o) noexcept
    : vt_(o.vt_),
      utf8_held_(o.utf8_held_),
      wide_due_(o.wide_due_),
      utf8_units_(o.utf8_units_),
      borrowed_(o.borrowed_),
      borrowed_size_(o.borrowed_size_),
      utf8_(std::move(o.utf8_)),
      num_(o.num_),
      decimal_(o.decimal_),
      date_(o.date_),
      text_(std::move(o.text_)),
      bytes_(std::move(o.bytes_)) {
  o.vt_ = VT_EMPTY;
  o.utf8_held_ = o.wide_due_ = false;
}

ole_variant::~ole_variant() = default;

void ole_variant::copy_text_from(const ole_variant& o) {
  utf8_held_ = o.utf8_held_;
  wide_due_ = o.wide_due_;
  if (utf8_held_) {
    utf8_.assign(o.utf8_view());
    borrowed_ = nullptr;
    utf8_units_ = o.utf8_units_;
  }
  if (!wide_due_) text_.assign(o.text_);
}

void ole_variant::copy_value_from(const ole_variant& o) {
  if (o.vt_ == VT_BSTR) {
    copy_text_from(o);
  } else if (o.is_binary_storage()) {
    bytes_.assign(o.bytes_.begin(), o.bytes_.end());
  }
  vt_ = o.vt_;
  num_ = o.num_;
  decimal_ = o.decimal_;
  date_ = o.date_;
}

ole_variant& ole_variant::operator=(const ole_variant& o) {
  if (this != &o) copy_value_from(o);
  return *this;
}

ole_variant& ole_variant::operator=(ole_variant&& o) noexcept {
  if (this == &o) return *this;
  // Only the storage the value needs changes hands; ours goes to `o`.
  if (o.vt_ == VT_BSTR) {
    text_.swap(o.text_);
    utf8_.swap(o.utf8_);
    borrowed_ = o.borrowed_;
    borrowed_size_ = o.borrowed_size_;
    utf8_units_ = o.utf8_units_;
    utf8_held_ = o.utf8_held_;
    wide_due_ = o.wide_due_;
    o.utf8_held_ = o.wide_due_ = false;
  } else if (o.is_binary_storage()) {
    bytes_.swap(o.bytes_);
  }
  vt_ = o.vt_;
  num_ = o.num_;
  decimal_ = o.decimal_;
  date_ = o.date_;
  o.vt_ = VT_EMPTY;
  return *this;
}

// ---- Setters ----------------------------------------------------------------

void ole_variant::set_text(std::u16string_view text) {
  text_.assign(text.data(), text.size());
  vt_ = VT_BSTR;
  utf8_held_ = wide_due_ = false;
}

void ole_variant::release_storage() noexcept {
  vt_ = VT_EMPTY;
  utf8_held_ = wide_due_ = false;
  std::u16string().swap(text_);
  std::string().swap(utf8_);
  std::vector<uint8_t>().swap(bytes_);
}

std::u16string& ole_variant::text_for_write() {
  vt_ = VT_BSTR;
  utf8_held_ = wide_due_ = false;
  text_.clear();
  return text_;
}

void ole_variant::make_wide() const {
  text_.clear();
  TK_ASSERT(tk_append_utf16(text_, utf8_view()), "ole_var");
  wide_due_ = false;
}

std::vector<uint8_t>& ole_variant::bytes_for_write(VARTYPE vt) {
  TK_ASSERT(is_binary(vt), "ole_var");
  vt_ = vt;
  bytes_.clear();
  return bytes_;
}

void ole_variant::attach_wstring(std::u16string&& text) {
  text_ = std::move(text);
  vt_ = VT_BSTR;
  utf8_held_ = wide_due_ = false;
}

void ole_variant::attach_binary(std::span<const uint8_t> bytes) {
  if (!bytes.empty() && bytes.data() >= bytes_.data() && bytes.data() < bytes_.data() + bytes_.size()) {
    std::vector<uint8_t> copy(bytes.begin(), bytes.end());
    bytes_.swap(copy);
  } else {
    bytes_.assign(bytes.begin(), bytes.end());
  }
  vt_ = VT_ARRAY_UI1;
}

void ole_variant::attach_binary(std::vector<uint8_t>&& bytes) {
  bytes_ = std::move(bytes);
  vt_ = VT_ARRAY_UI1;
}

void ole_variant::set_date(const ole_date& date) noexcept {
  vt_ = VT_DATE;
  date_ = date;
  num_.r8 = date.to_ole_number();
}

bool ole_variant::set_date_number(double number) noexcept {
  ole_date d;
  if (!ole_date::from_ole_number(number, d)) return false;
  vt_ = VT_DATE;
  date_ = d;
  num_.r8 = number;
  return true;
}

void ole_variant::allocate_safe_array(size_t size) {
  TK_TRACE(1, "ole_variant::allocate_safe_array(%d)", size);
  if (is_binary_storage()) {
    TK_TRACE(1, "Redimension array");
    bytes_.resize(size);
    return;
  }
  TK_TRACE(1, "Re-initialize VARIANT");
  bytes_.assign(size, 0);
  vt_ = VT_ARRAY_UI1;
}

void ole_variant::set_text_from_narrow(std::string_view text) {
  if (tk_code_page_is_utf8()) {
    text_.clear();
    TK_ASSERT(tk_append_utf16(text_, text), "ole_var");
  } else {
    std::string copy(text);
    std::u16string wide;
    TK_ASSERT(tk_ansi_to_unicode2(copy.c_str(), wide), "ole_var");
    text_.swap(wide);
  }
  vt_ = VT_BSTR;
  utf8_held_ = wide_due_ = false;
}

void ole_variant::parse_hex(std::string_view text) { hex_to_bytes(text, bytes_); }

// ---- Parsing ----------------------------------------------------------------

void ole_variant::from_string(std::string_view text, VARTYPE vt) {
  TK_TRACE(1, "ole_variant::from_string(%s, %d)", text, vt);
  if (text.empty()) {
    if (vt == VT_BSTR) {
      text_for_write();
    } else {
      clear();
    }
    return;
  }
  switch (vt) {
    case VT_I2:
      set_i2(static_cast<int16_t>(ole_number_text::atoi(text)));
      return;
    case VT_I4:
      set_i4(ole_number_text::atoi(text));
      return;
    case VT_I1:
      set_i1(static_cast<int8_t>(ole_number_text::atoi(text)));
      return;
    case VT_UI1:
      set_ui1(static_cast<uint8_t>(ole_number_text::atoi(text)));
      return;
    case VT_UI2:
      set_ui2(static_cast<uint16_t>(ole_number_text::atoi(text)));
      return;
    case VT_UI4:
      set_ui4(ole_number_text::scan_u32(text));
      return;
    case VT_I8:
      set_i8(ole_number_text::atoi64(text));
      return;
    case VT_UI8:
      set_ui8(ole_number_text::scan_u64(text));
      return;
    case VT_R4:
    case VT_R8: {
      double x;
      if (text.find(',') == std::string_view::npos) {
        x = ole_number_text::atof(text);
      } else {
        scratch_text t(text);
        x = ole_number_text::atof(t.comma_to_point());
      }
      if (vt == VT_R8) {
        set_r8(x);
      } else {
        set_r4(to_float_saturating(x));
      }
      return;
    }
    case VT_CY: {
      scratch_text t(text);
      ole_number_text::parsed p;
      uint32_t hr = ole_coerce::e_type_mismatch;
      unsigned __int128 mag;
      if (ole_number_text::parse(t.comma_to_point(), p)) {
        hr = ole_coerce::e_overflow;
        if (ole_number_text::round_scaled(p, 4, mag) &&
            mag <= (p.negative ? (unsigned __int128)1 << 63 : (unsigned __int128)INT64_MAX)) {
          set_cy(p.negative ? static_cast<int64_t>(0 - static_cast<uint64_t>(mag)) : static_cast<int64_t>(mag));
          return;
        }
      }
      TK_TRACE(2, "VarCyFromStr failed: %08X", hr);
      clear();
      return;
    }
    case VT_DECIMAL: {
      scratch_text t(text);
      std::string_view s = t.comma_to_point();
      ole_decimal d;
      ole_decimal::status st = d.parse(s);
      if (st == ole_decimal::status::ok) {
        set_decimal(d);
        return;
      }
      TK_TRACE(2, "ERROR: VarDecFromStr for '%s' failed (hr=%08X)", s,
               st == ole_decimal::status::overflow ? ole_coerce::e_overflow : ole_coerce::e_type_mismatch);
      if (ole_decimal::from_double(ole_number_text::atof(s), d) == ole_decimal::status::ok) {
        set_decimal(d);
      } else {
        clear();
      }
      return;
    }
    case VT_DATE: {
      ole_date d(text);
      if (d.is_valid()) {
        set_date(d);
      } else {
        clear();
      }
      return;
    }
    case VT_BOOL:
      if (equals_no_case(text, "1") || equals_no_case(text, "yes") || equals_no_case(text, "t") ||
          equals_no_case(text, "true")) {
        set_bool(true);
      } else if (equals_no_case(text, "0") || equals_no_case(text, "no") || equals_no_case(text, "f") ||
                 equals_no_case(text, "false")) {
        set_bool(false);
      } else {
        set_bool(ole_number_text::atoi(text) != 0);
      }
      return;
    case VT_ARRAY_UI1:
    case VT_BLOB:
      if (text.size() % 2 != 0) {
        TK_TRACE(1, "Incorrect BLOB (size is odd)");
        clear();
        return;
      }
      parse_hex(text);
      vt_ = vt;
      return;
    default: {
      set_text_from_narrow(text);
      if (vt == VT_BSTR) return;
      ole_variant converted;
      if (ole_coerce::convert(*this, vt, converted) != ole_coerce::s_ok) throw ole_type_exception();
      *this = std::move(converted);
      return;
    }
  }
}

// ---- change_type --------------------------------------------------------------

void ole_variant::change_type(VARTYPE vt) {
  TK_TRACE(1, "ole_variant::change_type(%d -> %d)", vt_, vt);
  // Binary synonyms: only the tag changes.
  if ((vt_ == VT_ARRAY_UI1 && (vt == VT_BLOB || vt == VT_DISPATCH)) ||
      ((vt_ == VT_BLOB || vt_ == VT_DISPATCH) && vt == VT_ARRAY_UI1)) {
    TK_TRACE(1, "Replace by synonym");
    vt_ = vt;
    return;
  }
  if (vt_ == vt || vt_ == VT_EMPTY || vt_ == VT_NULL) return;
  if (is_binary(vt_) && is_binary(vt)) {
    TK_TRACE(1, "Type cannot be changed");
    return;
  }
  if (vt_ == VT_BSTR && vt == VT_BOOL) {
    if (equals_no_case(text(), "yes") || equals_no_case(text(), "t") || equals_no_case(text(), "true")) {
      set_bool(true);
    } else if (equals_no_case(text(), "no") || equals_no_case(text(), "f") || equals_no_case(text(), "false")) {
      set_bool(false);
    } else {
      throw ole_cast_exception();
    }
    return;
  }
  // From the 64-bit integers.
  if ((vt_ == VT_I8 || vt_ == VT_UI8) && !is_binary(vt)) {
    const bool is_signed = vt_ == VT_I8;
    const uint64_t bits = num_.ui8;
    switch (vt) {
      case VT_I2:
        set_i2(static_cast<int16_t>(bits));
        return;
      case VT_I4:
        set_i4(static_cast<int32_t>(bits));
        return;
      case VT_INT:
        set_int(static_cast<int32_t>(bits));
        return;
      case VT_UI2:
        set_ui2(static_cast<uint16_t>(bits));
        return;
      case VT_UI4:
        set_ui4(static_cast<uint32_t>(bits));
        return;
      case VT_UINT:
        set_uint(static_cast<uint32_t>(bits));
        return;
      case VT_I1:
        set_i1(static_cast<int8_t>(bits));
        return;
      case VT_UI1:
        set_ui1(static_cast<uint8_t>(bits));
        return;
      case VT_R4:
        set_r4(is_signed ? static_cast<float>(num_.i8) : static_cast<float>(bits));
        return;
      case VT_R8:
        set_r8(is_signed ? static_cast<double>(num_.i8) : static_cast<double>(bits));
        return;
      case VT_I8:
        set_i8(static_cast<int64_t>(bits));
        return;
      case VT_UI8:
        set_ui8(bits);
        return;
      case VT_CY: {
        __int128 v = is_signed ? __int128(num_.i8) * 10000 : __int128(bits) * 10000;
        if (v < INT64_MIN || v > INT64_MAX) throw ole_cast_exception();
        set_cy(static_cast<int64_t>(v));
        return;
      }
      case VT_DECIMAL:
        set_decimal(is_signed ? ole_decimal::from_int64(num_.i8) : ole_decimal::from_uint64(bits));
        return;
      case VT_BSTR: {
        std::string s;
        if (is_signed) {
          ole_number_text::append_int(s, num_.i8);
        } else {
          ole_number_text::append_uint(s, bits);
        }
        text_for_write().assign(s.begin(), s.end());
        return;
      }
      default:
        throw ole_cast_exception();
    }
  }
  // To the 64-bit integers.
  if (vt == VT_I8 || vt == VT_UI8) {
    const bool to_signed = vt == VT_I8;
    __int128 v;
    switch (vt_) {
      case VT_I2:
        v = num_.i2;
        break;
      case VT_I4:
      case VT_INT:
        v = num_.i4;
        break;
      case VT_BOOL:
        v = num_.i2 != 0 ? -1 : 0;
        break;
      case VT_I1:
        v = num_.i1;
        break;
      case VT_UI1:
        v = num_.ui1;
        break;
      case VT_UI2:
        v = num_.ui2;
        break;
      case VT_UI4:
      case VT_UINT:
        v = num_.ui4;
        break;
      case VT_R4:
      case VT_R8: {
        double x = vt_ == VT_R4 ? static_cast<double>(num_.r4) : num_.r8;
        int64_t s;
        uint64_t u;
        if (to_signed ? !ole_number_text::round_to_int64(x, s) : !ole_number_text::round_to_uint64(x, u))
          throw ole_cast_exception();
        if (to_signed) {
          set_i8(s);
        } else {
          set_ui8(u);
        }
        return;
      }
      case VT_CY: {
        // Half up: floor((cy + 5000) / 10000).
        __int128 n = __int128(num_.i8) + 5000;
        v = n >= 0 ? n / 10000 : -((-n + 9999) / 10000);
        if (!to_signed && v < 0) throw ole_cast_exception();
        break;
      }
      case VT_DECIMAL: {
        int64_t s;
        uint64_t u;
        if (to_signed ? decimal_.to_int64(s) != ole_decimal::status::ok
                      : decimal_.to_uint64(u) != ole_decimal::status::ok)
          throw ole_cast_exception();
        if (to_signed) {
          set_i8(s);
        } else {
          set_ui8(u);
        }
        return;
      }
      default:
        throw ole_cast_exception();
    }
    if (to_signed) {
      set_i8(static_cast<int64_t>(v));
    } else {
      set_ui8(static_cast<uint64_t>(v));
    }
    return;
  }
  // To the 16- and 32-bit integers: floats rounded half away from zero,
  // decimals converted; other sources stay as they are.
  if (vt == VT_I4 || vt == VT_I2 || vt == VT_UI2 || vt == VT_UI4 || vt == VT_I1) {
    if (vt != VT_I1 && (vt_ == VT_R4 || vt_ == VT_R8)) {
      double x = vt_ == VT_R4 ? static_cast<double>(num_.r4) : num_.r8;
      double r = std::trunc(x >= 0 ? x + 0.5 : x - 0.5);
      uint64_t bits = r > -9.2e18 && r < 9.2e18 ? static_cast<uint64_t>(static_cast<int64_t>(r)) : 0;
      switch (vt) {
        case VT_I4:
          set_i4(static_cast<int32_t>(bits));
          break;
        case VT_I2:
          set_i2(static_cast<int16_t>(bits));
          break;
        case VT_UI2:
          set_ui2(static_cast<uint16_t>(bits));
          break;
        default:
          set_ui4(static_cast<uint32_t>(bits));
          break;
      }
      return;
    }
    if (vt_ == VT_DECIMAL) {
      ole_variant converted;
      if (ole_coerce::convert(*this, vt, converted) != ole_coerce::s_ok) throw ole_cast_exception();
      *this = std::move(converted);
    }
    return;
  }
  if (vt == VT_DATE) {
    if (vt_ != VT_BSTR) throw ole_cast_exception();
    ole_date d{std::u16string_view(text())};
    if (!d.is_valid()) throw ole_cast_exception();
    set_date(d);
    return;
  }
  // Non-binary to binary: the bytes of the value.
  if (is_binary(vt)) {
    std::vector<uint8_t> out;
    switch (vt_) {
      case VT_I2:
      case VT_BOOL:
        append_le(out, num_.i2);
        break;
      case VT_UI2:
        append_le(out, num_.ui2);
        break;
      case VT_I4:
      case VT_INT:
        append_le(out, num_.i4);
        break;
      case VT_UI4:
      case VT_UINT:
        append_le(out, num_.ui4);
        break;
      case VT_R4:
        append_le(out, num_.r4);
        break;
      case VT_R8:
      case VT_DATE:
        append_le(out, num_.r8);
        break;
      case VT_CY:
      case VT_I8:
        append_le(out, num_.i8);
        break;
      case VT_UI8:
        append_le(out, num_.ui8);
        break;
      case VT_I1:
        append_le(out, num_.i1);
        break;
      case VT_UI1:
        append_le(out, num_.ui1);
        break;
      case VT_DECIMAL: {
        uint8_t raw[16];
        decimal_.to_bytes(raw);
        out.assign(raw, raw + 16);
        break;
      }
      case VT_BSTR:
      case VT_LPSTR:
      case VT_LPWSTR: {
        std::string narrow = tk_unicode_to_console(text());
        out.assign(narrow.begin(), narrow.end());
        break;
      }
      default:
        throw ole_cast_exception();
    }
    bytes_.swap(out);
    vt_ = vt;
    return;
  }
  // Binary to text: the bytes as narrow text; to anything else: unchanged.
  if (is_binary_storage()) {
    if (vt != VT_BSTR) return;
    std::string_view narrow(reinterpret_cast<const char*>(bytes_.data()), bytes_.size());
    std::u16string wide;
    bool ok = tk_code_page_is_utf8() ? tk_append_utf16(wide, narrow)
                                     : narrow.find('\0') == std::string_view::npos &&
                                           tk_ansi_to_unicode2(std::string(narrow).c_str(), wide);
    // Bytes that are not text of the code page: each becomes the character of its value.
    if (!ok) wide.assign(bytes_.begin(), bytes_.end());
    attach_wstring(std::move(wide));
    return;
  }
  ole_variant converted;
  if (ole_coerce::convert(*this, vt, converted) != ole_coerce::s_ok) {
    TK_TRACE(2, "VariantChangeType failed");
    throw ole_cast_exception();
  }
  *this = std::move(converted);
}

// ---- Printing ---------------------------------------------------------------

void ole_variant::append_to_string(std::string& out) const {
  switch (vt_) {
    case VT_ARRAY_UI1:
    case VT_BLOB: {
      if (bytes_.empty()) return;
      size_t n = bytes_.size() < max_rendered_bytes ? bytes_.size() : max_rendered_bytes;
      out += "0x";
      tk_string::append_hex(out, bytes_.data(), n);
      return;
    }
    case VT_DECIMAL:
      decimal_.append_to(out);
      return;
    case VT_CY:
      ole_number_text::append_currency(out, num_.i8);
      return;
    case VT_DATE:
      date_.append_to(out, 6);
      return;
    case VT_BSTR: {
      if (tk_code_page_is_utf8()) {
        size_t old = out.size();
        if (!tk_append_utf8_strict(out, text())) out.resize(old);
      } else {
        std::string narrow;
        if (tk_unicode_to_ansi2(text(), narrow)) out += narrow;
      }
      return;
    }
    case VT_BOOL:
      out += num_.i2 == -1 ? '1' : '0';
      return;
    case VT_R4:
    case VT_R8: {
      double x = vt_ == VT_R4 ? static_cast<double>(num_.r4) : num_.r8;
      if (std::isnan(x)) {
        TK_TRACE(3, "Got NaN, replace it with 0");
        out += '0';
        return;
      }
      ole_number_text::append_scientific(out, x, vt_ == VT_R4 ? 6 : 16);
      return;
    }
    case VT_I2:
      ole_number_text::append_int(out, num_.i2);
      return;
    case VT_I4:
      ole_number_text::append_int(out, num_.i4);
      return;
    case VT_I1:
      ole_number_text::append_int(out, num_.i1);
      return;
    case VT_UI1:
      ole_number_text::append_uint(out, num_.ui1);
      return;
    case VT_UI2:
      ole_number_text::append_uint(out, num_.ui2);
      return;
    case VT_UI4:
    case VT_UINT:
      ole_number_text::append_uint(out, num_.ui4);
      return;
    case VT_I8:
      ole_number_text::append_int(out, num_.i8);
      return;
    case VT_UI8:
      ole_number_text::append_uint(out, num_.ui8);
      return;
    default:
      return;
  }
}

std::string ole_variant::to_string() const {
  std::string out;
  append_to_string(out);
  return out;
}

void ole_variant::append_to_wstring(std::u16string& out) const {
  if (vt_ == VT_BSTR) {
    out += text();
    return;
  }
  if (vt_ == VT_ARRAY_UI1 || vt_ == VT_BLOB) {
    if (bytes_.empty()) return;
    out += u"0x";
    append_hex_wide(out, bytes_, bytes_.size() < max_rendered_bytes ? bytes_.size() : max_rendered_bytes);
    return;
  }
  // Every other text form is ASCII.
  std::string narrow;
  append_to_string(narrow);
  out.append(narrow.begin(), narrow.end());
}

std::u16string ole_variant::to_wstring() const {
  std::u16string out;
  append_to_wstring(out);
  return out;
}

bool ole_variant::text_form_empty() const {
  switch (vt_) {
    case VT_BSTR:
      // Well-formed UTF-8 has a form in a UTF-8 code page when it has any.
      if (wide_due_ && tk_code_page_is_utf8()) return utf8_view().empty();
      return !tk_unicode_has_ansi_form(text());
    case VT_ARRAY_UI1:
    case VT_BLOB:
      return bytes_.empty();
    case VT_DATE:
      return date_.kind == ole_date::kind_none;
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DECIMAL:
    case VT_BOOL:
      return false;
    default:
      return true;
  }
}

// ---- Numeric readings -------------------------------------------------------

int32_t ole_variant::to_long() const {
  switch (vt_) {
    case VT_I2:
      return num_.i2;
    case VT_I4:
      return num_.i4;
    case VT_UI4:
      return static_cast<int32_t>(num_.ui4);
    case VT_I1:
      return num_.i1;
    case VT_UI1:
      return num_.ui1;
    case VT_UI2:
      return num_.ui2;
    case VT_R4:
      return truncate_to_long(num_.r4);
    case VT_R8:
      return truncate_to_long(num_.r8);
    case VT_CY:
    case VT_DECIMAL: {
      ole_variant converted;
      uint32_t hr = ole_coerce::convert(*this, VT_I4, converted);
      int32_t res = hr == ole_coerce::s_ok ? converted.num_.i4 : 0;
      if (vt_ == VT_CY) {
        TK_TRACE(1, "from CURRECY: res=%d, hr=%08X", res, hr);
      } else {
        TK_TRACE(1, "from DECIMAL: res=%d, hr=%08X", res, hr);
      }
      return res;
    }
    case VT_BOOL:
      return num_.i2 != 0 ? 1 : 0;
    case VT_I8:
    case VT_UI8:
      return static_cast<int32_t>(static_cast<uint32_t>(num_.ui8));
    default:
      return 0;
  }
}

bool ole_variant::to_bool() const {
  if (vt_ == VT_R4) return num_.r4 != 0.0f;
  if (vt_ == VT_R8) return num_.r8 != 0.0;
  if (vt_ > VT_UI8) return false;
  return to_long() != 0;
}

double ole_variant::to_double() const {
  switch (vt_) {
    case VT_EMPTY:
    case VT_NULL:
      return 0.0;
    case VT_I2:
      return num_.i2;
    case VT_I4:
    case VT_INT:
      return num_.i4;
    case VT_R4:
      return num_.r4;
    case VT_R8:
      return num_.r8;
    case VT_CY:
      return static_cast<double>(num_.i8) / 10000.0;
    case VT_BOOL:
      return num_.i2 != 0 ? 1.0 : 0.0;
    case VT_DECIMAL:
      return decimal_.to_double();
    case VT_I1:
      return num_.i1;
    case VT_UI1:
      return num_.ui1;
    case VT_UI2:
      return num_.ui2;
    case VT_UI4:
    case VT_UINT:
      return num_.ui4;
    case VT_I8:
      return static_cast<double>(num_.i8);
    case VT_UI8:
      return static_cast<double>(num_.ui8);
    default:
      throw tk_mail_assertion("ole_var", __LINE__);
  }
}

// ---- Binary and text access -------------------------------------------------

size_t ole_variant::get_at(std::string& out, size_t pos, size_t length) const {
  if (is_binary_storage()) {
    size_t size = bytes_.size() < max_rendered_bytes ? bytes_.size() : max_rendered_bytes;
    if (pos >= size) return 0;
    size_t n = length < size - pos ? length : size - pos;
    tk_string::append_hex(out, bytes_.data() + pos, n);
    return n;
  }
  if (vt_ != VT_BSTR || pos >= text().size() || length == 0) return 0;
  size_t start = pos;
  size_t end = length < text().size() - pos ? pos + length : text().size();
  // Keep surrogate pairs whole across slices.
  if (start > 0 && is_low_surrogate(text()[start]) && is_high_surrogate(text()[start - 1])) ++start;
  if (end < text().size() && end > start && is_high_surrogate(text()[end - 1]) && is_low_surrogate(text()[end])) ++end;
  if (start >= end) return 0;
  std::u16string_view slice(text().data() + start, end - start);
  size_t old = out.size();
  if (tk_code_page_is_utf8()) {
    if (!tk_append_utf8_strict(out, slice)) {
      out.resize(old);
      return 0;
    }
  } else {
    std::string narrow;
    if (!tk_unicode_to_ansi2(slice, narrow)) return 0;
    out += narrow;
  }
  return out.size() - old;
}

const std::u16string& ole_variant::text() const noexcept {
  if (vt_ != VT_BSTR) return empty_text;
  if (wide_due_) make_wide();
  return text_;
}
const std::vector<uint8_t>& ole_variant::bytes() const noexcept { return is_binary_storage() ? bytes_ : empty_bytes; }

// ---- Tags -------------------------------------------------------------------

bool ole_variant::is_numeric(VARTYPE vt) noexcept {
  switch (vt) {
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_BOOL:
    case VT_DECIMAL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
      return true;
    default:
      return false;
  }
}

void ole_variant::wrong_tag() const { throw tk_mail_assertion("ole_var", __LINE__); }

bool ole_variant::operator==(const ole_variant& o) const {
  if (vt_ != o.vt_) return false;
  switch (vt_) {
    case VT_EMPTY:
    case VT_NULL:
      return true;
    case VT_BSTR:
      return text() == o.text();
    // Floating values compare by their bits, so that a NaN equals itself.
    case VT_DATE:
      return date_ == o.date_ && num_.ui8 == o.num_.ui8;
    case VT_DECIMAL:
      return decimal_.same_representation(o.decimal_);
    case VT_R4:
      return num_.ui4 == o.num_.ui4;
    case VT_R8:
      return num_.ui8 == o.num_.ui8;
    case VT_I2:
    case VT_BOOL:
    case VT_UI2:
      return num_.ui2 == o.num_.ui2;
    case VT_I4:
    case VT_INT:
    case VT_UI4:
    case VT_UINT:
      return num_.ui4 == o.num_.ui4;
    case VT_I1:
    case VT_UI1:
      return num_.ui1 == o.num_.ui1;
    case VT_CY:
    case VT_I8:
    case VT_UI8:
      return num_.ui8 == o.num_.ui8;
    default:
      return is_binary_storage() ? bytes_ == o.bytes_ : num_.ui8 == o.num_.ui8;
  }
}
