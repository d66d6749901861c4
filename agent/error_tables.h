#pragma once
// The friendly texts that replace library messages, loaded by the entry
// point into the error handler: general (database engine) errors, MySQL
// errors, and workbook errors.

#include "tk_error_converter.h"

extern const tk_err_entry g_err_table_general[9];
extern const tk_err_entry g_err_table_mysql[12];
extern const tk_err_entry g_err_table_workbook[3];

// The project's web address, named in dump headers and support texts.
extern const char* const g_project_web_address;
