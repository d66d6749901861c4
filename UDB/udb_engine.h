#pragma once
// The database engine of a destination: creates, opens, tests and drops
// databases, and receives the property list of the run. Implemented for the
// MySQL server (which also opens dump files).
//
// Ownership: databases returned by create_db and open_db are owned by the
// caller. The property list is not owned; it must outlive its use by the
// engine.

#include <cstdint>
#include <memory>
#include <string>

class udb_database;
class udb_properties;

class udb_engine {
 public:
  udb_engine() = default;
  udb_engine(const udb_engine&) = delete;
  udb_engine& operator=(const udb_engine&) = delete;
  virtual ~udb_engine();

  virtual std::unique_ptr<udb_database> create_db(const std::u16string& name, uint32_t mode) = 0;
  virtual std::unique_ptr<udb_database> open_db(const std::u16string& name, uint32_t mode) = 0;
  virtual void db_delete(const std::u16string& name) = 0;
  virtual bool is_db_exist(const std::u16string& name) = 0;
  // Base: keeps the pointer (null clears it).
  virtual void set_properties(const udb_properties* properties);

  const udb_properties* properties() const noexcept { return properties_; }

 protected:
  const udb_properties* properties_ = nullptr;  // not owned
};
