#include "wb_biff_codepage.h"

#include <unicode/ucnv.h>

#include <cstdio>

namespace {

UConverter* open_named(const char* name) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* c = ucnv_open(name, &status);
  if (U_FAILURE(status)) {
    if (c != nullptr) ucnv_close(c);
    return nullptr;
  }
  return c;
}

UConverter* open_codepage(std::uint16_t id) {
  switch (id) {
    case 367:
      return open_named("US-ASCII");
    case 1200:
      // The UTF-16 code page of BIFF8; byte strings under it can only be Latin-1.
      return open_named("ISO-8859-1");
    case 10000:
    case 32768:
      return open_named("macintosh");
    case 32769:
      return open_named("windows-1252");
    default:
      break;
  }
  char name[32];
  for (const char* pattern : {"windows-%u", "cp%u", "ibm-%u"}) {
    std::snprintf(name, sizeof name, pattern, static_cast<unsigned>(id));
    if (UConverter* c = open_named(name)) return c;
  }
  return nullptr;
}

}  // namespace

wb_biff_codepage::wb_biff_codepage(std::uint16_t id) : id_(id) {
  converter_ = open_codepage(id);
  if (converter_ == nullptr) {
    id_ = default_id;
    converter_ = open_codepage(default_id);
  }
  if (ucnv_getMaxCharSize(converter_) != 1) return;
  table_.resize(256);
  for (unsigned b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    UChar unit[2];
    UErrorCode status = U_ZERO_ERROR;
    if (ucnv_toUChars(converter_, unit, 2, &byte, 1, &status) != 1 || U_FAILURE(status)) {
      table_.clear();  // a byte that is not one character: the converter decides
      return;
    }
    table_[b] = unit[0];
  }
}

wb_biff_codepage::~wb_biff_codepage() {
  if (converter_ != nullptr) ucnv_close(converter_);
}

void wb_biff_codepage::decode(const unsigned char* bytes, std::size_t size, std::u16string& out) const {
  const std::size_t start = out.size();
  if (!table_.empty()) {
    out.resize(start + size);
    char16_t* o = out.data() + start;
    for (std::size_t i = 0; i < size; ++i) o[i] = table_[bytes[i]];
    return;
  }
  // Every code page used here gives at most one UTF-16 unit per byte.
  out.resize(start + size + 1);
  UErrorCode status = U_ZERO_ERROR;
  const int32_t n = ucnv_toUChars(converter_, out.data() + start, static_cast<int32_t>(size + 1),
                                  reinterpret_cast<const char*>(bytes), static_cast<int32_t>(size), &status);
  if (U_FAILURE(status) || n < 0) {
    // Cannot happen with the bound above; keep the bytes as Latin-1 rather than lose them.
    for (std::size_t i = 0; i < size; ++i) out[start + i] = static_cast<char16_t>(bytes[i]);
    out.resize(start + size);
    return;
  }
  out.resize(start + static_cast<std::size_t>(n));
}
