#include "listing/compact_list.h"

#include <algorithm>
#include <iterator>

#include "listing/kept_members.h"

namespace qibor {
namespace {

// A name field's length; a field without a terminator counts as full.
std::size_t FieldLength(const RecordChar (&field)[kRecordTextUnits]) {
  return static_cast<std::size_t>(std::find(std::begin(field), std::end(field), RecordChar{0}) - std::begin(field));
}

}  // namespace

CompactList CompactListOf(const ArchiveEntryW* records, std::size_t capacity) {
  CompactList list;
  CompactListInto(records, capacity, list);
  return list;
}

void CompactListInto(const ArchiveEntryW* records, std::size_t capacity, CompactList& list) {
  list.timestamp = 0;
  list.members.clear();
  list.names.clear();
  std::size_t count = 0;
  std::size_t nameUnits = 0;
  for (; count < capacity && !IsTerminator(records[count]); ++count) {
    nameUnits += FieldLength(records[count].name) + 1;
  }
  if (count > 0) list.timestamp = records[0].timestamp;
  list.members.reserve(count);
  list.names.reserve(nameUnits);
  for (std::size_t i = 0; i < count; ++i) {
    list.members.push_back({static_cast<std::int64_t>(records[i].size), static_cast<std::uint32_t>(list.names.size())});
    list.names.append(records[i].name, FieldLength(records[i].name));
    list.names.push_back(0);
  }
}

void ExpandRecord(const CompactList& list, std::size_t position, ArchiveEntryW& record) {
  record = ArchiveEntryW{};
  SetMemberFields(record, position, list.members[position].size, list.timestamp);
  const RecordChar* name = CompactName(list, position);
  const std::size_t length = std::min(std::char_traits<RecordChar>::length(name), kRecordTextUnits - 1);
  std::copy(name, name + length, std::begin(record.name));
}

}  // namespace qibor
