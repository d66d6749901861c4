#include "sql_local_infile.h"

#include <algorithm>
#include <cstring>
#include <new>

// The state of one request: where the block is read.
struct sql_local_infile::reader {
  std::string_view rest;
  bool refused;
};

void sql_local_infile::install(MYSQL* connection) noexcept {
  mysql_set_local_infile_handler(connection, &init, &read, &end, &error, this);
}

int sql_local_infile::init(void** state, const char* /*name*/, void* self) noexcept {
  auto* feed = static_cast<sql_local_infile*>(self);
  // The block is handed over once: a second request in the same statement
  // (or one the writer did not ask for) reads nothing.
  auto* r = new (std::nothrow) reader{feed->block_, !feed->offered_};
  *state = r;
  feed->offered_ = false;
  return r == nullptr || r->refused ? 1 : 0;
}

int sql_local_infile::read(void* state, char* buffer, unsigned int size) noexcept {
  auto* r = static_cast<reader*>(state);
  const size_t n = std::min<size_t>(size, r->rest.size());
  std::memcpy(buffer, r->rest.data(), n);
  r->rest.remove_prefix(n);
  return static_cast<int>(n);
}

void sql_local_infile::end(void* state) noexcept { delete static_cast<reader*>(state); }

int sql_local_infile::error(void* /*state*/, char* message, unsigned int size) noexcept {
  static constexpr char text[] = "The client sends only the rows it is loading";
  if (size > 0) {
    const size_t n = std::min<size_t>(size - 1, sizeof text - 1);
    std::memcpy(message, text, n);
    message[n] = '\0';
  }
  // CR_UNKNOWN_ERROR: the server is told that the client refused.
  return 2000;
}
