// Hostile and odd archives through the real tool, asked through every export
// that takes an archive. Whatever an archive holds, qibor writes nothing
// outside the work folder and the host's destination, never extracts a member
// whose path leads elsewhere, and never hands over bytes that are not the
// member's own.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "listing/tar_tool.h"
#include "support/plugin_host.h"
#include "support/test_support.h"

namespace qibor::test {
namespace {

// Long-path form, for sources nested deeper than MAX_PATH.
std::wstring Extended(const std::wstring& path) { return L"\\\\?\\" + path; }
std::string SourceBytes(const std::wstring& relative) { return ReadBytes(Extended(FixturePath(relative))); }

// ---------------------------------------------------------------------------
// What exists where: names with size and write time for files, so a file
// overwritten in place shows as well as a new one.

struct Item {
  bool folder = false;
  std::uint64_t size = 0;
  std::uint64_t written = 0;
  bool operator==(const Item&) const = default;
};
using Tree = std::map<std::wstring, Item>;

void Collect(const std::wstring& root, const std::wstring& relative, bool deep, Tree& tree) {
  WIN32_FIND_DATAW found{};
  const std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
  HANDLE search = FindFirstFileW(Extended(folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring child = relative.empty() ? name : relative + L"\\" + name;
    Item item;
    item.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!item.folder) {
      item.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
      item.written = (static_cast<std::uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                     found.ftLastWriteTime.dwLowDateTime;
    }
    tree[child] = item;
    if (item.folder && deep) Collect(root, child, deep, tree);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

Tree Snapshot(const std::wstring& folder, bool deep) {
  Tree tree;
  Collect(folder, L"", deep, tree);
  return tree;
}

std::wstring TempFolder() {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  std::wstring folder(temp);
  if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  return folder;
}

std::wstring CurrentFolder() {
  wchar_t folder[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, folder);
  return folder;
}

// The places a member with "..", a root or a drive in its path would reach
// from the work folder or the destination, and the places the host owns.
class Watch {
 public:
  Watch() {
    Add(FixturePath(L""), true);
    Add(CurrentFolder(), true);
    Add(TempFolder(), false);                     // the work folder's parent
    Add(TempFolder() + L"\\qibor-tests", false);  // the destination's parent
    Add(L"C:", false);
    Add(L"Z:", false);
  }
  void ExpectUnchanged() const {
    for (const Place& place : places_) {
      Tree now = Snapshot(place.path, place.deep);
      // Folders' own entries change as the test's scratch folders come and go.
      if (!place.deep) {
        std::erase_if(now, [](const auto& entry) { return entry.second.folder; });
      }
      EXPECT_EQ(now, place.before) << "changed: " << Ansi(place.path);
    }
  }

 private:
  struct Place {
    std::wstring path;
    bool deep;
    Tree before;
  };
  void Add(const std::wstring& path, bool deep) {
    Tree before = Snapshot(path, deep);
    if (!deep) std::erase_if(before, [](const auto& entry) { return entry.second.folder; });
    places_.push_back({path, deep, before});
  }
  std::vector<Place> places_;
};

// Files (not folders) below the work folder.
std::vector<std::wstring> WorkFolderFiles() {
  std::vector<std::wstring> files;
  for (const auto& [name, item] : Snapshot(WorkDirectory(), true))
    if (!item.folder) files.push_back(name);
  return files;
}

// ---------------------------------------------------------------------------
// The host's side of each export.

struct Listing {
  int result = -99;
  std::vector<ArchiveEntryW> records;
  std::size_t blockSize = 0;
};

struct Fetched {
  int result = -99;
  std::string bytes;
  bool untouched = false;
};

class HostileArchives : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(plugin.loaded());
    RemoveTree(WorkDirectory());
    CreateDirectoryW(WorkDirectory().c_str(), nullptr);
  }
  void TearDown() override {
    watch.ExpectUnchanged();
    EXPECT_EQ(WorkFolderFiles(), std::vector<std::wstring>{});
    EXPECT_FALSE(CaptureFilesPresent());
  }

  // As a viewer asks: the path and the file's first bytes it read itself.
  int Supported(const std::wstring& archive) {
    std::string head = ReadBytes(archive).substr(0, 2048);
    head.resize(2048, '\0');
    return plugin.IsSupportedW(archive.c_str(), head.data());
  }
  int SupportedAnsi(const std::wstring& archive) {
    std::string head(2048, '\0');
    return plugin.IsSupported(Ansi(archive).c_str(), head.data());
  }

  Listing List(const std::wstring& archive) {
    Listing listing;
    HLOCAL list = kUntouched;
    listing.result = plugin.GetArchiveInfoW(archive.c_str(), 0, 0, &list);
    if (listing.result == 0) {
      listing.records = ListRecords(list);
      listing.blockSize = LocalSize(list);
      LocalFree(list);
    } else {
      EXPECT_EQ(list, nullptr) << "a failed listing hands over no block";
    }
    return listing;
  }

  // Count of ANSI records, or -1 - result on failure.
  int ListAnsiCount(const std::wstring& archive) {
    HLOCAL list = kUntouched;
    const int result = plugin.GetArchiveInfo(Ansi(archive).c_str(), 0, 0, &list);
    if (result != 0) return -1 - result;
    const auto* records = static_cast<const ArchiveEntryA*>(list);
    const std::size_t capacity = LocalSize(list) / sizeof(ArchiveEntryA);
    int count = 0;
    while (static_cast<std::size_t>(count) < capacity && records[count].method[0] != '\0') ++count;
    LocalFree(list);
    return count;
  }

  int Info(const std::wstring& archive, const std::wstring& name, ArchiveEntryW* record = nullptr) {
    ArchiveEntryW scratch{};
    return plugin.GetFileInfoW(archive.c_str(), 0, name.c_str(), 0, record != nullptr ? record : &scratch);
  }

  Fetched ToMemory(const std::wstring& archive, LONG_PTR position) {
    Fetched fetched;
    HLOCAL block = kUntouched;
    fetched.result =
        plugin.GetFileW(archive.c_str(), position, reinterpret_cast<LPWSTR>(&block), kToMemory, nullptr, 0);
    fetched.untouched = block == kUntouched;
    if (fetched.result == 0 && !fetched.untouched && block != nullptr) {
      fetched.bytes.assign(static_cast<const char*>(block), LocalSize(block));
      LocalFree(block);
    }
    return fetched;
  }

  int ToMemoryAnsi(const std::wstring& archive, LONG_PTR position) {
    HLOCAL block = kUntouched;
    const int result =
        plugin.GetFile(Ansi(archive).c_str(), position, reinterpret_cast<LPSTR>(&block), kToMemory, nullptr, 0);
    if (result == 0) LocalFree(block);
    return result;
  }

  int ToFolder(const std::wstring& archive, LONG_PTR position) {
    std::wstring folder = dest.path();
    return plugin.GetFileW(archive.c_str(), position, folder.data(), 0, nullptr, 0);
  }

  Tree Destination() const { return Snapshot(dest.path(), true); }

  // A member qibor refuses to fetch: 6 in both modes, nothing delivered.
  void ExpectRefused(const std::wstring& archive, LONG_PTR position) {
    SCOPED_TRACE("position " + std::to_string(position));
    const Fetched fetched = ToMemory(archive, position);
    EXPECT_EQ(fetched.result, 6);
    EXPECT_TRUE(fetched.untouched);
    const Tree before = Destination();
    EXPECT_EQ(ToFolder(archive, position), 6);
    EXPECT_EQ(Destination(), before);
  }

  // A member served whole in both modes; written once as a new file.
  void ExpectServed(const std::wstring& archive, LONG_PTR position, const std::wstring& name,
                    const std::string& bytes) {
    SCOPED_TRACE(Ansi(name));
    const Fetched fetched = ToMemory(archive, position);
    EXPECT_EQ(fetched.result, 0);
    EXPECT_TRUE(fetched.bytes == bytes) << fetched.bytes.size() << " bytes, expected " << bytes.size();
    EXPECT_EQ(ToFolder(archive, position), 0);
    EXPECT_TRUE(ReadBytes(dest / name) == bytes);
    // Never overwritten: a second fetch finds the file there.
    EXPECT_EQ(ToFolder(archive, position), 9);
    EXPECT_TRUE(ReadBytes(dest / name) == bytes);
    DeleteFileW((dest / name).c_str());
  }

  // Served correctly or refused: what qibor may never do is hand over bytes
  // that are not this member's.
  void ExpectOwnBytesOrRefused(const std::wstring& archive, LONG_PTR position, const std::string& bytes) {
    SCOPED_TRACE("position " + std::to_string(position));
    const Fetched fetched = ToMemory(archive, position);
    if (fetched.result == 0) {
      EXPECT_TRUE(fetched.bytes == bytes)
          << "delivered " << fetched.bytes.size() << " bytes that are not the member's " << bytes.size();
    } else {
      EXPECT_EQ(fetched.result, 6);
      EXPECT_TRUE(fetched.untouched);
    }
  }

  std::vector<std::wstring> Names(const Listing& listing) {
    std::vector<std::wstring> names;
    for (const ArchiveEntryW& record : listing.records) names.push_back(RecordName(record));
    return names;
  }
  std::vector<std::uint64_t> Sizes(const Listing& listing) {
    std::vector<std::uint64_t> sizes;
    for (const ArchiveEntryW& record : listing.records) sizes.push_back(record.size);
    return sizes;
  }

  LoadedPlugin plugin{{{L"dir", RealToolDir()}}};
  TestFolder dest{L"hostile-dest"};
  Watch watch;  // made last: the plug-in's copy and the destination exist by now
};

// ---------------------------------------------------------------------------

TEST_F(HostileArchives, MembersLeadingOutsideAreListedButNeverExtracted) {
  const std::wstring archive = FixturePath(L"hostile-paths.tar");
  EXPECT_EQ(Supported(archive), 1);
  EXPECT_EQ(SupportedAnsi(archive), 1);

  // ../evil.txt, /abs.txt, C:/drive.txt, dir/../../up.txt, ..\back.txt: the
  // record holds the part after the last "/" (a backslash comes doubled).
  const Listing listing = List(archive);
  ASSERT_EQ(listing.result, 0);
  EXPECT_EQ(Names(listing), (std::vector<std::wstring>{L"keep.png", L"evil.txt", L"abs.txt", L"drive.txt", L"up.txt",
                                                       L"..\\\\back.txt"}));
  EXPECT_EQ(Sizes(listing), (std::vector<std::uint64_t>{64, 5, 6, 7, 8, 9}));
  EXPECT_EQ(ListAnsiCount(archive), 6);

  ArchiveEntryW record{};
  EXPECT_EQ(Info(archive, L"evil.txt", &record), 0);
  EXPECT_EQ(record.position, 1u);
  EXPECT_EQ(record.size, 5u);

  for (LONG_PTR position = 1; position <= 5; ++position) {
    ExpectRefused(archive, position);
    EXPECT_EQ(ToMemoryAnsi(archive, position), 6);
  }
  // The safe member of the same archive is served as usual.
  ExpectServed(archive, 0, L"keep.png", SourceBytes(L"src-hostile\\keep.png"));
  EXPECT_EQ(ToMemoryAnsi(archive, 0), 0);
}

TEST_F(HostileArchives, NamesWithControlCharactersAreListedAndFailCleanly) {
  const std::wstring archive = FixturePath(L"hostile-control.tar");
  EXPECT_EQ(Supported(archive), 1);

  // The tool prints a tab as it is and \001 in its escaped form.
  const Listing listing = List(archive);
  ASSERT_EQ(listing.result, 0);
  EXPECT_EQ(Names(listing), (std::vector<std::wstring>{L"keep.png", L"tab\tin.png", L"ctl\\001.png"}));
  EXPECT_EQ(Sizes(listing), (std::vector<std::uint64_t>{64, 10, 11}));
  EXPECT_EQ(Info(archive, L"tab\tin.png"), 0);

  // Windows holds neither name: the tool writes no file, and qibor says so.
  ExpectRefused(archive, 1);
  ExpectRefused(archive, 2);
  ExpectServed(archive, 0, L"keep.png", SourceBytes(L"src-hostile\\keep.png"));
}

TEST_F(HostileArchives, MemberBelowALinkToTheParentStaysInsideTheWorkFolder) {
  // up -> .. and then up/evil.txt: the link is no kept member, so the file
  // goes into a real folder "up" below the work folder.
  const std::wstring archive = FixturePath(L"hostile-links.tar");
  EXPECT_EQ(Supported(archive), 1);
  const Listing listing = List(archive);
  ASSERT_EQ(listing.result, 0);
  EXPECT_EQ(Names(listing), (std::vector<std::wstring>{L"keep.png", L"evil.txt"}));
  ExpectServed(archive, 1, L"evil.txt", SourceBytes(L"src-hostile\\x\\evil.txt"));
  EXPECT_EQ(Destination(), Tree{});
}

TEST_F(HostileArchives, NameStoredTwiceNeverDeliversTheOtherMembersBytes) {
  const std::wstring archive = FixturePath(L"hostile-dup.tar");
  const Listing listing = List(archive);
  ASSERT_EQ(listing.result, 0);
  EXPECT_EQ(Names(listing), (std::vector<std::wstring>{L"dup.png", L"keep.png", L"dup.png"}));
  EXPECT_EQ(Sizes(listing), (std::vector<std::uint64_t>{13, 64, 21}));
  // The first copy and the last one can each be had alone.
  ExpectServed(archive, 0, L"dup.png", SourceBytes(L"src-hostile\\dup1\\dup.png"));
  ExpectServed(archive, 2, L"dup.png", SourceBytes(L"src-hostile\\dup2\\dup.png"));
  ExpectServed(archive, 1, L"keep.png", SourceBytes(L"src-hostile\\keep.png"));
}

TEST_F(HostileArchives, ArchivesCutShortNeverDeliverACutMember) {
  // The zip lost its directory and the end of noise.bin: the tool still
  // lists both members from their local headers, but noise.bin cannot be
  // extracted whole.
  const std::wstring zip = FixturePath(L"hostile-truncated.zip");
  EXPECT_EQ(Supported(zip), 1);
  const Listing listing = List(zip);
  ASSERT_EQ(listing.result, 0);
  EXPECT_EQ(Names(listing), (std::vector<std::wstring>{L"keep.png", L"noise.bin"}));
  EXPECT_EQ(Sizes(listing), (std::vector<std::uint64_t>{64, 40000}));
  ExpectServed(zip, 0, L"keep.png", SourceBytes(L"src-hostile\\keep.png"));
  ExpectRefused(zip, 1);
  EXPECT_EQ(ToMemoryAnsi(zip, 1), 6);

  // The 7z lost its header, which is at the end: the tool opens the file and
  // finds no member in it.
  const std::wstring sevenZip = FixturePath(L"hostile-truncated.7z");
  EXPECT_EQ(Supported(sevenZip), 1);
  const Listing empty = List(sevenZip);
  EXPECT_EQ(empty.result, 0);
  EXPECT_TRUE(empty.records.empty());
  EXPECT_EQ(empty.blockSize, sizeof(ArchiveEntryW));
  EXPECT_EQ(Info(sevenZip, L"keep.png"), -1);
  EXPECT_EQ(ToMemory(sevenZip, 0).result, 2);  // not in the list cached just now
  EXPECT_EQ(ListAnsiCount(sevenZip), 0);
}

TEST_F(HostileArchives, MemberPathOf300CharactersIsListedByItsLastPart) {
  const std::wstring archive = FixturePath(L"longname.tar");
  const Listing listing = List(archive);
  ASSERT_EQ(listing.result, 0);
  const std::wstring last = std::wstring(96, L'n') + L".png";
  EXPECT_EQ(Names(listing), (std::vector<std::wstring>{L"first.png", last, L"after.png", L"last.png"}));
  EXPECT_EQ(Sizes(listing), (std::vector<std::uint64_t>{11, 22, 33, 44}));
  EXPECT_EQ(Info(archive, last), 0);

  // Below the work folder the path is longer than MAX_PATH.
  const std::wstring folders = std::wstring(99, L'n') + L"\\" + std::wstring(99, L'n');
  ExpectOwnBytesOrRefused(archive, 1, SourceBytes(L"src-longname\\" + folders + L"\\" + last));
  // Its neighbours are not disturbed.
  ExpectServed(archive, 2, L"after.png", SourceBytes(L"src-longname\\after.png"));
}

TEST_F(HostileArchives, ArchiveOfFoldersOnlyIsAnEmptyList) {
  const std::wstring archive = FixturePath(L"hostile-dirs.tar");
  EXPECT_EQ(Supported(archive), 1);
  const Listing listing = List(archive);
  EXPECT_EQ(listing.result, 0);
  EXPECT_TRUE(listing.records.empty());
  EXPECT_EQ(listing.blockSize, sizeof(ArchiveEntryW));
  EXPECT_EQ(ListAnsiCount(archive), 0);
  EXPECT_EQ(Info(archive, L"a"), -1);
  EXPECT_EQ(Info(archive, L"dirs"), -1);
  // Not in the list the last request cached.
  EXPECT_EQ(ToMemory(archive, 0).result, 2);
  EXPECT_EQ(ToFolder(archive, 0), 2);
  EXPECT_EQ(Destination(), Tree{});
}

TEST_F(HostileArchives, EmptyFileIsNoArchive) {
  // The tool itself takes an empty file for an empty archive.
  const std::wstring archive = FixturePath(L"hostile-zero.7z");
  EXPECT_EQ(Supported(archive), 0);
  EXPECT_EQ(SupportedAnsi(archive), 0);
  HANDLE file = CreateFileW(archive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(plugin.IsSupportedW(archive.c_str(), file), 0);
  CloseHandle(file);

  EXPECT_EQ(List(archive).result, 2);
  EXPECT_EQ(ListAnsiCount(archive), -1 - 2);
  EXPECT_EQ(Info(archive, L"keep.png"), 2);
  const Fetched fetched = ToMemory(archive, 0);
  EXPECT_EQ(fetched.result, 2);
  EXPECT_TRUE(fetched.untouched);
  EXPECT_EQ(ToFolder(archive, 0), 2);
}

TEST_F(HostileArchives, FolderGivenAsTheArchiveIsARefusal) {
  const std::wstring folder = FixturePath(L"src-pictures");
  EXPECT_EQ(Supported(folder), 0);
  EXPECT_EQ(SupportedAnsi(folder), 0);
  EXPECT_EQ(List(folder).result, 6);
  EXPECT_EQ(ListAnsiCount(folder), -1 - 6);
  EXPECT_EQ(Info(folder, L"a.png"), 6);
  const Fetched fetched = ToMemory(folder, 0);
  EXPECT_EQ(fetched.result, 6);
  EXPECT_TRUE(fetched.untouched);
  EXPECT_EQ(ToFolder(folder, 0), 6);
  EXPECT_EQ(Destination(), Tree{});
}

TEST_F(HostileArchives, ArchiveHeldOpenForWritingIsAReadErrorUntilReleased) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  TestFolder folder(L"held");
  const std::wstring archive = folder / L"held.7z";
  ASSERT_TRUE(CopyFileW(FixturePath(L"pictures.7z").c_str(), archive.c_str(), FALSE));

  for (const DWORD share : {DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE}, DWORD{0}}) {
    SCOPED_TRACE("share mode " + std::to_string(share));
    HANDLE writer = CreateFileW(archive.c_str(), GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    // qibor opens the archive sharing reads only: a writer keeps it out.
    EXPECT_EQ(List(archive).result, 6);
    EXPECT_EQ(ListAnsiCount(archive), -1 - 6);
    EXPECT_EQ(Info(archive, L"a.png"), 6);
    const Fetched fetched = ToMemory(archive, 0);
    EXPECT_EQ(fetched.result, 6);
    EXPECT_TRUE(fetched.untouched);
    EXPECT_EQ(ToFolder(archive, 0), 6);
    // The tool opens it sharing writes, so it can read it while shared;
    // without any sharing it cannot open it either.
    EXPECT_EQ(Supported(archive), share == 0 ? 0 : 1);
    CloseHandle(writer);
  }
  // Nothing of the refusals was kept: the released archive lists as usual.
  const Listing listing = List(archive);
  EXPECT_EQ(listing.result, 0);
  EXPECT_EQ(listing.records.size(), 3u);
  EXPECT_EQ(Destination(), Tree{});
}

}  // namespace
}  // namespace qibor::test
