// Paging through solid archives as a viewer does: one pass of the real tool
// serves the pages in any order, every byte its own, and ends with its use.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/plugin_host.h"
#include "support/test_support.h"
#include "tool/work_folder.h"

namespace qibor::test {
namespace {

struct Page {
  LONG_PTR position;
  std::wstring source;  // below the fixtures, "\" between levels
};

// The archive's members by position, with where their bytes came from.
std::vector<Page> PagesOf(const LoadedPlugin& plugin, const std::wstring& archive, const std::wstring& sources) {
  HLOCAL list = nullptr;
  std::vector<Page> pages;
  if (plugin.GetArchiveInfoW(archive.c_str(), 0, 0, &list) != 0) return pages;
  for (const ArchiveEntryW& record : ListRecords(list)) {
    pages.push_back({static_cast<LONG_PTR>(record.position), sources + L"\\" + record.path + RecordName(record)});
  }
  LocalFree(list);
  return pages;
}

struct Fetched {
  int result = -99;
  std::string bytes;
};

Fetched Fetch(const LoadedPlugin& plugin, const std::wstring& archive, LONG_PTR position) {
  HLOCAL block = nullptr;
  Fetched fetched;
  fetched.result = plugin.GetFileW(archive.c_str(), position, reinterpret_cast<LPWSTR>(&block), kToMemory, nullptr, 0);
  if (fetched.result == 0 && block != nullptr) {
    fetched.bytes.assign(static_cast<const char*>(block), LocalSize(block));
    LocalFree(block);
  }
  return fetched;
}

// The tar.exe processes running now.
std::size_t ToolProcesses() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  std::size_t count = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (lstrcmpiW(entry.szExeFile, L"tar.exe") == 0) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

// Waits a moment for a killed run to be gone, and its capture with it.
bool SettlesWithin(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (ToolProcesses() != 0 || !WorkFolderEntries().empty()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    Sleep(20);
  }
  return true;
}

class ReadAhead : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveTree(WorkDirectory());
    CreateDirectoryW(WorkDirectory().c_str(), nullptr);
  }
  // Fetches the pages in `order`, each compared byte for byte.
  void ExpectPagesInOrder(const LoadedPlugin& plugin, const std::wstring& archive, const std::vector<Page>& pages,
                          const std::vector<std::size_t>& order) {
    for (const std::size_t i : order) {
      SCOPED_TRACE(Ansi(pages[i].source));
      const Fetched fetched = Fetch(plugin, archive, pages[i].position);
      EXPECT_EQ(fetched.result, 0);
      EXPECT_TRUE(fetched.bytes == ReadBytes(FixturePath(pages[i].source)));
    }
  }
  std::vector<std::size_t> Orders(std::size_t count, const char* how) {
    std::vector<std::size_t> order(count);
    for (std::size_t i = 0; i < count; ++i) order[i] = i;
    if (std::string(how) == "reverse") std::reverse(order.begin(), order.end());
    if (std::string(how) == "shuffled") std::shuffle(order.begin(), order.end(), std::mt19937(7));
    return order;
  }
};

// In order, in reverse and shuffled; with the pages kept as they are read,
// with no read-ahead (cacheMB=0), and with room for a few (cacheMB=1).
TEST_F(ReadAhead, PagesComeWholeInEveryOrderFromEachFormat) {
  const struct {
    const wchar_t* archive;
    const char* order;
    const wchar_t* cacheMB;
  } cases[] = {
      {L"pages.7z", "in order", L"256"}, {L"pages.7z", "reverse", L"256"}, {L"pages.7z", "shuffled", L"256"},
      {L"pages.tgz", "in order", L"256"}, {L"pages.tgz", "shuffled", L"1"}, {L"pages.zip", "reverse", L"256"},
      {L"pages.7z", "shuffled", L"0"},   {L"pages.7z", "reverse", L"1"},
  };
  for (const auto& c : cases) {
    const std::wstring archive = FixturePath(c.archive);
    if (!RealToolReads(archive)) continue;
    SCOPED_TRACE(Ansi(c.archive) + " " + c.order + ", cacheMB " + Ansi(c.cacheMB));
    LoadedPlugin plugin({{L"dir", RealToolDir()}, {L"cacheMB", c.cacheMB}});
    const std::vector<Page> pages = PagesOf(plugin, archive, L"src-pages");
    ASSERT_EQ(pages.size(), 41u);
    ExpectPagesInOrder(plugin, archive, pages, Orders(pages.size(), c.order));
    // A page asked for again comes again.
    ExpectPagesInOrder(plugin, archive, pages, {pages.size() - 1, 0});
  }
  EXPECT_TRUE(SettlesWithin(std::chrono::seconds(5)));
}

// A 7z member whose CRC fails: those before it come exact; it and the ones
// after it come exact or not at all, never with other bytes.
TEST_F(ReadAhead, ADamagedPageNeverGivesOtherBytes) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  LoadedPlugin plugin({{L"dir", RealToolDir()}});
  const std::wstring archive = FixturePath(L"pages-damaged.7z");
  const std::vector<Page> pages = PagesOf(plugin, archive, L"src-pages");
  ASSERT_EQ(pages.size(), 41u);
  std::size_t refused = 0;
  for (const Page& page : pages) {
    SCOPED_TRACE(Ansi(page.source));
    const Fetched fetched = Fetch(plugin, archive, page.position);
    if (fetched.result == 0) {
      EXPECT_TRUE(fetched.bytes == ReadBytes(FixturePath(page.source))) << "another page's bytes";
    } else {
      EXPECT_EQ(fetched.result, 6);
      ++refused;
    }
  }
  EXPECT_GE(refused, 1u);
}

// The pass's tool waits on a full pipe while the archive is replaced by one
// with the same names and sizes: no page of the old one comes for it.
TEST_F(ReadAhead, AnArchiveReplacedMidPassGivesOnlyItsOwnBytes) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  TestFolder folder(L"replaced");
  const std::wstring archive = folder / L"book.7z";
  ASSERT_TRUE(CopyFileW(FixturePath(L"bigpages.7z").c_str(), archive.c_str(), FALSE));
  LoadedPlugin plugin({{L"dir", RealToolDir()}});
  const std::vector<Page> pages = PagesOf(plugin, archive, L"src-bigpages");
  ASSERT_EQ(pages.size(), 12u);
  ExpectPagesInOrder(plugin, archive, pages, {0});
  ASSERT_TRUE(CopyFileW(FixturePath(L"bigpages2.7z").c_str(), archive.c_str(), FALSE));
  for (std::size_t i = 1; i < pages.size(); i += 4) {
    SCOPED_TRACE(Ansi(pages[i].source));
    const Fetched fetched = Fetch(plugin, archive, pages[i].position);
    if (fetched.result == 0) {
      std::wstring other = pages[i].source;
      other.replace(0, std::wstring(L"src-bigpages").size(), L"src-bigpages2");
      EXPECT_TRUE(fetched.bytes == ReadBytes(FixturePath(other)));
    } else {
      EXPECT_EQ(fetched.result, 6);
    }
  }
}

// The host frees the plug-in while the pass's tool waits: the tool goes,
// and nothing of it is left; a new load starts afresh.
TEST_F(ReadAhead, FreeingThePluginMidPassLeavesNothing) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  const std::wstring archive = FixturePath(L"bigpages.7z");
  LoadedPlugin plugin({{L"dir", RealToolDir()}});
  const std::vector<Page> pages = PagesOf(plugin, archive, L"src-bigpages");
  ASSERT_EQ(pages.size(), 12u);
  ExpectPagesInOrder(plugin, archive, pages, {1});
  EXPECT_EQ(ToolProcesses(), 1u);
  plugin.Unload();
  EXPECT_TRUE(SettlesWithin(std::chrono::seconds(5)));

  LoadedPlugin again({{L"dir", RealToolDir()}}, L"plugin-again");
  const std::vector<Page> listed = PagesOf(again, archive, L"src-bigpages");
  ASSERT_EQ(listed.size(), 12u);
  ExpectPagesInOrder(again, archive, listed, {11, 2});
}

// Two threads page through two archives; each page its own bytes.
TEST_F(ReadAhead, TwoThreadsPagingThroughTwoArchives) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  LoadedPlugin plugin({{L"dir", RealToolDir()}});
  const std::wstring archives[] = {FixturePath(L"pages.7z"), FixturePath(L"bigpages.7z")};
  const std::vector<Page> pages[] = {PagesOf(plugin, archives[0], L"src-pages"),
                                     PagesOf(plugin, archives[1], L"src-bigpages")};
  ASSERT_EQ(pages[0].size(), 41u);
  ASSERT_EQ(pages[1].size(), 12u);
  std::map<std::wstring, std::string> expected;
  for (const auto& list : pages) {
    for (const Page& page : list) expected[page.source] = ReadBytes(FixturePath(page.source));
  }
  int wrong[2] = {0, 0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&, t] {
      for (const Page& page : pages[t]) {
        const Fetched fetched = Fetch(plugin, archives[t], page.position);
        if (fetched.result != 0 || fetched.bytes != expected.at(page.source)) ++wrong[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong[0], 0);
  EXPECT_EQ(wrong[1], 0);
}

}  // namespace
}  // namespace qibor::test
