#pragma once
// The agent's command line: the option table, the parser that fills the
// driver's settings, the table-names file, and the usage text.

#include <string>
#include <vector>

#include "ansi_cmd_line.h"

extern const cmd_option g_cmd_options[];

// True when the run may go on; false when the usage text is to be printed.
bool parse_cmd_line(int argc, char** argv);
// The names listed in a table-names file, one per non-empty line.
std::vector<std::u16string> process_tab_file(const std::string& path);
// The usage text with the banner's version numbers.
std::string usage_text(int major, int minor);
// Writes the message to the trace log and (unless silent) to the standard
// error stream, then ends the process with status -1.
[[noreturn]] void report_and_exit(const std::string& message);

constexpr int k_version_major = 7;
constexpr int k_version_minor = 1;
