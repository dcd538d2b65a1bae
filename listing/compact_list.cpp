#include "listing/compact_list.h"

#include <algorithm>
#include <iterator>

#include "floor/byte_search.h"
#include "interface/record_text.h"
#include "listing/kept_members.h"

namespace qibor {
namespace {

// Copies at most 199 units of zero-terminated text into a record's field.
void CopyField(const RecordChar* text, RecordChar (&field)[kRecordTextUnits]) {
  const std::size_t length = std::min(std::char_traits<RecordChar>::length(text), kRecordTextUnits - 1);
  std::copy(text, text + length, std::begin(field));
}

// The end of piece i of a text cut at `starts`.
std::size_t PieceEnd(const std::vector<std::uint32_t>& starts, std::size_t i, std::size_t textSize) {
  return i + 1 < starts.size() ? starts[i + 1] : textSize;
}

}  // namespace

void AddToolPath(ToolPaths& paths, std::string_view memberPath) {
  const std::string_view folder = MemberFolder(memberPath);
  std::uint32_t index = 0;
  // Members of one folder mostly follow each other: no search for those.
  const std::size_t last = paths.folderStarts.size();
  if (last > 0 && SameBytes(std::string_view(paths.folders).substr(paths.folderStarts[last - 1]), folder)) {
    index = static_cast<std::uint32_t>(last - 1);
  } else if (const auto found = paths.folderIndex.find(folder); found != paths.folderIndex.end()) {
    index = found->second;
  } else {
    index = static_cast<std::uint32_t>(last);
    paths.folderIndex.emplace(std::string(folder), index);
    paths.folderStarts.push_back(static_cast<std::uint32_t>(paths.folders.size()));
    paths.folders.append(folder);
  }
  paths.memberFolders.push_back(index);
  paths.nameStarts.push_back(static_cast<std::uint32_t>(paths.names.size()));
  paths.names.append(memberPath.substr(folder.size()));
}

std::string ToolPathOf(const ToolPaths& paths, std::size_t member) {
  if (member >= paths.memberFolders.size()) return {};
  const std::size_t folder = paths.memberFolders[member];
  const std::size_t folderStart = paths.folderStarts[folder];
  const std::size_t nameStart = paths.nameStarts[member];
  std::string path(paths.folders, folderStart, PieceEnd(paths.folderStarts, folder, paths.folders.size()) - folderStart);
  path.append(paths.names, nameStart, PieceEnd(paths.nameStarts, member, paths.names.size()) - nameStart);
  return path;
}

CompactList CompactListOf(const ArchiveEntryW* records, std::size_t capacity) {
  CompactList list;
  CompactListInto(records, capacity, list);
  return list;
}

void ClearCompactList(CompactList& list) {
  list.timestamp = 0;
  list.members.clear();
  list.names.clear();
  list.folderStarts.clear();
  list.paths.clear();
  // Cleared member by member: nothing here allocates, so a list can be
  // emptied after memory ran out.
  ToolPaths& paths = list.toolPaths;
  paths.folders.clear();
  paths.folderStarts.clear();
  paths.names.clear();
  paths.memberFolders.clear();
  paths.nameStarts.clear();
  paths.soleMatch.clear();
  paths.origin = ListOrigin{};
  paths.folderIndex.clear();
}

void AddCompactRecord(CompactList& list, const ArchiveEntryW& record, RecordFolderIndex& folderIndex) {
  if (list.members.empty()) list.timestamp = record.timestamp;
  const std::basic_string_view<RecordChar> path(record.path, RecordTextLength(record.path));
  std::uint32_t folder = 0;
  // Members of one folder mostly follow each other: no search for those.
  if (!list.members.empty() && CompactPath(list, list.members.size() - 1) == path) {
    folder = list.members.back().folder;
  } else if (const auto found = folderIndex.find(path); found != folderIndex.end()) {
    folder = found->second;
  } else {
    folder = static_cast<std::uint32_t>(list.folderStarts.size());
    folderIndex.emplace(std::basic_string<RecordChar>(path), folder);
    list.folderStarts.push_back(static_cast<std::uint32_t>(list.paths.size()));
    list.paths.append(path);
    list.paths.push_back(0);
  }
  list.members.push_back({static_cast<std::int64_t>(record.size), static_cast<std::uint32_t>(list.names.size()), folder});
  list.names.append(record.name, RecordTextLength(record.name));
  list.names.push_back(0);
}

void CompactListInto(const ArchiveEntryW* records, std::size_t capacity, CompactList& list) {
  ClearCompactList(list);
  std::size_t count = 0;
  std::size_t nameUnits = 0;
  for (; count < capacity && !IsTerminator(records[count]); ++count) {
    nameUnits += RecordTextLength(records[count].name) + 1;
  }
  list.members.reserve(count);
  list.names.reserve(nameUnits);
  RecordFolderIndex folderIndex;
  for (std::size_t i = 0; i < count; ++i) AddCompactRecord(list, records[i], folderIndex);
}

void ExpandRecord(const CompactList& list, std::size_t position, ArchiveEntryW& record) {
  record = ArchiveEntryW{};
  ExpandRecordsIntoZeroed(list, position, 1, &record);
}

void ExpandRecordsIntoZeroed(const CompactList& list, std::size_t first, std::size_t count, ArchiveEntryW* records) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t position = first + i;
    ArchiveEntryW& record = records[i];
    SetMemberFields(record, position, list.members[position].size, list.timestamp);
    CopyField(CompactPath(list, position), record.path);
    CopyField(CompactName(list, position), record.name);
  }
}

}  // namespace qibor
