#pragma once
// The wide form of tk_file_name: the same parts as UTF-16 text.

#include <string>

class tk_file_wname {
 public:
  explicit tk_file_wname(const std::u16string& path);

  const std::u16string& drive() const { return drive_; }
  const std::u16string& folder() const { return folder_; }
  const std::u16string& name() const { return name_; }
  const std::u16string& ext() const { return ext_; }

 private:
  std::u16string drive_, folder_, name_, ext_;
};
