#pragma once
// A member list as the cache keeps it: the sizes and names of the records,
// without their fixed 848-byte layout, which is mostly empty text fields.
// Pure, no Windows header.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "interface/records.h"

namespace qibor {

struct CompactMember {
  std::int64_t size;
  std::uint32_t nameStart;  // index of the name's first unit in `names`
};

struct CompactList {
  std::int64_t timestamp = 0;  // the same for every record of a list
  std::vector<CompactMember> members;
  std::basic_string<RecordChar> names;  // each name followed by a zero unit
};

// The list's records up to its terminator, at most `capacity` of them. The
// records are as the listing builder makes them: numbered from 0 in order,
// one time for all, every field but the size and the name fixed.
CompactList CompactListOf(const ArchiveEntryW* records, std::size_t capacity);
// The same into `list`, reusing the storage it already has.
void CompactListInto(const ArchiveEntryW* records, std::size_t capacity, CompactList& list);

// The record at `position`, as the listing builder made it.
void ExpandRecord(const CompactList& list, std::size_t position, ArchiveEntryW& record);

// The zero-terminated name of the member at `position`.
inline const RecordChar* CompactName(const CompactList& list, std::size_t position) {
  return list.names.c_str() + list.members[position].nameStart;
}

}  // namespace qibor
