// Credentials kept off the command line, end to end with the real binary:
// the password from GRIDLOAD_PASSWORD, the account and host from the client
// option file of a temporary HOME, the order in which they win, and a TLS
// connection set up in the option file against a throw-away server whose
// certificates the test makes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "mysql_test_server.h"
#include "test_support.h"

using testsupport::run_result;
using testsupport::write_file;

namespace {

const std::string k_access_denied =
    "Error:\nAccess denied. Verify the user name and password are correct, and you have the necessary privileges to "
    "connect to the target MySQL server.\n";

class Credentials : public testsupport::mysql_fixture {
 protected:
  void SetUp() override {
    mysql_fixture::SetUp();
    write_file(dir_.file("p.csv"), "a\n1\n");
  }

  // A CSV run into table `table` of the test's database on the server at
  // `port` (0: no --port), with `args` added; HOME is a folder of its own holding
  // `my_cnf` as .my.cnf (none when empty), GRIDLOAD_PASSWORD is `password`
  // (empty: not set).
  run_result convert(const std::string& table, unsigned port, const std::vector<std::string>& args,
                     const std::string& my_cnf, const std::string& password) {
    const std::string home = dir_.file("home-" + table);
    std::filesystem::create_directory(home);
    if (!my_cnf.empty()) write_file(home + "/.my.cnf", my_cnf);
    std::vector<std::string> all{"--from_csv", "--src=p.csv",         "--csv_delim=2",
                                 "--extr_fn",  "--tab_name=" + table, "--dest=" + db_};
    if (port != 0) all.push_back("--port=" + std::to_string(port));
    all.insert(all.end(), args.begin(), args.end());
    return testsupport::run_gridload(all, dir_.path(), {{"HOME", home}, {"GRIDLOAD_PASSWORD", password}});
  }

  // Whether the test's database on the server of `c` holds `table`.
  bool has_table(testsupport::mysql_connection& c, const std::string& table) {
    return c.scalar("SELECT COUNT(*) FROM information_schema.tables WHERE table_schema = '" + db_ +
                    "' AND table_name = '" + table + "'") == "1";
  }
  // Runs `openssl <command>` in `folder`; false when it fails.
  static bool openssl(const std::string& folder, const std::string& command) {
    return std::system(("cd " + folder + " && openssl " + command + " >/dev/null 2>&1").c_str()) == 0;
  }

  testsupport::temp_dir dir_;
};

}  // namespace

// Each way of giving the account, and which one wins: --pswd over
// GRIDLOAD_PASSWORD over the option file; an empty --pswd= is the empty
// password, not a missing one; the command line's user over the file's.
TEST_F(Credentials, ThePasswordComesFromTheCommandLineTheEnvironmentOrTheOptionFile) {
  const std::string good = address_.password, host = "--host=" + address_.host, user = "--user=" + address_.user;
  auto client = [&](const std::string& group, const std::string& u, const std::string& password) {
    return "[" + group + "]\nhost=" + address_.host + "\nport=" + std::to_string(address_.port) + "\nuser=" + u +
           "\npassword=" + password + "\n";
  };
  write_file(dir_.file("no_password.profile"), "[MySQL settings]\nhost=" + address_.host + "\nuser=" + address_.user +
                                                   "\nport=" + std::to_string(address_.port) + "\n");
  const struct {
    const char* what;
    std::vector<std::string> args;
    std::string my_cnf, environment;
    bool connects;
  } rows[] = {
      {"GRIDLOAD_PASSWORD without --pswd", {host, user}, "", good, true},
      {"a wrong GRIDLOAD_PASSWORD", {host, user}, "", "wrong", false},
      {"--pswd wins over GRIDLOAD_PASSWORD", {host, user, "--pswd=" + good}, "", "wrong", true},
      {"an empty --pswd= is sent as the empty password",
       {host, user, "--pswd="},
       client("client", address_.user, good),
       good,
       false},
      {"host, port, user and password from [client]", {}, client("client", address_.user, good), "", true},
      {"the agent's own group", {}, client("HM MySQL Lib", address_.user, good), "", true},
      {"a wrong password in the option file", {}, client("client", address_.user, "wrong"), "", false},
      {"GRIDLOAD_PASSWORD wins over the option file", {}, client("client", address_.user, "wrong"), good, true},
      {"--user wins over the option file", {user}, client("client", "gl_nobody", good), "", true},
      {"a profile without a password", {"--profile=no_password.profile"}, "", good, true},
  };
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    std::string table = "t";
    table += std::to_string(n++);
    // A run given nothing on its command line takes the port from the file.
    const run_result r = convert(table, row.args.empty() && !row.my_cnf.empty() ? 0 : address_.port, row.args,
                                 row.my_cnf, row.environment);
    EXPECT_EQ(std::tuple(r.status, r.out, r.err),
              std::tuple(row.connects ? 0 : 255, row.connects ? "Converting CSV file p.csv\n" : k_access_denied, ""));
    EXPECT_EQ(has_table(check_, table), row.connects);
  }
}

// A server that speaks TLS and an account that may only connect over it:
// the option file's CA and ssl-verify-server-cert give a verified session;
// a CA that did not sign the server's certificate is refused before the
// account is tried; no TLS setting at all is refused by the account.
TEST_F(Credentials, TlsIsSetUpInTheOptionFile) {
  const std::string certs = dir_.file("certs");
  std::filesystem::create_directory(certs);
  write_file(certs + "/san.cnf", "subjectAltName=IP:127.0.0.1\n");
  for (const std::string ca : {"ca", "other"})
    ASSERT_TRUE(openssl(certs, "req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=gridload-test-" + ca + " -keyout " +
                                   ca + ".key -out " + ca + ".pem"));
  ASSERT_TRUE(openssl(certs, "req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout server.key -out server.csr"));
  ASSERT_TRUE(openssl(
      certs,
      "x509 -req -days 2 -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -extfile san.cnf -out server.pem"));

  testsupport::throwaway_mariadb server;
  std::string why;
  ASSERT_TRUE(server.start(
      "--ssl-ca=" + certs + "/ca.pem --ssl-cert=" + certs + "/server.pem --ssl-key=" + certs + "/server.key", why))
      << why;
  testsupport::mysql_connection admin;
  ASSERT_TRUE(admin.open(server.address(), "", why)) << why;
  ASSERT_TRUE(admin.exec("CREATE DATABASE `" + db_ + "`", &why)) << why;
  ASSERT_TRUE(admin.exec("CREATE USER 'gl_tls'@'%' IDENTIFIED BY 'tls-pw' REQUIRE SSL", &why)) << why;
  ASSERT_TRUE(admin.exec("GRANT ALL PRIVILEGES ON `" + db_ + "`.* TO 'gl_tls'@'%'", &why)) << why;

  const std::string account = "[client]\nhost=127.0.0.1\nuser=gl_tls\npassword=tls-pw\n";
  const struct {
    const char* what;
    std::string tls;
    std::string out;  // the start of the standard output
    bool connects;
  } rows[] = {
      {"the server's CA, verified", "ssl-ca=" + certs + "/ca.pem\nssl-verify-server-cert\n",
       "Converting CSV file p.csv\n", true},
      {"another CA", "ssl-ca=" + certs + "/other.pem\nssl-verify-server-cert\n", "Error:\nTLS/SSL error: ", false},
      {"no TLS", "", k_access_denied, false},
  };
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    std::string table = "t";
    table += std::to_string(n++);
    const run_result r = convert(table, server.address().port, {}, account + row.tls, "");
    EXPECT_EQ(std::tuple(r.status, r.out.substr(0, row.out.size()), r.err),
              std::tuple(row.connects ? 0 : 255, row.out, ""))
        << r.out;
    EXPECT_EQ(has_table(admin, table), row.connects);
  }
}
