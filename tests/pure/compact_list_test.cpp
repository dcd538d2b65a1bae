#include "listing/compact_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "listing/kept_members.h"

namespace qibor {
namespace {

// A list as the listing builder makes it, terminator included.
std::vector<ArchiveEntryW> BuiltList(const std::vector<std::wstring>& names, std::int64_t timestamp) {
  std::vector<ArchiveEntryW> records(names.size() + 1);
  for (std::size_t i = 0; i < names.size(); ++i) {
    SetMemberFields(records[i], i, static_cast<std::int64_t>(1000 + i * 3000000000LL), timestamp);
    CopyToRecordText(records[i].name, names[i]);
  }
  return records;
}

// What the cache gives back must be the very bytes the builder made.
TEST(CompactList, RecordsComeBackByteForByte) {
  const std::vector<std::wstring> names = {L"a.png", L"", L"IMG 0001.jpg", std::wstring(199, L'n'),
                                           L"\u5199\u771f.png", L"dir\\x.png"};
  const std::vector<ArchiveEntryW> records = BuiltList(names, 2222164800LL);
  const CompactList list = CompactListOf(records.data(), records.size());
  ASSERT_EQ(list.members.size(), names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "record " << i);
    ArchiveEntryW expanded;
    std::memset(&expanded, 0xCD, sizeof expanded);  // nothing stale may survive
    ExpandRecord(list, i, expanded);
    EXPECT_EQ(std::memcmp(&expanded, &records[i], sizeof expanded), 0);
  }
  // The compact form is a small part of the records it stands for.
  EXPECT_LT(list.names.size() * sizeof(RecordChar) + list.members.size() * sizeof(CompactMember),
            records.size() * sizeof(ArchiveEntryW) / 3);
}

// The cache writes a new list into the storage of one it let go: nothing of
// the old list may show through.
TEST(CompactList, ReusedStorageHoldsOnlyTheNewList) {
  const std::vector<ArchiveEntryW> longer = BuiltList({L"first-long-name.png", L"second.png", L"third.png"}, 5);
  const std::vector<ArchiveEntryW> shorter = BuiltList({L"a.png"}, 7);
  CompactList list = CompactListOf(longer.data(), longer.size());
  CompactListInto(shorter.data(), shorter.size(), list);
  ASSERT_EQ(list.members.size(), 1u);
  EXPECT_EQ(list.timestamp, 7);
  ArchiveEntryW expanded;
  ExpandRecord(list, 0, expanded);
  EXPECT_EQ(std::memcmp(&expanded, &shorter[0], sizeof expanded), 0);

  CompactListInto(shorter.data(), 0, list);
  EXPECT_TRUE(list.members.empty());
  EXPECT_TRUE(list.names.empty());
}

TEST(CompactList, StopsAtTheTerminatorOrTheBlockEnd) {
  std::vector<ArchiveEntryW> records = BuiltList({L"a", L"b", L"c"}, 0);
  records[1].method[0] = 0;  // a terminator after the first record
  EXPECT_EQ(CompactListOf(records.data(), records.size()).members.size(), 1u);

  // A block without a terminator ends at its size, and a name field without
  // a terminator is taken as 200 units, never read past.
  std::vector<ArchiveEntryW> full = BuiltList({L"a", L"b"}, 0);
  full.pop_back();
  for (RecordChar& unit : full[1].name) unit = u'z';
  const CompactList list = CompactListOf(full.data(), full.size());
  ASSERT_EQ(list.members.size(), 2u);
  EXPECT_EQ(std::char_traits<RecordChar>::length(CompactName(list, 1)), kRecordTextUnits);
  ArchiveEntryW expanded;
  ExpandRecord(list, 1, expanded);
  EXPECT_EQ(std::char_traits<RecordChar>::length(expanded.name), kRecordTextUnits - 1);

  EXPECT_TRUE(CompactListOf(records.data(), 0).members.empty());
}

}  // namespace
}  // namespace qibor
