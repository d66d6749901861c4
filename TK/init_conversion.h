#pragma once
// Writes the start line of a conversion when built and the end line when it
// goes, then marks the conversion finished.

class init_conversion {
 public:
  init_conversion(bool& finished, bool com_initialised);
  ~init_conversion();
  init_conversion(const init_conversion&) = delete;
  init_conversion& operator=(const init_conversion&) = delete;

 private:
  bool& finished_;
  bool com_initialised_;
};
