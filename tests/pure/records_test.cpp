#include "interface/records.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "interface/record_text.h"

namespace qibor {
namespace {

std::uint64_t LittleEndianAt(const unsigned char* bytes, std::size_t offset, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = width; i-- > 0;) value = (value << 8) | bytes[offset + i];
  return value;
}

// Where a host finds each field: the pointer-sized fields are 8 bytes in a
// 64-bit host's records and 4 in a 32-bit host's packed ones.
struct Layout {
  std::size_t numberWidth, path, name, crc, size;
};

template <typename Record>
void ExpectByteImage(const Layout& at) {
  ASSERT_EQ(sizeof(Record), at.size);
  Record zero{};
  EXPECT_TRUE(IsTerminator(zero));

  Record record{};
  std::memcpy(record.method, "TAR", 3);
  record.position = 3;
  record.compressedSize = FieldValue<decltype(record.compressedSize)>(0x01020304);
  record.size = FieldValue<decltype(record.size)>(0x01020304);
  record.timestamp = FieldValue<decltype(record.timestamp)>(1704067200);
  if constexpr (sizeof(record.name[0]) == 2) {
    CopyToRecordText(record.name, L"ab.png");
    CopyFolderToRecordPath(record.path, L"d/");
  } else {
    std::memcpy(record.name, "ab.png", 6);
    std::memcpy(record.path, "d\\", 2);
  }
  EXPECT_FALSE(IsTerminator(record));

  // Other fields do not matter once the method is empty.
  Record cleared = record;
  std::memset(cleared.method, 0, sizeof cleared.method);
  EXPECT_TRUE(IsTerminator(cleared));

  unsigned char bytes[sizeof(Record)];
  std::memcpy(bytes, &record, sizeof bytes);
  // Bytes, not UTF-16: hosts read the field as text of bytes.
  const unsigned char method[8] = {'T', 'A', 'R', 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(bytes, method, sizeof method), 0);
  const std::size_t width = at.numberWidth;
  EXPECT_EQ(LittleEndianAt(bytes, 8, width), 3u);
  EXPECT_EQ(LittleEndianAt(bytes, 8 + width, width), 0x01020304u);
  EXPECT_EQ(LittleEndianAt(bytes, 8 + 2 * width, width), 0x01020304u);
  EXPECT_EQ(LittleEndianAt(bytes, 8 + 3 * width, width), 1704067200u);
  const std::size_t unit = sizeof(record.name[0]);
  const std::string path = unit == 2 ? std::string("d\0\\\0", 4) : std::string("d\\", 2);
  const std::string name = unit == 2 ? std::string("a\0b\0.\0p\0n\0g\0", 12) : std::string("ab.png");
  EXPECT_EQ(std::memcmp(bytes + at.path, path.data(), path.size()), 0);
  for (std::size_t i = at.path + path.size(); i < at.name; ++i) EXPECT_EQ(bytes[i], 0) << "path byte " << i;
  EXPECT_EQ(std::memcmp(bytes + at.name, name.data(), name.size()), 0);
  for (std::size_t i = at.name + name.size(); i < at.crc; ++i) EXPECT_EQ(bytes[i], 0) << "name byte " << i;
  EXPECT_EQ(LittleEndianAt(bytes, at.crc, 4), 0u);
}

// Hosts read the list by byte offset and stop at the first record whose
// method starts with a zero byte.
TEST(Records, ByteImages) {
  ExpectByteImage<ArchiveEntryW64>({8, 40, 440, 840, 848});
  ExpectByteImage<ArchiveEntryA64>({8, 40, 240, 440, 448});
  ExpectByteImage<ArchiveEntryW32>({4, 24, 424, 824, 828});
  ExpectByteImage<ArchiveEntryA32>({4, 24, 224, 424, 428});
}

// A 32-bit record's time before 1970 or past 2106 shows the nearest time it
// can hold, never a wrapped one; 64-bit fields take the value as it is.
TEST(Records, FieldValuesHeldToTheirField) {
  EXPECT_EQ(FieldValue<std::uint32_t>(-1), 0u);
  EXPECT_EQ(FieldValue<std::uint32_t>(-4102444800LL), 0u);
  EXPECT_EQ(FieldValue<std::uint32_t>(4294967295LL), 4294967295u);
  EXPECT_EQ(FieldValue<std::uint32_t>(4294967296LL), 4294967295u);
  EXPECT_EQ(FieldValue<std::uint32_t>(2222164800LL), 2222164800u);
  EXPECT_EQ(FieldValue<std::uint64_t>(4294967296LL), 4294967296u);
}

}  // namespace
}  // namespace qibor
