#include "listing/compact_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "interface/record_text.h"
#include "listing/kept_members.h"

namespace qibor {
namespace {

// A list as the listing builder makes it, terminator included; a name may
// come with its folder ("d/x.png").
std::vector<ArchiveEntryW> BuiltList(const std::vector<std::wstring>& names, std::int64_t timestamp) {
  std::vector<ArchiveEntryW> records(names.size() + 1);
  for (std::size_t i = 0; i < names.size(); ++i) {
    SetMemberFields(records[i], i, static_cast<std::int64_t>(1000 + i * 3000000000LL), timestamp);
    const std::size_t slash = names[i].rfind(L'/');
    const std::size_t nameStart = slash == std::wstring::npos ? 0 : slash + 1;
    CopyFolderToRecordPath(records[i].path, std::wstring_view(names[i]).substr(0, nameStart));
    CopyToRecordText(records[i].name, std::wstring_view(names[i]).substr(nameStart));
  }
  return records;
}

std::basic_string<RecordChar> Units(const std::wstring& text) {
  return std::basic_string<RecordChar>(text.begin(), text.end());
}

// What the cache gives back must be the very bytes the builder made.
TEST(CompactList, RecordsComeBackByteForByte) {
  const std::vector<std::wstring> names = {L"a.png", L"", L"IMG 0001.jpg", std::wstring(199, L'n'),
                                           L"\u5199\u771f.png", L"dir\\x.png", L"ch1/001.bmp",
                                           L"ch2/001.bmp", L"\u5199/" + std::wstring(190, L'p') + L"/x.png"};
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
  // A run of records written into a zero-filled block, as a whole cached
  // list is, comes back the same, each at its own position.
  std::vector<ArchiveEntryW> block(names.size() - 2);
  ExpandRecordsIntoZeroed(list, 2, block.size(), block.data());
  for (std::size_t i = 0; i < block.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "record " << i + 2 << " of the run");
    EXPECT_EQ(std::memcmp(&block[i], &records[i + 2], sizeof block[i]), 0);
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

// Many members share a folder: the folder is kept once, and a member costs
// the same whatever its folder's length.
TEST(CompactList, EachFolderIsKeptOnce) {
  const std::wstring folder = std::wstring(150, L'f') + L"/";
  std::vector<std::wstring> names;
  for (int i = 0; i < 500; ++i) names.push_back((i % 2 == 0 ? folder : L"ch2/") + L"p" + std::to_wstring(i) + L".png");
  names.push_back(L"top.png");
  const std::vector<ArchiveEntryW> records = BuiltList(names, 1);
  const CompactList list = CompactListOf(records.data(), records.size());
  ASSERT_EQ(list.members.size(), names.size());
  EXPECT_EQ(list.folderStarts.size(), 3u);
  EXPECT_EQ(list.paths.size(), (150 + 1 + 1) + (4 + 1) + 1);
  EXPECT_EQ(Units(std::wstring(150, L'f') + L"\\"), CompactPath(list, 0));
  EXPECT_EQ(Units(L"ch2\\"), CompactPath(list, 1));
  EXPECT_EQ(Units(L""), CompactPath(list, 500));
  for (std::size_t i = 0; i < records.size() - 1; ++i) {
    ArchiveEntryW expanded;
    ExpandRecord(list, i, expanded);
    ASSERT_EQ(std::memcmp(&expanded, &records[i], sizeof expanded), 0) << "record " << i;
  }
}

// A fetch checks the member by its path exactly as the tool printed it.
TEST(CompactList, ToolPathsComeBackExactly) {
  const std::vector<std::string> lines = {
      "ch1/001.bmp", "ch2/001.bmp", "ch2/002.bmp", "ch1/003.bmp", "top.png", "./top.png", "a//b/./c.png",
      "x\\\\y/z.png", "\x8e\xca\x90\x5e/\x95\x5c.png", "dir/", "", "/abs.txt", std::string(600, 'q') + "/r.png"};
  ToolPaths paths;
  for (const std::string& line : lines) AddToolPath(paths, line);
  ASSERT_EQ(paths.memberFolders.size(), lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(ToolPathOf(paths, i), lines[i]) << "member " << i;
  EXPECT_EQ(ToolPathOf(paths, lines.size()), "");
  // ch1, ch2, the top, ".", "a//b/.", "x\\y", the Japanese one, "dir", "/", the long one.
  EXPECT_EQ(paths.folderStarts.size(), 10u);
  EXPECT_EQ(paths.memberFolders[0], paths.memberFolders[3]);
  EXPECT_EQ(paths.memberFolders[4], paths.memberFolders[10]);
  EXPECT_NE(paths.memberFolders[4], paths.memberFolders[5]);

  // The cache holds them beside the records; a list given none has none.
  const std::vector<ArchiveEntryW> records = BuiltList({L"a.png"}, 1);
  CompactList list = CompactListOf(records.data(), records.size());
  EXPECT_EQ(ToolPathOf(list.toolPaths, 0), "");
  list.toolPaths = paths;
  CompactListInto(records.data(), records.size(), list);
  EXPECT_TRUE(list.toolPaths.memberFolders.empty());  // nothing of an earlier list survives
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
