#include "wb_cfb_storage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

class file_storage final : public wb_cfb_storage {
 public:
  file_storage(int fd, const struct stat& st) : fd_(fd), opened_(st.st_mtim) {
    size_ = static_cast<std::uint64_t>(st.st_size);
  }
  ~file_storage() override { ::close(fd_); }
  file_storage(const file_storage&) = delete;
  file_storage& operator=(const file_storage&) = delete;

  std::size_t read_at(std::uint64_t offset, void* dest, std::size_t count) const override {
    std::size_t done = 0;
    auto* out = static_cast<unsigned char*>(dest);
    while (done < count) {
      const ssize_t n = ::pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    return done;
  }

  bool unchanged() const override {
    struct stat st {};
    return ::fstat(fd_, &st) != 0 || (static_cast<std::uint64_t>(st.st_size) == size_ &&
                                      st.st_mtim.tv_sec == opened_.tv_sec && st.st_mtim.tv_nsec == opened_.tv_nsec);
  }

 private:
  int fd_;
  timespec opened_;
};

class memory_storage final : public wb_cfb_storage {
 public:
  explicit memory_storage(std::string_view bytes) : bytes_(bytes) { size_ = bytes.size(); }

  std::size_t read_at(std::uint64_t offset, void* dest, std::size_t count) const override {
    if (count == 0 || offset >= bytes_.size()) return 0;
    const std::size_t n = std::min<std::uint64_t>(count, bytes_.size() - offset);
    std::memcpy(dest, bytes_.data() + offset, n);
    return n;
  }

 private:
  std::string_view bytes_;
};

}  // namespace

std::shared_ptr<wb_cfb_storage> wb_cfb_storage::open_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  return std::make_shared<file_storage>(fd, st);
}

std::shared_ptr<wb_cfb_storage> wb_cfb_storage::from_memory(std::string_view bytes) {
  return std::make_shared<memory_storage>(bytes);
}
