#pragma once
// A member list as the cache keeps it: the sizes, names and folders of the
// records, without their fixed 848-byte layout, which is mostly empty text
// fields. Many members share a folder, so each folder is kept once and
// members refer to it by index. Pure, no Windows header.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "interface/records.h"

namespace qibor {

// Hashes a text by its view, so a map of texts is searched without making a
// string of the key first.
template <typename Char>
struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::basic_string_view<Char> text) const {
    return std::hash<std::basic_string_view<Char>>{}(text);
  }
};
template <typename Char>
using TextIndex = std::unordered_map<std::basic_string<Char>, std::uint32_t, TextHash<Char>, std::equal_to<>>;

// Where a list came from: the archive file as it was when it was listed, and
// the settings it was listed with. While both are the same, a fetch trusts
// the list and runs the tool once.
struct ListOrigin {
  bool known = false;
  std::uint32_t volumeSerial = 0;
  std::uint64_t fileIndex = 0;
  std::uint64_t size = 0;
  std::uint64_t lastWrite = 0;
  std::wstring toolDir;
  int maxMB = 0;
  bool operator==(const ListOrigin&) const = default;
};

// The kept members' paths in the archive exactly as the tool printed them
// (the plain listing's bytes), in order. A fetch checks with them that the
// member it delivers is the one the host's list named.
struct ToolPaths {
  std::string folders;                       // each folder's bytes, its "/" last
  std::vector<std::uint32_t> folderStarts;   // where folder i starts in `folders`
  std::string names;                         // the rest of each member's path
  std::vector<std::uint32_t> memberFolders;  // per member: its folder's index
  std::vector<std::uint32_t> nameStarts;     // per member: where its rest starts in `names`
  // Per member: the tool's first match for its own name is it (SoleMatches).
  std::vector<bool> soleMatch;
  ListOrigin origin;
  // While members are added: the index of each folder seen.
  TextIndex<char> folderIndex;
};

// Adds the next member's path, a plain listing line.
void AddToolPath(ToolPaths& paths, std::string_view memberPath);
// The member's path as the tool printed it; empty when there is no such member.
std::string ToolPathOf(const ToolPaths& paths, std::size_t member);

struct CompactMember {
  std::int64_t size;
  std::uint32_t nameStart;  // index of the name's first unit in `names`
  std::uint32_t folder;     // index into `folderStarts`
};

struct CompactList {
  std::int64_t timestamp = 0;  // the same for every record of a list
  std::vector<CompactMember> members;
  std::basic_string<RecordChar> names;      // each name followed by a zero unit
  std::vector<std::uint32_t> folderStarts;  // where folder i's record path starts in `paths`
  std::basic_string<RecordChar> paths;      // each record path followed by a zero unit
  ToolPaths toolPaths;                      // empty when the list came without them
};

// Empties a list, keeping its storage for the next.
void ClearCompactList(CompactList& list);
// Adds the next record, as the listing builder makes them (numbered in
// order, one time for all). `folderIndex` holds each record path seen, for
// the records of this list only.
using RecordFolderIndex = TextIndex<RecordChar>;
void AddCompactRecord(CompactList& list, const ArchiveEntryW& record, RecordFolderIndex& folderIndex);

// The list's records up to its terminator, at most `capacity` of them. The
// records are as the listing builder makes them: numbered from 0 in order,
// one time for all, every field but the size, the path and the name fixed.
// The tool's paths are left empty.
CompactList CompactListOf(const ArchiveEntryW* records, std::size_t capacity);
// The same into `list`, reusing the storage it already has.
void CompactListInto(const ArchiveEntryW* records, std::size_t capacity, CompactList& list);

// The record at `position`, as the listing builder made it.
void ExpandRecord(const CompactList& list, std::size_t position, ArchiveEntryW& record);
// Records first to first + count - 1 into `records`, which are zero-filled
// (a block made with LMEM_ZEROINIT): only what is not zero is written.
void ExpandRecordsIntoZeroed(const CompactList& list, std::size_t first, std::size_t count, ArchiveEntryW* records);

// The zero-terminated name and record path of the member at `position`.
inline const RecordChar* CompactName(const CompactList& list, std::size_t position) {
  return list.names.c_str() + list.members[position].nameStart;
}
inline const RecordChar* CompactPath(const CompactList& list, std::size_t position) {
  return list.paths.c_str() + list.folderStarts[list.members[position].folder];
}

}  // namespace qibor
