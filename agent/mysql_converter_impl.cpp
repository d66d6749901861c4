#include "mysql_converter_impl.h"

#include <cstdlib>

#include "tk_exception.h"
#include "tk_logger.h"
#include "tk_string.h"

mysql_converter_impl::mysql_converter_impl() { TK_TRACE(2, "mysql_converter_impl::ctor"); }

mysql_converter_impl::~mysql_converter_impl() { TK_TRACE(2, "mysql_converter_impl::dtor"); }

void mysql_converter_impl::store_mysql_settings(const std::string& host, const std::string& user,
                                                const std::string& password, const std::string& port) {
  TK_TRACE(2, "mysql_converter_impl::store_mysql_settings(%s,%s,%s,%s)", host, user, password, port);
  user_ = trim(user);
  password_ = trim(password);
  host_ = trim(host);
  port_ = trim(port);
  if (port_.empty()) port_ = "3306";
}

void mysql_converter_impl::connect_mysql_server() {
  TK_TRACE(2, "mysql_converter_impl::connect_mysql_server");
  if (std::atoi(port_.c_str()) == 0) throw tk_exception("Invalid port number", 1);
  throw tk_exception("Writing into a live MySQL server is not available in this build.", 1);
}
