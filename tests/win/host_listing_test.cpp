// Member lists and records as a host gets them from a loaded qibor.sph, the
// module's load and unload, and many requests at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "floor/win_path.h"
#include "tool/run_tool.h"
#include "tool/work_folder.h"
#include "support/plugin_host.h"

namespace qibor::test {
namespace {

class HostListing : public ::testing::Test {
 protected:
  LoadedPlugin plugin{{{L"dir", RealToolDir()}}};
};

TEST_F(HostListing, ArchiveInfoHandsOverAWholeList) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  ASSERT_TRUE(plugin.loaded());
  HLOCAL list = reinterpret_cast<HLOCAL>(0x1234);
  EXPECT_EQ(plugin.GetArchiveInfoW(FixturePath(L"pictures.7z").c_str(), 0, 1, &list), -1);
  EXPECT_EQ(list, nullptr);  // input from memory is not served; the variable is null after it

  EXPECT_EQ(plugin.GetArchiveInfoW(FixturePath(L"photo.jpg").c_str(), 0, 0, &list), 2);
  EXPECT_EQ(list, nullptr);

  ASSERT_EQ(plugin.GetArchiveInfoW(FixturePath(L"pictures.7z").c_str(), 0, 0, &list), 0);
  const std::vector<ArchiveEntryW> records = ListRecords(list);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(LocalSize(list), 4 * sizeof(ArchiveEntryW));
  ArchiveEntryW zero{};
  EXPECT_EQ(std::memcmp(static_cast<ArchiveEntryW*>(list) + 3, &zero, sizeof(zero)), 0);
  EXPECT_EQ(RecordName(records[2]), L"c.gif");
  EXPECT_EQ(records[2].size, 77777u);
  LocalFree(list);
  EXPECT_FALSE(CaptureFilesPresent());

  // An archive shorter than 8 bytes at the offset, and a missing one.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW(FixturePath(L"pictures.7z").c_str(), GetFileExInfoStandard, &data));
  const auto nearEnd = static_cast<LONG_PTR>(data.nFileSizeLow) - 7;
  EXPECT_EQ(plugin.GetArchiveInfoW(FixturePath(L"pictures.7z").c_str(), nearEnd, 0, &list), 2);
  EXPECT_EQ(plugin.GetArchiveInfoW(FixturePath(L"missing.7z").c_str(), 0, 0, &list), 6);
  EXPECT_EQ(list, nullptr);
}

TEST_F(HostListing, FileInfoFindsAMemberByNameWithoutCase) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  ArchiveEntryW record;
  std::memset(&record, 0xCC, sizeof(record));
  ASSERT_EQ(plugin.GetFileInfoW(FixturePath(L"case.7z").c_str(), 0, L"Pic.PNG", 0, &record), 0);
  EXPECT_STREQ(record.name, L"pic.png");
  EXPECT_EQ(record.size, 321u);
  EXPECT_EQ(record.position, 1u);
  EXPECT_EQ(record.crc, 0u);

  // An unknown name: -1, and nothing but the name written.
  ArchiveEntryW before;
  std::memset(&before, 0xCC, sizeof(before));
  std::wcscpy(before.name, L"nothing.png");
  ArchiveEntryW unknown;
  std::memset(&unknown, 0xCC, sizeof(unknown));
  EXPECT_EQ(plugin.GetFileInfoW(FixturePath(L"case.7z").c_str(), 0, L"nothing.png", 0, &unknown), -1);
  EXPECT_EQ(std::memcmp(&unknown, &before, sizeof(before)), 0);

  // A name that cannot fit a record is refused without touching the record.
  ArchiveEntryW untouched;
  std::memset(&untouched, 0xCC, sizeof(untouched));
  const std::wstring tooLong(200, L'x');
  EXPECT_NE(plugin.GetFileInfoW(FixturePath(L"case.7z").c_str(), 0, tooLong.c_str(), 0, &untouched), 0);
  std::memset(&before, 0xCC, sizeof(before));
  EXPECT_EQ(std::memcmp(&untouched, &before, sizeof(before)), 0);
  EXPECT_EQ(plugin.GetFileInfoW(FixturePath(L"case.7z").c_str(), 0, L"pic.png", 1, &untouched), -1);
}

TEST_F(HostListing, PathsThatDoNotFitAreRefusedNotCut) {
  const std::wstring longPath = L"C:\\" + std::wstring(300, L'a') + L".7z";
  HLOCAL list = reinterpret_cast<HLOCAL>(0x1234);
  EXPECT_NE(plugin.GetArchiveInfoW(longPath.c_str(), 0, 0, &list), 0);
  EXPECT_EQ(list, nullptr);
}

TEST(HostListingRuns, EveryArchiveInfoCallRunsTheToolAfresh) {
  FakeTool tool;
  LoadedPlugin plugin{{{L"dir", tool.dir()}}};
  TestFolder folder(L"runs");
  const std::wstring archive = folder / L"x.7z";
  WriteBytes(archive, std::string(64, 'x'));
  tool.SetPlain("a.png\r\n");
  tool.SetVerbose("-rw-r--r--  0 0      0           9 Dec 09 06:24 a.png\r\n");
  for (int call = 0; call < 2; ++call) {
    HLOCAL list = nullptr;
    ASSERT_EQ(plugin.GetArchiveInfoW(archive.c_str(), 0, 0, &list), 0);
    EXPECT_EQ(ListRecords(list).size(), 1u);
    LocalFree(list);
  }
  // The plain and the verbose listing, twice: the verbose run also answers
  // whether the file is an archive qibor takes.
  EXPECT_EQ(tool.Runs().size(), 4u);
}

TEST(HostListingRuns, ToolThatCannotStartIsAReadError) {
  FakeTool tool;
  LoadedPlugin plugin{{{L"dir", tool.dir()}}};
  tool.MakeUnstartable();
  HLOCAL list = reinterpret_cast<HLOCAL>(0x1234);
  // A tool.exe that is no program: nothing can be read.
  EXPECT_EQ(plugin.GetArchiveInfoW(FixturePath(L"pictures.7z").c_str(), 0, 0, &list), 6);
  EXPECT_EQ(list, nullptr);
}

TEST(ModuleLifetime, UnloadRemovesTheWorkFolderOnlyWhenEmpty) {
  const std::wstring work = WorkDirectory();
  RemoveTree(work);
  {
    LoadedPlugin plugin{{{L"dir", RealToolDir()}}};
    EXPECT_TRUE(IsDirectory(work));  // made at load
    HLOCAL list = nullptr;
    ASSERT_EQ(plugin.GetArchiveInfoW(FixturePath(L"pictures.zip").c_str(), 0, 0, &list), 0);
    LocalFree(list);
    plugin.Unload();
    EXPECT_FALSE(IsDirectory(work));
  }
  {
    LoadedPlugin plugin{{{L"dir", RealToolDir()}}};
    const std::wstring left = work + L"\\left-over";
    ASSERT_TRUE(CreateDirectoryW(left.c_str(), nullptr));
    plugin.Unload();
    EXPECT_TRUE(IsDirectory(left));
    RemoveTree(work);
  }
}

// Lists archives for `seconds` and counts wrong answers.
struct Tally {
  int requests = 0;
  int wrong = 0;
};

Tally ListRepeatedly(LoadedPlugin& plugin, int seed, double seconds) {
  struct Expected {
    const wchar_t* archive;
    std::size_t count;
    const wchar_t* last;
    std::uint64_t lastSize;
  };
  const Expected archives[] = {{L"pictures.7z", 3, L"c.gif", 77777},
                               {L"longname.tar", 4, L"last.png", 44},
                               {L"case.7z", 2, L"pic.png", 321},
                               {L"pictures.zip", 3, L"c.gif", 77777}};
  Tally tally;
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (int i = seed; std::chrono::steady_clock::now() < end; ++i) {
    const Expected& expected = archives[static_cast<std::size_t>(i) % 4];
    HLOCAL list = nullptr;
    const int result = plugin.GetArchiveInfoW(FixturePath(expected.archive).c_str(), 0, 0, &list);
    const std::vector<ArchiveEntryW> records = ListRecords(list);
    ++tally.requests;
    if (result != 0 || records.size() != expected.count || RecordName(records.back()) != expected.last ||
        records.back().size != expected.lastSize) {
      ++tally.wrong;
    }
    if (list != nullptr) LocalFree(list);
  }
  return tally;
}

// The second process of the concurrency test: run by the test itself.
TEST(ConcurrentListingWorker, ListsForAFewSeconds) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  if (GetEnvironmentVariableW(L"QIBOR_LISTING_WORKER", nullptr, 0) == 0) GTEST_SKIP() << "started by another test";
  LoadedPlugin plugin{{{L"dir", RealToolDir()}}, L"worker"};
  const Tally tally = ListRepeatedly(plugin, 1, 4.0);
  EXPECT_GT(tally.requests, 0);
  EXPECT_EQ(tally.wrong, 0);
}

TEST(ConcurrentListing, ThreadsAndProcessesGetOnlyCorrectLists) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  LoadedPlugin plugin{{{L"dir", RealToolDir()}}};
  // A second process lists at the same time.
  std::wstring command = L"\"" + ModuleFilePath(nullptr) + L"\" --gtest_filter=ConcurrentListingWorker.*";
  SetEnvironmentVariableW(L"QIBOR_LISTING_WORKER", L"1");
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
  SetEnvironmentVariableW(L"QIBOR_LISTING_WORKER", nullptr);

  std::atomic<int> requests{0};
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const Tally tally = ListRepeatedly(plugin, t, 4.0);
      requests += tally.requests;
      wrong += tally.wrong;
    });
  }
  for (std::thread& thread : threads) thread.join();
  WaitForSingleObject(process.hProcess, 120000);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  EXPECT_GE(requests.load(), 4);
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(exitCode, 0u) << "the second process saw wrong lists";
  EXPECT_FALSE(CaptureFilesPresent());
}

}  // namespace
}  // namespace qibor::test
