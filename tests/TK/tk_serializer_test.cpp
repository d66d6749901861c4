#include "tk_serializer.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <thread>
#include <tuple>

#include "test_support.h"

namespace {

// The settings a driver would keep, loaded through the serializer.
class sample_settings : public tk_serializer {
 public:
  sample_settings() : tk_serializer("Software\\Test") {}
  std::u16string char_set = u"utf8";
  uint32_t line_break = 0;
  bool new_version = true;
  bool create_db = false;

 protected:
  void serialize(bool storing) override {
    if (storing) return;
    read_string("char_set", char_set);
    read_dword("dmp_line_br", line_break);
    read_bool("dmp_new_ver", new_version);
    read_bool("dmp_ins_db", create_db);
  }
};

// Sets an environment variable (or removes it, for nullptr) until the end of the scope.
struct scoped_env {
  scoped_env(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~scoped_env() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace

TEST(TkSerializer, ReadsNamedValuesAndPassesOverBadLines) {
  testsupport::temp_dir dir;
  testsupport::write_file(dir.file("settings"),
                          "\xEF\xBB\xBF# saved by hand\n"
                          "char_set = utf8mb4\r\n"
                          "this line has no equals sign\n"
                          "dmp_line_br=1\n"
                          "dmp_new_ver=0\n"
                          "dmp_ins_db=yes\n");
  scoped_env env("GRIDLOAD_SETTINGS", dir.file("settings").c_str());
  sample_settings s;
  ASSERT_TRUE(s.load());
  // A value that is not a number leaves the setting (create_db) unchanged,
  // and is the load's problem, which the run refuses.
  EXPECT_EQ(std::tuple(s.char_set, s.line_break, s.new_version, s.create_db), std::tuple(u"utf8mb4", 1u, false, false));
  EXPECT_EQ(s.load_problem(),
            "The value of 'dmp_ins_db' in settings file '" + dir.file("settings") + "' is not a decimal number: 'yes'");
}

// A missing file, or one whose folder is a file, is an empty store; a
// folder in the file's place cannot be read, and says why (the run used to
// go on with the defaults, without a word).
TEST(TkSerializer, MissingStoreLoadsNothingAndAFolderFails) {
  testsupport::temp_dir dir;
  {
    scoped_env env("GRIDLOAD_SETTINGS", dir.file("none/settings").c_str());
    sample_settings s;
    EXPECT_TRUE(s.load());
    EXPECT_EQ(std::pair(s.char_set, s.new_version), std::pair(std::u16string(u"utf8"), true));
    EXPECT_FALSE(testsupport::file_exists(dir.file("none"))) << "loading creates nothing";
  }
  // Without the variable the store follows XDG_CONFIG_HOME.
  scoped_env unset("GRIDLOAD_SETTINGS", nullptr), xdg("XDG_CONFIG_HOME", dir.path().c_str());
  EXPECT_EQ(host_reg_key::settings_path(), dir.path() + "/gridload/settings");
  testsupport::write_file(dir.file("gridload"), "");  // a file where the folder should be
  sample_settings s;
  EXPECT_TRUE(s.load()) << "a location that cannot be a file is an empty store";
  scoped_env folder("GRIDLOAD_SETTINGS", dir.path().c_str());
  EXPECT_FALSE(s.load());
  EXPECT_EQ(s.load_error(), EISDIR);
  // A named pipe that nobody writes to holds no settings: the run waited
  // for a writer until it was killed.
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  scoped_env fifo("GRIDLOAD_SETTINGS", dir.file("fifo").c_str());
  auto loaded = std::make_shared<std::promise<bool>>();
  std::thread([loaded] { loaded->set_value(sample_settings().load()); }).detach();
  auto result = loaded->get_future();
  ASSERT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(result.get());
}
