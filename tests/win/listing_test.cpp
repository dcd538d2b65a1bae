// Listing an archive through the real tool under Wine, and through the
// stand-in tool for what the real one cannot be made to print.
#include <gtest/gtest.h>

#include <algorithm>

#include <clocale>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "floor/code_page_text.h"
#include "floor/retry.h"
#include "floor/unique_any.h"
#include "interface/settings.h"
#include "listing/listing.h"
#include "tool/captures.h"
#include "tool/run_tool.h"
#include "tool/work_folder.h"
#include "support/plugin_host.h"
#include "support/test_support.h"

namespace qibor::test {
namespace {

struct Listed {
  ResultCode result = ReadError;
  std::vector<ArchiveEntryW> records;
  SIZE_T blockSize = 0;
  bool hasBlock = false;
  std::shared_ptr<const ArchiveList> list;
};

Listed Build(const std::wstring& archive) {
  RequestScope request;
  const UniqueHandle handle = OpenArchive(archive);
  Listing listing;
  Listed listed;
  listed.result =
      handle.valid() ? ListAfresh(request.folder(), ReadSettings(), archive, handle.get(), 0, listing) : ReadError;
  listed.hasBlock = listing.records.valid();
  if (listed.hasBlock) {
    listed.blockSize = LocalSize(listing.records.get());
    listed.records = ListRecords(listing.records.get());
  }
  listed.list = listing.list;
  return listed;
}

// Each member's path exactly as the tool printed it, as a fetch finds it.
std::string ToolPathOf(const ArchiveList& list, std::size_t member) {
  return std::string(PathOf(list.entries, list.members[member]));
}

std::map<std::wstring, std::uint64_t> SizesByName(const std::vector<ArchiveEntryW>& records) {
  std::map<std::wstring, std::uint64_t> sizes;
  for (const ArchiveEntryW& record : records) sizes[RecordName(record)] = record.size;
  return sizes;
}

std::int64_t FileUnixTime(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  return static_cast<std::int64_t>(ticks / 10000000ULL) - 11644473600LL;
}

class RealToolListing : public ::testing::Test {
 protected:
  void SetUp() override { WriteSettings(OwnSettingsPath(), {{L"dir", RealToolDir()}}); }
};

TEST_F(RealToolListing, FreshArchivesListEveryNonEmptyFileWithSizeNameAndArchiveTime) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  for (const wchar_t* archive : {L"pictures.7z", L"pictures.zip", L"pictures.tgz", L"pictures.tar"}) {
    SCOPED_TRACE(testing::Message() << "archive " << std::string(archive, archive + wcslen(archive)));
    const std::wstring path = FixturePath(archive);
    const Listed listed = Build(path);
    ASSERT_EQ(listed.result, Success);
    const std::map<std::wstring, std::uint64_t> expected{{L"a.png", 5}, {L"b.jpg", 1000}, {L"c.gif", 77777}};
    const std::map<std::wstring, std::wstring> folders{{L"a.png", L""}, {L"b.jpg", L"album\\"},
                                                       {L"c.gif", L"album\\2024\\"}};
    EXPECT_EQ(SizesByName(listed.records), expected);  // no folders, no empty file
    EXPECT_EQ(listed.blockSize, (listed.records.size() + 1) * sizeof(ArchiveEntryW));
    for (std::size_t i = 0; i < listed.records.size(); ++i) {
      const ArchiveEntryW& record = listed.records[i];
      EXPECT_EQ(record.position, i);
      EXPECT_EQ(record.compressedSize, record.size);
      EXPECT_EQ(record.timestamp, FileUnixTime(path));
      EXPECT_EQ(std::memcmp(record.method, "TAR\0\0\0\0\0", 8), 0);
      EXPECT_EQ(std::wstring(record.path), folders.at(RecordName(record)));
      EXPECT_EQ(record.crc, 0u);
    }
    EXPECT_FALSE(CaptureFilesPresent());
  }
}

TEST_F(RealToolListing, SizeLimitFollowsMaxMB) {
  const std::wstring path = FixturePath(L"limit.tgz");
  const std::map<std::wstring, std::map<std::wstring, std::uint64_t>> cases{
      {L"0", {}},
      {L"64", {{L"small.bin", 10}, {L"exact.bin", 67108864}}},
      {L"4096", {{L"small.bin", 10}, {L"exact.bin", 67108864}, {L"over.bin", 67108865}}},
  };
  for (const auto& [maxMB, expected] : cases) {
    WriteSettings(OwnSettingsPath(), {{L"dir", RealToolDir()}, {L"maxMB", maxMB}});
    const Listed listed = Build(path);
    ASSERT_EQ(listed.result, Success);
    EXPECT_EQ(SizesByName(listed.records), expected) << "maxMB " << std::string(maxMB.begin(), maxMB.end());
  }
}

TEST_F(RealToolListing, ArchiveDatedAfter2038HasItsRealTime) {
  const Listed listed = Build(FixturePath(L"dated2040.tar"));
  ASSERT_EQ(listed.result, Success);
  ASSERT_FALSE(listed.records.empty());
  EXPECT_EQ(listed.records[0].timestamp, 2222164800LL);  // 2040-06-01 12:00:00 UTC
}

TEST_F(RealToolListing, LongMemberPathKeepsLaterSizesRight) {
  const Listed listed = Build(FixturePath(L"longname.tar"));
  ASSERT_EQ(listed.result, Success);
  ASSERT_EQ(listed.records.size(), 4u);
  EXPECT_EQ(RecordName(listed.records[0]), L"first.png");
  EXPECT_EQ(listed.records[0].size, 11u);
  EXPECT_EQ(listed.records[1].size, 22u);
  EXPECT_EQ(RecordName(listed.records[1]), std::wstring(96, L'n') + L".png");
  EXPECT_EQ(RecordName(listed.records[2]), L"after.png");
  EXPECT_EQ(listed.records[2].size, 33u);
  EXPECT_EQ(RecordName(listed.records[3]), L"last.png");
  EXPECT_EQ(listed.records[3].size, 44u);
}

TEST_F(RealToolListing, LeavesTheProcessLocaleAlone) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  ASSERT_EQ(Build(FixturePath(L"pictures.zip")).result, Success);
  EXPECT_EQ(before, std::setlocale(LC_ALL, nullptr));
}

TEST_F(RealToolListing, MissingArchiveDeliversNoList) {
  const Listed listed = Build(FixturePath(L"no-such-archive.7z"));
  EXPECT_NE(listed.result, Success);
  EXPECT_FALSE(listed.hasBlock);
}

class StandInListing : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteSettings(OwnSettingsPath(), {{L"dir", tool.dir()}});
    WriteBytes(archive.path() + L"\\x.tar", std::string(1024, 'x'));
  }
  FakeTool tool;
  TestFolder archive{L"archive"};
  std::wstring ArchivePath() const { return archive.path() + L"\\x.tar"; }
};

TEST_F(StandInListing, ToolThatPrintsNothingGivesAnEmptyList) {
  const Listed listed = Build(ArchivePath());
  ASSERT_EQ(listed.result, Success);
  EXPECT_TRUE(listed.records.empty());
  EXPECT_EQ(listed.blockSize, sizeof(ArchiveEntryW));
  EXPECT_FALSE(CaptureFilesPresent());
  const std::vector<std::wstring> runs = tool.Runs();
  ASSERT_EQ(runs.size(), 2u);
  // The tool path is quoted; the archive comes on standard input. Both runs
  // start at once, in either order.
  const std::wstring tar = L"\"" + tool.dir() + L"\\tar.exe\"";
  EXPECT_EQ(std::multiset<std::wstring>(runs.begin(), runs.end()),
            (std::multiset<std::wstring>{tar + L" tf -", tar + L" tvf -"}));
}

TEST_F(StandInListing, ToolThatCannotStartIsAFailureNotAnEmptyList) {
  tool.MakeUnstartable();
  const Listed listed = Build(ArchivePath());
  EXPECT_EQ(listed.result, ReadError);
  EXPECT_FALSE(listed.hasBlock);
  // The captures made before the runs failed to start are gone too.
  EXPECT_FALSE(CaptureFilesPresent());
}

TEST_F(StandInListing, PlainLinesWithoutVerbosePartnersAreNotListed) {
  tool.SetPlain("a.png\r\nb.png\r\nc.png\r\n");
  tool.SetVerbose("-rw-r--r--  0 0      0           7 Dec 09 06:24 a.png\r\n");
  const Listed listed = Build(ArchivePath());
  ASSERT_EQ(listed.result, Success);
  ASSERT_EQ(listed.records.size(), 1u);
  EXPECT_EQ(RecordName(listed.records[0]), L"a.png");
  EXPECT_EQ(listed.records[0].size, 7u);
}

TEST_F(StandInListing, VeryLongLinesStayPaired) {
  const std::string longName = std::string(600, 'q') + "/" + std::string(300, 'r') + ".png";
  tool.SetPlain(longName + "\r\nnext.png\r\n");
  tool.SetVerbose("-rw-r--r--  0 0      0          12 Dec 09 06:24 " + longName +
                  "\r\n-rw-r--r--  0 0      0          34 Jan 01  2020 next.png\r\n");
  const Listed listed = Build(ArchivePath());
  ASSERT_EQ(listed.result, Success);
  ASSERT_EQ(listed.records.size(), 2u);
  EXPECT_EQ(listed.records[0].size, 12u);
  EXPECT_EQ(RecordName(listed.records[0]), std::wstring(199, L'r'));  // cut to the field
  EXPECT_EQ(listed.records[0].path[0], 0);  // one level of 600 units cannot fit at all
  EXPECT_EQ(listed.records[1].size, 34u);
  EXPECT_EQ(RecordName(listed.records[1]), L"next.png");
}

// A long listing, written slowly with its last line unended: folders' own
// entries and empty files among runs of one folder and changes of folder,
// names outside ASCII in the code page's own decoding. Every record comes
// out right, and every member's path as the tool printed it.
TEST_F(StandInListing, ALongListingKeepsEveryRecordRight) {
  constexpr std::size_t kLines = 9000;
  std::string plain, verbose;
  struct Expected {
    std::wstring path, name;
    std::uint64_t size;
    std::string printed;
  };
  std::vector<Expected> expected;
  for (std::size_t i = 0; i < kLines; ++i) {
    // Runs of up to five lines in one folder, then another.
    const std::string folder = "set" + std::to_string((i / 5) % 7) + "/vol" + std::to_string(i / 700) + "/";
    if (i % 7 == 3) {
      plain += folder + "\r\n";
      verbose += "drwxr-xr-x  0 0      0 0 Dec 09 06:24 " + folder + "\r\n";
      continue;
    }
    const std::string name = "picture-" + std::string(150, '\xe9') + std::to_string(i) + ".png";
    const std::uint64_t size = i % 11 == 5 ? 0 : 1000 + i;
    plain += folder + name + "\r\n";
    verbose += "-rw-r--r--  0 0      0 " + std::to_string(size) + " Dec 09 06:24 " + folder + name + "\r\n";
    if (size == 0) continue;
    expected.push_back({L"set" + std::to_wstring((i / 5) % 7) + L"\\vol" + std::to_wstring(i / 700) + L"\\",
                        DecodeText(name, ToolOutputCodePage()), size, folder + name});
  }
  verbose.resize(verbose.size() - 2);
  tool.SetPlain(plain);
  tool.SetVerbose(verbose);
  tool.MakeVerboseSlow(40999);
  // A zip: a tar's names must be ASCII.
  const std::wstring zip = archive.path() + L"\\x.zip";
  WriteBytes(zip, std::string(1024, 'x'));
  const Listed listed = Build(zip);
  ASSERT_EQ(listed.result, Success);
  ASSERT_EQ(listed.records.size(), expected.size());
  EXPECT_EQ(listed.blockSize, (expected.size() + 1) * sizeof(ArchiveEntryW));
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "record " << i);
    ASSERT_EQ(std::wstring(listed.records[i].path), expected[i].path);
    ASSERT_EQ(RecordName(listed.records[i]), expected[i].name);
    ASSERT_EQ(listed.records[i].size, expected[i].size);
    ASSERT_EQ(listed.records[i].position, i);
    ASSERT_EQ(ToolPathOf(*listed.list, i), expected[i].printed);
  }
  EXPECT_EQ(listed.list->soleMatch, std::vector<bool>(expected.size(), true));
  EXPECT_EQ(EntryCount(listed.list->entries), kLines);
  EXPECT_FALSE(CaptureFilesPresent());
}

// Every line gets a record while the verbose run goes; the lines that are not
// kept must leave nothing behind: not a name, not a byte past the list.
TEST_F(StandInListing, DroppedLinesLeaveNoTraceAfterTheList) {
  tool.SetPlain("photos/\r\nphotos/a.png\r\nempty.png\r\nphotos/b.png\r\nlast-empty.png\r\n");
  tool.SetVerbose(
      "drwxr-xr-x  0 0      0           0 Dec 09 06:24 photos/\r\n"
      "-rw-r--r--  0 0      0          10 Dec 09 06:24 photos/a.png\r\n"
      "-rw-r--r--  0 0      0           0 Dec 09 06:24 empty.png\r\n"
      "-rw-r--r--  0 0      0          20 Dec 09 06:24 photos/b.png\r\n"
      "-rw-r--r--  0 0      0           0 Dec 09 06:24 last-empty.png\r\n");
  const Listed listed = Build(ArchivePath());
  ASSERT_EQ(listed.result, Success);
  EXPECT_EQ(listed.blockSize, 3 * sizeof(ArchiveEntryW));
  const std::vector<ArchiveEntryW>& records = listed.records;
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(RecordName(records[0]), L"a.png");
  EXPECT_STREQ(records[0].path, L"photos\\");
  EXPECT_EQ(records[0].position, 0u);
  EXPECT_EQ(records[0].size, 10u);
  EXPECT_EQ(RecordName(records[1]), L"b.png");
  EXPECT_STREQ(records[1].path, L"photos\\");
  EXPECT_EQ(records[1].position, 1u);
  EXPECT_EQ(records[1].size, 20u);
  EXPECT_FALSE(CaptureFilesPresent());
}

// Folders reach the records as hosts show them, and each kept member's path
// comes back exactly as the tool printed it.
TEST_F(StandInListing, FoldersFillThePathAndTheToolsPathsAreKept) {
  const std::string deep = "deep/" + std::string(150, 'd') + "/" + std::string(60, 'e') + "/f.png";
  const std::vector<std::string> lines = {"ch1/001.bmp", "ch2/001.bmp", "skipped/empty.png", "ch2/002.bmp",
                                          "./top.png",   "a//b/./c.png", "x\\\\y/z.png", deep,
                                          "ch1/003.bmp", "top.png"};
  std::string plain;
  std::string verbose;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    plain += lines[i] + "\r\n";
    const std::string size = i == 2 ? "0" : std::to_string(100 + i);
    verbose += "-rw-r--r--  0 0      0    " + size + " Dec 09 06:24 " + lines[i] + "\r\n";
  }
  tool.SetPlain(plain);
  tool.SetVerbose(verbose);
  const Listed listed = Build(ArchivePath());
  ASSERT_EQ(listed.result, Success);
  const std::vector<ArchiveEntryW>& records = listed.records;

  const struct {
    const wchar_t* path;
    const wchar_t* name;
  } expected[] = {
      {L"ch1\\", L"001.bmp"}, {L"ch2\\", L"001.bmp"}, {L"ch2\\", L"002.bmp"}, {L"", L"top.png"},
      {L"a\\b\\", L"c.png"},  {L"x__y\\", L"z.png"},
      {nullptr, L"f.png"},     {L"ch1\\", L"003.bmp"}, {L"", L"top.png"},
  };
  ASSERT_EQ(records.size(), std::size(expected));
  const std::wstring deepPath = L"deep\\" + std::wstring(150, L'd') + L"\\";  // the third level would pass 199
  for (std::size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "record " << i);
    EXPECT_EQ(std::wstring(records[i].path), expected[i].path != nullptr ? expected[i].path : deepPath);
    EXPECT_EQ(RecordName(records[i]), expected[i].name);
    EXPECT_EQ(records[i].size, 100 + i + (i >= 2 ? 1 : 0));
    EXPECT_EQ(ToolPathOf(*listed.list, i), lines[i < 2 ? i : i + 1]);
  }
}

// A 32-bit host's record holds sizes below 4 GiB and times from 1970 to 2106:
// a member it could not be told the size of is not offered, and the archive's
// time shows as the nearest it can hold rather than wrapping.
TEST_F(StandInListing, RecordsHoldOnlyWhatTheirFieldsCan) {
  WriteSettings(OwnSettingsPath(), {{L"dir", tool.dir()}, {L"maxMB", L"8192"}});
  tool.SetPlain("under.png\r\nover.png\r\n");
  tool.SetVerbose("-rw-r--r--  0 0      0  4294967295 Dec 09 06:24 under.png\r\n"
                  "-rw-r--r--  0 0      0  4294967296 Dec 09 06:24 over.png\r\n");
  constexpr bool k32Bit = sizeof(void*) == 4;
  const struct {
    std::int64_t archiveTime;
    std::uint64_t expected;
  } times[] = {
      {-315619200, k32Bit ? 0 : static_cast<std::uint64_t>(-315619200)},  // 1960
      {7258118400, k32Bit ? 0xFFFFFFFFu : 7258118400u},                    // 2200
      {2222164800, 2222164800u},                                           // 2040
  };
  for (const auto& time : times) {
    SCOPED_TRACE(testing::Message() << "archive time " << time.archiveTime);
    {
      const UniqueHandle file(CreateFileW(ArchivePath().c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
      const std::uint64_t ticks = static_cast<std::uint64_t>(time.archiveTime + 11644473600LL) * 10000000ULL;
      const FILETIME written{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
      ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &written));
    }
    const Listed listed = Build(ArchivePath());
    ASSERT_EQ(listed.result, Success);
    std::map<std::wstring, std::uint64_t> expected{{L"under.png", 4294967295u}};
    if (!k32Bit) expected[L"over.png"] = 4294967296u;
    EXPECT_EQ(SizesByName(listed.records), expected);
    for (const ArchiveEntryW& record : listed.records) EXPECT_EQ(record.timestamp, time.expected);
  }
}

// A run's captures go as their last handle closes, not when the request's
// folder does: a host that dies mid-listing leaves none behind.
TEST(Captures, GoWithTheirLastHandleWhileTheRequestLasts) {
  RequestScope request;
  ASSERT_FALSE(request.folder().empty());
  {
    const UniqueHandle capture = MakeCapture(request.folder(), Capture::Plain);
    ASSERT_TRUE(capture.valid());
    EXPECT_TRUE(CaptureFilesPresent());
  }
  EXPECT_EQ(WorkFolderEntries(), std::vector<std::wstring>{request.folder().substr(request.folder().rfind(L'\\') + 1)});
}

// A step that fails for a passing reason is tried again; one that fails for
// good is not, and the caller still sees why it failed.
TEST(PassingFailures, StartThatDiesOnceIsTriedAgain) {
  int calls = 0;
  const auto result = RetryWhilePassing(RetryBudget{300, 1}, IsPassingStartError, [&] {
    ++calls;
    SetLastError(calls < 3 ? ERROR_INTERNAL_ERROR : ERROR_SUCCESS);
    return std::make_pair(calls >= 3, calls);
  });
  EXPECT_TRUE(result.first);
  EXPECT_EQ(calls, 3);
}

// An attempt that fails every time with `error`, counting its calls.
auto FailingWith(DWORD error, int& calls) {
  return [error, &calls] {
    ++calls;
    SetLastError(error);
    return std::make_pair(false, 0);
  };
}

TEST(PassingFailures, MissingToolIsNotTriedAgainAndKeepsItsError) {
  int calls = 0;
  const auto result =
      RetryWhilePassing(RetryBudget{300, 1}, IsPassingStartError, FailingWith(ERROR_FILE_NOT_FOUND, calls));
  EXPECT_FALSE(result.first);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(PassingFailures, RetryingEndsWhenTheBudgetIsSpent) {
  int calls = 0;
  const auto result = RetryWhilePassing(RetryBudget{30, 10}, IsBusyError, FailingWith(ERROR_SHARING_VIOLATION, calls));
  EXPECT_FALSE(result.first);
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

}  // namespace
}  // namespace qibor::test
