#include "wb_zip_archive.h"

#include <fcntl.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>

#include "wb_error_list.h"
#include "wb_zip_ahead_reader.h"

namespace {

class zip_entry_reader final : public wb_byte_reader {
 public:
  zip_entry_reader(zip_t* archive, zip_uint64_t index, zip_file_t* file)
      : archive_(archive), index_(index), file_(file) {}
  ~zip_entry_reader() override { close(); }

  long read(void* buffer, std::size_t size) override {
    if (file_ == nullptr) return -1;
    const zip_int64_t n = zip_fread(file_, buffer, size);
    if (n < 0) {
      error_ = wb_dao_error::unexpected_format;
      return -1;
    }
    return static_cast<long>(n);
  }

  // Compressed entries cannot seek, so rewinding reopens the entry.
  bool rewind() override {
    close();
    file_ = zip_fopen_index(archive_, index_, 0);
    if (file_ == nullptr) {
      error_ = wb_dao_error::unexpected_format;
      return false;
    }
    error_ = 0;
    return true;
  }

  long error() const override { return error_; }

 private:
  void close() {
    if (file_ != nullptr) zip_fclose(file_);
    file_ = nullptr;
  }
  zip_t* archive_;
  zip_uint64_t index_;
  zip_file_t* file_;
  long error_ = 0;
};

// A descriptor of its own (its own file position) on the file `fd` reads:
// the same file even when its path names another one by now.
int own_descriptor(int fd, const std::string& path) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  const int own = ::open(self.c_str(), O_RDONLY | O_CLOEXEC);
  return own >= 0 ? own : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

// An archive read through `fd`, which it takes (closed with the archive or
// here on failure).
zip_t* open_descriptor(int fd) {
  if (fd < 0) return nullptr;
  FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) {
    ::close(fd);
    return nullptr;
  }
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* src = zip_source_filep_create(file, 0, -1, &error);
  zip_t* z = src ? zip_open_from_source(src, ZIP_RDONLY, &error) : nullptr;
  zip_error_fini(&error);
  if (z == nullptr) {
    if (src)
      zip_source_free(src);
    else
      std::fclose(file);
  }
  return z;
}

// An archive read from `bytes`, which must outlive it.
zip_t* open_bytes(std::string_view bytes) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* z = src ? zip_open_from_source(src, ZIP_RDONLY, &error) : nullptr;
  zip_error_fini(&error);
  if (z == nullptr && src) zip_source_free(src);
  return z;
}

}  // namespace

wb_zip_archive::~wb_zip_archive() {
  if (archive_ != nullptr) zip_discard(archive_);
  if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<wb_zip_archive> wb_zip_archive::open(const std::string& path, long& dao_error) {
  // Every handle on the package reads the file opened here.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  zip_t* z = fd >= 0 ? open_descriptor(own_descriptor(fd, path)) : nullptr;
  if (z == nullptr) {
    if (fd >= 0) ::close(fd);
    dao_error = wb_dao_error::unexpected_format;
    return nullptr;
  }
  return std::unique_ptr<wb_zip_archive>(new wb_zip_archive(z, fd, path, {}));
}

std::unique_ptr<wb_zip_archive> wb_zip_archive::open_memory(std::string_view bytes, long& dao_error) {
  zip_t* z = open_bytes(bytes);
  if (z == nullptr) {
    dao_error = wb_dao_error::unexpected_format;
    return nullptr;
  }
  return std::unique_ptr<wb_zip_archive>(new wb_zip_archive(z, -1, {}, bytes));
}

zip_t* wb_zip_archive::reopen() const {
  return fd_ >= 0 ? open_descriptor(own_descriptor(fd_, path_)) : open_bytes(memory_);
}

std::int64_t wb_zip_archive::find(std::string_view part_name) const {
  while (!part_name.empty() && part_name.front() == '/') part_name.remove_prefix(1);
  const std::string name(part_name);
  return zip_name_locate(archive_, name.c_str(), ZIP_FL_NOCASE);
}

std::unique_ptr<wb_byte_reader> wb_zip_archive::open_entry(std::int64_t index, long& dao_error) {
  if (index < 0) {
    dao_error = wb_dao_error::unexpected_format;
    return nullptr;
  }
  zip_file_t* f = zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), 0);
  if (f == nullptr) {
    const int ze = zip_error_code_zip(zip_get_error(archive_));
    dao_error = (ze == ZIP_ER_NOPASSWD || ze == ZIP_ER_WRONGPASSWD || ze == ZIP_ER_ENCRNOTSUPP)
                    ? wb_dao_error::cannot_decrypt
                    : wb_dao_error::unexpected_format;
    return nullptr;
  }
  zip_stat_t stat;
  if (zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE) &&
      stat.size >= ahead_bytes) {
    // A large entry is inflated by a thread on a handle of its own; when
    // that cannot be had, it is read here as a small one is.
    if (zip_t* own = reopen()) {
      if (auto ahead = wb_zip_ahead_reader::open(own, static_cast<zip_uint64_t>(index))) {
        zip_fclose(f);
        return ahead;
      }
    }
  }
  return std::make_unique<zip_entry_reader>(archive_, static_cast<zip_uint64_t>(index), f);
}
