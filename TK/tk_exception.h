#pragma once
// The failure that travels through the whole agent: a message, a 32-bit code
// that the error handler may replace with a friendlier text, and a level that
// decides what happens after the report (0 go on, 1 end the run, 2 internal
// error).

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

class tk_exception : public std::exception {
 public:
  tk_exception() : tk_exception(std::string(), 0) {}
  tk_exception(std::string message, unsigned level);
  tk_exception(const char* message, unsigned level) : tk_exception(std::string(message ? message : ""), level) {}
  // Wide text is carried in the process code page, as every console message is.
  tk_exception(std::u16string_view message, unsigned level);

  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& message() const noexcept { return message_; }
  uint32_t code() const noexcept { return code_; }
  unsigned level() const noexcept { return level_; }

 protected:
  tk_exception(std::string message, uint32_t code, unsigned level);

 private:
  std::string message_;
  uint32_t code_ = 0;
  unsigned level_ = 0;
};

// The quiet end of a conversion: the driver catches it and reports nothing.
class tk_final_exception : public tk_exception {
 public:
  tk_final_exception() : tk_exception("", 0) {}
};
