#include "wb_cfb_stream.h"

#include <algorithm>
#include <cstring>

wb_cfb_stream::wb_cfb_stream(std::shared_ptr<const wb_cfb_storage> storage,
                             std::shared_ptr<const std::vector<std::uint32_t>> chain, std::uint32_t sector_size,
                             std::uint64_t size)
    : storage_(std::move(storage)), chain_(std::move(chain)), sector_size_(sector_size), size_(size) {
  window_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(window_bytes, size_)));
  base_ = window_.data();
}

wb_cfb_stream::wb_cfb_stream(std::shared_ptr<const std::vector<unsigned char>> bytes)
    : whole_(std::move(bytes)), size_(whole_->size()) {
  base_ = whole_->data();
  end_ = whole_->size();
}

wb_cfb_stream::wb_cfb_stream(std::shared_ptr<const wb_cfb_storage> storage)
    : storage_(std::move(storage)), size_(storage_->size()) {
  window_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(window_bytes, size_)));
  base_ = window_.data();
}

std::unique_ptr<wb_cfb_stream> wb_cfb_stream::clone() const {
  if (whole_) return std::make_unique<wb_cfb_stream>(whole_);
  if (!chain_) return std::make_unique<wb_cfb_stream>(storage_);
  return std::make_unique<wb_cfb_stream>(storage_, chain_, sector_size_, size_);
}

bool wb_cfb_stream::seek(std::uint64_t offset) {
  if (offset > size_) return false;
  if (offset >= window_pos_ && offset <= window_pos_ + end_) {
    begin_ = static_cast<std::size_t>(offset - window_pos_);
    return true;
  }
  // Outside the window: start an empty window there.
  window_pos_ = offset;
  begin_ = end_ = 0;
  return true;
}

std::size_t wb_cfb_stream::refill(std::size_t n) {
  if (whole_ || failed_) return end_ - begin_;
  // Keep the unread bytes, then fill the rest of the window.
  const std::size_t kept = end_ - begin_;
  if (kept != 0 && begin_ != 0) std::memmove(window_.data(), window_.data() + begin_, kept);
  window_pos_ += begin_;
  begin_ = 0;
  end_ = kept;
  const std::uint64_t next = window_pos_ + end_;
  const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(window_.size() - end_, size_ - next));
  if (want != 0) {
    const std::size_t got = read_chain(next, window_.data() + end_, want);
    end_ += got;
    if (got != want) failed_ = true;
  }
  (void)n;
  return end_;
}

std::size_t wb_cfb_stream::read_chain(std::uint64_t offset, unsigned char* dest, std::size_t count) {
  if (!chain_) return storage_->read_at(offset, dest, count);
  const std::vector<std::uint32_t>& chain = *chain_;
  std::size_t done = 0;
  while (done < count) {
    const std::uint64_t pos = offset + done;
    std::size_t index = static_cast<std::size_t>(pos / sector_size_);
    const std::uint32_t within = static_cast<std::uint32_t>(pos % sector_size_);
    if (index >= chain.size()) break;
    // Extend the run over sectors that follow each other in the file.
    const std::uint32_t first = chain[index];
    std::size_t run_bytes = sector_size_ - within;
    while (run_bytes < count - done && index + 1 < chain.size() && chain[index + 1] == chain[index] + 1) {
      ++index;
      run_bytes += sector_size_;
    }
    const std::size_t take = std::min(run_bytes, count - done);
    const std::uint64_t file_offset = (static_cast<std::uint64_t>(first) + 1) * sector_size_ + within;
    const std::size_t got = storage_->read_at(file_offset, dest + done, take);
    done += got;
    if (got != take) break;
  }
  return done;
}
