#pragma once
// Raised when no workbook engine can be loaded at all; the entry point
// catches it by its type and tells the user how to repair the installation.

#include <exception>

class dao_required_exception : public std::exception {
 public:
  const char* what() const noexcept override { return "workbook engine missing"; }
};
