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
// as bytes.
struct ArchiveEntryW {
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

struct ArchiveEntryA {
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

static_assert(sizeof(ArchiveEntryW) == 848 && sizeof(ArchiveEntryA) == 448);
// The fields before the texts are at the same offsets in both records.
static_assert(offsetof(ArchiveEntryW, position) == 8 && offsetof(ArchiveEntryA, position) == 8);
static_assert(offsetof(ArchiveEntryW, compressedSize) == 16 && offsetof(ArchiveEntryA, compressedSize) == 16);
static_assert(offsetof(ArchiveEntryW, size) == 24 && offsetof(ArchiveEntryA, size) == 24);
static_assert(offsetof(ArchiveEntryW, timestamp) == 32 && offsetof(ArchiveEntryA, timestamp) == 32);
static_assert(offsetof(ArchiveEntryW, path) == 40 && offsetof(ArchiveEntryA, path) == 40);
static_assert(offsetof(ArchiveEntryW, name) == 440 && offsetof(ArchiveEntryA, name) == 240);
static_assert(offsetof(ArchiveEntryW, crc) == 840 && offsetof(ArchiveEntryA, crc) == 440);
static_assert(offsetof(ArchiveEntryW, alignment) == 844 && offsetof(ArchiveEntryA, alignment) == 444);

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
inline bool IsTerminator(const ArchiveEntryW& entry) { return entry.method[0] == 0; }

}  // namespace qibor
