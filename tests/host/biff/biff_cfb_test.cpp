// The compound-file reader: streams in regular and mini sectors, the DIFAT,
// and files whose chains are damaged or cut short. Encrypted packages are
// told apart in biff_workbook_test.cpp.
#include <gtest/gtest.h>

#include <tuple>

#include "biff_test_writer.h"
#include "wb_cfb_reader.h"

using biff_test::compound_file;

namespace {

// Deterministic bytes that differ from sector to sector.
std::string pattern(std::size_t size, unsigned seed) {
  std::string s(size, '\0');
  std::uint32_t x = seed;
  for (char& c : s) {
    x = x * 1664525u + 1013904223u;
    c = static_cast<char>(x >> 24);
  }
  return s;
}

// The whole stream read through the window, in steps of `step` bytes.
std::string read_all(wb_cfb_stream& stream, std::size_t step) {
  std::string out;
  for (;;) {
    const std::size_t have = stream.require(step);
    if (have == 0) break;
    const std::size_t n = std::min(have, step);
    out.append(reinterpret_cast<const char*>(stream.data()), n);
    stream.advance(n);
  }
  EXPECT_FALSE(stream.failed());
  return out;
}

std::unique_ptr<wb_cfb_reader> open_bytes(const std::string& file) {
  return wb_cfb_reader::open(wb_cfb_storage::from_memory(file));
}

// The stream `name` of `file`, or nullptr when the reader refuses the file or
// the stream. The stream reads `file` in place: it must outlive the stream.
std::unique_ptr<wb_cfb_stream> open_named(const std::string& file, std::u16string_view name) {
  auto reader = open_bytes(file);
  if (!reader) return nullptr;
  const long index = reader->find_stream(name);
  return index < 0 ? nullptr : reader->open_stream(static_cast<std::size_t>(index));
}

}  // namespace

TEST(host_biff_cfb, StreamsOfEverySizeReadBackByteForByte) {
  // Mini-stream sizes around a mini sector, the 4,096-byte cutoff, and a
  // regular stream larger than the read window.
  const std::size_t sizes[] = {1, 63, 64, 65, 4095, 4096, 4097, 300000};
  std::vector<std::pair<std::u16string, std::string>> streams;
  for (unsigned i = 0; i < std::size(sizes); ++i)
    streams.push_back({u"S" + std::u16string(1, static_cast<char16_t>(u'a' + i)), pattern(sizes[i], 7 + i)});
  streams.push_back({u"Empty", ""});
  streams.push_back({u"\u00c4bc", "y"});
  std::string file = compound_file(streams);
  // Let the empty stream's start point at the first stream's mini sector,
  // as some writers leave it.
  const std::size_t dir_at = (biff_test::u32_at(file, 0x30) + 1) * 512;
  ASSERT_EQ(file[dir_at + 9 * 128], 'E');
  file.replace(dir_at + 9 * 128 + 0x74, 4, biff_test::bytes().u32(0).str());
  auto reader = open_bytes(file);
  ASSERT_NE(reader, nullptr);
  for (const auto& [name, data] : streams) {
    SCOPED_TRACE(data.size());
    const long index = reader->find_stream(name);
    ASSERT_GT(index, 0);
    for (std::size_t step : {std::size_t{1}, std::size_t{7}, std::size_t{4096}, std::size_t{70000}}) {
      auto stream = reader->open_stream(static_cast<std::size_t>(index));
      ASSERT_NE(stream, nullptr);
      EXPECT_EQ(stream->size(), data.size());
      EXPECT_EQ(read_all(*stream, step), data) << "step " << step;
    }
  }
  // Names compare ignoring ASCII case only; the root is a storage, not a stream.
  EXPECT_EQ(reader->find_stream(u"sA"), 1);
  EXPECT_EQ(reader->find_stream(u"EMPTY"), 9);
  EXPECT_EQ(reader->find_stream(u"\u00c4BC"), 10);
  EXPECT_EQ(reader->find_stream(u"\u00e4bc"), -1);
  EXPECT_EQ(reader->find_stream(u"S"), -1);
  EXPECT_EQ(reader->find_stream(u"Root Entry"), -1);
}

TEST(host_biff_cfb, SeekRepositionsInsideAndOutsideTheWindow) {
  const std::string data = pattern(600000, 3);
  const std::string file = compound_file({{u"Workbook", data}});
  auto stream = open_named(file, u"Workbook");
  ASSERT_NE(stream, nullptr);
  for (std::uint64_t offset : {0ull, 5ull, 599999ull, 262144ull, 262143ull, 1ull, 512ull}) {
    SCOPED_TRACE(offset);
    ASSERT_TRUE(stream->seek(offset));
    ASSERT_GE(stream->require(1), 1u);
    EXPECT_EQ(static_cast<char>(stream->data()[0]), data[offset]);
    EXPECT_EQ(stream->tell(), offset);
  }
  EXPECT_TRUE(stream->seek(600000));
  EXPECT_EQ(stream->require(1), 0u);
  EXPECT_FALSE(stream->seek(600001));
}

TEST(host_biff_cfb, FatBeyondTheHeaderIsFoundThroughDifatSectors) {
  // More than 109 FAT sectors (over 109 * 128 sectors of data) need DIFAT sectors.
  const std::string data = pattern(7500000, 11);
  const std::string file = compound_file({{u"Workbook", data}});
  ASSERT_GT(biff_test::u32_at(file, 0x48), 0u);  // the header's count of DIFAT sectors
  auto stream = open_named(file, u"Workbook");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(read_all(*stream, 65536), data);
}

TEST(host_biff_cfb, DamagedSectorChainsAreRefusedNotFollowed) {
  const std::string data = pattern(20 * 512, 5);
  const std::string good = compound_file({{u"Workbook", data}});
  // The stream's first sector, from its directory entry (the second).
  const std::uint32_t first = biff_test::u32_at(good, (biff_test::u32_at(good, 0x30) + 1) * 512 + 128 + 0x74);
  const std::tuple<const char*, std::uint32_t, std::uint32_t> rows[] = {
      // what, FAT index, its new value
      {"loop back to the start", first + 5, first},
      {"link to itself", first + 3, first + 3},
      {"sector past the file", first + 5, 0x00FFFFFF},
      {"free sector inside", first + 5, 0xFFFFFFFF},
      {"end of chain too early", first + 5, 0xFFFFFFFE},
      {"link into the FAT's own sectors", first + 5, biff_test::u32_at(good, 0x4C)},
  };
  for (const auto& [what, index, value] : rows) {
    SCOPED_TRACE(what);
    std::string file = good;
    biff_test::set_fat_entry(file, index, value);
    auto reader = open_bytes(file);
    ASSERT_NE(reader, nullptr);  // the header, FAT and directory are sound
    EXPECT_EQ(reader->open_stream(1), nullptr);
  }
}

TEST(host_biff_cfb, DamagedHeadersAndDirectoriesAreRefused) {
  const std::string good = compound_file({{u"Workbook", pattern(5000, 2)}});
  ASSERT_NE(open_bytes(good), nullptr);
  auto patched = [&](std::size_t at, std::uint32_t value) {
    std::string f = good;
    return f.replace(at, 4, biff_test::bytes().u32(value));
  };
  const std::pair<const char*, std::string> rows[] = {
      {"signature", patched(0, 0x12345678)},
      {"sector size 2^10", patched(0x1C, 0x000AFFFE)},
      {"FAT sector count larger than the file", patched(0x2C, 1000)},
      {"no FAT sector", patched(0x2C, 0)},
      {"directory past the file", patched(0x30, 5000)},
      {"directory on a free sector", patched(0x30, 0xFFFFFFFF)},
      {"first FAT sector past the file", patched(0x4C, 0x7FFFFFFF)},
      {"DIFAT needed but missing", patched(0x2C, 110)},
  };
  for (const auto& [what, file] : rows) EXPECT_EQ(open_bytes(file), nullptr) << what;

  // A directory chain that loops onto itself.
  std::string looped = good;
  const std::uint32_t dir = biff_test::u32_at(good, 0x30);
  biff_test::set_fat_entry(looped, dir, dir);
  EXPECT_EQ(open_bytes(looped), nullptr);
}

TEST(host_biff_cfb, TruncatedFilesFailUnlessOnlyPaddingIsMissing) {
  // 5,000 bytes of stream: ten sectors, the last holding 392 bytes. The data comes last in the file.
  const std::string data = pattern(5000, 9);
  const std::string file = compound_file({{u"Workbook", data}});
  const std::size_t padding = 512 - 5000 % 512;
  // Bytes cut from the end: only the last sector's padding may go.
  const std::pair<std::size_t, bool> rows[] = {{0, true},    {padding, true}, {padding + 1, false},
                                               {512, false}, {2000, false},   {5000, false}};
  for (const auto& [cut_bytes, readable] : rows) {
    SCOPED_TRACE(cut_bytes);
    const std::string cut = file.substr(0, file.size() - cut_bytes);  // must outlive the stream
    auto stream = open_named(cut, u"Workbook");
    ASSERT_EQ(stream != nullptr, readable);
    if (stream) {
      EXPECT_EQ(read_all(*stream, 4096), data);
    }
  }
  // Every cut of the file's head fails cleanly: nothing, part of the header, the header alone.
  for (const std::size_t keep : {0u, 300u, 511u, 512u, 513u, 1000u, 1536u, 2047u}) {
    const std::string head = file.substr(0, keep);
    EXPECT_EQ(open_named(head, u"Workbook"), nullptr) << keep;
  }
}
