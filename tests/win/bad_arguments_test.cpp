// Hosts that pass nonsense: null pointers, paths that end exactly at the edge
// of readable memory, offsets and positions far out of range. Every export
// answers without crashing, with a failure (0 from IsSupported), touching
// nothing it was not given.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "floor/win_path.h"
#include "tool/run_tool.h"
#include "tool/work_folder.h"
#include "support/plugin_host.h"
#include "support/test_support.h"

namespace qibor::test {
namespace {

// Text whose last byte is the last readable byte: the page after it faults,
// so reading one unit too far ends the test program.
template <typename Char>
class EdgeText {
 public:
  // `units` copies of `fill`, then the terminator unless `terminated` is false.
  EdgeText(std::size_t units, Char fill, bool terminated) {
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    page_ = system.dwPageSize;
    base_ = static_cast<unsigned char*>(VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    if (base_ == nullptr || !VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old)) return;
    const std::size_t total = units + (terminated ? 1 : 0);
    text_ = reinterpret_cast<Char*>(base_ + page_ - total * sizeof(Char));
    for (std::size_t i = 0; i < units; ++i) text_[i] = fill;
    if (terminated) text_[units] = Char{0};
  }
  EdgeText(const EdgeText&) = delete;
  EdgeText& operator=(const EdgeText&) = delete;
  ~EdgeText() {
    if (base_ != nullptr) VirtualFree(base_, 0, MEM_RELEASE);
  }
  Char* get() const { return text_; }
  bool ready() const { return text_ != nullptr; }

 private:
  unsigned char* base_ = nullptr;
  std::size_t page_ = 0;
  Char* text_ = nullptr;
};

class BadArguments : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plugin.loaded()); }
  void TearDown() override {
    EXPECT_FALSE(CaptureFilesPresent());
    for (const std::wstring& entry : WorkFolderEntries()) EXPECT_TRUE(IsDirectory(WorkDirectory() + L"\\" + entry));
  }

  int ListW(LPCWSTR path, LONG_PTR offset, HLOCAL* list) { return plugin.GetArchiveInfoW(path, offset, 0, list); }
  int FetchW(LPCWSTR path, LONG_PTR position, bool* untouched) {
    HLOCAL block = kUntouched;
    const int result = plugin.GetFileW(path, position, reinterpret_cast<LPWSTR>(&block), kToMemory, nullptr, 0);
    *untouched = block == kUntouched;
    if (result == 0) LocalFree(block);
    return result;
  }

  LoadedPlugin plugin{{{L"dir", RealToolDir()}}};
  const std::wstring archive = FixturePath(L"pictures.7z");
  const std::string archiveAnsi = Ansi(archive);
  unsigned char header[2048] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
};

TEST_F(BadArguments, NullPointersAreRefusedByEveryExport) {
  EXPECT_EQ(plugin.IsSupportedW(nullptr, header), 0);
  EXPECT_EQ(plugin.IsSupported(nullptr, header), 0);
  EXPECT_EQ(plugin.IsSupportedW(L"", header), 0);
  EXPECT_EQ(plugin.IsSupported("", header), 0);

  HLOCAL list = kUntouched;
  EXPECT_EQ(ListW(nullptr, 0, &list), 6);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(ListW(archive.c_str(), 0, nullptr), 6);
  EXPECT_EQ(ListW(L"", 0, &list), 6);
  list = kUntouched;
  EXPECT_EQ(plugin.GetArchiveInfo(nullptr, 0, 0, &list), 6);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(plugin.GetArchiveInfo(archiveAnsi.c_str(), 0, 0, nullptr), 6);

  ArchiveEntryW record{};
  ArchiveEntryA recordA{};
  EXPECT_EQ(plugin.GetFileInfoW(nullptr, 0, L"a.png", 0, &record), 6);
  EXPECT_EQ(plugin.GetFileInfoW(archive.c_str(), 0, nullptr, 0, &record), 6);
  EXPECT_EQ(plugin.GetFileInfoW(archive.c_str(), 0, L"a.png", 0, nullptr), 6);
  EXPECT_EQ(plugin.GetFileInfo(nullptr, 0, "a.png", 0, &recordA), 6);
  EXPECT_EQ(plugin.GetFileInfo(archiveAnsi.c_str(), 0, nullptr, 0, &recordA), 6);
  EXPECT_EQ(plugin.GetFileInfo(archiveAnsi.c_str(), 0, "a.png", 0, nullptr), 6);

  bool untouched = false;
  EXPECT_EQ(FetchW(nullptr, 0, &untouched), 6);
  EXPECT_TRUE(untouched);
  // No variable for the block, or no folder to write into.
  EXPECT_EQ(plugin.GetFileW(archive.c_str(), 0, nullptr, kToMemory, nullptr, 0), 6);
  EXPECT_EQ(plugin.GetFileW(archive.c_str(), 0, nullptr, 0, nullptr, 0), 9);
  EXPECT_EQ(plugin.GetFile(archiveAnsi.c_str(), 0, nullptr, kToMemory, nullptr, 0), 6);
  EXPECT_EQ(plugin.GetFile(archiveAnsi.c_str(), 0, nullptr, 0, nullptr, 0), 9);
  HLOCAL block = kUntouched;
  EXPECT_EQ(plugin.GetFile(nullptr, 0, reinterpret_cast<LPSTR>(&block), kToMemory, nullptr, 0), 6);
  EXPECT_EQ(block, kUntouched);
}

TEST_F(BadArguments, PathsOf260UnitsAreRefusedWithoutReadingPastThem) {
  // Exactly 260 units, the terminator the 261st and last readable unit.
  EdgeText<wchar_t> terminated(260, L'a', true);
  // 260 units and no terminator at all: qibor must stop at 260.
  EdgeText<wchar_t> open(260, L'a', false);
  EdgeText<char> terminatedA(260, 'a', true);
  ASSERT_TRUE(terminated.ready() && open.ready() && terminatedA.ready());

  for (const wchar_t* path : {terminated.get(), open.get()}) {
    EXPECT_EQ(plugin.IsSupportedW(path, header), 0);
    HLOCAL list = kUntouched;
    EXPECT_EQ(ListW(path, 0, &list), 6);
    EXPECT_EQ(list, nullptr);
    ArchiveEntryW record{};
    EXPECT_EQ(plugin.GetFileInfoW(path, 0, L"a.png", 0, &record), 6);
    bool untouched = false;
    EXPECT_EQ(FetchW(path, 0, &untouched), 6);
    EXPECT_TRUE(untouched);
    // The same text as the destination folder of a real archive's member.
    EXPECT_EQ(plugin.GetFileW(archive.c_str(), 0, const_cast<LPWSTR>(path), 0, nullptr, 0), 9);
  }

  EXPECT_EQ(plugin.IsSupported(terminatedA.get(), header), 0);
  HLOCAL list = kUntouched;
  EXPECT_EQ(plugin.GetArchiveInfo(terminatedA.get(), 0, 0, &list), 6);
  EXPECT_EQ(list, nullptr);
  ArchiveEntryA recordA{};
  EXPECT_EQ(plugin.GetFileInfo(terminatedA.get(), 0, "a.png", 0, &recordA), 6);
  EXPECT_EQ(plugin.GetFile(archiveAnsi.c_str(), 0, terminatedA.get(), 0, nullptr, 0), 9);

  // A member name that fills the record's field with no terminator after it.
  EdgeText<wchar_t> name(kRecordTextUnits, L'n', false);
  ASSERT_TRUE(name.ready());
  ArchiveEntryW record{};
  EXPECT_EQ(plugin.GetFileInfoW(archive.c_str(), 0, name.get(), 0, &record), -1);
}

TEST_F(BadArguments, OffsetsOutsideTheFileAreNoArchiveThere) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  // Past the end there are not 8 bytes: not an archive at that offset, at
  // every magnitude, including those beyond 32 bits where LONG_PTR has them.
  std::vector<LONG_PTR> beyond = {LONG_PTR{1} << 20, LONG_PTR{1} << 30, LONG_PTR{INT32_MAX}};
  if (sizeof(LONG_PTR) == 8) {
    constexpr std::int64_t k4GiB = std::int64_t{1} << 32;
    for (const std::int64_t offset : {k4GiB, k4GiB + 8, (std::int64_t{1} << 40) + 6}) {
      beyond.push_back(static_cast<LONG_PTR>(offset));
    }
  }
  for (const LONG_PTR offset : beyond) {
    SCOPED_TRACE("offset " + std::to_string(offset));
    HLOCAL list = kUntouched;
    EXPECT_EQ(ListW(archive.c_str(), offset, &list), 2);
    EXPECT_EQ(list, nullptr);
    ArchiveEntryW record{};
    EXPECT_EQ(plugin.GetFileInfoW(archive.c_str(), offset, L"a.png", 0, &record), 2);
    list = kUntouched;
    EXPECT_EQ(plugin.GetArchiveInfo(archiveAnsi.c_str(), offset, 0, &list), 2);
    EXPECT_EQ(list, nullptr);
    ArchiveEntryA recordA{};
    EXPECT_EQ(plugin.GetFileInfo(archiveAnsi.c_str(), offset, "a.png", 0, &recordA), 2);
  }
  // Before the start, or so far out that the file system cannot seek there.
  for (const LONG_PTR offset : {LONG_PTR{-1}, LONG_PTR{-8}, LONG_PTR{INT_MIN}, LONG_PTR{LONG_MIN},
                                static_cast<LONG_PTR>(INTPTR_MIN), static_cast<LONG_PTR>(INTPTR_MAX)}) {
    SCOPED_TRACE("offset " + std::to_string(offset));
    HLOCAL list = kUntouched;
    const int result = ListW(archive.c_str(), offset, &list);
    EXPECT_TRUE(result == 2 || result == 6) << result;
    EXPECT_EQ(list, nullptr);
    ArchiveEntryW record{};
    const int info = plugin.GetFileInfoW(archive.c_str(), offset, L"a.png", 0, &record);
    EXPECT_TRUE(info == 2 || info == 6) << info;
  }
  // The archive itself is still served from offset 0.
  HLOCAL list = nullptr;
  EXPECT_EQ(ListW(archive.c_str(), 0, &list), 0);
  EXPECT_EQ(ListRecords(list).size(), 3u);
  LocalFree(list);
}

TEST_F(BadArguments, PositionsBeyondTheListAreNotServed) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  // The first request builds the list afresh: a position not in it is -1.
  bool untouched = false;
  EXPECT_EQ(FetchW(archive.c_str(), -1, &untouched), -1);
  EXPECT_TRUE(untouched);
  // Later requests find the list cached: a position not in it is 2.
  // Beyond 32 bits, too, where LONG_PTR has them.
  for (const std::int64_t position : {std::int64_t{3}, std::int64_t{-1}, std::int64_t{INTPTR_MIN},
                                      std::int64_t{INTPTR_MAX}, std::int64_t{1} << 32, (std::int64_t{1} << 32) + 1}) {
    const LONG_PTR at = static_cast<LONG_PTR>(position);
    if (at != position) continue;
    SCOPED_TRACE("position " + std::to_string(position));
    EXPECT_EQ(FetchW(archive.c_str(), at, &untouched), 2);
    EXPECT_TRUE(untouched);
    HLOCAL block = kUntouched;
    EXPECT_EQ(plugin.GetFile(archiveAnsi.c_str(), at, reinterpret_cast<LPSTR>(&block), kToMemory, nullptr, 0), 2);
    EXPECT_EQ(block, kUntouched);
  }
  // A position that only matches in its low 32 bits is not that member.
  EXPECT_EQ(FetchW(archive.c_str(), 1, &untouched), 0);
}

TEST_F(BadArguments, DestinationsThatAreNoFolderGetNothing) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  TestFolder scratch(L"bad-dest");
  const std::wstring missing = scratch / L"missing";
  const std::wstring file = scratch / L"a-file";
  WriteBytes(file, "host's own");
  // An empty folder must not mean the host's current folder.
  TestFolder current(L"bad-dest-current");
  wchar_t previous[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(current.path().c_str()));
  for (const std::wstring& dest : {missing, file, std::wstring()}) {
    SCOPED_TRACE(Ansi(dest));
    std::wstring writable = dest;
    EXPECT_EQ(plugin.GetFileW(archive.c_str(), 0, writable.data(), 0, nullptr, 0), 9);
    std::string narrow = Ansi(dest);
    EXPECT_EQ(plugin.GetFile(archiveAnsi.c_str(), 0, narrow.data(), 0, nullptr, 0), 9);
  }
  SetCurrentDirectoryW(previous);
  EXPECT_FALSE(FileExists(missing));
  EXPECT_EQ(ReadBytes(file), "host's own");
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((current / L"*.*").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  do {
    const std::wstring name = found.cFileName;
    EXPECT_TRUE(name == L"." || name == L"..") << "written into the current folder";
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace
}  // namespace qibor::test
