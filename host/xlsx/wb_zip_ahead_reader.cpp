#include "wb_zip_ahead_reader.h"

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <system_error>
#include <utility>

#include "wb_error_list.h"

std::unique_ptr<wb_zip_ahead_reader> wb_zip_ahead_reader::open(zip_t* archive, std::uint64_t index) {
  zip_file_t* file = zip_fopen_index(archive, index, 0);
  if (file == nullptr) {
    zip_discard(archive);
    return nullptr;
  }
  std::unique_ptr<wb_zip_ahead_reader> reader(new wb_zip_ahead_reader(archive, index, file));
  reader->start();
  return reader;
}

wb_zip_ahead_reader::wb_zip_ahead_reader(zip_t* archive, std::uint64_t index, zip_file_t* file)
    : archive_(archive), index_(index), file_(file) {}

wb_zip_ahead_reader::~wb_zip_ahead_reader() {
  stop();
  if (file_ != nullptr) zip_fclose(file_);
  zip_discard(archive_);
}

void wb_zip_ahead_reader::start() {
  ended_ = failed_ = stopping_ = false;
  error_thrown_ = nullptr;
  if (alone_) return;
  try {
    thread_ = std::thread(&wb_zip_ahead_reader::inflate, this);
  } catch (const std::system_error&) {
    // No thread to be had: the caller inflates the entry itself.
    alone_ = true;
  }
}

void wb_zip_ahead_reader::stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void wb_zip_ahead_reader::inflate() {
  for (;;) {
    std::vector<char> block;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || full_.size() < max_blocks; });
      if (stopping_) return;
      if (!spare_.empty()) {
        block = std::move(spare_.back());
        spare_.pop_back();
      }
    }
    zip_int64_t n = -1;
    std::exception_ptr error;
    try {
      block.resize(block_size);
      n = zip_fread(file_, block.data(), block_size);
    } catch (...) {
      error = std::current_exception();  // no memory for the block
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (error || n <= 0) {
      error_thrown_ = error;
      failed_ = n < 0;
      ended_ = true;
      changed_.notify_all();
      return;
    }
    block.resize(static_cast<std::size_t>(n));
    full_.push_back(std::move(block));
    changed_.notify_all();
  }
}

long wb_zip_ahead_reader::read(void* buffer, std::size_t size) {
  if (alone_) {
    const zip_int64_t n = file_ ? zip_fread(file_, buffer, size) : -1;
    if (n >= 0) return static_cast<long>(n);
    error_ = wb_dao_error::unexpected_format;
    return -1;
  }
  if (taken_ == current_.size()) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!current_.empty()) spare_.push_back(std::move(current_));
    current_.clear();
    taken_ = 0;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !full_.empty() || ended_; });
    if (full_.empty()) {
      if (error_thrown_) std::rethrow_exception(std::exchange(error_thrown_, nullptr));
      if (!failed_) return 0;
      error_ = wb_dao_error::unexpected_format;
      return -1;
    }
    current_ = std::move(full_.front());
    full_.pop_front();
  }
  const std::size_t n = std::min(size, current_.size() - taken_);
  std::memcpy(buffer, current_.data() + taken_, n);
  taken_ += n;
  return static_cast<long>(n);
}

bool wb_zip_ahead_reader::rewind() {
  stop();
  full_.clear();
  current_.clear();
  taken_ = 0;
  if (file_ != nullptr) zip_fclose(file_);
  file_ = zip_fopen_index(archive_, index_, 0);
  if (file_ == nullptr) {
    error_ = wb_dao_error::unexpected_format;
    return false;
  }
  error_ = 0;
  start();
  return true;
}
