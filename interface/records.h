#pragma once
// The records and result codes qibor exchanges with the host. Hosts read the
// records by byte offset, so their layout is fixed and checked at compile time.
// No Windows header here: the layout is also checked by native builds.
#include <cstddef>
#include <cstdint>

namespace qibor {

// UTF-16 code unit of the wide record: wchar_t on Windows, char16_t elsewhere,
// so the layout is the same on every build.
#if defined(_WIN32)
using RecordChar = wchar_t;
#else
using RecordChar = char16_t;
#endif
static_assert(sizeof(RecordChar) == 2);

inline constexpr std::size_t kRecordTextUnits = 200;

// `method` is 8 bytes of text in both records, never UTF-16: hosts read it
// as bytes. A 64-bit host's records: the interface's pointer-sized fields
// are 64 bits, and the records are aligned as the compiler aligns them.
struct ArchiveEntryW64 {
  char method[8];
  std::uint64_t position;
  std::uint64_t compressedSize;
  std::uint64_t size;
  std::int64_t timestamp;
  RecordChar path[kRecordTextUnits];
  RecordChar name[kRecordTextUnits];
  std::uint32_t crc;
  std::uint32_t alignment;
};

struct ArchiveEntryA64 {
  char method[8];
  std::uint64_t position;
  std::uint64_t compressedSize;
  std::uint64_t size;
  std::int64_t timestamp;
  char path[kRecordTextUnits];
  char name[kRecordTextUnits];
  std::uint32_t crc;
  std::uint32_t alignment;
};

static_assert(sizeof(ArchiveEntryW64) == 848 && sizeof(ArchiveEntryA64) == 448);
// The fields before the texts are at the same offsets in both records.
static_assert(offsetof(ArchiveEntryW64, position) == 8 && offsetof(ArchiveEntryA64, position) == 8);
static_assert(offsetof(ArchiveEntryW64, compressedSize) == 16 && offsetof(ArchiveEntryA64, compressedSize) == 16);
static_assert(offsetof(ArchiveEntryW64, size) == 24 && offsetof(ArchiveEntryA64, size) == 24);
static_assert(offsetof(ArchiveEntryW64, timestamp) == 32 && offsetof(ArchiveEntryA64, timestamp) == 32);
static_assert(offsetof(ArchiveEntryW64, path) == 40 && offsetof(ArchiveEntryA64, path) == 40);
static_assert(offsetof(ArchiveEntryW64, name) == 440 && offsetof(ArchiveEntryA64, name) == 240);
static_assert(offsetof(ArchiveEntryW64, crc) == 840 && offsetof(ArchiveEntryA64, crc) == 440);
static_assert(offsetof(ArchiveEntryW64, alignment) == 844 && offsetof(ArchiveEntryA64, alignment) == 444);

// A 32-bit host's records: the pointer-sized fields are 32 bits, and the
// interface's header packs the records to one byte.
#pragma pack(push, 1)
struct ArchiveEntryW32 {
  char method[8];
  std::uint32_t position;
  std::uint32_t compressedSize;
  std::uint32_t size;
  std::uint32_t timestamp;
  RecordChar path[kRecordTextUnits];
  RecordChar name[kRecordTextUnits];
  std::uint32_t crc;
};

struct ArchiveEntryA32 {
  char method[8];
  std::uint32_t position;
  std::uint32_t compressedSize;
  std::uint32_t size;
  std::uint32_t timestamp;
  char path[kRecordTextUnits];
  char name[kRecordTextUnits];
  std::uint32_t crc;
};
#pragma pack(pop)

static_assert(sizeof(ArchiveEntryW32) == 828 && sizeof(ArchiveEntryA32) == 428);
static_assert(offsetof(ArchiveEntryW32, position) == 8 && offsetof(ArchiveEntryA32, position) == 8);
static_assert(offsetof(ArchiveEntryW32, compressedSize) == 12 && offsetof(ArchiveEntryA32, compressedSize) == 12);
static_assert(offsetof(ArchiveEntryW32, size) == 16 && offsetof(ArchiveEntryA32, size) == 16);
static_assert(offsetof(ArchiveEntryW32, timestamp) == 20 && offsetof(ArchiveEntryA32, timestamp) == 20);
static_assert(offsetof(ArchiveEntryW32, path) == 24 && offsetof(ArchiveEntryA32, path) == 24);
static_assert(offsetof(ArchiveEntryW32, name) == 424 && offsetof(ArchiveEntryA32, name) == 224);
static_assert(offsetof(ArchiveEntryW32, crc) == 824 && offsetof(ArchiveEntryA32, crc) == 424);

// The records of the hosts this build serves: qibor.sph for 64-bit hosts,
// qibor.spi for 32-bit ones.
#if defined(_WIN32) && !defined(_WIN64)
using ArchiveEntryW = ArchiveEntryW32;
using ArchiveEntryA = ArchiveEntryA32;
#else
using ArchiveEntryW = ArchiveEntryW64;
using ArchiveEntryA = ArchiveEntryA64;
#endif

// A value for a record's numeric field, held to what the field can hold: a
// time before 1970 or after 2106 in a 32-bit record is the nearest it can
// show, never a wrapped one.
template <typename Field>
constexpr Field FieldValue(std::int64_t value) {
  if constexpr (sizeof(Field) < sizeof(std::int64_t)) {
    if (value < 0) return 0;
    if (static_cast<std::uint64_t>(value) > static_cast<Field>(~Field{0})) return static_cast<Field>(~Field{0});
  }
  return static_cast<Field>(value);
}
// The largest member size a record holds.
inline constexpr std::uint64_t kLargestRecordedSize =
    static_cast<decltype(ArchiveEntryW::size)>(~decltype(ArchiveEntryW::size){0});

// Results of the listing and extraction exports.
enum ResultCode : std::int32_t {
  Success = 0,
  NotImplemented = -1,
  UnknownFormat = 2,
  OutOfMemory = 4,
  ReadError = 6,
  WriteError = 9,
};

// The flag argument: the input kind in bits 0 to 2 (only 0, a file on disk,
// is served) and, for GetFile, where the member goes.
inline constexpr unsigned kInputKindBits = 7;
inline constexpr unsigned kOutputToMemory = 0x100;
inline bool IsFileInput(unsigned flag) { return (flag & kInputKindBits) == 0; }
inline bool IsOutputToMemory(unsigned flag) { return (flag & kOutputToMemory) != 0; }

// A list ends at the first record whose first method byte is zero.
template <typename Record>
bool IsTerminator(const Record& entry) {
  return entry.method[0] == 0;
}

}  // namespace qibor
