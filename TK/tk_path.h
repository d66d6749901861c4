#pragma once
// File-system tests on paths, with the process's real permissions.

#include <cstdint>
#include <string>

// Modes of tk_is_file_exist.
constexpr uint32_t tk_file_exists = 0x4000;  // an existing file that is not a folder
constexpr uint32_t tk_file_writable = 1;     // ... that is also not read-only
// Access rights asked of tk_check_access.
constexpr uint32_t tk_generic_read = 0x80000000;
constexpr uint32_t tk_generic_write = 0x40000000;
constexpr uint32_t tk_generic_execute = 0x20000000;

// Mode 0x4000: an existing file, not a folder. Mode 1: that, and not
// read-only. Any other mode creates (or empties) the file and returns true;
// a failure raises a level-1 tk_exception_ex.
bool tk_is_file_exist(const std::string& path, uint32_t mode);
bool tk_is_file_exist(const std::u16string& path, uint32_t mode);

// True when the process can make `path` its current folder. Empty: the
// program's folder.
bool tk_is_path_exist(const std::string& path);
bool tk_is_path_exist(const std::u16string& path);

// True when the process may use the file or folder with the requested rights.
// Any failure to find out counts as no access.
bool tk_check_access(const std::string& path, uint32_t access);
bool tk_check_access(const std::u16string& path, uint32_t access);

// True when `path` names an existing folder.
bool tk_is_folder(const std::string& path);

// True when the two paths name one file: the same file found through both
// (links, "..", another spelling), or the same path once made absolute.
bool tk_is_same_file(const std::string& a, const std::string& b);

// The checks of a dump destination, each failure a level-1 tk_exception.
void common_check_dest(const std::u16string& path);
