// Member extraction through the loaded plug-in: the real tool for what
// archives hold, the stand-in tool for how qibor drives it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tool/run_tool.h"
#include "tool/work_folder.h"
#include "support/plugin_host.h"
#include "support/test_support.h"

namespace qibor::test {
namespace {

// What the host's variable holds before the call; a failed call leaves it.
const HLOCAL kUntouched = reinterpret_cast<HLOCAL>(static_cast<std::uintptr_t>(0x1234));
constexpr unsigned int kToMemory = 0x100;
constexpr unsigned int kFolderRequest = 0x200;

// For failure messages.
std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(), size, nullptr, nullptr);
  return narrow;
}

struct Fetched {
  int result = -99;
  std::string bytes;
  bool variableUntouched = false;
};

Fetched FetchToMemory(const LoadedPlugin& plugin, const std::wstring& archive, LONG_PTR position,
                      unsigned int flag = kToMemory) {
  HLOCAL block = kUntouched;
  Fetched fetched;
  fetched.result = plugin.GetFileW(archive.c_str(), position, reinterpret_cast<LPWSTR>(&block), flag, nullptr, 0);
  fetched.variableUntouched = block == kUntouched;
  if (!fetched.variableUntouched && block != nullptr) {
    fetched.bytes.assign(static_cast<const char*>(block), LocalSize(block));
    LocalFree(block);
  }
  return fetched;
}

int FetchToFolder(const LoadedPlugin& plugin, const std::wstring& archive, LONG_PTR position,
                  const std::wstring& folder, unsigned int flag = 0) {
  std::wstring dest = folder;
  return plugin.GetFileW(archive.c_str(), position, dest.data(), flag, nullptr, 0);
}

// Record name -> position, from the plug-in's own listing.
std::map<std::wstring, LONG_PTR> Positions(const LoadedPlugin& plugin, const std::wstring& archive) {
  HLOCAL list = nullptr;
  std::map<std::wstring, LONG_PTR> positions;
  if (plugin.GetArchiveInfoW(archive.c_str(), 0, 0, &list) != 0) return positions;
  for (const ArchiveEntryW& record : ListRecords(list))
    positions[RecordName(record)] = static_cast<LONG_PTR>(record.position);
  LocalFree(list);
  return positions;
}

std::vector<std::wstring> EntriesOf(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

std::set<std::wstring> Snapshot(const std::wstring& folder) {
  const std::vector<std::wstring> names = EntriesOf(folder);
  return {names.begin(), names.end()};
}

// Files (not folders) left below the work folder.
std::vector<std::wstring> WorkFolderFiles() {
  std::vector<std::wstring> files;
  for (const std::wstring& entry : WorkFolderEntries()) {
    const DWORD attributes = GetFileAttributesW((WorkDirectory() + L"\\" + entry).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) files.push_back(entry);
  }
  return files;
}

std::wstring CurrentFolder() {
  wchar_t folder[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, folder);
  return folder;
}

// A fixture source's bytes, as the fixture script makes them: the seed
// repeated and cut to the size. Wine cannot open sources whose names hold
// characters Windows forbids.
std::string Repeated(const std::string& seed, std::size_t size) {
  std::string bytes;
  while (bytes.size() < size) bytes += seed;
  return bytes.substr(0, size);
}

class ExtractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveTree(WorkDirectory());
    CreateDirectoryW(WorkDirectory().c_str(), nullptr);
  }
  // Nothing of a request stays in the work folder but folders.
  void ExpectWorkFolderClean() {
    EXPECT_EQ(WorkFolderFiles(), std::vector<std::wstring>{});
    EXPECT_FALSE(CaptureFilesPresent());
  }
};

// ---------------------------------------------------------------------------
// The real tool.

class RealToolFetch : public ExtractTest {
 protected:
  LoadedPlugin plugin{{{L"dir", RealToolDir()}}};
};

std::string PictureBytes(const std::wstring& relative) { return ReadBytes(FixturePath(L"src-pictures\\" + relative)); }

TEST_F(RealToolFetch, EveryMemberArrivesWholeInMemoryFromEachFormat) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  ASSERT_TRUE(plugin.loaded());
  const std::map<std::wstring, std::wstring> sources{
      {L"a.png", L"a.png"}, {L"b.jpg", L"album\\b.jpg"}, {L"c.gif", L"album\\2024\\c.gif"}};
  for (const wchar_t* name : {L"pictures.7z", L"pictures.zip", L"pictures.tgz"}) {
    SCOPED_TRACE(Narrow(name));
    const std::wstring archive = FixturePath(name);
    const std::map<std::wstring, LONG_PTR> positions = Positions(plugin, archive);
    ASSERT_EQ(positions.size(), 3u);
    for (const auto& [member, source] : sources) {
      // Each run of the tool is slow under Wine: the top-level a.png is
      // taken from the 7z only.
      if (member == L"a.png" && std::wstring(name) != L"pictures.7z") continue;
      SCOPED_TRACE(Narrow(member));
      ASSERT_EQ(positions.count(member), 1u);
      const Fetched fetched = FetchToMemory(plugin, archive, positions.at(member));
      ASSERT_EQ(fetched.result, 0);
      const std::string expected = PictureBytes(source);
      ASSERT_FALSE(expected.empty());
      EXPECT_EQ(fetched.bytes.size(), expected.size());  // the block's LocalSize
      EXPECT_TRUE(fetched.bytes == expected);
      ExpectWorkFolderClean();
    }
  }
}

TEST_F(RealToolFetch, RefusalsLeaveTheHostsVariableAsItWas) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  const std::wstring archive = FixturePath(L"pictures.zip");
  for (unsigned int low = 1; low <= 7; ++low) {
    const Fetched fetched = FetchToMemory(plugin, archive, 0, kToMemory | low);
    EXPECT_EQ(fetched.result, -1) << "flag " << (kToMemory | low);
    EXPECT_TRUE(fetched.variableUntouched);
  }

  Fetched fetched = FetchToMemory(plugin, FixturePath(L"no-such-archive.zip"), 0);
  EXPECT_EQ(fetched.result, 6);
  EXPECT_TRUE(fetched.variableUntouched);

  // Past the last member: the cached list answers 2; a list built by this
  // very call answers -1. Listing another archive drops the cached one.
  ASSERT_EQ(Positions(plugin, archive).size(), 3u);
  fetched = FetchToMemory(plugin, archive, 3);
  EXPECT_EQ(fetched.result, 2);
  EXPECT_TRUE(fetched.variableUntouched);
  ASSERT_EQ(Positions(plugin, FixturePath(L"pictures.tgz")).size(), 3u);
  fetched = FetchToMemory(plugin, archive, 3);
  EXPECT_EQ(fetched.result, -1);
  EXPECT_TRUE(fetched.variableUntouched);

  // A member the tool refuses to write alone: right bytes, or nothing at all.
  const std::wstring after64k = FixturePath(L"after64k.7z");
  const std::map<std::wstring, LONG_PTR> positions = Positions(plugin, after64k);
  ASSERT_EQ(positions.count(L"next.png"), 1u);
  fetched = FetchToMemory(plugin, after64k, positions.at(L"next.png"));
  if (fetched.result == 0) {
    EXPECT_TRUE(fetched.bytes == ReadBytes(FixturePath(L"src-after64k\\next.png")));
  } else {
    EXPECT_EQ(fetched.result, 6);
    EXPECT_TRUE(fetched.variableUntouched);
  }
  ExpectWorkFolderClean();
}

TEST_F(RealToolFetch, FolderModeWritesANewFileNamedAfterTheMember) {
  TestFolder dest(L"dest");
  const std::wstring archive = FixturePath(L"pictures.tgz");
  const std::map<std::wstring, LONG_PTR> positions = Positions(plugin, archive);
  ASSERT_EQ(positions.size(), 3u);

  // A member two folders deep lands directly in the folder.
  EXPECT_EQ(FetchToFolder(plugin, archive, positions.at(L"c.gif"), dest.path()), 0);
  EXPECT_EQ(FetchToFolder(plugin, archive, positions.at(L"b.jpg"), dest.path(), kFolderRequest), 0);
  EXPECT_EQ(Snapshot(dest.path()), (std::set<std::wstring>{L"b.jpg", L"c.gif"}));
  EXPECT_TRUE(ReadBytes(dest / L"c.gif") == PictureBytes(L"album\\2024\\c.gif"));
  EXPECT_TRUE(ReadBytes(dest / L"b.jpg") == PictureBytes(L"album\\b.jpg"));

  // Never overwritten: neither a file of this plug-in nor one of the host.
  EXPECT_EQ(FetchToFolder(plugin, archive, positions.at(L"c.gif"), dest.path()), 9);
  EXPECT_TRUE(ReadBytes(dest / L"c.gif") == PictureBytes(L"album\\2024\\c.gif"));
  WriteBytes(dest / L"a.png", "the host's own file");
  EXPECT_EQ(FetchToFolder(plugin, archive, positions.at(L"a.png"), dest.path()), 9);
  EXPECT_EQ(ReadBytes(dest / L"a.png"), "the host's own file");

  // A missing folder is not made; a bad flag writes nothing.
  EXPECT_EQ(FetchToFolder(plugin, archive, positions.at(L"a.png"), dest / L"missing"), 9);
  EXPECT_EQ(Snapshot(dest.path()), (std::set<std::wstring>{L"a.png", L"b.jpg", L"c.gif"}));
  TestFolder other(L"dest-other");
  EXPECT_EQ(FetchToFolder(plugin, archive, positions.at(L"a.png"), other.path(), 3), -1);
  EXPECT_TRUE(EntriesOf(other.path()).empty());
  ExpectWorkFolderClean();
}

// ---------------------------------------------------------------------------
// Names the tool could take for options, wildcards, anchors or quotes.

class OddNameFetch : public RealToolFetch {};

TEST_F(OddNameFetch, EachMemberGivesExactlyItsOwnBytesAndNothingElseIsWritten) {
  const std::wstring archive = FixturePath(L"odd.tar");
  const struct {
    const wchar_t* record;
    const char* seed;
    std::size_t size;
  } cases[] = {
      {L"001.jpg", "art", 101},  // [Art] T/001.jpg
      {L"x]y.png", "bracket", 102}, {L"^up.png", "caret", 103},         {L"cost$", "dollar", 104},
      {L"-P", "dash", 105},         {L"keep.txt", "keep", 106},         {L"say _hi_.png", "quote", 107},
      {L"a_b.png", "star", 108},
  };
  const std::map<std::wstring, LONG_PTR> positions = Positions(plugin, archive);
  ASSERT_EQ(positions.size(), std::size(cases) + 1);
  const std::set<std::wstring> archiveFolderBefore = Snapshot(FixturePath(L""));
  const std::set<std::wstring> currentFolderBefore = Snapshot(CurrentFolder());

  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.record));
    ASSERT_EQ(positions.count(c.record), 1u);
    const Fetched fetched = FetchToMemory(plugin, archive, positions.at(c.record));
    EXPECT_EQ(fetched.result, 0);
    EXPECT_EQ(fetched.bytes, Repeated(c.seed, c.size));
    // Any other member the tool extracted would still be lying here.
    ExpectWorkFolderClean();
  }

  // The record holds the first 199 units of the 250-unit name; below the
  // request folder its path is longer than MAX_PATH, and still read.
  const Fetched fetched = FetchToMemory(plugin, archive, positions.at(std::wstring(199, L'L')));
  EXPECT_EQ(fetched.result, 0);
  EXPECT_EQ(fetched.bytes, Repeated("long250", 109));
  ExpectWorkFolderClean();

  EXPECT_EQ(Snapshot(FixturePath(L"")), archiveFolderBefore);
  EXPECT_EQ(Snapshot(CurrentFolder()), currentFolderBefore);
}

// Their records carry "_" for each character no file name may hold.
TEST_F(OddNameFetch, NamesWindowsCannotHoldAsTheyAreStillArrive) {
  const std::wstring archive = FixturePath(L"winnames.tar");
  const struct {
    const wchar_t* record;
    const char* seed;
    std::size_t size;
  } cases[] = {
      {L"q_.png", "quest", 201},          {L"at 12_00.png", "colon", 202},
      {L"a_b__c.png", "angle", 203},      {L"back__slash.png", "back", 204},
  };
  const std::map<std::wstring, LONG_PTR> positions = Positions(plugin, archive);
  EXPECT_EQ(positions.size(), std::size(cases));
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.record));
    ASSERT_EQ(positions.count(c.record), 1u);
    const Fetched fetched = FetchToMemory(plugin, archive, positions.at(c.record));
    EXPECT_EQ(fetched.result, 0);
    EXPECT_EQ(fetched.bytes, Repeated(c.seed, c.size));
    ExpectWorkFolderClean();
  }
}

// ---------------------------------------------------------------------------
// The stand-in tool: what runs, and with which arguments.

std::string VerboseLine(std::uint64_t size, const std::string& path) {
  return "-rw-r--r--  0 0      0    " + std::to_string(size) + " Dec 09 06:24 " + path + "\r\n";
}

class StandInFetch : public ExtractTest {
 protected:
  void SetUp() override {
    ExtractTest::SetUp();
    WriteBytes(ArchivePath(), std::string(1024, 'x'));
    tool.SetExtracted("extracted bytes");
  }
  void SetMembers(const std::vector<std::pair<std::string, std::uint64_t>>& members) {
    std::string plain;
    std::string verbose;
    for (const auto& [path, size] : members) {
      plain += path + "\r\n";
      verbose += VerboseLine(size, path);
    }
    tool.SetPlain(plain);
    tool.SetVerbose(verbose);
  }
  std::wstring ArchivePath() const { return archive / L"x.tar"; }
  std::wstring ToolPath() const { return tool.dir() + L"\\tar.exe"; }
  // The member's bytes on standard output, an "x NAME" line for it.
  std::wstring ExtractionCommand(const std::wstring& member) const {
    return L"\"" + ToolPath() + L"\" xqvOf - -- \"" + member + L"\"";
  }
  std::wstring PassCommand() const { return L"\"" + ToolPath() + L"\" xvOf -"; }
  std::size_t ExtractionRuns() const {
    std::size_t count = 0;
    for (const std::wstring& run : tool.Runs()) count += run.find(L"\" x") != std::wstring::npos ? 1 : 0;
    return count;
  }
  void ListAndForgetRuns(std::size_t expectedCount) {
    HLOCAL list = nullptr;
    ASSERT_EQ(plugin.GetArchiveInfoW(ArchivePath().c_str(), 0, 0, &list), 0);
    EXPECT_EQ(ListRecords(list).size(), expectedCount);
    LocalFree(list);
    tool.ClearRuns();
  }

  // A listing's two runs, as the stand-in logs them.
  std::multiset<std::wstring> ListingRuns() const {
    return {L"\"" + ToolPath() + L"\" tf -", L"\"" + ToolPath() + L"\" tvf -"};
  }

  FakeTool tool;
  TestFolder archive{L"archive"};
  LoadedPlugin plugin{{{L"dir", tool.dir()}}};
};

// The runs each request costs, counted by the stand-in: a listing two, a
// fetch from an unchanged archive one, a fetch that finds no list three.
TEST_F(StandInFetch, EachRequestRunsTheToolAsFewTimesAsItCan) {
  SetMembers({{"pics/a.png", 15}, {"b.png", 15}});
  ListAndForgetRuns(2);  // the plain and the verbose listing

  Fetched fetched = FetchToMemory(plugin, ArchivePath(), 1);
  EXPECT_EQ(fetched.result, 0);
  EXPECT_EQ(fetched.bytes, "extracted bytes");
  std::vector<std::wstring> runs = tool.Runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0], ExtractionCommand(L"b.png"));

  tool.ClearRuns();
  fetched = FetchToMemory(plugin, ArchivePath(), 0);
  EXPECT_EQ(fetched.result, 0);
  EXPECT_EQ(tool.Runs(), std::vector<std::wstring>{ExtractionCommand(L"pics/a.png")});

  // IsSupportedW: one run.
  tool.ClearRuns();
  const unsigned char header[8] = {'x'};
  EXPECT_EQ(plugin.IsSupportedW(ArchivePath().c_str(), const_cast<unsigned char*>(header)), 1);
  EXPECT_EQ(tool.Runs().size(), 1u);

  // A fetch that finds no list: both listings and the extraction. The
  // archive reaches the tool on standard input, never as a path.
  LoadedPlugin fresh({{L"dir", tool.dir()}}, L"plugin-fresh");
  tool.ClearRuns();
  fetched = FetchToMemory(fresh, ArchivePath(), 1);
  EXPECT_EQ(fetched.result, 0);
  runs = tool.Runs();
  ASSERT_EQ(runs.size(), 3u);
  // The two listings start at once, in either order.
  EXPECT_EQ(std::multiset<std::wstring>(runs.begin(), runs.begin() + 2), ListingRuns());
  EXPECT_EQ(runs[2], ExtractionCommand(L"b.png"));
  ExpectWorkFolderClean();
}

std::uint64_t LastWriteOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

// A list is trusted only while the archive is the file it was made from and
// the settings are the ones it was made with.
TEST_F(StandInFetch, AChangedArchiveOrSettingIsListedAfresh) {
  SetMembers({{"a.png", 15}, {"b.png", 15}});
  ListAndForgetRuns(2);
  auto fetchRuns = [&](LONG_PTR position) {
    tool.ClearRuns();
    EXPECT_EQ(FetchToMemory(plugin, ArchivePath(), position).result, 0);
    return tool.Runs();
  };
  // Other bytes, another size.
  WriteBytes(ArchivePath(), std::string(2048, 'y'));
  std::vector<std::wstring> runs = fetchRuns(0);
  ASSERT_GE(runs.size(), 3u);
  EXPECT_EQ(std::multiset<std::wstring>(runs.begin(), runs.begin() + 2), ListingRuns());
  EXPECT_EQ(runs.back(), ExtractionCommand(L"a.png"));
  // Another maxMB than the list was made with.
  ListAndForgetRuns(2);
  WriteSettings(plugin.IniPath(), {{L"dir", tool.dir()}, {L"maxMB", L"32"}});
  EXPECT_GE(fetchRuns(1).size(), 3u);
  // The same size, a new write time.
  WriteSettings(plugin.IniPath(), {{L"dir", tool.dir()}});
  ListAndForgetRuns(2);
  HANDLE file = CreateFileW(ArchivePath().c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  FILETIME later{};
  GetSystemTimeAsFileTime(&later);
  later.dwHighDateTime += 1;
  SetFileTime(file, nullptr, nullptr, &later);
  CloseHandle(file);
  EXPECT_GE(fetchRuns(0).size(), 3u);
  // Another file in its place, with the same bytes, size and time: only its
  // identity tells, and that is read while the run goes.
  ListAndForgetRuns(2);
  const std::wstring copy = ArchivePath() + L".copy";
  ASSERT_TRUE(CopyFileW(ArchivePath().c_str(), copy.c_str(), FALSE));
  EXPECT_EQ(LastWriteOf(copy), LastWriteOf(ArchivePath()));
  ASSERT_TRUE(MoveFileExW(copy.c_str(), ArchivePath().c_str(), MOVEFILE_REPLACE_EXISTING));
  runs = fetchRuns(1);
  ASSERT_GE(runs.size(), 3u);
  EXPECT_EQ(std::multiset<std::wstring>(runs.end() - 3, runs.end() - 1), ListingRuns());
  EXPECT_EQ(runs.back(), ExtractionCommand(L"b.png"));
  // Unchanged again: one run.
  ListAndForgetRuns(2);
  EXPECT_EQ(fetchRuns(1).size(), 1u);
  ExpectWorkFolderClean();
}

TEST_F(StandInFetch, PatternCharactersAreEscapedAndQuotesSurvive) {
  SetMembers({{"[x]*?.png", 15}, {"^a$", 15}, {"say \"hi\".png", 15}});
  ListAndForgetRuns(3);
  const std::vector<std::wstring> expected{
      // A printed "?" may stand for a unit the code page cannot show: it
      // stays a wildcard, and the name written must print as the listed one.
      ExtractionCommand(L"\\[x\\]\\*?.png"),
      ExtractionCommand(L"\\^a\\$"),
      ExtractionCommand(L"say \\\"hi\\\".png"),
  };
  for (std::size_t position = 0; position < expected.size(); ++position) {
    tool.ClearRuns();
    const Fetched fetched = FetchToMemory(plugin, ArchivePath(), static_cast<LONG_PTR>(position));
    EXPECT_EQ(fetched.result, 0) << position;
    const std::vector<std::wstring> runs = tool.Runs();
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs.back(), expected[position]);
  }
}

// The tool's argument also selects the entries below a member and its other
// copies: the run stops at the first, or reads all with what lies below
// excluded and takes the member's bytes last, or a pass over every entry
// gives the member by its place.
TEST_F(StandInFetch, EntriesTheArgumentAlsoSelectsAreExcludedOrPassedOver) {
  SetMembers({{"cover.jpg/pad.bin", 15}, {"cover.jpg", 15}, {"x.png", 15}, {"x.png", 15}, {"x.png", 15}});
  ListAndForgetRuns(5);
  const std::wstring tool_ = L"\"" + ToolPath() + L"\"";
  const struct {
    LONG_PTR position;
    std::wstring extraction;
  } cases[] = {
      {0, tool_ + L" xqvOf - -- \"cover.jpg/pad.bin\""},
      {1, tool_ + L" xvOf - --exclude \"^cover.jpg/?*\" -- \"cover.jpg\""},
      {2, tool_ + L" xqvOf - -- \"x.png\""},
      {3, PassCommand()},
      {4, tool_ + L" xvOf - --exclude \"^x.png/?*\" -- \"x.png\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.position);
    tool.ClearRuns();
    const Fetched fetched = FetchToMemory(plugin, ArchivePath(), c.position);
    EXPECT_EQ(fetched.result, 0);
    EXPECT_EQ(fetched.bytes, "extracted bytes");
    // One run where the member is the only entry its name selects; else
    // the listings, the argument's own listing, and the extraction.
    const std::vector<std::wstring> runs = tool.Runs();
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs.back(), c.extraction);
    ExpectWorkFolderClean();
  }
}

TEST_F(StandInFetch, PositionsPastTheEndRunNoExtraction) {
  SetMembers({{"a.png", 15}, {"empty.png", 0}, {"b.png", 15}});
  ListAndForgetRuns(2);
  Fetched fetched = FetchToMemory(plugin, ArchivePath(), 2);
  EXPECT_EQ(fetched.result, 2);
  EXPECT_TRUE(fetched.variableUntouched);
  EXPECT_TRUE(tool.Runs().empty());  // answered from the cached list

  // Another plug-in instance has no cached list: built in this call.
  LoadedPlugin fresh({{L"dir", tool.dir()}}, L"plugin-fresh");
  fetched = FetchToMemory(fresh, ArchivePath(), 2);
  EXPECT_EQ(fetched.result, -1);
  EXPECT_TRUE(fetched.variableUntouched);
  EXPECT_EQ(ExtractionRuns(), 0u);
  EXPECT_FALSE(tool.Runs().empty());
  ExpectWorkFolderClean();
}

TEST_F(StandInFetch, AMemberTheHostsListNamedIsDeliveredOnlyWhileItIsStillListed) {
  SetMembers({{"big.bin", 2 * 1048576}, {"small.png", 15}});
  ListAndForgetRuns(2);
  WriteSettings(plugin.IniPath(), {{L"dir", tool.dir()}, {L"maxMB", L"1"}});

  // Position 0 named big.bin, which a lower limit leaves out: the member
  // now at that position is another and is not delivered for it.
  Fetched fetched = FetchToMemory(plugin, ArchivePath(), 0);
  EXPECT_EQ(fetched.result, 6);
  EXPECT_TRUE(fetched.variableUntouched);
  EXPECT_EQ(ExtractionRuns(), 0u);

  // small.png moved up to position 0 and is still the one the list named.
  tool.ClearRuns();
  fetched = FetchToMemory(plugin, ArchivePath(), 1);
  EXPECT_EQ(fetched.result, 0);
  EXPECT_EQ(fetched.bytes, "extracted bytes");
  std::vector<std::wstring> runs = tool.Runs();
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[2], ExtractionCommand(L"small.png"));

  TestFolder dest(L"dest");
  EXPECT_EQ(FetchToFolder(plugin, ArchivePath(), 1, dest.path()), 0);
  EXPECT_EQ(EntriesOf(dest.path()), std::vector<std::wstring>{L"small.png"});
  EXPECT_EQ(ReadBytes(dest / L"small.png"), "extracted bytes");
  ExpectWorkFolderClean();
}

// Nothing of a member is written but the host's own file: a path that would
// lead out of any folder is just a name in the tool's output.
TEST_F(StandInFetch, MembersWhosePathsClimbComeOnlyThroughTheOutput) {
  SetMembers({{"../evil.txt", 15}, {"ok/../../up.png", 15}, {"../../../../nul.png", 15}});
  ListAndForgetRuns(3);
  TestFolder dest(L"dest");
  const std::set<std::wstring> currentFolderBefore = Snapshot(CurrentFolder());
  for (LONG_PTR position = 0; position < 3; ++position) {
    const Fetched fetched = FetchToMemory(plugin, ArchivePath(), position);
    EXPECT_EQ(fetched.result, 0) << position;
    EXPECT_EQ(fetched.bytes, "extracted bytes") << position;
    EXPECT_EQ(FetchToFolder(plugin, ArchivePath(), position, dest.path()), 0) << position;
  }
  // Each record's name, nothing else; a device name made a file's.
  EXPECT_EQ(Snapshot(dest.path()), (std::set<std::wstring>{L"evil.txt", L"up.png", L"_nul.png"}));
  EXPECT_EQ(ReadBytes(dest / L"_nul.png"), "extracted bytes");
  EXPECT_EQ(Snapshot(CurrentFolder()), currentFolderBefore);
  ExpectWorkFolderClean();
}

TEST_F(StandInFetch, BytesOfAnotherSizeThanListedAreNotTheMember) {
  // The stand-in writes 15 bytes whatever it is asked for: neither one run
  // nor a pass over both gives 16.
  SetMembers({{"a.png", 16}, {"b.png", 16}});
  ListAndForgetRuns(2);
  for (LONG_PTR position : {0, 1}) {
    const Fetched fetched = FetchToMemory(plugin, ArchivePath(), position);
    EXPECT_EQ(fetched.result, 6);
    EXPECT_TRUE(fetched.variableUntouched);
  }
  ExpectWorkFolderClean();
}

TEST_F(StandInFetch, AnExtractionThatFailsDeliversNothing) {
  SetMembers({{"a.png", 15}, {"b.png", 15}});
  ListAndForgetRuns(2);

  // The tool writes nothing.
  WriteBytes(tool.dir() + L"\\xf.none", "");
  Fetched fetched = FetchToMemory(plugin, ArchivePath(), 0);
  EXPECT_EQ(fetched.result, 6);
  EXPECT_TRUE(fetched.variableUntouched);
  ExpectWorkFolderClean();
  DeleteFileW((tool.dir() + L"\\xf.none").c_str());

  // The tool writes the bytes but reports that this member failed.
  WriteBytes(tool.dir() + L"\\xf.err", "x b.png: Truncated 7-Zip file body: Invalid argument\r\n");
  fetched = FetchToMemory(plugin, ArchivePath(), 1);
  EXPECT_EQ(fetched.result, 6);
  EXPECT_TRUE(fetched.variableUntouched);
  TestFolder dest(L"dest");
  EXPECT_EQ(FetchToFolder(plugin, ArchivePath(), 1, dest.path()), 6);
  EXPECT_TRUE(EntriesOf(dest.path()).empty());
  ExpectWorkFolderClean();

  // A complaint about no member does not spoil this one.
  WriteBytes(tool.dir() + L"\\xf.err", "tar.exe: Pathname cannot be converted to current locale.\r\nx b.png\r\n");
  fetched = FetchToMemory(plugin, ArchivePath(), 1);
  EXPECT_EQ(fetched.result, 0);
  EXPECT_EQ(fetched.bytes, "extracted bytes");
  ExpectWorkFolderClean();
}

// ---------------------------------------------------------------------------
// Several host threads at once.

TEST_F(RealToolFetch, ConcurrentFetchesFromDifferentArchivesAllGetTheirOwnBytes) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  // Members whose positions the fixture script fixes by its order of files.
  struct Job {
    std::wstring archive;
    LONG_PTR position;
    std::wstring source;
  };
  const std::vector<Job> jobs{{FixturePath(L"pictures.7z"), 0, FixturePath(L"src-pictures\\a.png")},
                              {FixturePath(L"case.7z"), 1, FixturePath(L"src-case\\pic.png")},
                              {FixturePath(L"odd.tar"), 5, FixturePath(L"src-odd\\keep.txt")},
                              {FixturePath(L"longname.tar"), 3, FixturePath(L"src-longname\\last.png")}};

  std::vector<std::string> expected;
  for (const Job& job : jobs) expected.push_back(ReadBytes(job.source));  // ReadBytes is not thread-safe

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(4);
  std::vector<int> rounds(jobs.size(), 0);
  std::vector<int> wrong(jobs.size(), 0);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    threads.emplace_back([&, i] {
      do {
        const Fetched fetched = FetchToMemory(plugin, jobs[i].archive, jobs[i].position);
        if (fetched.result != 0 || fetched.bytes != expected[i] || expected[i].empty()) ++wrong[i];
        ++rounds[i];
      } while (std::chrono::steady_clock::now() < deadline);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    SCOPED_TRACE(Narrow(jobs[i].source));
    EXPECT_GE(rounds[i], 1);
    EXPECT_EQ(wrong[i], 0);
  }
  ExpectWorkFolderClean();
}

}  // namespace
}  // namespace qibor::test
