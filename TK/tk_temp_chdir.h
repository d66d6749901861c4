#pragma once
// Changes the current folder for the lifetime of the object and changes back
// at its end. `ok()` tells whether the change worked.

#include <string>

class tk_temp_chdir {
 public:
  // An empty path changes to the program's own folder.
  explicit tk_temp_chdir(const std::string& path);
  ~tk_temp_chdir();
  tk_temp_chdir(const tk_temp_chdir&) = delete;
  tk_temp_chdir& operator=(const tk_temp_chdir&) = delete;

  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
  bool saved_ = false;
  std::string saved_folder_;
};
