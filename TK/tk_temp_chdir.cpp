#include "tk_temp_chdir.h"

#include <unistd.h>

#include <cerrno>

#include "tk_file_name.h"
#include "tk_logger.h"

tk_temp_chdir::tk_temp_chdir(const std::string& path) {
  TK_TRACE(2, "tk_temp_chdir::ctor");
  TK_TRACE(2, "tk_temp_chdir::initialize(%s)", path);
  TK_TRACE(1, "Step #1");
  std::string buf(256, '\0');
  for (;;) {
    if (getcwd(buf.data(), buf.size())) {
      buf.resize(std::char_traits<char>::length(buf.c_str()));
      saved_folder_ = buf;
      saved_ = true;
      break;
    }
    if (errno != ERANGE) {
      TK_TRACE(1, "_getcwd failed");
      return;
    }
    buf.resize(buf.size() * 2);
  }
  TK_TRACE(1, "Step #2");
  std::string target = path.empty() ? tk_file_name(std::string()).folder() : path;
  ok_ = chdir(target.c_str()) == 0;
  if (!ok_) TK_TRACE(1, "_chdir failed");
}

tk_temp_chdir::~tk_temp_chdir() {
  TK_TRACE(2, "tk_temp_chdir::dtor");
  if (ok_ && saved_) {
    if (chdir(saved_folder_.c_str()) != 0) {
      // Nothing sensible to do: the saved folder vanished meanwhile.
    }
  }
  TK_TRACE(2, "tk_temp_chdir::dtor - at the END");
}
