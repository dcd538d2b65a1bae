// Folders as a host sees them through a loaded qibor.sph and the real tool:
// each record's path, lookups by path + name, and the method bytes. The comic
// archive has a page "001.bmp" in two chapters; a host that shows path + name
// and looks members up by it must get each chapter's own page.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/plugin_host.h"
#include "support/test_support.h"

namespace qibor::test {
namespace {

const std::wstring kLong1 = L"vol-" + std::wstring(96, L'v');
const std::wstring kLong2(96, L'w');
const std::wstring kLong3(L"x");

std::string ToCodePage(UINT codePage, const std::wstring& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string converted(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), size, converted.data(), bytes, nullptr, nullptr);
  return converted;
}
std::string AnsiText(const std::wstring& text) { return ToCodePage(CP_ACP, text); }

std::wstring RecordPath(const ArchiveEntryW& record) { return std::wstring(record.path); }
std::string FieldText(const char (&field)[kRecordTextUnits]) { return std::string(field, strnlen(field, kRecordTextUnits)); }

template <typename Char>
bool ZeroAfterText(const Char (&field)[kRecordTextUnits]) {
  std::size_t i = 0;
  while (i < kRecordTextUnits && field[i] != 0) ++i;
  for (; i < kRecordTextUnits; ++i) {
    if (field[i] != 0) return false;
  }
  return true;
}

const std::string kMethodBytes("TAR\0\0\0\0\0", 8);

std::string SourceBytes(const std::wstring& relative) { return ReadBytes(FixturePath(L"src-comic\\" + relative)); }

class HostPaths : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plugin.loaded()); }

  std::vector<ArchiveEntryW> ListWide() {
    HLOCAL list = kUntouched;
    EXPECT_EQ(plugin.GetArchiveInfoW(archive.c_str(), 0, 0, &list), 0);
    std::vector<ArchiveEntryW> records = ListRecords(list);
    if (list != kUntouched) LocalFree(list);
    return records;
  }
  std::vector<ArchiveEntryA> ListAnsi() {
    HLOCAL list = kUntouched;
    EXPECT_EQ(plugin.GetArchiveInfo(AnsiText(archive).c_str(), 0, 0, &list), 0);
    std::vector<ArchiveEntryA> records;
    if (list == kUntouched || list == nullptr) return records;
    const auto* record = static_cast<const ArchiveEntryA*>(list);
    for (std::size_t i = 0; i < LocalSize(list) / sizeof(ArchiveEntryA) && record[i].method[0] != 0; ++i) {
      records.push_back(record[i]);
    }
    LocalFree(list);
    return records;
  }
  std::string FetchToMemory(std::uint64_t position) {
    HLOCAL block = nullptr;
    const int result =
        plugin.GetFileW(archive.c_str(), static_cast<LONG_PTR>(position), reinterpret_cast<LPWSTR>(&block), kToMemory,
                        nullptr, 0);
    EXPECT_EQ(result, 0) << "position " << position;
    if (result != 0 || block == nullptr) return {};
    std::string bytes(static_cast<const char*>(block), LocalSize(block));
    LocalFree(block);
    return bytes;
  }

  LoadedPlugin plugin{{{L"dir", RealToolDir()}}};
  const std::wstring archive = FixturePath(L"comic.7z");
};

TEST_F(HostPaths, EveryRecordCarriesItsFolderAndTheMethodBytes) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  const std::vector<ArchiveEntryW> records = ListWide();
  ASSERT_EQ(records.size(), 6u);
  EXPECT_EQ(RecordPath(records[0]), L"ch1\\");
  EXPECT_EQ(RecordName(records[0]), L"001.bmp");
  EXPECT_EQ(records[0].size, 1101u);
  EXPECT_EQ(RecordPath(records[1]), L"ch2\\");
  EXPECT_EQ(RecordName(records[1]), L"001.bmp");
  EXPECT_EQ(records[1].size, 2201u);
  EXPECT_EQ(RecordPath(records[2]), L"ch2\\");
  EXPECT_EQ(RecordName(records[2]), L"002.bmp");
  EXPECT_EQ(records[2].size, 2202u);
  for (std::size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "record " << i);
    EXPECT_EQ(std::string(records[i].method, 8), kMethodBytes);
    EXPECT_EQ(records[i].position, i);
    EXPECT_TRUE(ZeroAfterText(records[i].path));
    EXPECT_EQ(records[i].timestamp, records[0].timestamp);
  }

  const std::vector<ArchiveEntryA> ansi = ListAnsi();
  ASSERT_EQ(ansi.size(), 6u);
  const char* const folders[] = {"ch1\\", "ch2\\", "ch2\\"};
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(testing::Message() << "ANSI record " << i);
    EXPECT_EQ(FieldText(ansi[i].path), folders[i]);
    EXPECT_EQ(FieldText(ansi[i].name), i == 2 ? "002.bmp" : "001.bmp");
    EXPECT_EQ(ansi[i].size, records[i].size);
  }
  for (std::size_t i = 0; i < ansi.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "ANSI record " << i);
    EXPECT_EQ(std::string(ansi[i].method, 8), kMethodBytes);
    EXPECT_TRUE(ZeroAfterText(ansi[i].path));
    EXPECT_EQ(FieldText(ansi[i].path), AnsiText(RecordPath(records[i])).substr(0, FieldText(ansi[i].path).size()));
  }
}

TEST_F(HostPaths, LookupsByPathAndNameFindEachChaptersOwnPage) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  for (const wchar_t* query : {L"ch2\\001.bmp", L"CH2/001.BMP", L"ch2/001.bmp"}) {
    SCOPED_TRACE(testing::Message() << testing::PrintToString(std::wstring(query)));
    ArchiveEntryW record;
    std::memset(&record, 0xCC, sizeof record);
    ASSERT_EQ(plugin.GetFileInfoW(archive.c_str(), 0, query, 0, &record), 0);
    EXPECT_EQ(record.position, 1u);
    EXPECT_EQ(record.size, 2201u);
    EXPECT_EQ(RecordPath(record), L"ch2\\");
    EXPECT_EQ(RecordName(record), L"001.bmp");
    EXPECT_EQ(std::string(record.method, 8), kMethodBytes);
  }
  ArchiveEntryW first{};
  ASSERT_EQ(plugin.GetFileInfoW(archive.c_str(), 0, L"ch1\\001.bmp", 0, &first), 0);
  EXPECT_EQ(first.position, 0u);

  for (const char* query : {"CH2/001.BMP", "ch2\\001.bmp"}) {
    SCOPED_TRACE(query);
    ArchiveEntryA record;
    std::memset(&record, 0xCC, sizeof record);
    ASSERT_EQ(plugin.GetFileInfo(AnsiText(archive).c_str(), 0, query, 0, &record), 0);
    EXPECT_EQ(record.position, 1u);
    EXPECT_EQ(record.size, 2201u);
    EXPECT_EQ(FieldText(record.path), "ch2\\");
    EXPECT_EQ(FieldText(record.name), "001.bmp");
    EXPECT_EQ(std::string(record.method, 8), kMethodBytes);
  }

  // The page the lookup named is the page fetched.
  EXPECT_EQ(FetchToMemory(1), SourceBytes(L"ch2\\001.bmp"));
  EXPECT_EQ(FetchToMemory(0), SourceBytes(L"ch1\\001.bmp"));
  EXPECT_NE(SourceBytes(L"ch1\\001.bmp"), SourceBytes(L"ch2\\001.bmp"));
}

TEST_F(HostPaths, BareNamesStillFindAMemberAndUnknownPathsFindNone) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  ArchiveEntryW record{};
  ASSERT_EQ(plugin.GetFileInfoW(archive.c_str(), 0, L"001.bmp", 0, &record), 0);
  EXPECT_EQ(record.position, 0u);  // the first of that name
  ASSERT_EQ(plugin.GetFileInfoW(archive.c_str(), 0, L"002.BMP", 0, &record), 0);
  EXPECT_EQ(record.position, 2u);
  ArchiveEntryA ansi{};
  ASSERT_EQ(plugin.GetFileInfo(AnsiText(archive).c_str(), 0, "001.bmp", 0, &ansi), 0);
  EXPECT_EQ(ansi.position, 0u);

  // A folder that does not hold the page, or half a folder name: nothing.
  for (const wchar_t* query : {L"ch1\\002.bmp", L"h2\\001.bmp", L"ch2\\\\001.bmp", L"\\001.bmp"}) {
    SCOPED_TRACE(testing::Message() << testing::PrintToString(std::wstring(query)));
    ArchiveEntryW untouched;
    std::memset(&untouched, 0xCC, sizeof untouched);
    EXPECT_EQ(plugin.GetFileInfoW(archive.c_str(), 0, query, 0, &untouched), -1);
    EXPECT_EQ(untouched.size, 0xCCCCCCCCCCCCCCCCull);
  }
  ArchiveEntryA untouched;
  std::memset(&untouched, 0xCC, sizeof untouched);
  EXPECT_EQ(plugin.GetFileInfo(AnsiText(archive).c_str(), 0, "ch1/002.bmp", 0, &untouched), -1);
  EXPECT_EQ(untouched.size, 0xCCCCCCCCCCCCCCCCull);
}

TEST_F(HostPaths, FolderTooLongForTheFieldIsCutAfterALevelAndTheMemberStillFetches) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  const std::vector<ArchiveEntryW> records = ListWide();
  ASSERT_EQ(records.size(), 6u);
  // 100 + 96 + 1 units and three "\": the third level does not fit 199.
  EXPECT_EQ(RecordPath(records[4]), kLong1 + L"\\" + kLong2 + L"\\");
  EXPECT_EQ(RecordName(records[4]), L"p.bmp");
  EXPECT_EQ(records[4].size, 4404u);
  EXPECT_EQ(FetchToMemory(records[4].position), SourceBytes(kLong1 + L"\\" + kLong2 + L"\\" + kLong3 + L"\\p.bmp"));

  // Its path + name passes the 199 units a query may have; the name finds it.
  ArchiveEntryW record{};
  ASSERT_EQ(plugin.GetFileInfoW(archive.c_str(), 0, L"P.BMP", 0, &record), 0);
  EXPECT_EQ(record.position, 4u);

  const std::vector<ArchiveEntryA> ansi = ListAnsi();
  ASSERT_EQ(ansi.size(), 6u);
  EXPECT_EQ(FieldText(ansi[4].path), AnsiText(kLong1 + L"\\" + kLong2 + L"\\"));
}

TEST_F(HostPaths, EveryFailureLeavesTheListVariableNull) {
  const std::wstring tooLong = L"C:\\" + std::wstring(300, L'a') + L".7z";
  const struct {
    std::wstring path;
    unsigned int flag;
    int result;
  } cases[] = {
      {archive, 1, -1},  // input from memory
      {archive, 7, -1},
      {FixturePath(L"photo.jpg"), 0, 2},
      {FixturePath(L"no-such.7z"), 0, 6},
      {tooLong, 0, 0},  // any failure
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "flag " << c.flag << " result " << c.result);
    HLOCAL list = kUntouched;
    const int wide = plugin.GetArchiveInfoW(c.path.c_str(), 0, c.flag, &list);
    if (c.result != 0) {
      EXPECT_EQ(wide, c.result);
    }
    EXPECT_NE(wide, 0);
    EXPECT_EQ(list, nullptr);

    list = kUntouched;
    const std::string ansiPath = c.path == tooLong ? std::string(300, 'a') + ".7z" : AnsiText(c.path);
    const int ansi = plugin.GetArchiveInfo(ansiPath.c_str(), 0, c.flag, &list);
    if (c.result != 0) {
      EXPECT_EQ(ansi, c.result);
    }
    EXPECT_NE(ansi, 0);
    EXPECT_EQ(list, nullptr);
  }
  HLOCAL list = kUntouched;
  EXPECT_NE(plugin.GetArchiveInfoW(nullptr, 0, 0, &list), 0);
  EXPECT_EQ(list, nullptr);
  list = kUntouched;
  EXPECT_NE(plugin.GetArchiveInfo(nullptr, 0, 1, &list), 0);
  EXPECT_EQ(list, nullptr);
}

// Run with Wine under LC_ALL=ja_JP.UTF-8, where the ANSI code page is 932.
class Cp932HostPaths : public HostPaths {
 protected:
  void SetUp() override {
    if (GetACP() != 932) GTEST_SKIP() << "needs code page 932";
    HostPaths::SetUp();
  }
  const std::wstring jpLong1 = std::wstring(60, L'長');
  const std::wstring jpLong2 = std::wstring(60, L'短');
};

TEST_F(Cp932HostPaths, JapaneseFoldersInWideAndAnsiRecords) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  const std::vector<ArchiveEntryW> records = ListWide();
  ASSERT_EQ(records.size(), 6u);
  EXPECT_EQ(RecordPath(records[0]), L"ch1\\");
  EXPECT_EQ(RecordPath(records[3]), L"第2話\\");
  EXPECT_EQ(RecordName(records[3]), L"003.bmp");
  // 122 units fit the wide field whole.
  EXPECT_EQ(RecordPath(records[5]), jpLong1 + L"\\" + jpLong2 + L"\\");
  EXPECT_EQ(FetchToMemory(3), SourceBytes(L"第2話\\003.bmp"));

  const std::vector<ArchiveEntryA> ansi = ListAnsi();
  ASSERT_EQ(ansi.size(), 6u);
  EXPECT_EQ(FieldText(ansi[0].path), "ch1\\");
  EXPECT_EQ(FieldText(ansi[1].path), "ch2\\");
  EXPECT_EQ(FieldText(ansi[3].path), ToCodePage(932, L"第2話\\"));
  // 242 bytes in code page 932: cut after the first level, never inside a
  // character (a trail byte of 0x5C is not a "\").
  EXPECT_EQ(FieldText(ansi[5].path), ToCodePage(932, jpLong1 + L"\\"));
  EXPECT_EQ(FieldText(ansi[5].name), "p.bmp");

  ArchiveEntryW record{};
  ASSERT_EQ(plugin.GetFileInfoW(archive.c_str(), 0, L"第2話/003.BMP", 0, &record), 0);
  EXPECT_EQ(record.position, 3u);
  ArchiveEntryA ansiRecord{};
  ASSERT_EQ(plugin.GetFileInfo(AnsiText(archive).c_str(), 0, ToCodePage(932, L"第2話\\003.bmp").c_str(), 0,
                               &ansiRecord),
            0);
  EXPECT_EQ(ansiRecord.position, 3u);
  EXPECT_EQ(FieldText(ansiRecord.path), ToCodePage(932, L"第2話\\"));
  // The ANSI record's cut path + name names its member too.
  const std::string shown = FieldText(ansi[5].path) + FieldText(ansi[5].name);
  ASSERT_EQ(plugin.GetFileInfo(AnsiText(archive).c_str(), 0, shown.c_str(), 0, &ansiRecord), 0);
  EXPECT_EQ(ansiRecord.position, 5u);
  ASSERT_EQ(plugin.GetFileInfo(AnsiText(archive).c_str(), 0, "CH2/001.BMP", 0, &ansiRecord), 0);
  EXPECT_EQ(ansiRecord.position, 1u);
}

}  // namespace
}  // namespace qibor::test
