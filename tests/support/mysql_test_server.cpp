#include "mysql_test_server.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

namespace testsupport {

namespace {

const char* env(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? v : nullptr;
}

// The address from the environment; false (and `why` set) when missing.
bool mysql_test_address(mysql_address& out, std::string& why) {
  const char* host = env("GRIDLOAD_TEST_HOST");
  const char* port = env("GRIDLOAD_TEST_PORT");
  const char* user = env("GRIDLOAD_TEST_USER");
  const char* password = std::getenv("GRIDLOAD_TEST_PASSWORD");
  if (!host || !port || !user || !password) {
    why =
        "GRIDLOAD_TEST_HOST/PORT/USER/PASSWORD are not set: run the server tests through scripts/test, which "
        "starts a private MariaDB server and sets them (or source scripts/lib/common.sh and call "
        "start_private_mariadb).";
    return false;
  }
  out.host = host;
  out.port = static_cast<unsigned>(std::atoi(port));
  out.user = user;
  out.password = password;
  return true;
}

}  // namespace

unsigned free_port() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  unsigned port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  close(fd);
  return port;
}

mysql_connection::~mysql_connection() {
  if (handle_) mysql_close(handle_);
}

bool mysql_connection::open(const mysql_address& a, const std::string& database, std::string& error) {
  if (handle_) mysql_close(handle_);
  handle_ = mysql_init(nullptr);
  unsigned timeout = 10;
  mysql_options(handle_, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
  mysql_options(handle_, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  if (mysql_real_connect(handle_, a.host.c_str(), a.user.c_str(), a.password.c_str(),
                         database.empty() ? nullptr : database.c_str(), a.port, nullptr, 0))
    return true;
  error = mysql_error(handle_);
  mysql_close(handle_);
  handle_ = nullptr;
  return false;
}

bool mysql_connection::exec(const std::string& sql, std::string* error) {
  if (!handle_) {
    if (error) *error = "not connected";
    return false;
  }
  if (mysql_real_query(handle_, sql.data(), sql.size()) != 0) {
    if (error) *error = mysql_error(handle_);
    return false;
  }
  // Drop whatever result the statement has.
  do {
    if (MYSQL_RES* r = mysql_store_result(handle_)) mysql_free_result(r);
  } while (mysql_next_result(handle_) == 0);
  return true;
}

std::vector<mysql_row> mysql_connection::query(const std::string& sql) {
  std::vector<mysql_row> rows;
  if (!handle_ || mysql_real_query(handle_, sql.data(), sql.size()) != 0) {
    ADD_FAILURE() << "query failed: " << (handle_ ? mysql_error(handle_) : "not connected") << "\n  " << sql;
    return rows;
  }
  MYSQL_RES* result = mysql_store_result(handle_);
  if (!result) return rows;
  const unsigned n = mysql_num_fields(result);
  while (MYSQL_ROW row = mysql_fetch_row(result)) {
    const unsigned long* lengths = mysql_fetch_lengths(result);
    mysql_row r(n);
    for (unsigned i = 0; i < n; ++i)
      if (row[i]) r[i] = std::string(row[i], lengths[i]);
    rows.push_back(std::move(r));
  }
  mysql_free_result(result);
  return rows;
}

std::string mysql_connection::scalar(const std::string& sql) {
  const std::vector<mysql_row> rows = query(sql);
  if (rows.empty() || rows[0].empty() || !rows[0][0]) return {};
  return *rows[0][0];
}

std::string mysql_fixture::database_name() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string("gl_") + info->test_suite_name() + "_" + info->name();
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
    else if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
      c = '_';
  }
  // Names past the server's 64 are cut and told apart by a hash of the whole
  // name: parameterised cases differ only in their ends.
  if (name.size() > 64) {
    char tail[10];
    std::snprintf(tail, sizeof tail, "_%08zx", std::hash<std::string>{}(name)&0xFFFFFFFFu);
    name = name.substr(0, 64 - 9) + tail;
  }
  return name;
}

void mysql_fixture::SetUp() {
  std::string why;
  if (!mysql_test_address(address_, why)) GTEST_FAIL() << why;
  db_ = database_name();
  mysql_connection admin;
  if (!admin.open(address_, "", why))
    GTEST_FAIL() << "the test server " << address_.host << ":" << address_.port << " does not answer: " << why;
  ASSERT_TRUE(admin.exec("DROP DATABASE IF EXISTS `" + db_ + "`", &why)) << why;
  ASSERT_TRUE(admin.exec("CREATE DATABASE `" + db_ + "` CHARACTER SET utf8mb4", &why)) << why;
  ASSERT_TRUE(check_.open(address_, db_, why)) << why;
}

void mysql_fixture::TearDown() {
  if (db_.empty()) return;
  mysql_connection admin;
  std::string why;
  if (admin.open(address_, "", why)) admin.exec("DROP DATABASE IF EXISTS `" + db_ + "`");
}

throwaway_mariadb::~throwaway_mariadb() { stop(); }

bool throwaway_mariadb::start(const std::string& extra_args, std::string& error) {
  char pattern[] = "/tmp/gl-db-XXXXXX";
  if (!mkdtemp(pattern)) {
    error = "mkdtemp failed";
    return false;
  }
  dir_ = pattern;
  const std::string sock = dir_ + "/s.sock";
  // A temporary directory of its own: a server starting removes the
  // temporary tables it finds in its tmpdir, those of the shared test
  // server among them, whose queries then failed.
  const std::string tmp = dir_ + "/tmp";
  std::filesystem::create_directory(tmp);
  std::string cmd = "mariadb-install-db --no-defaults --user=root --datadir=" + dir_ + "/data --tmpdir=" + tmp +
                    " --auth-root-authentication-method=socket --skip-test-db >" + dir_ + "/install.log 2>&1";
  // Under a heavy load the bootstrap has been seen to fail once: it gets a
  // second chance, and a second failure shows the end of its log.
  if (std::system(cmd.c_str()) != 0 && (std::filesystem::remove_all(dir_ + "/data"), std::system(cmd.c_str()) != 0)) {
    std::ifstream log(dir_ + "/install.log");
    std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    error = "mariadb-install-db failed: " + text.substr(text.size() > 2000 ? text.size() - 2000 : 0);
    return false;
  }
  address_.host = "127.0.0.1";
  address_.port = free_port();
  address_.user = "gridload";
  address_.password = "throwaway-pw";
  address_.socket = sock;
  cmd = "setsid mariadbd --no-defaults --user=root --datadir=" + dir_ + "/data --socket=" + sock + " --tmpdir=" + tmp +
        " --pid-file=" + dir_ + "/mysqld.pid --log-error=" + dir_ +
        "/err.log --bind-address=127.0.0.1 --port=" + std::to_string(address_.port) + " " + extra_args +
        " >/dev/null 2>&1 &";
  if (std::system(cmd.c_str()) != 0) {
    error = "mariadbd could not be started";
    return false;
  }
  const std::string root = "mariadb --no-defaults --protocol=SOCKET --socket=" + sock + " --user=root ";
  for (int i = 0; i < 120; ++i) {
    if (std::system((root + "-e 'SELECT 1' >/dev/null 2>&1").c_str()) == 0) {
      std::ifstream pid_file(dir_ + "/mysqld.pid");
      pid_file >> pid_;
      const std::string grant = root +
                                "-e \"CREATE USER 'gridload'@'%' IDENTIFIED BY 'throwaway-pw'; GRANT ALL "
                                "PRIVILEGES ON *.* TO 'gridload'@'%' WITH GRANT OPTION;\"";
      if (std::system(grant.c_str()) != 0) {
        error = "the test user could not be created";
        return false;
      }
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  error = "the throw-away server did not answer (see " + dir_ + "/err.log)";
  return false;
}

void throwaway_mariadb::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  for (int i = 0; i < 120 && ::kill(pid_, 0) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

void throwaway_mariadb::stop() {
  if (dir_.empty()) return;
  std::system(("mariadb-admin --no-defaults --protocol=SOCKET --socket=" + address_.socket +
               " --user=root shutdown >/dev/null 2>&1")
                  .c_str());
  for (int i = 0; pid_ > 0 && i < 120 && ::kill(pid_, 0) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  if (pid_ > 0 && ::kill(pid_, 0) == 0) ::kill(pid_, SIGKILL);
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
  dir_.clear();
  pid_ = 0;
}

}  // namespace testsupport
