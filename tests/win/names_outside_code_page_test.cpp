// Members whose names the user's code page cannot show, fetched through a
// loaded qibor.sph with the real tool. The tool prints "?" for each unit it
// cannot show and a look-alike for others, so printed names can be alike
// while the members differ: each member gives exactly its own bytes, or a
// non-zero result, never another's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extract/member_selection.h"
#include "listing/listing.h"
#include "tool/run_tool.h"
#include "tool/work_folder.h"
#include "support/plugin_host.h"
#include "support/test_support.h"

namespace qibor::test {
namespace {

struct Fetch {
  int result = -99;
  std::string bytes;
};

class NamesOutsideTheCodePage : public ::testing::Test {
 protected:
  std::vector<std::wstring> Names(const std::wstring& archive) {
    HLOCAL list = nullptr;
    std::vector<std::wstring> names;
    if (plugin.GetArchiveInfoW(archive.c_str(), 0, 0, &list) != 0) return names;
    for (const ArchiveEntryW& record : ListRecords(list)) names.push_back(RecordName(record));
    LocalFree(list);
    return names;
  }
  Fetch ToMemory(const std::wstring& archive, LONG_PTR position) {
    Fetch fetch;
    HLOCAL block = nullptr;
    fetch.result = plugin.GetFileW(archive.c_str(), position, reinterpret_cast<LPWSTR>(&block), kToMemory, nullptr, 0);
    if (fetch.result == 0) {
      fetch.bytes.assign(static_cast<const char*>(block), LocalSize(block));
      LocalFree(block);
    }
    return fetch;
  }
  std::string Source(const std::wstring& name) { return ReadBytes(FixturePath(L"src-unicode\\" + name)); }

  // Each position: its own bytes in memory, and in a folder a new file
  // under its record's name, where the host looks for it, holding the same.
  void ExpectEachServed(const std::wstring& archive, const std::vector<std::wstring>& realNames) {
    const std::vector<std::wstring> recordNames = Names(archive);
    ASSERT_EQ(recordNames.size(), realNames.size());
    for (std::size_t i = 0; i < realNames.size(); ++i) {
      SCOPED_TRACE(Ansi(realNames[i]));
      const Fetch fetch = ToMemory(archive, static_cast<LONG_PTR>(i));
      EXPECT_EQ(fetch.result, 0);
      EXPECT_TRUE(fetch.bytes == Source(realNames[i]));
      std::wstring folder = dest.path();
      EXPECT_EQ(plugin.GetFileW(archive.c_str(), static_cast<LONG_PTR>(i), folder.data(), 0, nullptr, 0), 0);
      EXPECT_TRUE(ReadBytes(dest / recordNames[i]) == Source(realNames[i]));
      DeleteFileW((dest / recordNames[i]).c_str());
    }
    EXPECT_EQ(WorkFolderEntries(), std::vector<std::wstring>{});
  }

  LoadedPlugin plugin{{{L"dir", RealToolDir()}}};
  TestFolder dest{L"unicode-dest"};
};

class Cp1252Names : public NamesOutsideTheCodePage {
 protected:
  void SetUp() override {
    if (GetACP() != 1252) GTEST_SKIP() << "needs code page 1252";
  }
};

class Cp932Names : public NamesOutsideTheCodePage {
 protected:
  void SetUp() override {
    if (GetACP() != 932) GTEST_SKIP() << "needs code page 932";
  }
};

TEST_F(Cp1252Names, UnitsTheCodePageCannotShowAreFetchedByWildcards) {
  for (const wchar_t* name : {L"unicode.7z", L"unicode.zip"}) {
    SCOPED_TRACE(Ansi(name));
    const std::wstring archive = FixturePath(name);
    if (!RealToolReads(archive)) continue;
    // "?" for each unit the code page cannot show, which no file name holds.
    EXPECT_EQ(Names(archive), (std::vector<std::wstring>{L"___.png", L"a.png", L"__.png"}));
    ExpectEachServed(archive, {L"\u3055\u304f\u3089.png", L"a.png", L"\U0001F600.png"});
  }
}

TEST_F(Cp1252Names, LookAlikesGiveEachItsOwnBytesInEitherOrder) {
  // "ā.jpg" prints as "a.jpg", beside a real "a.jpg".
  const std::wstring first = FixturePath(L"lookalike-first.zip");
  EXPECT_EQ(Names(first), (std::vector<std::wstring>{L"a.jpg", L"a.jpg", L"\u00e9.jpg", L"e.jpg"}));
  ExpectEachServed(first, {L"\u0101.jpg", L"a.jpg", L"\u00e9.jpg", L"e.jpg"});
  const std::wstring last = FixturePath(L"lookalike-last.zip");
  EXPECT_EQ(Names(last), (std::vector<std::wstring>{L"a.jpg", L"a.jpg", L"e.jpg", L"\u00e9.jpg"}));
  ExpectEachServed(last, {L"a.jpg", L"\u0101.jpg", L"e.jpg", L"\u00e9.jpg"});
}

// Several records print alike: a lookup by that name answers the member
// stored under exactly it, as the tool's own matching tells.
void ExpectLookupFinds(const LoadedPlugin& plugin, const std::wstring& archive, const wchar_t* name,
                       std::uint64_t position) {
  SCOPED_TRACE(Ansi(archive));
  ArchiveEntryW record{};
  ASSERT_EQ(plugin.GetFileInfoW(archive.c_str(), 0, name, 0, &record), 0);
  EXPECT_EQ(record.position, position);
}

TEST_F(Cp1252Names, ALookupAmongLookAlikesAnswersTheExactName) {
  ExpectLookupFinds(plugin, FixturePath(L"lookalike-first.zip"), L"a.jpg", 1);
  ExpectLookupFinds(plugin, FixturePath(L"lookalike-last.zip"), L"a.jpg", 0);
  ExpectLookupFinds(plugin, FixturePath(L"lookalike-first.zip"), L"A.JPG", 0);  // no exact name: the first
}

// "．．／x.jpg" prints as "../x.jpg": its record holds no folder that leads a
// host out of its own, and no argument names it; a pass gives it by its place.
TEST_F(Cp1252Names, NamesThatPrintAsFoldersComeByTheirPlace) {
  const std::wstring archive = FixturePath(L"fullwidth-dots.zip");
  HLOCAL list = nullptr;
  ASSERT_EQ(plugin.GetArchiveInfoW(archive.c_str(), 0, 0, &list), 0);
  const std::vector<ArchiveEntryW> records = ListRecords(list);
  LocalFree(list);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(std::wstring(records[0].path), L"_\\");
  EXPECT_EQ(RecordName(records[0]), L"x.jpg");
  ExpectEachServed(archive, {L"\uFF0E\uFF0E\uFF0Fx.jpg", L"a.png"});
}

TEST_F(Cp1252Names, LookAlikesThatNothingTellsApartAreRefusedNotSwapped) {
  // "ō.jpg" and "o.jpg", 400 bytes each, print alike with the same size and
  // date: the first is had by its shape, the second cannot be told from it.
  const std::wstring archive = FixturePath(L"lookalike-same-size.zip");
  EXPECT_EQ(Names(archive), (std::vector<std::wstring>{L"o.jpg", L"o.jpg"}));
  const std::string bytes[] = {Source(L"\u014d.jpg"), Source(L"o.jpg")};
  for (LONG_PTR position : {0, 1}) {
    SCOPED_TRACE(position);
    const Fetch fetch = ToMemory(archive, position);
    if (fetch.result == 0) {
      EXPECT_TRUE(fetch.bytes == bytes[position]) << "another member's bytes";
    } else {
      EXPECT_EQ(fetch.result, 6);
    }
  }
  EXPECT_EQ(ToMemory(archive, 0).result, 0);
  EXPECT_EQ(WorkFolderEntries(), std::vector<std::wstring>{});
}

TEST_F(Cp932Names, LookAlikesGiveEachItsOwnBytesInEitherOrder) {
  // "é.jpg" prints as "e.jpg" under 932.
  EXPECT_EQ(Names(FixturePath(L"acute-first.zip")), (std::vector<std::wstring>{L"e.jpg", L"e.jpg"}));
  ExpectEachServed(FixturePath(L"acute-first.zip"), {L"\u00e9.jpg", L"e.jpg"});
  ExpectEachServed(FixturePath(L"acute-last.zip"), {L"e.jpg", L"\u00e9.jpg"});
  if (RealToolReads7z()) ExpectEachServed(FixturePath(L"acute-last.7z"), {L"e.jpg", L"\u00e9.jpg"});
}

TEST_F(Cp932Names, ALookupAmongLookAlikesAnswersTheExactName) {
  ExpectLookupFinds(plugin, FixturePath(L"acute-first.zip"), L"e.jpg", 1);
  ExpectLookupFinds(plugin, FixturePath(L"acute-last.zip"), L"e.jpg", 0);
}

TEST_F(Cp932Names, AMemberThatCannotBeWrittenAloneIsRefusedNeverSwapped) {
  // "ā.jpg" prints as "?.jpg" and "é.jpg" as "e.jpg": "é.jpg" cannot be
  // selected without "ā.jpg", which has no name the tool could be given.
  for (const wchar_t* name : {L"lookalike-first.zip", L"lookalike-last.zip"}) {
    SCOPED_TRACE(Ansi(name));
    const std::wstring archive = FixturePath(name);
    const bool macronFirst = std::wstring(name) == L"lookalike-first.zip";
    const std::vector<std::wstring> real = macronFirst
                                               ? std::vector<std::wstring>{L"\u0101.jpg", L"a.jpg", L"\u00e9.jpg", L"e.jpg"}
                                               : std::vector<std::wstring>{L"a.jpg", L"\u0101.jpg", L"e.jpg", L"\u00e9.jpg"};
    ASSERT_EQ(Names(archive).size(), real.size());
    int served = 0;
    for (std::size_t i = 0; i < real.size(); ++i) {
      SCOPED_TRACE(i);
      const Fetch fetch = ToMemory(archive, static_cast<LONG_PTR>(i));
      if (fetch.result == 0) {
        EXPECT_TRUE(fetch.bytes == Source(real[i])) << "another member's bytes";
        ++served;
      } else {
        EXPECT_EQ(fetch.result, 6);
      }
    }
    EXPECT_GE(served, 2);  // the plain names at least
    EXPECT_EQ(WorkFolderEntries(), std::vector<std::wstring>{});
  }
}

TEST_F(Cp932Names, JapaneseNamesArePrintedAsTheyAre) {
  for (const wchar_t* name : {L"unicode.7z", L"unicode.zip"}) {
    SCOPED_TRACE(Ansi(name));
    const std::wstring archive = FixturePath(name);
    if (!RealToolReads(archive)) continue;
    EXPECT_EQ(Names(archive), (std::vector<std::wstring>{L"\u3055\u304f\u3089.png", L"a.png", L"__.png"}));
    ExpectEachServed(archive, {L"\u3055\u304f\u3089.png", L"a.png", L"\U0001F600.png"});
  }
}

// Members in folders. The tool counts a 5C byte as a "/" where it strips
// paths, and in code page 932 one ends "ソ", "能" and "表".
const wchar_t* const kFolderMembers[] = {
    L"ソa/表紙.jpg", L"ソa/y.png", L"能力/ソース/x.png", L"a/b/c/plain.png", L"sub/qiborx.txt", L"sub/QIBOR.TXT",
};

std::wstring WindowsPath(std::wstring path) {
  for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
  return path;
}

TEST_F(NamesOutsideTheCodePage, MembersInFoldersArriveWholeInMemoryAndInAFolder) {
  const std::wstring archive = FixturePath(L"folders.zip");
  const std::vector<std::wstring> names = Names(archive);
  ASSERT_EQ(names.size(), std::size(kFolderMembers));
  for (std::size_t i = 0; i < std::size(kFolderMembers); ++i) {
    const std::wstring path = WindowsPath(kFolderMembers[i]);
    SCOPED_TRACE(Ansi(path));
    const Fetch fetch = ToMemory(archive, static_cast<LONG_PTR>(i));
    EXPECT_EQ(fetch.result, 0);
    EXPECT_TRUE(fetch.bytes == Source(path));
    std::wstring folder = dest.path();
    EXPECT_EQ(plugin.GetFileW(archive.c_str(), static_cast<LONG_PTR>(i), folder.data(), 0, nullptr, 0), 0);
    const std::wstring saved = dest / names[i];
    EXPECT_TRUE(ReadBytes(saved) == Source(path));
    DeleteFileW(saved.c_str());
  }
  EXPECT_EQ(WorkFolderEntries(), std::vector<std::wstring>{});
}

// The one run alone, with no fallback behind it: each member comes out of it
// whole, its "x" line as the listing printed it.
TEST_F(Cp932Names, OneRunGivesEachFolderMemberWhole) {
  const std::wstring archive = FixturePath(L"folders.zip");
  RequestScope scope;
  ASSERT_FALSE(scope.folder().empty());
  const UniqueHandle input = OpenArchive(archive);
  qibor::Settings settings;
  settings.toolDir = RealToolDir();
  Listing listing;
  ASSERT_EQ(ListAfresh(scope.folder(), settings, archive, input.get(), 0, listing), 0);
  ASSERT_EQ(listing.list->members.size(), std::size(kFolderMembers));
  const ArchiveRuns runs{scope.folder(), RealToolDir() + L"\\tar.exe", input.get()};
  for (std::size_t i = 0; i < std::size(kFolderMembers); ++i) {
    const std::wstring path = WindowsPath(kFolderMembers[i]);
    SCOPED_TRACE(Ansi(path));
    const std::string source = Source(path);
    std::string bytes(source.size(), '\0');
    const EntrySink sink{reinterpret_cast<unsigned char*>(bytes.data()), nullptr};
    ASSERT_EQ(TakeEntry(runs, AloneRun(runs.tool, *listing.list, i), sink), 0);
    EXPECT_TRUE(bytes == source);
  }
}

}  // namespace
}  // namespace qibor::test
