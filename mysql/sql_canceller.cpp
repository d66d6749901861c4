#include "sql_canceller.h"

#include <mysql.h>

#include <chrono>
#include <cstdlib>
#include <system_error>

#include "sql_dialect.h"
#include "sql_engine.h"
#include "tk_interrupt.h"
#include "tk_logger.h"

namespace {

constexpr auto look_every = std::chrono::milliseconds(100);
// The time the run has to stop by itself, between records.
constexpr long long grace_ms = 1000;

long long since_ms(std::chrono::steady_clock::time_point then) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - then).count();
}

}  // namespace

sql_canceller::sql_canceller(std::string host, std::string user, std::optional<std::string> password, unsigned port,
                             unsigned long connection_id)
    : host_(std::move(host)),
      user_(std::move(user)),
      password_(std::move(password)),
      port_(port),
      connection_id_(connection_id) {
  try {
    watcher_ = std::thread([this] { watch(); });
  } catch (const std::system_error& e) {
    // No thread to be had: statements end by themselves, as they did.
    TK_TRACE(3, "No thread to end a statement on a signal: %s", e.what());
  }
}

sql_canceller::~sql_canceller() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stop_.notify_all();
  if (watcher_.joinable()) watcher_.join();
}

void sql_canceller::watch() {
  std::unique_lock<std::mutex> lock(mutex_);
  std::chrono::steady_clock::time_point requested{};
  bool seen = false;
  MYSQL mysql;
  bool connected = false;
  while (!stop_.wait_for(lock, look_every, [this] { return stopping_; })) {
    if (!tk_interrupt::requested()) continue;
    if (!seen) {
      seen = true;
      requested = std::chrono::steady_clock::now();
      continue;
    }
    if (since_ms(requested) < grace_ms) continue;
    // Once a second from then on: a statement that began before the
    // request may be followed by another of the same job.
    lock.unlock();
    if (!connected) connected = connect(mysql);
    if (connected) cancel(mysql, requested);
    lock.lock();
    stop_.wait_for(lock, std::chrono::milliseconds(grace_ms), [this] { return stopping_; });
  }
  if (connected) mysql_close(&mysql);
}

bool sql_canceller::connect(MYSQL& mysql) {
  mysql_init(&mysql);
  mysql_options(&mysql, MYSQL_READ_DEFAULT_GROUP, sql_engine::read_default_group);
  unsigned timeout = sql_engine::connect_timeout_seconds;
  mysql_options(&mysql, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
  if (mysql_real_connect(&mysql, host_.empty() ? nullptr : host_.c_str(), user_.empty() ? nullptr : user_.c_str(),
                         password_ ? password_->c_str() : nullptr, nullptr, port_, nullptr, 0))
    return true;
  TK_TRACE(3, "Cannot connect to end the running statement: %s", mysql_error(&mysql));
  mysql_close(&mysql);
  return false;
}

void sql_canceller::cancel(MYSQL& mysql, std::chrono::steady_clock::time_point requested) {
  const sql_dialect dialect(static_cast<uint32_t>(mysql_get_server_version(&mysql)), sql_dialect::target::live);
  const std::string ask = dialect.running_statement(connection_id_);
  std::string kill;
  const long long waited_ms = since_ms(requested);
  if (mysql_real_query(&mysql, ask.data(), ask.size()) == 0) {
    if (MYSQL_RES* result = mysql_store_result(&mysql)) {
      // A statement that began before the request: its time reaches back
      // past it.
      if (MYSQL_ROW row = mysql_fetch_row(result); row && row[0] && row[1] && row[2] &&
                                                   std::string_view(row[0]) == "Query" &&
                                                   std::strtod(row[1], nullptr) >= static_cast<double>(waited_ms))
        kill = dialect.kill_query_id(std::strtoull(row[2], nullptr, 10));
      mysql_free_result(result);
    }
  }
  if (kill.empty()) return;
  TK_TRACE(3, "Ending the statement that runs on: %s", kill);
  if (mysql_real_query(&mysql, kill.data(), kill.size()) != 0)
    TK_TRACE(3, "Cannot end the running statement: %s", mysql_error(&mysql));
}
