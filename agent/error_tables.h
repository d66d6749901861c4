#pragma once
// The friendly texts that replace library messages, loaded by the entry
// point into the error handler: general (database engine) errors, MySQL
// errors, and workbook errors. A lost connection (2006, 2013) keeps the
// library's own text: the batches never exceed the server's packet limit,
// so it means the server or the network went away.

#include "tk_error_converter.h"

extern const tk_err_entry g_err_table_general[9];
extern const tk_err_entry g_err_table_mysql[11];
extern const tk_err_entry g_err_table_workbook[3];

// The project's web address, named in dump headers and support texts.
extern const char* const g_project_web_address;
