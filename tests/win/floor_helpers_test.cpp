// The Win32 helpers under everything: owners close exactly once, folder
// walks and removals never reach through a link, busy or read-only files
// still go.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "floor/files.h"
#include "floor/folder_tree.h"
#include "floor/unique_any.h"
#include "support/test_support.h"

namespace qibor {
namespace {

bool IsOpen(HANDLE h) {
  DWORD flags = 0;
  return GetHandleInformation(h, &flags) != FALSE;
}

HANDLE NewEvent() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }

TEST(Owners, CloseOnceAndHandOverOnRelease) {
  HANDLE raw = NewEvent();
  {
    UniqueHandle first(raw);
    UniqueHandle second(std::move(first));
    EXPECT_FALSE(first.valid());
    EXPECT_TRUE(IsOpen(raw));
    UniqueHandle third;
    third = std::move(second);
    EXPECT_TRUE(IsOpen(raw));
  }
  EXPECT_FALSE(IsOpen(raw));

  HANDLE kept = NewEvent();
  {
    UniqueHandle owner(kept);
    EXPECT_EQ(owner.release(), kept);
  }
  EXPECT_TRUE(IsOpen(kept));
  HANDLE replaced = NewEvent();
  {
    UniqueHandle owner(replaced);
    owner.reset(kept);
    EXPECT_FALSE(IsOpen(replaced));
    EXPECT_TRUE(IsOpen(kept));
  }
  EXPECT_FALSE(IsOpen(kept));

  // INVALID_HANDLE_VALUE is "nothing held": never passed to CloseHandle.
  UniqueHandle failed(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(failed.valid());
}

DWORD WINAPI TryEnterSection(void* section) {
  auto* s = static_cast<CRITICAL_SECTION*>(section);
  const bool entered = TryEnterCriticalSection(s) != FALSE;
  if (entered) LeaveCriticalSection(s);
  return entered ? 1 : 0;
}

TEST(Owners, EnteredSectionIsLeftOnEveryPath) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  auto enterAndReturnEarly = [&](bool early) {
    const auto held = EnterSection(section);
    return early;
  };
  enterAndReturnEarly(true);
  enterAndReturnEarly(false);
  // Another thread can enter it only if both paths left it.
  HANDLE thread = CreateThread(nullptr, 0, TryEnterSection, &section, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  CloseHandle(thread);
  EXPECT_EQ(code, 1u);
  DeleteCriticalSection(&section);
}

void WriteFile(const std::wstring& path, const std::string& bytes) {
  const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(file.valid());
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

TEST(FolderTree, RemovingAFolderNeverEntersALinkInIt) {
  test::TestFolder root(L"floor-links");
  const std::wstring outside = root.path() + L"\\outside";
  const std::wstring doomed = root.path() + L"\\doomed";
  ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(doomed.c_str(), nullptr));
  WriteFile(outside + L"\\keep.txt", "keep");
  WriteFile(doomed + L"\\go.txt", "go");
  if (!CreateSymbolicLinkW((doomed + L"\\link").c_str(), outside.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)) {
    GTEST_SKIP() << "no symbolic links here (error " << GetLastError() << ")";
  }
  const DWORD attributes = GetFileAttributesW((doomed + L"\\link").c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    GTEST_SKIP() << "the link does not show as one here";
  }

  std::vector<std::wstring> seen;
  EXPECT_TRUE(ForEachEntryIn(doomed, [&](const FolderEntry& entry) {
    seen.emplace_back(entry.name);
    EXPECT_EQ(entry.isLink, entry.name == L"link");
    return true;
  }));
  EXPECT_EQ(seen.size(), 2u);

  EXPECT_TRUE(RemoveTree(doomed));
  EXPECT_FALSE(Exists(doomed));
  EXPECT_TRUE(Exists(outside + L"\\keep.txt"));
}

TEST(FolderTree, WalksStopWhenAskedAndRemovingTakesReadOnlyFiles) {
  test::TestFolder root(L"floor-walk");
  for (const wchar_t* name : {L"a", L"b", L"c"}) WriteFile(root.path() + L"\\" + name, "x");
  int visited = 0;
  EXPECT_FALSE(ForEachEntryIn(root.path(), [&](const FolderEntry&) { return ++visited < 2; }));
  EXPECT_EQ(visited, 2);

  SetFileAttributesW((root.path() + L"\\b").c_str(), FILE_ATTRIBUTE_READONLY);
  const std::wstring sub = root.path() + L"\\sub";
  ASSERT_TRUE(CreateDirectoryW(sub.c_str(), nullptr));
  WriteFile(sub + L"\\d", "y");
  EXPECT_TRUE(RemoveTree(root.path()));
  EXPECT_FALSE(Exists(root.path()));
  EXPECT_FALSE(ForEachEntryIn(root.path() + L"\\missing", [](const FolderEntry&) { return true; }));
}

// A tree goes whole, a read-only file in it too; an empty folder goes at
// once; a missing one counts as gone.
TEST(FolderTree, TreesGoWhole) {
  test::TestFolder root(L"floor-tree");
  const std::wstring a = root.path() + L"\\a";
  ASSERT_TRUE(CreateDirectoryW(a.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((a + L"\\b").c_str(), nullptr));
  WriteFile(a + L"\\b\\pic.png", "x");
  WriteFile(a + L"\\ro.png", "x");
  SetFileAttributesW((a + L"\\ro.png").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(RemoveTree(a));
  EXPECT_FALSE(Exists(a));
  EXPECT_TRUE(Exists(root.path()));
  ASSERT_TRUE(CreateDirectoryW(a.c_str(), nullptr));
  EXPECT_TRUE(RemoveTree(a));
  EXPECT_TRUE(RemoveTree(a));
}

TEST(Files, WholeReadsHoldExactlyTheFile) {
  test::TestFolder root(L"floor-files");
  const std::wstring path = root.path() + L"\\f.bin";
  std::string bytes(70000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  WriteFile(path, bytes);
  const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
  EXPECT_EQ(ReadFromStart(file.get()), bytes);
  EXPECT_EQ(ReadFromStart(file.get()), bytes);  // from its start again
  EXPECT_TRUE(DeleteEntryRetrying(path, false));
  EXPECT_TRUE(DeleteEntryRetrying(path, false));  // already gone counts as gone
}

// A run's capture: written through the handle (as the tool writes through
// its copy), read back from the start through it, gone once it closes.
TEST(Files, AScratchFileIsReadBackThroughItsHandleAndGoesWithIt) {
  test::TestFolder root(L"floor-scratch");
  const std::wstring path = root.path() + L"\\capture.txt";
  WriteFile(path, std::string(100000, 'o'));  // an older file of that name
  std::string bytes(70000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 13);
  {
    UniqueHandle scratch = CreateScratch(path);
    ASSERT_TRUE(scratch.valid());
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(scratch.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    EXPECT_EQ(ReadFromStart(scratch.get()), bytes);
    EXPECT_EQ(ReadFromStart(scratch.get()), bytes);  // again, from the start
    EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
  }
  EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace qibor
