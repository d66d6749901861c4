#include "ole_coerce.h"

#include <cfloat>
#include <cmath>

#include "ole_locale_date.h"
#include "ole_number_text.h"
#include "ole_variant.h"

namespace {

using i128 = __int128;

// A numeric source reduced to one exact form.
struct number {
  enum kind_t { none, integer, real, currency, decimal, boolean } kind = none;
  i128 i = 0;       // integer, boolean (-1 / 0)
  double r = 0;     // real
  int64_t cy = 0;   // currency
  ole_decimal dec;  // decimal
  bool from_float = false;
};

number read_number(const ole_variant& v) {
  number n;
  switch (v.get_type()) {
    case VT_EMPTY:
      n.kind = number::integer;
      break;
    case VT_I1:
      n.kind = number::integer;
      n.i = v.get_i1();
      break;
    case VT_UI1:
      n.kind = number::integer;
      n.i = v.get_ui1();
      break;
    case VT_I2:
      n.kind = number::integer;
      n.i = v.get_i2();
      break;
    case VT_UI2:
      n.kind = number::integer;
      n.i = v.get_ui2();
      break;
    case VT_I4:
    case VT_INT:
      n.kind = number::integer;
      n.i = v.get_i4();
      break;
    case VT_UI4:
    case VT_UINT:
      n.kind = number::integer;
      n.i = v.get_ui4();
      break;
    case VT_I8:
      n.kind = number::integer;
      n.i = v.get_i8();
      break;
    case VT_UI8:
      n.kind = number::integer;
      n.i = v.get_ui8();
      break;
    case VT_BOOL:
      n.kind = number::boolean;
      n.i = v.get_bool() ? -1 : 0;
      break;
    case VT_R4:
      n.kind = number::real;
      n.r = v.get_r4();
      n.from_float = true;
      break;
    case VT_R8:
      n.kind = number::real;
      n.r = v.get_r8();
      break;
    case VT_DATE:
      n.kind = number::real;
      n.r = v.get_date_number();
      break;
    case VT_CY:
      n.kind = number::currency;
      n.cy = v.get_cy();
      break;
    case VT_DECIMAL:
      n.kind = number::decimal;
      n.dec = v.get_decimal();
      break;
    default:
      break;
  }
  return n;
}

// The text of a value as ASCII for the strict readers; false when it holds
// anything else (which no number may contain).
bool ascii_text(const ole_variant& v, std::string& out) {
  out.clear();
  for (char16_t c : v.text()) {
    if (c >= 0x80) return false;
    out += static_cast<char>(c);
  }
  return true;
}

bool equals_no_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
    if (x != b[i]) return false;
  }
  return true;
}

// The value rounded to an integer (ties to even).
uint32_t to_integer(const ole_variant& from, i128& out) {
  if (from.get_type() == VT_BSTR) {
    std::string text;
    ole_number_text::parsed p;
    if (!ascii_text(from, text) || !ole_number_text::parse(text, p)) return ole_coerce::e_type_mismatch;
    unsigned __int128 mag;
    if (!ole_number_text::round_scaled(p, 0, mag) || mag > (unsigned __int128)(~uint64_t(0)))
      return ole_coerce::e_overflow;
    out = p.negative ? -static_cast<i128>(mag) : static_cast<i128>(mag);
    return ole_coerce::s_ok;
  }
  number n = read_number(from);
  switch (n.kind) {
    case number::integer:
    case number::boolean:
      out = n.i;
      return ole_coerce::s_ok;
    case number::real: {
      double r = std::nearbyint(n.r);
      if (!(r > -1.9e19 && r < 1.9e19)) return ole_coerce::e_overflow;
      out = static_cast<i128>(r);
      return ole_coerce::s_ok;
    }
    case number::currency: {
      i128 q = n.cy / 10000, rem = n.cy % 10000;
      i128 arem = rem < 0 ? -rem : rem;
      if (arem > 5000 || (arem == 5000 && (q & 1))) q += n.cy < 0 ? -1 : 1;
      out = q;
      return ole_coerce::s_ok;
    }
    case number::decimal: {
      int64_t s;
      uint64_t u;
      if (n.dec.to_int64(s) == ole_decimal::status::ok) {
        out = s;
      } else if (n.dec.to_uint64(u) == ole_decimal::status::ok) {
        out = u;
      } else {
        return ole_coerce::e_overflow;
      }
      return ole_coerce::s_ok;
    }
    default:
      return ole_coerce::e_type_mismatch;
  }
}

uint32_t to_real(const ole_variant& from, double& out) {
  if (from.get_type() == VT_BSTR) {
    std::string text;
    ole_number_text::parsed p;
    if (!ascii_text(from, text) || !ole_number_text::parse(text, p)) return ole_coerce::e_type_mismatch;
    return ole_number_text::to_double(p, out) ? ole_coerce::s_ok : ole_coerce::e_overflow;
  }
  number n = read_number(from);
  switch (n.kind) {
    case number::integer:
    case number::boolean:
      out = static_cast<double>(n.i);
      return ole_coerce::s_ok;
    case number::real:
      out = n.r;
      return ole_coerce::s_ok;
    case number::currency:
      out = static_cast<double>(n.cy) / 10000.0;
      return ole_coerce::s_ok;
    case number::decimal:
      out = n.dec.to_double();
      return ole_coerce::s_ok;
    default:
      return ole_coerce::e_type_mismatch;
  }
}

uint32_t to_currency(const ole_variant& from, int64_t& out) {
  i128 scaled;
  if (from.get_type() == VT_BSTR) {
    std::string text;
    ole_number_text::parsed p;
    if (!ascii_text(from, text) || !ole_number_text::parse(text, p)) return ole_coerce::e_type_mismatch;
    unsigned __int128 mag;
    if (!ole_number_text::round_scaled(p, 4, mag) || mag > (unsigned __int128)1 << 64) return ole_coerce::e_overflow;
    scaled = p.negative ? -static_cast<i128>(mag) : static_cast<i128>(mag);
  } else {
    number n = read_number(from);
    switch (n.kind) {
      case number::integer:
      case number::boolean:
        scaled = n.i * 10000;
        break;
      case number::real: {
        double r = std::nearbyint(n.r * 10000.0);
        if (!(r > -1e19 && r < 1e19)) return ole_coerce::e_overflow;
        scaled = static_cast<i128>(r);
        break;
      }
      case number::currency:
        scaled = n.cy;
        break;
      case number::decimal: {
        int64_t cy;
        if (n.dec.to_currency(cy) != ole_decimal::status::ok) return ole_coerce::e_overflow;
        scaled = cy;
        break;
      }
      default:
        return ole_coerce::e_type_mismatch;
    }
  }
  if (scaled < INT64_MIN || scaled > INT64_MAX) return ole_coerce::e_overflow;
  out = static_cast<int64_t>(scaled);
  return ole_coerce::s_ok;
}

uint32_t to_decimal(const ole_variant& from, ole_decimal& out) {
  auto map = [](ole_decimal::status s) {
    return s == ole_decimal::status::ok         ? ole_coerce::s_ok
           : s == ole_decimal::status::overflow ? ole_coerce::e_overflow
                                                : ole_coerce::e_type_mismatch;
  };
  if (from.get_type() == VT_BSTR) {
    std::string text;
    if (!ascii_text(from, text)) return ole_coerce::e_type_mismatch;
    return map(out.parse(text));
  }
  number n = read_number(from);
  switch (n.kind) {
    case number::integer:
    case number::boolean:
      out = n.i < 0 ? ole_decimal::from_int64(static_cast<int64_t>(n.i))
                    : ole_decimal::from_uint64(static_cast<uint64_t>(n.i));
      return ole_coerce::s_ok;
    case number::real:
      return map(n.from_float ? ole_decimal::from_float(static_cast<float>(n.r), out)
                              : ole_decimal::from_double(n.r, out));
    case number::currency:
      out = ole_decimal::from_currency(n.cy);
      return ole_coerce::s_ok;
    case number::decimal:
      out = n.dec;
      return ole_coerce::s_ok;
    default:
      return ole_coerce::e_type_mismatch;
  }
}

uint32_t to_boolean(const ole_variant& from, bool& out) {
  if (from.get_type() == VT_BSTR) {
    std::string text;
    if (ascii_text(from, text)) {
      std::string_view t(text);
      size_t b = t.find_first_not_of(" \t\r\n");
      size_t e = t.find_last_not_of(" \t\r\n");
      std::string_view core = b == std::string_view::npos ? std::string_view() : t.substr(b, e - b + 1);
      if (equals_no_case(core, "true")) return out = true, ole_coerce::s_ok;
      if (equals_no_case(core, "false")) return out = false, ole_coerce::s_ok;
    }
    double r;
    uint32_t hr = to_real(from, r);
    if (hr != ole_coerce::s_ok) return hr;
    out = r != 0;
    return ole_coerce::s_ok;
  }
  number n = read_number(from);
  switch (n.kind) {
    case number::integer:
    case number::boolean:
      out = n.i != 0;
      return ole_coerce::s_ok;
    case number::real:
      out = n.r != 0;
      return ole_coerce::s_ok;
    case number::currency:
      out = n.cy != 0;
      return ole_coerce::s_ok;
    case number::decimal:
      out = !n.dec.is_zero();
      return ole_coerce::s_ok;
    default:
      return ole_coerce::e_type_mismatch;
  }
}

uint32_t to_text(const ole_variant& from, std::string& out) {
  out.clear();
  switch (from.get_type()) {
    case VT_EMPTY:
      return ole_coerce::s_ok;
    case VT_I1:
      ole_number_text::append_int(out, from.get_i1());
      break;
    case VT_I2:
      ole_number_text::append_int(out, from.get_i2());
      break;
    case VT_I4:
    case VT_INT:
      ole_number_text::append_int(out, from.get_i4());
      break;
    case VT_I8:
      ole_number_text::append_int(out, from.get_i8());
      break;
    case VT_UI1:
      ole_number_text::append_uint(out, from.get_ui1());
      break;
    case VT_UI2:
      ole_number_text::append_uint(out, from.get_ui2());
      break;
    case VT_UI4:
    case VT_UINT:
      ole_number_text::append_uint(out, from.get_ui4());
      break;
    case VT_UI8:
      ole_number_text::append_uint(out, from.get_ui8());
      break;
    case VT_BOOL:
      out = from.get_bool() ? "-1" : "0";
      break;
    case VT_R4:
      ole_number_text::append_r4(out, from.get_r4());
      break;
    case VT_R8:
      ole_number_text::append_r8(out, from.get_r8());
      break;
    case VT_CY:
      ole_number_text::append_currency(out, from.get_cy());
      break;
    case VT_DECIMAL:
      from.get_decimal().append_to(out);
      break;
    case VT_DATE:
      ole_locale_date::append_text(out, from.get_date_number());
      break;
    default:
      return ole_coerce::e_type_mismatch;
  }
  return ole_coerce::s_ok;
}

uint32_t to_date(const ole_variant& from, ole_variant& to) {
  double number;
  if (from.get_type() == VT_BSTR) {
    std::string text;
    if (!ascii_text(from, text) || !ole_locale_date::parse(text, number)) return ole_coerce::e_type_mismatch;
  } else {
    uint32_t hr = to_real(from, number);
    if (hr != ole_coerce::s_ok) return hr;
  }
  return to.set_date_number(number) ? ole_coerce::s_ok : ole_coerce::e_overflow;
}

bool is_convertible_source(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
    case VT_BOOL:
    case VT_R4:
    case VT_R8:
    case VT_DATE:
    case VT_CY:
    case VT_DECIMAL:
    case VT_BSTR:
      return true;
    default:
      return false;
  }
}

}  // namespace

uint32_t ole_coerce::convert(const ole_variant& from, VARTYPE vt, ole_variant& to) {
  if (vt == VT_EMPTY) {
    to.clear();
    return s_ok;
  }
  if (vt == VT_NULL) {
    to.set_null();
    return s_ok;
  }
  if (from.get_type() == VT_NULL) return e_type_mismatch;
  if (!is_convertible_source(from.get_type())) return e_type_mismatch;
  if (from.get_type() == vt) {
    to = from;
    return s_ok;
  }
  switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8: {
      i128 v;
      uint32_t hr = to_integer(from, v);
      if (hr != s_ok) return hr;
      // A boolean into an unsigned kind keeps its bits (true is all ones).
      const bool bool_bits = from.get_type() == VT_BOOL;
      auto in = [&](i128 lo, i128 hi) { return v >= lo && v <= hi; };
      switch (vt) {
        case VT_I1:
          if (!in(INT8_MIN, INT8_MAX)) return e_overflow;
          to.set_i1(static_cast<int8_t>(v));
          break;
        case VT_I2:
          if (!in(INT16_MIN, INT16_MAX)) return e_overflow;
          to.set_i2(static_cast<int16_t>(v));
          break;
        case VT_I4:
          if (!in(INT32_MIN, INT32_MAX)) return e_overflow;
          to.set_i4(static_cast<int32_t>(v));
          break;
        case VT_INT:
          if (!in(INT32_MIN, INT32_MAX)) return e_overflow;
          to.set_int(static_cast<int32_t>(v));
          break;
        case VT_I8:
          if (!in(INT64_MIN, INT64_MAX)) return e_overflow;
          to.set_i8(static_cast<int64_t>(v));
          break;
        case VT_UI1:
          if (!bool_bits && !in(0, UINT8_MAX)) return e_overflow;
          to.set_ui1(static_cast<uint8_t>(v));
          break;
        case VT_UI2:
          if (!bool_bits && !in(0, UINT16_MAX)) return e_overflow;
          to.set_ui2(static_cast<uint16_t>(v));
          break;
        case VT_UI4:
          if (!bool_bits && !in(0, UINT32_MAX)) return e_overflow;
          to.set_ui4(static_cast<uint32_t>(v));
          break;
        case VT_UINT:
          if (!bool_bits && !in(0, UINT32_MAX)) return e_overflow;
          to.set_uint(static_cast<uint32_t>(v));
          break;
        default:
          if (!bool_bits && !in(0, UINT64_MAX)) return e_overflow;
          to.set_ui8(static_cast<uint64_t>(v));
          break;
      }
      return s_ok;
    }
    case VT_R4: {
      double r;
      uint32_t hr = to_real(from, r);
      if (hr != s_ok) return hr;
      if (std::isfinite(r) && std::fabs(r) > FLT_MAX) return e_overflow;
      to.set_r4(static_cast<float>(r));
      return s_ok;
    }
    case VT_R8: {
      double r;
      uint32_t hr = to_real(from, r);
      if (hr != s_ok) return hr;
      to.set_r8(r);
      return s_ok;
    }
    case VT_CY: {
      int64_t cy;
      uint32_t hr = to_currency(from, cy);
      if (hr != s_ok) return hr;
      to.set_cy(cy);
      return s_ok;
    }
    case VT_DECIMAL: {
      ole_decimal d;
      uint32_t hr = to_decimal(from, d);
      if (hr != s_ok) return hr;
      to.set_decimal(d);
      return s_ok;
    }
    case VT_BOOL: {
      bool b;
      uint32_t hr = to_boolean(from, b);
      if (hr != s_ok) return hr;
      to.set_bool(b);
      return s_ok;
    }
    case VT_DATE:
      return to_date(from, to);
    case VT_BSTR: {
      std::string text;
      uint32_t hr = to_text(from, text);
      if (hr != s_ok) return hr;
      std::u16string& w = to.text_for_write();
      w.assign(text.begin(), text.end());
      return s_ok;
    }
    default:
      return e_bad_var_type;
  }
}

bool ole_coerce::fits_integer(double value, VARTYPE vt) noexcept {
  const double r = std::trunc(value >= 0 ? value + 0.5 : value - 0.5);
  switch (vt) {
    case VT_I1:
      return r >= -128.0 && r <= 127.0;
    case VT_UI1:
      return r >= 0.0 && r <= 255.0;
    case VT_I2:
      return r >= -32768.0 && r <= 32767.0;
    case VT_UI2:
      return r >= 0.0 && r <= 65535.0;
    case VT_I4:
    case VT_INT:
      return r >= -2147483648.0 && r <= 2147483647.0;
    case VT_UI4:
    case VT_UINT:
      return r >= 0.0 && r <= 4294967295.0;
    case VT_I8:
      return r >= -9223372036854775808.0 && r < 9223372036854775808.0;
    case VT_UI8:
      return r >= 0.0 && r < 18446744073709551616.0;
    default:
      return value == value;
  }
}
