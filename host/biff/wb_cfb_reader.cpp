#include "wb_cfb_reader.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint32_t max_regular_sector = 0xFFFFFFFAu;  // higher values are marks
constexpr std::uint32_t end_of_chain = 0xFFFFFFFEu;
constexpr std::uint32_t no_entry = 0xFFFFFFFFu;
constexpr std::size_t header_bytes = 512;
constexpr std::size_t directory_entry_bytes = 128;
constexpr std::size_t header_difat_entries = 109;

std::uint16_t u16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t u32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint64_t u64(const unsigned char* p) { return u32(p) | (static_cast<std::uint64_t>(u32(p + 4)) << 32); }

char16_t ascii_upper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool same_name(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (ascii_upper(a[i]) != ascii_upper(b[i])) return false;
  return true;
}

std::uint64_t ceil_div(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

}  // namespace

bool wb_cfb_reader::has_signature(const unsigned char* bytes, std::size_t size) {
  return size >= sizeof signature && std::memcmp(bytes, signature, sizeof signature) == 0;
}

std::unique_ptr<wb_cfb_reader> wb_cfb_reader::open(std::shared_ptr<const wb_cfb_storage> storage) {
  if (!storage) return nullptr;
  std::unique_ptr<wb_cfb_reader> reader(new wb_cfb_reader(std::move(storage)));
  if (!reader->load()) return nullptr;
  return reader;
}

bool wb_cfb_reader::read_sector(std::uint32_t sector, unsigned char* dest) const {
  if (sector >= sector_count_) return false;
  const std::uint64_t offset = (static_cast<std::uint64_t>(sector) + 1) * sector_size_;
  // Table and directory sectors are always written whole; a short one means
  // a truncated file (only a stream's last sector may be short).
  return storage_->read_at(offset, dest, sector_size_) == sector_size_;
}

bool wb_cfb_reader::follow(const std::vector<std::uint32_t>& table, std::uint32_t start, std::uint64_t needed,
                           std::uint64_t limit, std::vector<std::uint32_t>& chain) {
  chain.clear();
  const std::uint64_t bound = std::min<std::uint64_t>(limit, table.size());
  if (needed > bound) return false;
  std::vector<bool> seen(static_cast<std::size_t>(bound), false);
  std::uint32_t s = start;
  while (needed == 0 ? s != end_of_chain : chain.size() < needed) {
    if (s > max_regular_sector || s >= bound || seen[s]) return false;
    seen[s] = true;
    chain.push_back(s);
    s = table[s];
  }
  return true;
}

bool wb_cfb_reader::regular_chain(std::uint32_t start, std::uint64_t size, std::vector<std::uint32_t>& chain) const {
  const std::uint64_t needed = ceil_div(size, sector_size_);
  if (needed == 0) {
    chain.clear();
    return true;
  }
  if (!follow(fat_, start, needed, sector_count_, chain)) return false;
  // Every byte of the stream must be in the file; only its last sector may
  // be cut short, and only past the stream's end.
  const std::uint64_t file_size = storage_->size();
  for (std::size_t i = 0; i < chain.size(); ++i) {
    const std::uint64_t bytes = i + 1 < chain.size() ? sector_size_ : size - i * std::uint64_t{sector_size_};
    if ((static_cast<std::uint64_t>(chain[i]) + 1) * sector_size_ + bytes > file_size) return false;
  }
  return true;
}

bool wb_cfb_reader::load() {
  const std::uint64_t file_size = storage_->size();
  unsigned char header[header_bytes];
  if (file_size < header_bytes || storage_->read_at(0, header, header_bytes) != header_bytes) return false;
  if (!has_signature(header, header_bytes) || u16(header + 0x1C) != 0xFFFE) return false;
  const std::uint16_t shift = u16(header + 0x1E);
  const std::uint16_t mini_shift = u16(header + 0x20);
  if ((shift != 9 && shift != 12) || mini_shift == 0 || mini_shift >= shift) return false;
  sector_size_ = 1u << shift;
  mini_sector_size_ = 1u << mini_shift;
  mini_cutoff_ = u32(header + 0x38);
  if (file_size <= sector_size_) return false;
  // The header fills sector -1; a short last sector still counts.
  sector_count_ = ceil_div(file_size - sector_size_, sector_size_);

  const std::uint32_t fat_sectors = u32(header + 0x2C);
  const std::uint32_t first_directory = u32(header + 0x30);
  const std::uint32_t first_mini_fat = u32(header + 0x3C);
  std::uint32_t difat_sector = u32(header + 0x44);
  if (fat_sectors == 0 || fat_sectors > sector_count_) return false;

  // Where the FAT lives: 109 sector numbers in the header, the rest in a
  // chain of DIFAT sectors whose last entry links to the next one.
  std::vector<std::uint32_t> fat_locations;
  fat_locations.reserve(fat_sectors);
  for (std::size_t i = 0; i < header_difat_entries && fat_locations.size() < fat_sectors; ++i)
    fat_locations.push_back(u32(header + 0x4C + 4 * i));
  std::vector<unsigned char> sector(sector_size_);
  const std::size_t per_sector = sector_size_ / 4;
  std::vector<bool> difat_seen;
  while (fat_locations.size() < fat_sectors) {
    if (difat_seen.empty()) difat_seen.assign(static_cast<std::size_t>(sector_count_), false);
    if (difat_sector >= sector_count_ || difat_seen[difat_sector] || !read_sector(difat_sector, sector.data()))
      return false;
    difat_seen[difat_sector] = true;
    for (std::size_t i = 0; i + 1 < per_sector && fat_locations.size() < fat_sectors; ++i)
      fat_locations.push_back(u32(sector.data() + 4 * i));
    difat_sector = u32(sector.data() + 4 * (per_sector - 1));
  }

  fat_.clear();
  fat_.reserve(fat_locations.size() * per_sector);
  for (std::uint32_t location : fat_locations) {
    if (!read_sector(location, sector.data())) return false;
    for (std::size_t i = 0; i < per_sector; ++i) fat_.push_back(u32(sector.data() + 4 * i));
  }
  // Links to sectors the file does not hold are useless; follow() rejects them.
  if (fat_.size() > sector_count_) fat_.resize(static_cast<std::size_t>(sector_count_));

  std::vector<std::uint32_t> chain;
  if (!follow(fat_, first_directory, 0, sector_count_, chain) || chain.empty()) return false;
  entries_.clear();
  entries_.reserve(chain.size() * (sector_size_ / directory_entry_bytes));
  for (std::uint32_t s : chain) {
    if (!read_sector(s, sector.data())) return false;
    for (std::size_t off = 0; off + directory_entry_bytes <= sector_size_; off += directory_entry_bytes) {
      const unsigned char* d = sector.data() + off;
      entry e;
      // The name length counts bytes with the terminating zero.
      const std::uint16_t name_bytes = u16(d + 0x40);
      const std::size_t units = name_bytes >= 2 && name_bytes <= 64 ? name_bytes / 2 - 1 : 0;
      e.name.resize(units);
      for (std::size_t i = 0; i < units; ++i) e.name[i] = static_cast<char16_t>(u16(d + 2 * i));
      const unsigned char type = d[0x42];
      e.type = type == 1 || type == 2 || type == 5 ? static_cast<entry_type>(type) : entry_type::empty;
      e.left = u32(d + 0x44);
      e.right = u32(d + 0x48);
      e.child = u32(d + 0x4C);
      e.start_sector = u32(d + 0x74);
      e.size = u64(d + 0x78);
      if (sector_size_ == 512) e.size &= 0xFFFFFFFFu;  // version 3 files use only the low half
      entries_.push_back(std::move(e));
    }
  }
  if (entries_[0].type != entry_type::root) return false;

  mini_fat_.clear();
  if (first_mini_fat != end_of_chain && first_mini_fat != no_entry) {
    if (!follow(fat_, first_mini_fat, 0, sector_count_, chain)) return false;
    mini_fat_.reserve(chain.size() * per_sector);
    for (std::uint32_t s : chain) {
      if (!read_sector(s, sector.data())) return false;
      for (std::size_t i = 0; i < per_sector; ++i) mini_fat_.push_back(u32(sector.data() + 4 * i));
    }
  }
  return true;
}

long wb_cfb_reader::find_stream(std::u16string_view name) const {
  // The root's children form a binary tree; walk it without recursion and
  // visit each entry once, so a malformed tree cannot loop.
  std::vector<std::uint32_t> pending{entries_[0].child};
  std::vector<bool> seen(entries_.size(), false);
  while (!pending.empty()) {
    const std::uint32_t i = pending.back();
    pending.pop_back();
    if (i >= entries_.size() || seen[i]) continue;
    seen[i] = true;
    const entry& e = entries_[i];
    if (e.type == entry_type::stream && same_name(e.name, name)) return static_cast<long>(i);
    pending.push_back(e.left);
    pending.push_back(e.right);
  }
  return -1;
}

bool wb_cfb_reader::is_encrypted_package() const {
  return find_stream(u"EncryptionInfo") >= 0 && find_stream(u"EncryptedPackage") >= 0;
}

bool wb_cfb_reader::read_mini_stream(const entry& e, std::vector<unsigned char>& out) const {
  // Small streams live in mini sectors inside the root entry's stream.
  out.clear();
  if (e.size == 0) return true;
  const entry& root = entries_[0];
  std::vector<std::uint32_t> root_chain;
  if (!regular_chain(root.start_sector, root.size, root_chain)) return false;
  std::vector<std::uint32_t> chain;
  const std::uint64_t needed = ceil_div(e.size, mini_sector_size_);
  if (!follow(mini_fat_, e.start_sector, needed, ceil_div(root.size, mini_sector_size_), chain)) return false;
  out.resize(static_cast<std::size_t>(e.size));
  for (std::size_t i = 0; i < chain.size(); ++i) {
    const std::uint64_t pos = static_cast<std::uint64_t>(chain[i]) * mini_sector_size_;
    const std::size_t bytes =
        static_cast<std::size_t>(std::min<std::uint64_t>(mini_sector_size_, e.size - i * mini_sector_size_));
    if (pos + bytes > root.size) return false;
    // A mini sector never straddles two regular sectors: both sizes are powers of two.
    const std::uint32_t sector = root_chain[static_cast<std::size_t>(pos / sector_size_)];
    const std::uint64_t file_offset = (static_cast<std::uint64_t>(sector) + 1) * sector_size_ + pos % sector_size_;
    if (storage_->read_at(file_offset, out.data() + i * mini_sector_size_, bytes) != bytes) return false;
  }
  return true;
}

std::unique_ptr<wb_cfb_stream> wb_cfb_reader::open_stream(std::size_t index) const {
  if (index >= entries_.size()) return nullptr;
  const entry& e = entries_[index];
  if (e.type != entry_type::stream) return nullptr;
  if (e.size < mini_cutoff_) {
    auto bytes = std::make_shared<std::vector<unsigned char>>();
    if (e.size > entries_[0].size || !read_mini_stream(e, *bytes)) return nullptr;
    return std::make_unique<wb_cfb_stream>(std::move(bytes));
  }
  auto chain = std::make_shared<std::vector<std::uint32_t>>();
  if (e.size > storage_->size() || !regular_chain(e.start_sector, e.size, *chain)) return nullptr;
  return std::make_unique<wb_cfb_stream>(storage_, std::move(chain), sector_size_, e.size);
}
