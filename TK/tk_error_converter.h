#pragma once
// The map from an error code to the friendly text that replaces the terse
// message of a library. The first text loaded for a code wins.

#include <cstdint>
#include <map>
#include <string>

struct tk_err_entry {
  uint32_t code;
  const char* text;
};

class tk_error_converter {
 public:
  tk_error_converter(size_t count, const tk_err_entry* table);

  void load(size_t count, const tk_err_entry* table);
  // The text for the code, or empty when there is none.
  std::string convert(uint32_t code) const;
  size_t size() const { return map_.size(); }

 private:
  std::map<uint32_t, std::string> map_;
};
