#pragma once
// The settings that shape a dump file.

#include <cstdint>
#include <string>

struct dump_options {
  uint32_t dmp_line_br = 0;  // 0: lines end with CR LF; otherwise LF
  bool dmp_new_ver = true;   // MySQL 4.1 syntax: quoted names, ENGINE=
  bool dmp_loc_wri = true;   // LOCK TABLES ... WRITE around each table's rows
  bool dmp_ins_com = true;   // comment blocks
  bool dmp_ins_db = false;   // DROP/CREATE/USE DATABASE
  bool dmp_ins_tab = true;   // DROP/CREATE TABLE before the rows
  std::string banner;        // written after "# Created by "
  std::string db_name;       // the dump file's base name when empty

  const char* line_break() const { return dmp_line_br == 0 ? "\r\n" : "\n"; }
};
