#pragma once
// The client's side of LOAD DATA LOCAL INFILE on the run's connection: the
// only "file" the server may read is the block of rows a table writer
// hands over for its next statement. Installed on the connection when the
// local-infile option is on, it answers every request of the server, so a
// server can never make the client read a file of the machine: the name it
// asks for is ignored, and without a block the request fails.
//
// The callbacks are noexcept: the client library cannot carry exceptions.
//
// Ownership: the block's text is not owned; it must stay alive until the
// statement that reads it has returned.

#include <mysql.h>

#include <atomic>
#include <string_view>

class sql_local_infile {
 public:
  // Makes this object answer the connection's local-infile requests.
  void install(MYSQL* connection) noexcept;

  // The text the next LOAD DATA LOCAL statement reads; cleared with
  // release() after the statement.
  void offer(std::string_view block) noexcept {
    block_ = block;
    offered_ = true;
  }
  void release() noexcept {
    block_ = {};
    offered_ = false;
  }

  // False once the server (or the settings) refused local infile: the run
  // then sends its rows as INSERT statements.
  bool available() const noexcept { return available_; }
  void set_available(bool available) noexcept { available_ = available; }

 private:
  struct reader;
  static int init(void** state, const char* name, void* self) noexcept;
  static int read(void* state, char* buffer, unsigned int size) noexcept;
  static void end(void* state) noexcept;
  static int error(void* state, char* message, unsigned int size) noexcept;

  std::string_view block_;
  bool offered_ = false;
  std::atomic<bool> available_ = false;
};
