#include "interface/records.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "interface/record_text.h"

namespace qibor {
namespace {

std::uint64_t LittleEndianAt(const unsigned char* bytes, std::size_t offset, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = width; i-- > 0;) value = (value << 8) | bytes[offset + i];
  return value;
}

// Hosts read the list by byte offset and stop at the first record whose
// method starts with a zero byte.
TEST(Records, TerminatorAndByteImage) {
  ArchiveEntryW zero{};
  EXPECT_TRUE(IsTerminator(zero));

  ArchiveEntryW record{};
  std::memcpy(record.method, "TAR", 3);
  record.position = 3;
  record.compressedSize = 0x0102030405ULL;
  record.size = 0x0102030405ULL;
  record.timestamp = 1704067200;
  CopyToRecordText(record.name, L"ab.png");
  CopyFolderToRecordPath(record.path, L"d/");
  EXPECT_FALSE(IsTerminator(record));

  // Other fields do not matter once the method is empty.
  ArchiveEntryW cleared = record;
  std::memset(cleared.method, 0, sizeof cleared.method);
  EXPECT_TRUE(IsTerminator(cleared));

  unsigned char bytes[sizeof(ArchiveEntryW)];
  std::memcpy(bytes, &record, sizeof bytes);
  // Bytes, not UTF-16: hosts read the field as text of bytes.
  const unsigned char method[8] = {'T', 'A', 'R', 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(bytes, method, sizeof method), 0);
  EXPECT_EQ(LittleEndianAt(bytes, 8, 8), 3u);
  EXPECT_EQ(LittleEndianAt(bytes, 16, 8), 0x0102030405ULL);
  EXPECT_EQ(LittleEndianAt(bytes, 24, 8), 0x0102030405ULL);
  EXPECT_EQ(LittleEndianAt(bytes, 32, 8), 1704067200u);
  const unsigned char path[4] = {'d', 0, '\\', 0};
  EXPECT_EQ(std::memcmp(bytes + 40, path, sizeof path), 0);
  for (std::size_t i = 44; i < 440; ++i) EXPECT_EQ(bytes[i], 0) << "path byte " << i;
  const unsigned char name[12] = {'a', 0, 'b', 0, '.', 0, 'p', 0, 'n', 0, 'g', 0};
  EXPECT_EQ(std::memcmp(bytes + 440, name, sizeof name), 0);
  for (std::size_t i = 452; i < 840; ++i) EXPECT_EQ(bytes[i], 0) << "name byte " << i;
  EXPECT_EQ(LittleEndianAt(bytes, 840, 4), 0u);
}

}  // namespace
}  // namespace qibor
