// Hostile and odd archives through the real tool, asked through every export
// that takes an archive. Whatever an archive holds, qibor writes nothing
// outside the work folder and the host's destination, where only a file
// named as the member's record is made; the tool never writes a file of the
// archive's naming, and no bytes that are not the member's own are handed
// over.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <thread>
#include <string>
#include <vector>

#include "tool/run_tool.h"
#include "tool/work_folder.h"
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

// Files with bytes of their own where a member that escaped the request
// folder would land: beside the work folder, above it, at the drive's root.
class Canaries {
 public:
  Canaries() {
    const std::wstring temp = TempFolder();
    const std::wstring above = temp.substr(0, temp.find_last_of(L'\\'));
    for (const std::wstring& folder : {temp, above, std::wstring(L"C:")}) {
      for (const wchar_t* name : {L"x.jpg", L"y.jpg", L"z.jpg", L"Tempa.jpg", L"qibora.jpg", L"canary2.txt",
                                  L"canary3.txt", L"canary4.txt", L"canary5.txt", L"canary6.txt", L"v.txt"}) {
        const std::wstring path = folder + L"\\" + name;
        const std::string bytes = "canary " + Ansi(path) + " must stay as it is";
        WriteBytes(path, bytes);
        files_.push_back({path, bytes});
      }
    }
  }
  Canaries(const Canaries&) = delete;
  Canaries& operator=(const Canaries&) = delete;
  ~Canaries() {
    for (const auto& [path, bytes] : files_) DeleteFileW(path.c_str());
  }
  void ExpectUnchanged() const {
    for (const auto& [path, bytes] : files_) EXPECT_EQ(ReadBytes(path), bytes) << "changed: " << Ansi(path);
  }

 private:
  std::vector<std::pair<std::wstring, std::string>> files_;
};

// Files (not folders) below the work folder.
std::vector<std::wstring> WorkFolderFiles() {
  std::vector<std::wstring> files;
  for (const auto& [name, item] : Snapshot(WorkDirectory(), true))
    if (!item.folder) files.push_back(name);
  return files;
}

std::string Repeated(const std::string& seed, std::size_t size) {
  std::string bytes;
  while (bytes.size() < size) bytes += seed;
  bytes.resize(size);
  return bytes;
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
    canaries.ExpectUnchanged();
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

  // The member at each position: served with exactly these bytes, or refused.
  void ExpectEach(const std::wstring& archive, const std::vector<std::pair<std::wstring, std::string>>& members) {
    for (std::size_t i = 0; i < members.size(); ++i) {
      const auto& [name, bytes] = members[i];
      if (bytes.empty()) {
        ExpectRefused(archive, static_cast<LONG_PTR>(i));
      } else {
        ExpectServed(archive, static_cast<LONG_PTR>(i), name, bytes);
      }
    }
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
  Canaries canaries;
  Watch watch;  // made last: the plug-in's copy, the destination and the canaries exist by now
};

// ---------------------------------------------------------------------------

// Whatever a member's path says, its bytes come through the tool's output
// alone, and in a folder the host's file is named as the record.
TEST_F(HostileArchives, MembersLeadingOutsideComeOnlyThroughTheOutput) {
  const std::wstring archive = FixturePath(L"hostile-paths.tar");
  EXPECT_EQ(Supported(archive), 1);
  EXPECT_EQ(SupportedAnsi(archive), 1);

  // ../evil.txt, /abs.txt, C:/drive.txt, dir/../../up.txt, ..\back.txt: the
  // record holds the part after the last "/", as a plain name, and no folder
  // that leads out ("..\" reads "_\").
  const Listing listing = List(archive);
  ASSERT_EQ(listing.result, 0);
  EXPECT_EQ(Names(listing), (std::vector<std::wstring>{L"keep.png", L"evil.txt", L"abs.txt", L"drive.txt", L"up.txt",
                                                       L"..__back.txt"}));
  EXPECT_EQ(Sizes(listing), (std::vector<std::uint64_t>{64, 5, 6, 7, 8, 9}));
  EXPECT_EQ(std::wstring(listing.records[1].path), L"_\\");
  EXPECT_EQ(std::wstring(listing.records[4].path), L"dir\\_\\_\\");
  EXPECT_EQ(ListAnsiCount(archive), 6);

  ArchiveEntryW record{};
  EXPECT_EQ(Info(archive, L"evil.txt", &record), 0);
  EXPECT_EQ(record.position, 1u);
  EXPECT_EQ(record.size, 5u);

  const wchar_t* sources[] = {L"keep.png", L"evil.txt", L"abs.txt", L"drive.txt", L"up.txt", L"back.txt"};
  for (LONG_PTR position = 0; position <= 5; ++position) {
    ExpectServed(archive, position, Names(listing)[static_cast<std::size_t>(position)],
                 SourceBytes(std::wstring(L"src-hostile\\") + sources[position]));
    EXPECT_EQ(ToMemoryAnsi(archive, position), 0);
  }
}

TEST_F(HostileArchives, NamesWithControlCharactersAreServedUnderPlainNames) {
  const std::wstring archive = FixturePath(L"hostile-control.tar");
  EXPECT_EQ(Supported(archive), 1);

  // The tool prints a tab as it is and \001 in its escaped form.
  const Listing listing = List(archive);
  ASSERT_EQ(listing.result, 0);
  EXPECT_EQ(Names(listing), (std::vector<std::wstring>{L"keep.png", L"tab_in.png", L"ctl_001.png"}));
  EXPECT_EQ(Sizes(listing), (std::vector<std::uint64_t>{64, 10, 11}));
  EXPECT_EQ(Info(archive, L"tab_in.png"), 0);

  // No argument selects the escaped one: a pass gives it by its place.
  ExpectEach(archive, {{L"keep.png", SourceBytes(L"src-hostile\\keep.png")},
                       {L"tab_in.png", Repeated("tab", 10)},
                       {L"ctl_001.png", Repeated("ctl", 11)}});
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

  // The 7z lost its header, which is at the end: the tool lists nothing and
  // says it cannot read the file, so it is no archive qibor takes (another
  // plug-in may), not an empty one.
  const std::wstring sevenZip = FixturePath(L"hostile-truncated.7z");
  EXPECT_EQ(Supported(sevenZip), 0);
  EXPECT_EQ(List(sevenZip).result, 2);
  EXPECT_EQ(Info(sevenZip, L"keep.png"), 2);
  EXPECT_EQ(ToMemory(sevenZip, 0).result, 2);
  EXPECT_EQ(ListAnsiCount(sevenZip), -1 - 2);
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

// Another program may hold the archive open for writing, as the tool itself
// lets it: qibor reads it all the same, and only a program that shares
// nothing keeps it out.
TEST_F(HostileArchives, ArchiveHeldOpenForWritingIsReadUnlessItSharesNothing) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  TestFolder folder(L"held");
  const std::wstring archive = folder / L"held.7z";
  ASSERT_TRUE(CopyFileW(FixturePath(L"pictures.7z").c_str(), archive.c_str(), FALSE));
  const std::string a = SourceBytes(L"src-pictures\\a.png");
  HANDLE writer = CreateFileW(archive.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Supported(archive), 1);
  EXPECT_EQ(List(archive).records.size(), 3u);
  EXPECT_EQ(ListAnsiCount(archive), 3);
  EXPECT_EQ(Info(archive, L"a.png"), 0);
  // A fetch from the list: its one run keeps writers out, which it cannot
  // while one writes; the archive is listed again, letting them in.
  ExpectServed(archive, 0, L"a.png", a);
  CloseHandle(writer);

  writer = CreateFileW(archive.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Supported(archive), 0);
  EXPECT_EQ(List(archive).result, 6);
  EXPECT_EQ(ListAnsiCount(archive), -1 - 6);
  EXPECT_EQ(Info(archive, L"a.png"), 6);
  const Fetched fetched = ToMemory(archive, 0);
  EXPECT_EQ(fetched.result, 6);
  EXPECT_TRUE(fetched.untouched);
  EXPECT_EQ(ToFolder(archive, 0), 6);
  CloseHandle(writer);
  EXPECT_EQ(List(archive).records.size(), 3u);
  EXPECT_EQ(Destination(), Tree{});
}

// ---------------------------------------------------------------------------
// Exact, contained extraction: each member gives exactly its own bytes or a
// non-zero result, and nothing outside the request's folder is touched.

TEST_F(HostileArchives, NamesWindowsReadsAsOtherFilesComeUnderPlainNames) {
  // "..." and "...." climb like "..", a trailing dot or space is dropped,
  // a device name is a device in every folder; "..a.jpg" is a plain name.
  // None reaches the file system but as the record's plain name.
  for (const wchar_t* name : {L"hostile-names.zip", L"hostile-names.tar"}) {
    SCOPED_TRACE(Ansi(name));
    const std::wstring archive = FixturePath(name);
    const Listing listing = List(archive);
    ASSERT_EQ(listing.result, 0);
    EXPECT_EQ(Names(listing), (std::vector<std::wstring>{L"keep.png", L"x.jpg", L"y.jpg", L"..a.jpg", L"x.jpg_",
                                                         L"y.jpg_", L"_con.txt", L"_LPT1", L"z.jpg", L"_nul.png"}));
    EXPECT_EQ(std::wstring(listing.records[1].path), L"_\\");
    EXPECT_EQ(std::wstring(listing.records[8].path), L"dir_\\");
    ExpectEach(archive, {{L"keep.png", Repeated("keep", 64)},
                         {L"x.jpg", Repeated("dots3", 41)},
                         {L"y.jpg", Repeated("dots4", 42)},
                         {L"..a.jpg", Repeated("dotdota", 43)},
                         {L"x.jpg_", Repeated("trailingdot", 44)},
                         {L"y.jpg_", Repeated("trailingspace", 45)},
                         {L"_con.txt", Repeated("device", 46)},
                         {L"_LPT1", Repeated("printer", 47)},
                         {L"z.jpg", Repeated("dotfolder", 48)},
                         {L"_nul.png", Repeated("null", 49)}});
  }
}

TEST_F(HostileArchives, LinkEntriesAreNeverMembersAndNeverWritten) {
  // A hard link with bytes whose target climbs out through "..." steps, one
  // through "..", a symbolic link whose target text reads like a listing's
  // size and date, one to an absolute path.
  const std::wstring archive = FixturePath(L"hostile-hardlink.tar");
  EXPECT_EQ(Supported(archive), 1);
  const Listing listing = List(archive);
  ASSERT_EQ(listing.result, 0);
  EXPECT_EQ(Names(listing), (std::vector<std::wstring>{L"keep.png", L"last.png"}));
  EXPECT_EQ(Sizes(listing), (std::vector<std::uint64_t>{64, 65}));
  EXPECT_EQ(Info(archive, L"evil.jpg"), -1);
  EXPECT_EQ(Info(archive, L"a"), -1);
  ExpectEach(archive, {{L"keep.png", Repeated("keep", 64)}, {L"last.png", Repeated("last", 65)}});

  // A link stored before a file of the same name: every argument selects
  // the link first, and a pass cannot place the file's bytes: the hard
  // link, listed with no size, writes the bytes stored after it.
  const std::wstring first = FixturePath(L"hostile-linkfirst.tar");
  const Listing both = List(first);
  ASSERT_EQ(both.result, 0);
  EXPECT_EQ(Names(both), (std::vector<std::wstring>{L"pic.jpg", L"sym.jpg"}));
  ExpectOwnBytesOrRefused(first, 0, Repeated("pic", 100));
  ExpectOwnBytesOrRefused(first, 1, Repeated("sym", 100));
}

TEST_F(HostileArchives, EntriesBelowAMemberAreNeverWritten) {
  // cover.jpg and cover.jpg/pad.bin (about 3 MiB of zeros): the tool takes the
  // argument "cover.jpg" for both. With a 1 MiB limit pad.bin is not listed,
  // and a fetch that wrote it would not be answered with 0.
  const std::string cover = Repeated("COVER", 5000);
  for (const wchar_t* name : {L"below-after.7z", L"below-before.7z", L"below-after.zip", L"below-before.zip",
                              L"below-after.tgz", L"below-before.tgz"}) {
    SCOPED_TRACE(Ansi(name));
    const std::wstring archive = FixturePath(name);
    if (!RealToolReads(archive)) continue;
    WriteSettings(plugin.IniPath(), {{L"dir", RealToolDir()}, {L"maxMB", L"1"}});
    const Listing small = List(archive);
    ASSERT_EQ(small.result, 0);
    EXPECT_EQ(Names(small), std::vector<std::wstring>{L"cover.jpg"});
    ExpectServed(archive, 0, L"cover.jpg", cover);

    WriteSettings(plugin.IniPath(), {{L"dir", RealToolDir()}});
    const Listing all = List(archive);
    ASSERT_EQ(all.result, 0);
    ASSERT_EQ(all.records.size(), 2u);
    const bool coverFirst = RecordName(all.records[0]) == L"cover.jpg";
    const Fetched fetched = ToMemory(archive, coverFirst ? 0 : 1);
    EXPECT_EQ(fetched.result, 0);
    EXPECT_TRUE(fetched.bytes == cover);
    const Fetched pad = ToMemory(archive, coverFirst ? 1 : 0);
    EXPECT_EQ(pad.result, 0);
    EXPECT_TRUE(pad.bytes == std::string(3000001, '\0'));
  }
}

TEST_F(HostileArchives, AFolderOneArchiveMadeDoesNotBlockAnother) {
  // p.jpg/evil.txt makes a folder "p.jpg"; it goes with its request.
  ExpectServed(FixturePath(L"folder-member.tar"), 0, L"evil.txt", Repeated("evil", 50));
  ASSERT_EQ(List(FixturePath(L"plain-p.tar")).result, 0);
  ExpectServed(FixturePath(L"plain-p.tar"), 0, L"p.jpg", Repeated("plainp", 60));
}

TEST_F(HostileArchives, ReadOnlyMembersAreServedAndLeaveNothingBehind) {
  // Stored read-only, which a tool may write read-only: such a file refuses
  // to go by name, and the request folder must still go whole (the
  // fixture's teardown checks the work folder).
  const std::wstring archive = FixturePath(L"read-only.tar");
  ASSERT_EQ(List(archive).result, 0);
  ExpectEach(archive, {{L"ro.png", Repeated("readonly", 70)},
                       {L"pic.png", Repeated("lockedpic", 71)},
                       {L"open.png", Repeated("open", 72)}});
}

TEST_F(HostileArchives, OtherSpellingsOfANameEachGiveTheirOwnBytes) {
  // The tool takes "d//b.jpg" and "e/./c.jpg" for "d/b.jpg" and "e/c.jpg":
  // a run reads both copies and takes the later, or a pass takes either by
  // its place.
  for (const wchar_t* name : {L"spellings.zip", L"spellings.tar", L"spellings.7z"}) {
    SCOPED_TRACE(Ansi(name));
    const std::wstring archive = FixturePath(name);
    if (!RealToolReads(archive)) continue;
    const Listing listing = List(archive);
    ASSERT_EQ(listing.result, 0);
    std::vector<std::pair<std::wstring, std::string>> expected{{L"b.jpg", std::string(1000, 'A')},
                                                               {L"b.jpg", std::string(1000, 'B')}};
    if (listing.records.size() == 4) {
      expected.push_back({L"c.jpg", std::string(900, 'C')});
      expected.push_back({L"c.jpg", std::string(900, 'D')});
    }
    ASSERT_EQ(listing.records.size(), expected.size());
    ExpectEach(archive, expected);
  }
}

TEST_F(HostileArchives, AnArchiveReplacedAfterItsListingNeverGivesAnotherMembersBytes) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  TestFolder folder(L"swapped");
  const std::wstring archive = folder / L"swap.7z";
  ASSERT_TRUE(CopyFileW(FixturePath(L"case.7z").c_str(), archive.c_str(), FALSE));
  const Listing before = List(archive);
  ASSERT_EQ(before.result, 0);
  ASSERT_EQ(Names(before), (std::vector<std::wstring>{L"other.png", L"pic.png"}));

  // Same path, other members: position 0 now holds a.png, 5 bytes.
  ASSERT_TRUE(CopyFileW(FixturePath(L"pictures.7z").c_str(), archive.c_str(), FALSE));
  for (LONG_PTR position : {0, 1}) {
    const Fetched fetched = ToMemory(archive, position);
    EXPECT_EQ(fetched.result, 6) << position;
    EXPECT_TRUE(fetched.untouched);
  }
  EXPECT_EQ(ToFolder(archive, 0), 6);
  EXPECT_EQ(Destination(), Tree{});

  // A member still there with its name and size comes, wherever it moved.
  ASSERT_TRUE(CopyFileW(FixturePath(L"case.7z").c_str(), archive.c_str(), FALSE));
  ASSERT_EQ(List(archive).result, 0);
  ASSERT_TRUE(CopyFileW(FixturePath(L"hostile-dup.tar").c_str(), archive.c_str(), FALSE));
  EXPECT_EQ(ToMemory(archive, 1).result, 6);
}

TEST_F(HostileArchives, ArchiveNamesOutsideTheCodePageOpenTheirOwnFile) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  // Under code page 1252 "Ａlbum.7z" (a fullwidth A) would reach the tool as
  // "Album.7z", the file beside it.
  const std::wstring fullwidth = FixturePath(L"\xFF21lbum.7z");
  const Listing listing = List(fullwidth);
  ASSERT_EQ(listing.result, 0);
  EXPECT_EQ(Names(listing), (std::vector<std::wstring>{L"a.png", L"b.jpg", L"c.gif"}));
  EXPECT_EQ(Supported(fullwidth), 1);
  const Fetched fetched = ToMemory(fullwidth, 0);
  EXPECT_EQ(fetched.result, 0);
  EXPECT_EQ(fetched.bytes, SourceBytes(L"src-pictures\\a.png"));
  EXPECT_EQ(Names(List(FixturePath(L"Album.7z"))), (std::vector<std::wstring>{L"other.png", L"pic.png"}));
}

TEST_F(HostileArchives, EveryFormatListsAndExtractsTheSameThroughStandardInput) {
  for (const wchar_t* name : {L"pictures.7z", L"pictures.zip", L"pictures.tgz", L"pictures.tar", L"pictures.iso",
                              L"pictures.cpio", L"pictures.txz", L"pictures.pax"}) {
    SCOPED_TRACE(Ansi(name));
    const std::wstring archive = FixturePath(name);
    if (!RealToolReads(archive)) {
      // A build without LZMA lists nothing and says so: not an archive here.
      EXPECT_EQ(Supported(archive), 0);
      EXPECT_EQ(List(archive).result, 2);
      continue;
    }
    EXPECT_EQ(Supported(archive), 1);
    const Listing listing = List(archive);
    ASSERT_EQ(listing.result, 0);
    // An ISO image's "." and its folders are not members.
    std::map<std::wstring, std::uint64_t> sizes;
    for (const ArchiveEntryW& record : listing.records) sizes[RecordName(record)] = record.size;
    EXPECT_EQ(sizes, (std::map<std::wstring, std::uint64_t>{{L"a.png", 5}, {L"b.jpg", 1000}, {L"c.gif", 77777}}));
    for (std::size_t i = 0; i < listing.records.size(); ++i) {
      if (RecordName(listing.records[i]) != L"b.jpg") continue;
      const Fetched fetched = ToMemory(archive, static_cast<LONG_PTR>(i));
      EXPECT_EQ(fetched.result, 0);
      EXPECT_EQ(fetched.bytes, SourceBytes(L"src-pictures\\album\\b.jpg"));
    }
  }
  // A zip may store a folder with bytes: it is no member.
  const std::wstring zip = FixturePath(L"folder-with-size.zip");
  EXPECT_EQ(Names(List(zip)), std::vector<std::wstring>{L"pic.png"});
  ExpectServed(zip, 0, L"pic.png", Repeated("pic", 30));
}

TEST_F(HostileArchives, AWorkFolderThatCannotHoldARequestIsAReadError) {
  const std::wstring archive = FixturePath(L"pictures.zip");
  const std::wstring work = WorkDirectory();
  auto expectReadErrors = [&](const char* what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(Supported(archive), 0);
    EXPECT_EQ(List(archive).result, 6);
    EXPECT_EQ(Info(archive, L"a.png"), 6);
    const Fetched fetched = ToMemory(archive, 0);
    EXPECT_EQ(fetched.result, 6);
    EXPECT_TRUE(fetched.untouched);
    EXPECT_EQ(ToFolder(archive, 0), 6);
  };

  RemoveTree(work);
  WriteBytes(work, "a file where the work folder goes");
  expectReadErrors("a file");
  DeleteFileW(work.c_str());

  CreateDirectoryW(work.c_str(), nullptr);

  // The temp folder itself is gone, so the work folder cannot be made.
  wchar_t saved[MAX_PATH] = {};
  GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
  SetEnvironmentVariableW(L"TMP", L"C:\\no-such-folder\\temp");
  expectReadErrors("missing");
  SetEnvironmentVariableW(L"TMP", saved);

  EXPECT_EQ(List(archive).result, 0);
  EXPECT_EQ(Destination(), Tree{});
}

// Whatever the request, the next one after a request that died holding the
// lock removes what it left.
TEST_F(HostileArchives, WhatARequestThatDiedLeftIsRemovedByTheNext) {
  const std::wstring work = WorkDirectory();
  auto leaveBehind = [&] {
    // The request lock, taken by a thread that ends without letting it go.
    std::thread([] {
      HANDLE lock = CreateMutexW(nullptr, FALSE, L"Local\\qibor.work-folder");
      WaitForSingleObject(lock, INFINITE);
      CloseHandle(lock);
    }).join();
    const std::wstring left = work + L"\\r999-1";
    CreateDirectoryW(left.c_str(), nullptr);
    CreateDirectoryW((left + L"\\p.jpg").c_str(), nullptr);
    WriteBytes(left + L"\\p.jpg\\evil.txt", "left by a request that was killed");
    SetFileAttributesW((left + L"\\p.jpg\\evil.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteBytes(work + L"\\qibor.txt", "an old capture");
    ASSERT_EQ(WorkFolderEntries().size(), 4u);  // both, and what lies below the folder
  };
  const std::wstring archive = FixturePath(L"pictures.tar");
  leaveBehind();
  const Listing listing = List(archive);
  EXPECT_EQ(listing.result, 0);
  EXPECT_EQ(WorkFolderEntries(), std::vector<std::wstring>{});

  leaveBehind();
  const Fetched fetched = ToMemory(archive, 0);
  EXPECT_EQ(fetched.result, 0);
  EXPECT_EQ(WorkFolderEntries(), std::vector<std::wstring>{});

  leaveBehind();
  EXPECT_NE(ToMemory(archive, static_cast<LONG_PTR>(listing.records.size()) + 5).result, 0);
  EXPECT_EQ(WorkFolderEntries(), std::vector<std::wstring>{});
}

}  // namespace
}  // namespace qibor::test
