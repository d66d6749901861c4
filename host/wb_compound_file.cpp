#include "wb_compound_file.h"

#include <cstring>

#include "wb_error_list.h"

namespace {

constexpr unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint32_t end_of_chain = 0xFFFFFFFEu;
constexpr std::uint32_t no_stream = 0xFFFFFFFFu;
constexpr std::size_t directory_entry_size = 128;
constexpr std::size_t header_difat_entries = 109;

std::uint16_t u16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t u32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint64_t u64(const unsigned char* p) { return u32(p) | (static_cast<std::uint64_t>(u32(p + 4)) << 32); }

}  // namespace

wb_compound_file::~wb_compound_file() {
  if (file_ != nullptr) std::fclose(file_);
}

bool wb_compound_file::has_signature(const unsigned char* bytes, std::size_t size) {
  return size >= sizeof signature && std::memcmp(bytes, signature, sizeof signature) == 0;
}

std::unique_ptr<wb_compound_file> wb_compound_file::open(const std::string& path, long& dao_error) {
  std::unique_ptr<wb_compound_file> cf(new wb_compound_file());
  cf->file_ = std::fopen(path.c_str(), "rb");
  if (cf->file_ == nullptr || !cf->load()) {
    dao_error = wb_dao_error::unexpected_format;
    return nullptr;
  }
  return cf;
}

bool wb_compound_file::read_sector(std::uint32_t sector, unsigned char* dest) const {
  const std::uint64_t offset = (static_cast<std::uint64_t>(sector) + 1) * sector_size_;
  if (offset + sector_size_ > file_size_) {
    // The last sector of a file may be cut short; pad it with zeros.
    if (offset >= file_size_) return false;
  }
  if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) return false;
  const std::size_t n = std::fread(dest, 1, sector_size_, file_);
  if (n == 0) return false;
  if (n < sector_size_) std::memset(dest + n, 0, sector_size_ - n);
  return true;
}

bool wb_compound_file::follow_chain(const std::vector<std::uint32_t>& table, std::uint32_t start,
                                    std::vector<std::uint32_t>& chain) const {
  chain.clear();
  std::uint32_t s = start;
  while (s != end_of_chain) {
    if (s >= table.size() || chain.size() > table.size()) return false;
    chain.push_back(s);
    s = table[s];
  }
  return true;
}

bool wb_compound_file::load() {
  if (std::fseek(file_, 0, SEEK_END) != 0) return false;
  const long end = std::ftell(file_);
  if (end < 512) return false;
  file_size_ = static_cast<std::uint64_t>(end);
  unsigned char header[512];
  if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fread(header, 1, sizeof header, file_) != sizeof header) return false;
  if (!has_signature(header, sizeof header) || u16(header + 0x1C) != 0xFFFE) return false;
  const std::uint16_t shift = u16(header + 0x1E);
  const std::uint16_t mini_shift = u16(header + 0x20);
  if ((shift != 9 && shift != 12) || mini_shift > shift) return false;
  sector_size_ = 1u << shift;
  mini_sector_size_ = 1u << mini_shift;
  mini_cutoff_ = u32(header + 0x38);
  const std::uint32_t fat_sectors = u32(header + 0x2C);
  const std::uint32_t first_dir = u32(header + 0x30);
  const std::uint32_t first_mini_fat = u32(header + 0x3C);
  std::uint32_t difat_sector = u32(header + 0x44);
  const std::uint64_t sectors_in_file = file_size_ / sector_size_ + 1;
  if (fat_sectors > sectors_in_file) return false;

  // Sector numbers of the FAT: 109 in the header, the rest in DIFAT sectors.
  std::vector<std::uint32_t> fat_locations;
  for (std::size_t i = 0; i < header_difat_entries && fat_locations.size() < fat_sectors; ++i)
    fat_locations.push_back(u32(header + 0x4C + 4 * i));
  std::vector<unsigned char> sector(sector_size_);
  const std::size_t per_sector = sector_size_ / 4;
  std::uint64_t guard = 0;
  while (fat_locations.size() < fat_sectors && difat_sector < end_of_chain - 1) {
    if (++guard > sectors_in_file || !read_sector(difat_sector, sector.data())) return false;
    for (std::size_t i = 0; i + 1 < per_sector && fat_locations.size() < fat_sectors; ++i)
      fat_locations.push_back(u32(sector.data() + 4 * i));
    difat_sector = u32(sector.data() + 4 * (per_sector - 1));
  }
  if (fat_locations.size() < fat_sectors) return false;

  fat_.clear();
  fat_.reserve(static_cast<std::size_t>(fat_sectors) * per_sector);
  for (std::uint32_t loc : fat_locations) {
    if (!read_sector(loc, sector.data())) return false;
    for (std::size_t i = 0; i < per_sector; ++i) fat_.push_back(u32(sector.data() + 4 * i));
  }

  std::vector<std::uint32_t> chain;
  if (!follow_chain(fat_, first_dir, chain) || chain.empty()) return false;
  entries_.clear();
  for (std::uint32_t s : chain) {
    if (!read_sector(s, sector.data())) return false;
    for (std::size_t off = 0; off + directory_entry_size <= sector_size_; off += directory_entry_size) {
      const unsigned char* d = sector.data() + off;
      entry e;
      const std::uint16_t name_bytes = u16(d + 0x40);
      const std::size_t name_units = name_bytes >= 2 && name_bytes <= 64 ? name_bytes / 2 - 1 : 0;
      for (std::size_t i = 0; i < name_units; ++i) e.name += static_cast<char16_t>(u16(d + 2 * i));
      e.type = static_cast<entry_type>(d[0x42]);
      e.left = u32(d + 0x44);
      e.right = u32(d + 0x48);
      e.child = u32(d + 0x4C);
      e.start_sector = u32(d + 0x74);
      e.size = u64(d + 0x78);
      if (sector_size_ == 512) e.size &= 0xFFFFFFFFu;  // version 3 files use only the low half
      entries_.push_back(std::move(e));
    }
  }
  if (entries_.empty() || entries_[0].type != entry_type::root) return false;

  mini_fat_.clear();
  if (first_mini_fat < end_of_chain - 1 && follow_chain(fat_, first_mini_fat, chain)) {
    for (std::uint32_t s : chain) {
      if (!read_sector(s, sector.data())) return false;
      for (std::size_t i = 0; i < per_sector; ++i) mini_fat_.push_back(u32(sector.data() + 4 * i));
    }
  }
  return true;
}

long wb_compound_file::find_in_root(std::u16string_view name) const {
  auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; };
  // Walk the root's children (a binary tree) without recursion, visiting
  // each entry at most once.
  std::vector<std::uint32_t> stack{entries_[0].child};
  std::vector<bool> seen(entries_.size(), false);
  while (!stack.empty()) {
    const std::uint32_t i = stack.back();
    stack.pop_back();
    if (i == no_stream || i >= entries_.size() || seen[i]) continue;
    seen[i] = true;
    const entry& e = entries_[i];
    if (e.name.size() == name.size()) {
      bool same = true;
      for (std::size_t k = 0; k < name.size() && same; ++k) same = lower(e.name[k]) == lower(name[k]);
      if (same) return static_cast<long>(i);
    }
    stack.push_back(e.left);
    stack.push_back(e.right);
  }
  return -1;
}

bool wb_compound_file::read_stream(std::size_t index, std::vector<unsigned char>& out) const {
  out.clear();
  if (index >= entries_.size()) return false;
  const entry& e = entries_[index];
  if (e.size > file_size_ * 2 + 4096) return false;
  std::vector<std::uint32_t> chain;
  std::vector<unsigned char> sector(sector_size_);
  const bool mini = e.type != entry_type::root && e.size < mini_cutoff_;
  if (!mini) {
    if (e.size == 0) return true;
    if (!follow_chain(fat_, e.start_sector, chain)) return false;
    for (std::uint32_t s : chain) {
      if (out.size() >= e.size) break;
      if (!read_sector(s, sector.data())) return false;
      out.insert(out.end(), sector.begin(), sector.end());
    }
    if (out.size() < e.size) return false;
    out.resize(static_cast<std::size_t>(e.size));
    return true;
  }
  // Small streams live in the mini stream, itself stored in the root entry's chain.
  std::vector<unsigned char> mini_stream;
  if (!read_stream(0, mini_stream) || !follow_chain(mini_fat_, e.start_sector, chain)) return false;
  for (std::uint32_t s : chain) {
    if (out.size() >= e.size) break;
    const std::size_t off = static_cast<std::size_t>(s) * mini_sector_size_;
    if (off + mini_sector_size_ > mini_stream.size()) return false;
    out.insert(out.end(), mini_stream.begin() + static_cast<long>(off),
               mini_stream.begin() + static_cast<long>(off + mini_sector_size_));
  }
  if (out.size() < e.size) return false;
  out.resize(static_cast<std::size_t>(e.size));
  return true;
}
