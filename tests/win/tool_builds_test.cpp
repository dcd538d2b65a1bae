// What every build of the real tool must give through a loaded qibor.sph
// (this program runs once per tool build): members whose dates the tool
// cannot print still list with their sizes and can be fetched, and each
// format the build reads lists its members.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/plugin_host.h"

namespace qibor::test {
namespace {

constexpr unsigned int kToMemoryRequest = 0x100;

class ToolBuilds : public ::testing::Test {
 protected:
  LoadedPlugin plugin{{{L"dir", RealToolDir()}, {L"tar", L""}}};

  std::vector<ArchiveEntryW> List(const std::wstring& archive) {
    HLOCAL list = nullptr;
    EXPECT_EQ(plugin.GetArchiveInfoW(FixturePath(archive).c_str(), 0, 0, &list), 0) << "listing";
    std::vector<ArchiveEntryW> records = ListRecords(list);
    if (list != nullptr) LocalFree(list);
    return records;
  }

  std::string Fetch(const std::wstring& archive, const ArchiveEntryW& record) {
    HLOCAL block = nullptr;
    const int result = plugin.GetFileW(FixturePath(archive).c_str(), static_cast<LONG_PTR>(record.position),
                                       reinterpret_cast<LPWSTR>(&block), kToMemoryRequest, nullptr, 0);
    EXPECT_EQ(result, 0) << "fetching position " << record.position;
    std::string bytes;
    if (result == 0 && block != nullptr) {
      bytes.assign(static_cast<const char*>(block), LocalSize(block));
      LocalFree(block);
    }
    return bytes;
  }
};

// The tool prints a date before 1970 or after 3000 as nothing (older builds)
// or as "-- -- ----" (newer ones); the member still lists with its size.
TEST_F(ToolBuilds, MembersDatedBefore1970AndAfter3000ListWithTheirSizes) {
  ASSERT_TRUE(plugin.loaded());
  const std::vector<ArchiveEntryW> records = List(L"odd-dates.tar");
  std::map<std::wstring, unsigned long long> sizes;
  for (const ArchiveEntryW& record : records) sizes[RecordName(record)] = record.size;
  const std::map<std::wstring, unsigned long long> expected = {
      {L"old1960.png", 1960}, {L"future3001.png", 3001}, {L"plain2020.png", 2020}};
  EXPECT_EQ(sizes, expected);
  ASSERT_EQ(records.size(), 3u);
  for (unsigned int i = 0; i < records.size(); ++i) EXPECT_EQ(records[i].position, i);

  // And each is fetched whole.
  for (const ArchiveEntryW& record : records) {
    SCOPED_TRACE(testing::Message() << "member " << record.position);
    EXPECT_EQ(Fetch(L"odd-dates.tar", record), ReadBytes(FixturePath(L"src-odd-dates\\" + RecordName(record))));
  }
  EXPECT_FALSE(CaptureFilesPresent());
}

TEST_F(ToolBuilds, EveryFormatTheBuildReadsListsItsMembers) {
  ASSERT_TRUE(plugin.loaded());
  const std::map<std::wstring, unsigned long long> expected = {{L"a.png", 5}, {L"b.jpg", 1000}, {L"c.gif", 77777}};
  std::vector<std::wstring> archives = {L"pictures.tar", L"pictures.tgz", L"pictures.zip"};
  if (RealToolReads7z()) archives.push_back(L"pictures.7z");
  for (const std::wstring& archive : archives) {
    SCOPED_TRACE(testing::Message() << "archive " << std::string(archive.begin(), archive.end()));
    std::map<std::wstring, unsigned long long> sizes;
    for (const ArchiveEntryW& record : List(archive)) sizes[RecordName(record)] = record.size;
    EXPECT_EQ(sizes, expected);
  }
}

}  // namespace
}  // namespace qibor::test
