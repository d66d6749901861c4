#include "ole_guid_extractor.h"

#include "tk_logger.h"

namespace {

bool is_hex(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }

bool hex_or_dash(std::u16string_view s) {
  for (char16_t c : s)
    if (!is_hex(c) && c != u'-') return false;
  return true;
}

}  // namespace

ole_guid_extractor::ole_guid_extractor(std::u16string_view text) {
  TK_TRACE(1, "ole_guid_extractor::ctor(%s)", text);
  const size_t n = text.size();
  if (n >= 91) {
    TK_TRACE(1, "Text is too long for GUID(1)");
    return;
  }
  if (n < guid_length) {
    TK_TRACE(1, "Text is too short for GUID");
    return;
  }
  if (n == guid_length) {
    valid_ = hex_or_dash(text);
  } else if (n == guid_length + 2) {
    valid_ = text.front() == u'{' && text.back() == u'}' && hex_or_dash(text.substr(1, guid_length));
    start_ = 1;
  } else if (n >= 46) {
    size_t at = text.find(u"guid");
    if (at == std::u16string_view::npos) at = text.find(u"GUID");
    if (at != std::u16string_view::npos) {
      size_t s = at + 4;
      if (s < n && text[s] == u'{') ++s;
      if (n - s >= guid_length) {
        valid_ = true;
        start_ = s;
      }
    }
  } else {
    TK_TRACE(1, "Text is too long for GUID(2)");
    return;
  }
  if (valid_) {
    TK_TRACE(1, "GUID is valid");
    guid_.assign(text.substr(start_, guid_length));
  } else {
    start_ = 0;
  }
}

bool ole_guid_extractor::is_well_formed() const {
  if (!valid_) return false;
  for (size_t i = 0; i < guid_length; ++i) {
    bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? guid_[i] != u'-' : !is_hex(guid_[i])) return false;
  }
  return true;
}
