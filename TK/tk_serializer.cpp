#include "tk_serializer.h"

#include <vector>

#include "tk_logger.h"
#include "tk_unicode.h"

bool tk_serializer::load() {
  std::vector<std::string> problems;
  bool ok = key_.open(problems);
  for (const std::string& p : problems) TK_TRACE(2, "Settings file %s: cannot parse %s", key_.path(), p);
  if (!ok) {
    TK_TRACE(2, "Cannot read settings file %s", key_.path());
    return false;
  }
  TK_TRACE(1, "serialize( %d )", 0);
  serialize(false);
  return true;
}

void tk_serializer::read_string(const char* name, std::u16string& value) const {
  if (auto text = key_.get_string(name)) {
    std::u16string wide;
    if (tk_append_utf16(wide, *text)) {
      value = std::move(wide);
    } else {
      refuse(name, "UTF-8 text");
    }
  }
}

void tk_serializer::read_dword(const char* name, uint32_t& value) const {
  if (auto v = key_.get_dword(name)) {
    value = *v;
  } else if (key_.get_string(name)) {
    refuse(name, "a decimal number");
  }
}

void tk_serializer::refuse(const char* name, const char* kind) const {
  TK_TRACE(2, "Settings value %s is not %s", name, kind);
  if (problem_.empty())
    problem_ = "The value of '" + std::string(name) + "' in settings file '" + key_.path() + "' is not " + kind +
               ": '" + key_.get_string(name).value_or("") + "'";
}

void tk_serializer::read_bool(const char* name, bool& value) const {
  uint32_t v = value ? 1 : 0;
  read_dword(name, v);
  value = v != 0;
}
