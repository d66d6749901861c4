#pragma once
// Loads the user's saved settings from the per-user settings store. The store
// is only read: nothing is ever written back. A value that is missing leaves
// the caller's setting unchanged.

#include <cstdint>
#include <string>

#include "host_reg_key.h"

class tk_serializer {
 public:
  explicit tk_serializer(std::string key_path) : key_path_(std::move(key_path)) {}
  virtual ~tk_serializer() = default;

  // Opens the store and calls serialize(false). False when it cannot be read
  // (load_error() tells why).
  bool load();
  // The system's error number of a store that exists but cannot be read, or 0.
  int load_error() const { return key_.error(); }
  const std::string& store_path() const { return key_.path(); }
  // The first setting whose value is not of its kind (a number that is no
  // decimal number, text that is not UTF-8), said as the run refuses it;
  // empty when there is none. The setting keeps its default.
  const std::string& load_problem() const { return problem_; }

 protected:
  // Reads (loading) the settings of the derived class through the read_* calls.
  virtual void serialize(bool storing) = 0;

  void read_string(const char* name, std::u16string& value) const;
  void read_dword(const char* name, uint32_t& value) const;
  void read_bool(const char* name, bool& value) const;

  const std::string& key_path() const { return key_path_; }

 private:
  void refuse(const char* name, const char* kind) const;

  std::string key_path_;
  host_reg_key key_;
  mutable std::string problem_;
};
