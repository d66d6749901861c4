#include "error_tables.h"

const char* const g_project_web_address = "https://gridload.example.org/";

namespace {
const char* const k_access_format =
    "Cannot recognize MS Access database format. See 'Troubleshooting'\narticle of the product documentation for "
    "solution.";
const char* const k_workgroup =
    "Invalid workgroup information file. Return to the previous\nwizard page and verify the correct path was given.";
const char* const k_duplicate =
    "Duplicate field values being used for an unique index were found.\nSee 'Troubleshooting' article of the product "
    "documentation\nfor solution.";
const char* const k_connect =
    "Cannot connect to the MySQL server. Check to verify that MySQL server\nis launched and the correct host/port "
    "values "
    "were given.";
const char* const k_auth =
    "The program does not support authentication protocol requested by server.\nSee 'Troubleshooting' article of the "
    "product documentation.";
const char* const k_structure =
    "Failed to recognize table structure in the worksheet.\nYou can migrate the data manually via CSV format. "
    "See\n'CSV "
    "Files' article in the documentation for details.";
}  // namespace

const tk_err_entry g_err_table_general[9] = {
    {68585, k_access_format},
    {68591,
     "Not a valid MS Access database name. Use the following characters\nto compose new database name: alphanumerics "
     "(A-Z, a-z, 0-9),\nunderscore characters (_) and spaces."},
    {68558, k_duplicate},
    {68565, "Not a valid account name or password has been specified\nin MS Access user-level security settings"},
    {68648,
     "Cannot extract relationships information. See 'Troubleshooting'\narticle of the product documentation for "
     "solution."},
    {68709, k_workgroup},
    {68894, k_workgroup},
    {68957, "Data type conversion error. Please contact the GRIDLOAD maintainers\nfor the solution."},
    {68879, k_access_format},
};

const tk_err_entry g_err_table_mysql[11] = {
    {4195348,
     "Access denied. Ask your system administrator to grant you\nthe necessary privileges to write into the database."},
    {4195349,
     "Access denied. Verify the user name and password are correct, and you have\nthe necessary privileges to connect "
     "to the target MySQL server."},
    {4195366, k_duplicate},
    {4195375,
     "Primary key in the original database is too long.\nRestart the program with \"Skip converting "
     "indexes\"\ncheckbox "
     "selected in order to resolve the conflict.\n"},
    {4195434,
     "You are not allowed to connect to the destination MySQL server.\nAsk your system administrator to grant you "
     "necessary privileges\nto create new databases on target MySQL server."},
    {4195355,
     "Failed to overwrite MySQL database. It is being used by\nanother application. Specify a different destination "
     "name."},
    {4196307, k_connect},
    {4196309, k_connect},
    {4195553, k_auth},
    {4195554, k_auth},
    {4195555, k_auth},
};

const tk_err_entry g_err_table_workbook[3] = {
    {68697,
     "The workbook and/or one of its workseets is password protected.\nYou should unprotect it first. Open it with MS "
     "Excel,\nremove the password and run Gridloader again.\n"},
    {68726, k_structure},
    {68810, k_structure},
};
