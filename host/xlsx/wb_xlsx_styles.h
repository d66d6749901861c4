// The number-format class of every cell style (cellXfs entry) of an OOXML
// workbook, which is all the reader needs from the styles part.
#pragma once

#include <cstddef>
#include <vector>

#include "wb_byte_reader.h"
#include "wb_raw_cell.h"

class wb_xlsx_styles {
 public:
  // Parses a styles part. Returns false (with `dao_error`) on malformed XML.
  bool load(wb_byte_reader& reader, long& dao_error);

  // The class of style `index`; general for an unknown index.
  wb_number_class number_class(std::size_t index) const {
    return index < classes_.size() ? classes_[index] : wb_number_class::general;
  }

  std::size_t size() const { return classes_.size(); }

 private:
  std::vector<wb_number_class> classes_;
};
