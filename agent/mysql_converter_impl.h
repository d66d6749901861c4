#pragma once
// The MySQL side of the conversion driver: the connection settings, the dump
// options, and the column changes that type refinement leaves to be run.

#include <list>
#include <string>

#include "dump_options.h"

class udb_profile;

class mysql_converter_impl {
 public:
  mysql_converter_impl();
  virtual ~mysql_converter_impl();

  // Command-line settings, trimmed; an empty port becomes "3306".
  void store_mysql_settings(const std::string& host, const std::string& user, const std::string& password,
                            const std::string& port);
  void connect_mysql_server();

  // The MySQL character set and storage engine of the run.
  void set_char_set(std::u16string char_set) { char_set_ = std::move(char_set); }
  void set_table_engine(std::u16string engine) { table_engine_ = std::move(engine); }
  const std::u16string& char_set() const { return char_set_; }
  const std::u16string& table_engine() const { return table_engine_; }

  const std::string& host() const { return host_; }
  const std::string& user() const { return user_; }
  const std::string& password() const { return password_; }
  const std::string& port() const { return port_; }
  dump_options& dump_settings() { return dump_options_; }
  const std::list<std::u16string>& pending_statements() const { return pending_statements_; }

 protected:
  dump_options dump_options_;
  std::list<std::u16string> pending_statements_;
  std::string host_, user_, password_, port_ = "3306";
  std::u16string char_set_ = u"utf8";
  std::u16string table_engine_ = u"InnoDB";
};
