#pragma once
// printf-style formatting with typed arguments. Every trace line and every
// message built from a pattern goes through here. A "%s" (or "%S") takes
// narrow text as it stands and wide (UTF-16) text as UTF-8; "%I64d" and
// "%I64u" are the 64-bit decimal forms. Arguments are captured by reference,
// so nothing is converted until the text is really formatted.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

class tk_fmt_arg {
 public:
  enum class kind : uint8_t { none, signed_int, unsigned_int, real, text, wtext, chr };

  tk_fmt_arg() = default;
  template <class I,
            std::enable_if_t<std::is_integral_v<I> && std::is_signed_v<I> && !std::is_same_v<I, char>, int> = 0>
  tk_fmt_arg(I v) : kind_(kind::signed_int) {
    u_.s = v;
  }
  template <class I,
            std::enable_if_t<std::is_integral_v<I> && std::is_unsigned_v<I> && !std::is_same_v<I, bool>, int> = 0>
  tk_fmt_arg(I v) : kind_(kind::unsigned_int) {
    u_.u = v;
  }
  tk_fmt_arg(bool v) : kind_(kind::signed_int) { u_.s = v; }
  tk_fmt_arg(char v) : kind_(kind::chr) { u_.c = static_cast<unsigned char>(v); }
  tk_fmt_arg(char16_t v) : kind_(kind::chr) { u_.c = v; }
  template <class E, std::enable_if_t<std::is_enum_v<E>, int> = 0>
  tk_fmt_arg(E v) : tk_fmt_arg(static_cast<std::underlying_type_t<E>>(v)) {}
  tk_fmt_arg(double v) : kind_(kind::real) { u_.d = v; }
  tk_fmt_arg(float v) : kind_(kind::real) { u_.d = v; }
  tk_fmt_arg(const char* v) : kind_(kind::text) { set(std::string_view(v ? v : "")); }
  tk_fmt_arg(const std::string& v) : kind_(kind::text) { set(std::string_view(v)); }
  tk_fmt_arg(std::string_view v) : kind_(kind::text) { set(v); }
  tk_fmt_arg(const char16_t* v) : kind_(kind::wtext) { set(std::u16string_view(v ? v : u"")); }
  tk_fmt_arg(const std::u16string& v) : kind_(kind::wtext) { set(std::u16string_view(v)); }
  tk_fmt_arg(std::u16string_view v) : kind_(kind::wtext) { set(v); }

  kind type() const noexcept { return kind_; }
  int64_t as_sint() const noexcept;
  uint64_t as_uint() const noexcept;
  double as_real() const noexcept;
  // Appends the text form of a text argument (wide text as UTF-8).
  void append_text(std::string& out) const;
  char32_t as_char() const noexcept;

 private:
  void set(std::string_view v) {
    u_.t.p = v.data();
    u_.t.n = v.size();
  }
  void set(std::u16string_view v) {
    u_.w.p = v.data();
    u_.w.n = v.size();
  }

  kind kind_ = kind::none;
  union {
    int64_t s;
    uint64_t u;
    double d;
    char32_t c;
    struct {
      const char* p;
      size_t n;
    } t;
    struct {
      const char16_t* p;
      size_t n;
    } w;
  } u_{};
};

// Appends the formatted text to `out`. Missing arguments format as nothing.
void tk_vformat(std::string& out, std::string_view pattern, std::span<const tk_fmt_arg> args);

template <class... A>
void tk_format_to(std::string& out, std::string_view pattern, const A&... args) {
  if constexpr (sizeof...(A) == 0) {
    tk_vformat(out, pattern, {});
  } else {
    const tk_fmt_arg list[] = {tk_fmt_arg(args)...};
    tk_vformat(out, pattern, list);
  }
}

template <class... A>
std::string tk_format(std::string_view pattern, const A&... args) {
  std::string out;
  tk_format_to(out, pattern, args...);
  return out;
}
