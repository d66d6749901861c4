#pragma once
// The MariaDB server of the tests. scripts/test starts a private server and
// exports its address as GRIDLOAD_TEST_HOST, GRIDLOAD_TEST_PORT,
// GRIDLOAD_TEST_USER, GRIDLOAD_TEST_PASSWORD. A test that needs the server
// FAILS, never skips, when the variables are missing or the server does not
// answer.
//
// mysql_fixture gives each test a database of its own name (created empty
// before the test, dropped after it) and a connection of its own, through
// the client library directly, so that checks never go through the code
// under test.

#include <gtest/gtest.h>
#include <mysql.h>

#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct mysql_address {
  std::string host;
  unsigned port = 0;
  std::string user;
  std::string password;
  std::string socket;  // a throw-away server's socket (root login); empty for the shared one
};

// A loopback port nobody listens on: bound by the kernel's choice, then freed.
unsigned free_port();

using mysql_row = std::vector<std::optional<std::string>>;

// A connection of the test's own (utf8mb4, strict mode as the server has it).
class mysql_connection {
 public:
  mysql_connection() = default;
  ~mysql_connection();
  mysql_connection(const mysql_connection&) = delete;
  mysql_connection& operator=(const mysql_connection&) = delete;

  // False and `error` set when the server does not answer.
  bool open(const mysql_address& address, const std::string& database, std::string& error);
  // Rows of a statement (empty for one without a result). A failure is
  // reported as a test failure, with the statement, and gives no rows.
  std::vector<mysql_row> query(const std::string& sql);
  // The first column of the first row ("" when none or NULL).
  std::string scalar(const std::string& sql);
  // Runs a statement; false (error text in `error`) on failure.
  bool exec(const std::string& sql, std::string* error = nullptr);

 private:
  MYSQL* handle_ = nullptr;
};

class mysql_fixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The test's database name: "gl_" + suite + "_" + test, lower case,
  // characters other than letters and digits made '_', at most 64.
  static std::string database_name();

  mysql_address address_;
  std::string db_;
  mysql_connection check_;  // the test's own connection, inside db_
};

// A second, throw-away MariaDB server of a test's own (for faults that must
// not touch the shared server: a small max_allowed_packet, a shutdown).
// Started as the private one is, with `extra_args` added to the server's
// command line, on a free loopback port, with the same test user.
class throwaway_mariadb {
 public:
  throwaway_mariadb() = default;
  ~throwaway_mariadb();
  throwaway_mariadb(const throwaway_mariadb&) = delete;
  throwaway_mariadb& operator=(const throwaway_mariadb&) = delete;

  // False and `error` set when the server cannot be started.
  bool start(const std::string& extra_args, std::string& error);
  // Stops the server and waits for its process to end.
  void stop();
  // Kills the server's process at once (SIGKILL), as a crash would.
  void kill();
  const mysql_address& address() const { return address_; }

 private:
  std::string dir_;
  mysql_address address_;
  int pid_ = 0;
};

}  // namespace testsupport
