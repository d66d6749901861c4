#include "tk_format.h"

#include <cstdio>

#include "tk_unicode.h"

int64_t tk_fmt_arg::as_sint() const noexcept {
  switch (kind_) {
    case kind::signed_int:
      return u_.s;
    case kind::unsigned_int:
      return static_cast<int64_t>(u_.u);
    case kind::real:
      return static_cast<int64_t>(u_.d);
    case kind::chr:
      return static_cast<int64_t>(u_.c);
    default:
      return 0;
  }
}

uint64_t tk_fmt_arg::as_uint() const noexcept {
  switch (kind_) {
    case kind::unsigned_int:
      return u_.u;
    case kind::signed_int:
      return static_cast<uint64_t>(u_.s);
    case kind::real:
      return static_cast<uint64_t>(static_cast<int64_t>(u_.d));
    case kind::chr:
      return u_.c;
    default:
      return 0;
  }
}

double tk_fmt_arg::as_real() const noexcept {
  switch (kind_) {
    case kind::real:
      return u_.d;
    case kind::signed_int:
      return static_cast<double>(u_.s);
    case kind::unsigned_int:
      return static_cast<double>(u_.u);
    default:
      return 0.0;
  }
}

char32_t tk_fmt_arg::as_char() const noexcept {
  switch (kind_) {
    case kind::chr:
      return u_.c;
    case kind::signed_int:
      return static_cast<char32_t>(u_.s);
    case kind::unsigned_int:
      return static_cast<char32_t>(u_.u);
    default:
      return 0;
  }
}

void tk_fmt_arg::append_text(std::string& out) const {
  switch (kind_) {
    case kind::text:
      out.append(u_.t.p, u_.t.n);
      break;
    case kind::wtext:
      tk_append_utf8(out, std::u16string_view(u_.w.p, u_.w.n));
      break;
    case kind::signed_int:
      out += std::to_string(u_.s);
      break;
    case kind::unsigned_int:
      out += std::to_string(u_.u);
      break;
    case kind::real: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%g", u_.d);
      out += buf;
      break;
    }
    case kind::chr: {
      char16_t c = static_cast<char16_t>(u_.c);
      tk_append_utf8(out, std::u16string_view(&c, 1));
      break;
    }
    case kind::none:
      break;
  }
}

namespace {

// Pads `text` to the field width the way printf does for %s.
void append_padded(std::string& out, std::string_view text, int width, bool left) {
  size_t pad = width > 0 && static_cast<size_t>(width) > text.size() ? static_cast<size_t>(width) - text.size() : 0;
  if (!left) out.append(pad, ' ');
  out.append(text);
  if (left) out.append(pad, ' ');
}

}  // namespace

void tk_vformat(std::string& out, std::string_view pattern, std::span<const tk_fmt_arg> args) {
  size_t next = 0;
  size_t i = 0;
  const size_t n = pattern.size();
  while (i < n) {
    size_t pct = pattern.find('%', i);
    if (pct == std::string_view::npos) {
      out.append(pattern.substr(i));
      break;
    }
    out.append(pattern.substr(i, pct - i));
    i = pct + 1;
    if (i >= n) {
      out += '%';
      break;
    }
    if (pattern[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    // Flags, width, precision.
    std::string spec = "%";
    bool left = false;
    while (i < n && std::string_view("-+ #0").find(pattern[i]) != std::string_view::npos) {
      if (pattern[i] == '-') left = true;
      spec += pattern[i++];
    }
    int width = 0;
    if (i < n && pattern[i] == '*') {
      width = next < args.size() ? static_cast<int>(args[next++].as_sint()) : 0;
      spec += std::to_string(width);
      ++i;
    }
    while (i < n && pattern[i] >= '0' && pattern[i] <= '9') {
      width = width * 10 + (pattern[i] - '0');
      spec += pattern[i++];
    }
    int precision = -1;
    if (i < n && pattern[i] == '.') {
      spec += pattern[i++];
      precision = 0;
      if (i < n && pattern[i] == '*') {
        precision = next < args.size() ? static_cast<int>(args[next++].as_sint()) : 0;
        spec += std::to_string(precision);
        ++i;
      }
      while (i < n && pattern[i] >= '0' && pattern[i] <= '9') {
        precision = precision * 10 + (pattern[i] - '0');
        spec += pattern[i++];
      }
    }
    // Length modifiers carry no meaning here: the argument knows its type.
    while (i < n) {
      if (pattern.substr(i, 3) == "I64") {
        i += 3;
      } else if (std::string_view("hlLqjzt").find(pattern[i]) != std::string_view::npos) {
        ++i;
      } else {
        break;
      }
    }
    if (i >= n) break;
    const char conv = pattern[i++];
    const tk_fmt_arg* arg = next < args.size() ? &args[next++] : nullptr;
    if (!arg) continue;
    char buf[512];
    switch (conv) {
      case 'd':
      case 'i':
        spec += "lld";
        std::snprintf(buf, sizeof buf, spec.c_str(), static_cast<long long>(arg->as_sint()));
        out += buf;
        break;
      case 'u':
      case 'x':
      case 'X':
      case 'o':
        spec += "ll";
        spec += conv;
        std::snprintf(buf, sizeof buf, spec.c_str(), static_cast<unsigned long long>(arg->as_uint()));
        out += buf;
        break;
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
        spec += conv;
        std::snprintf(buf, sizeof buf, spec.c_str(), arg->as_real());
        out += buf;
        break;
      case 'c':
      case 'C': {
        char16_t c = static_cast<char16_t>(arg->as_char());
        std::string one;
        tk_append_utf8(one, std::u16string_view(&c, 1));
        append_padded(out, one, width, left);
        break;
      }
      case 's':
      case 'S': {
        if (width <= 0 && precision < 0) {
          arg->append_text(out);
        } else {
          std::string text;
          arg->append_text(text);
          if (precision >= 0 && text.size() > static_cast<size_t>(precision))
            text.resize(static_cast<size_t>(precision));
          append_padded(out, text, width, left);
        }
        break;
      }
      case 'p':
        std::snprintf(buf, sizeof buf, "%llx", static_cast<unsigned long long>(arg->as_uint()));
        out += buf;
        break;
      default:
        // An unknown conversion is written as it stands.
        out += spec;
        out += conv;
        break;
    }
  }
}
