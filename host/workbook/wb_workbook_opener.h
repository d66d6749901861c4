// Recognises a workbook file by its content (never by its name) and opens
// the matching format backend.
//
//  - ZIP package with a workbook part -> wb_xlsx_workbook (.xlsx, .xlsm);
//    a binary workbook part (.xlsb) -> 3274.
//  - OLE2 compound file: with the streams "EncryptionInfo" and
//    "EncryptedPackage" it is an encrypted OOXML package -> 3161; with a
//    "Workbook" or "Book" stream it is a BIFF workbook -> wb_biff_workbook;
//    without either -> 3274.
//  - anything else -> 3274; a missing file -> 3024; an unreadable one -> 3051.
#pragma once

#include <memory>
#include <string>

#include "wb_workbook_source.h"

class wb_workbook_opener {
 public:
  // `path` is UTF-8. On failure returns nullptr and sets `dao_error`.
  static std::unique_ptr<wb_workbook_source> open(const std::string& path, long& dao_error);
};
