// The ANSI exports of a loaded qibor.sph, asked the way an older viewer asks:
// paths and names in the ANSI code page, its records, the real tool
// under Wine.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "support/plugin_host.h"
#include "support/test_support.h"

namespace qibor::test {
namespace {

constexpr char kFill = static_cast<char>(0xCC);
const std::string kZeroRecord(sizeof(ArchiveEntryA), '\0');
const std::string kMethod("TAR\0\0\0\0\0", 8);
const HLOCAL kUntouched = reinterpret_cast<HLOCAL>(static_cast<std::uintptr_t>(0x5A5A5A5A));

std::string ToCodePage(UINT codePage, const std::wstring& text) {
  if (text.empty()) return {};
  const int bytes = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                        nullptr);
  std::string converted(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), converted.data(), bytes, nullptr,
                      nullptr);
  return converted;
}

std::string Ansi(const std::wstring& text) { return ToCodePage(CP_ACP, text); }
std::string Cp932(const std::wstring& text) { return ToCodePage(932, text); }

// Whether the text survives a trip through the ANSI code page unchanged.
bool FitsAnsi(const std::wstring& text) {
  BOOL usedDefault = FALSE;
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                      &usedDefault);
  return usedDefault == FALSE;
}

// UTF-16 of bytes in a code page; false when they are not whole characters.
bool StrictlyFromCodePage(UINT codePage, const std::string& bytes, std::wstring& wide) {
  wide.clear();
  if (bytes.empty()) return true;
  const int units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                        nullptr, 0);
  if (units <= 0) return false;
  wide.resize(static_cast<std::size_t>(units));
  MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), wide.data(),
                      units);
  return true;
}

std::string FieldText(const char (&field)[kRecordTextUnits]) {
  return std::string(field, strnlen(field, kRecordTextUnits));
}

// Hosts copy whole fields; what follows a text's terminator must be zero.
bool ZeroAfterText(const char (&field)[kRecordTextUnits]) {
  for (std::size_t i = strnlen(field, kRecordTextUnits); i < kRecordTextUnits; ++i)
    if (field[i] != '\0') return false;
  return true;
}

std::string Bytes(const ArchiveEntryA& record) {
  return std::string(reinterpret_cast<const char*>(&record), sizeof(record));
}

ArchiveEntryA Filled() {
  ArchiveEntryA record;
  std::memset(&record, 0xCC, sizeof(record));
  return record;
}

std::int64_t FileUnixTime(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  return static_cast<std::int64_t>(ticks / 10000000ULL) - 11644473600LL;
}

// Everything every listed record has, whatever the member, and its folder.
void ExpectListedRecord(const ArchiveEntryA& record, std::uint64_t position, const std::wstring& archive,
                        const std::string& path) {
  EXPECT_EQ(std::string(record.method, sizeof(record.method)), kMethod);
  EXPECT_EQ(record.position, position);
  EXPECT_EQ(record.compressedSize, record.size);
  EXPECT_EQ(record.timestamp, FileUnixTime(archive));
  EXPECT_EQ(FieldText(record.path), path);
  EXPECT_TRUE(ZeroAfterText(record.path));
  EXPECT_NE(record.name[0], '\0');
  EXPECT_TRUE(ZeroAfterText(record.name));
  EXPECT_EQ(record.crc, 0u);
  // The 64-bit record's padding after crc is zero too.
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
  for (std::size_t i = offsetof(ArchiveEntryA, crc) + 4; i < sizeof record; ++i) EXPECT_EQ(bytes[i], 0) << i;
}

struct AnsiListing {
  int result = -99;
  HLOCAL handle = nullptr;
  std::string block;  // the whole block, LocalSize bytes
  std::vector<ArchiveEntryA> records;
};

AnsiListing ListAnsi(const LoadedPlugin& plugin, const std::string& archive, unsigned int flag = 0) {
  AnsiListing listing;
  listing.handle = kUntouched;
  listing.result = plugin.GetArchiveInfo(archive.c_str(), 0, flag, &listing.handle);
  if (listing.result == 0 && listing.handle != nullptr) {
    listing.block.assign(static_cast<const char*>(listing.handle), LocalSize(listing.handle));
    for (std::size_t at = 0; at + sizeof(ArchiveEntryA) <= listing.block.size(); at += sizeof(ArchiveEntryA)) {
      ArchiveEntryA record;
      std::memcpy(&record, listing.block.data() + at, sizeof(record));
      if (record.method[0] == '\0') break;
      listing.records.push_back(record);
    }
    EXPECT_EQ(LocalFree(listing.handle), nullptr);
  }
  return listing;
}

std::string FetchToMemory(const LoadedPlugin& plugin, const std::string& archive, LONG_PTR position, int* result) {
  HLOCAL block = kUntouched;
  *result = plugin.GetFile(archive.c_str(), position, reinterpret_cast<LPSTR>(&block), 0x100, nullptr, 0);
  if (*result != 0) {
    EXPECT_EQ(block, kUntouched);
    return {};
  }
  std::string bytes(static_cast<const char*>(block), LocalSize(block));
  LocalFree(block);
  return bytes;
}

class AnsiExports : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plugin.loaded()); }
  LoadedPlugin plugin{{{L"dir", RealToolDir()}}};
};

TEST_F(AnsiExports, ArchiveInfoGivesOneAnsiRecordPerKeptMemberAndAZeroTerminator) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  const std::wstring archive = FixturePath(L"pictures.7z");
  const AnsiListing listing = ListAnsi(plugin, Ansi(archive));
  ASSERT_EQ(listing.result, 0);
  ASSERT_EQ(listing.block.size(), 4 * sizeof(ArchiveEntryA));
  ASSERT_EQ(listing.records.size(), 3u);
  EXPECT_EQ(listing.block.substr(3 * sizeof(ArchiveEntryA)), kZeroRecord);

  const std::map<std::string, std::string> folders{{"a.png", ""}, {"b.jpg", "album\\"}, {"c.gif", "album\\2024\\"}};
  std::map<std::string, std::uint64_t> sizes;
  for (std::size_t i = 0; i < listing.records.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "record " << i);
    ExpectListedRecord(listing.records[i], i, archive, folders.at(FieldText(listing.records[i].name)));
    sizes[FieldText(listing.records[i].name)] = listing.records[i].size;
  }
  const std::map<std::string, std::uint64_t> expected{{"a.png", 5}, {"b.jpg", 1000}, {"c.gif", 77777}};
  EXPECT_EQ(sizes, expected);

  // The same members in the same order as the wide list.
  HLOCAL wide = nullptr;
  ASSERT_EQ(plugin.GetArchiveInfoW(archive.c_str(), 0, 0, &wide), 0);
  const std::vector<ArchiveEntryW> wideRecords = ListRecords(wide);
  LocalFree(wide);
  ASSERT_EQ(wideRecords.size(), listing.records.size());
  for (std::size_t i = 0; i < wideRecords.size(); ++i)
    EXPECT_EQ(FieldText(listing.records[i].name), Ansi(RecordName(wideRecords[i])));
}

TEST_F(AnsiExports, ArchiveInfoOfAnArchiveWithNothingKeptIsOneZeroRecord) {
  const AnsiListing listing = ListAnsi(plugin, Ansi(FixturePath(L"empty.tar")));
  ASSERT_EQ(listing.result, 0);
  EXPECT_EQ(listing.block, kZeroRecord);
}

TEST_F(AnsiExports, ArchiveInfoRefusals) {
  // Input from memory is not served, and the host's variable is null after it.
  AnsiListing listing = ListAnsi(plugin, Ansi(FixturePath(L"pictures.7z")), 1);
  EXPECT_EQ(listing.result, -1);
  EXPECT_EQ(listing.handle, nullptr);

  listing = ListAnsi(plugin, Ansi(FixturePath(L"photo.jpg")));
  EXPECT_EQ(listing.result, 2);
  EXPECT_EQ(listing.handle, nullptr);

  listing = ListAnsi(plugin, Ansi(FixturePath(L"no-such-archive.7z")));
  EXPECT_NE(listing.result, 0);
  EXPECT_EQ(listing.handle, nullptr);

  listing = ListAnsi(plugin, "");
  EXPECT_NE(listing.result, 0);
  EXPECT_EQ(listing.handle, nullptr);
}

TEST_F(AnsiExports, FileInfoFindsNamesIgnoringCaseAndZeroesTheRestOfTheRecord) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  const std::wstring archive = FixturePath(L"case.7z");
  ArchiveEntryA record = Filled();
  ASSERT_EQ(plugin.GetFileInfo(Ansi(archive).c_str(), 0, "PIC.PNG", 0, &record), 0);
  EXPECT_EQ(FieldText(record.name), "pic.png");
  EXPECT_EQ(record.size, 321u);
  ExpectListedRecord(record, 1, archive, "");

  // An empty name asks for position 0.
  record = Filled();
  ASSERT_EQ(plugin.GetFileInfo(Ansi(archive).c_str(), 0, "", 0, &record), 0);
  EXPECT_EQ(FieldText(record.name), "other.png");
  EXPECT_EQ(record.size, 123u);
  ExpectListedRecord(record, 0, archive, "");
}

TEST_F(AnsiExports, FileInfoFailuresLeaveTheHostsRecordAsItWas) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  const std::string archive = Ansi(FixturePath(L"case.7z"));
  const std::string filled = Bytes(Filled());
  const auto expectUntouched = [&](const std::string& archivePath, const char* name, unsigned int flag, int expected) {
    SCOPED_TRACE(testing::Message() << "name of " << (name ? std::strlen(name) : 0) << " bytes, flag " << flag);
    ArchiveEntryA record = Filled();
    const int result = plugin.GetFileInfo(archivePath.c_str(), 0, name, flag, &record);
    if (expected == 0) {
      EXPECT_NE(result, 0);
    } else {
      EXPECT_EQ(result, expected);
    }
    EXPECT_EQ(Bytes(record), filled);
  };
  expectUntouched(archive, "nothing.png", 0, -1);
  expectUntouched(archive, "pic.png", 1, -1);
  expectUntouched(archive, nullptr, 0, 0);
  expectUntouched(Ansi(FixturePath(L"photo.jpg")), "pic.png", 0, 2);
  expectUntouched(Ansi(FixturePath(L"no-such-archive.7z")), "pic.png", 0, 0);
}

TEST_F(AnsiExports, FileInfoNamesTooLongForTheRecordMatchNothing) {
  // The 250-character member's name is kept as its first 199 characters.
  const std::string archive = Ansi(FixturePath(L"odd.tar"));
  ArchiveEntryA record = Filled();
  ASSERT_EQ(plugin.GetFileInfo(archive.c_str(), 0, std::string(199, 'L').c_str(), 0, &record), 0);
  EXPECT_EQ(FieldText(record.name), std::string(199, 'L'));
  EXPECT_EQ(record.size, 109u);

  const std::string filled = Bytes(Filled());
  const std::string full = std::string(246, 'L') + ".png";
  for (const std::string& name : {std::string(200, 'L'), full, std::string(259, 'L'), std::string(300, 'x')}) {
    SCOPED_TRACE(testing::Message() << "name of " << name.size() << " bytes");
    record = Filled();
    EXPECT_NE(plugin.GetFileInfo(archive.c_str(), 0, name.c_str(), 0, &record), 0);
    EXPECT_EQ(Bytes(record), filled);
  }
}

TEST_F(AnsiExports, GetFileToMemoryDeliversTheMemberAtEachPosition) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  const std::string archive = Ansi(FixturePath(L"pictures.7z"));
  const std::map<std::string, std::wstring> sources{
      {"a.png", L"a.png"}, {"b.jpg", L"album\\b.jpg"}, {"c.gif", L"album\\2024\\c.gif"}};
  const AnsiListing listing = ListAnsi(plugin, archive);
  ASSERT_EQ(listing.records.size(), 3u);
  for (const ArchiveEntryA& record : listing.records) {
    const std::string name = FieldText(record.name);
    SCOPED_TRACE(name);
    int result = -99;
    const std::string bytes = FetchToMemory(plugin, archive, static_cast<LONG_PTR>(record.position), &result);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(bytes, ReadBytes(FixturePath(L"src-pictures\\" + sources.at(name))));
  }
  int result = 0;
  FetchToMemory(plugin, archive, 3, &result);  // one past the last kept member
  EXPECT_NE(result, 0);
}

TEST_F(AnsiExports, GetFileToFolderTakesTheFolderInAnsi) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  const std::wstring archive = FixturePath(L"pictures.7z");
  const AnsiListing listing = ListAnsi(plugin, Ansi(archive));
  ASSERT_EQ(listing.records.size(), 3u);
  std::uint64_t position = 0;
  for (const ArchiveEntryA& record : listing.records)
    if (FieldText(record.name) == "b.jpg") position = record.position;

  TestFolder dest(L"ansi-dest");
  // A folder name outside ASCII shows the path is converted, not copied byte by byte.
  const std::wstring accented = dest / L"caf\u00E9";
  const std::wstring folder = FitsAnsi(accented) ? accented : dest / L"plain";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  EXPECT_EQ(plugin.GetFile(Ansi(archive).c_str(), static_cast<LONG_PTR>(position), Ansi(folder).data(), 0, nullptr, 0),
            0);
  EXPECT_EQ(ReadBytes(folder + L"\\b.jpg"), ReadBytes(FixturePath(L"src-pictures\\album\\b.jpg")));
}

class AnsiIsSupported : public AnsiExports {
 protected:
  HANDLE Open(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    // Kernel handles are small values; only such values are taken for handles.
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(file) >> 16, 0u);
    return file;
  }
  static DWORD Position(HANDLE file) { return SetFilePointer(file, 0, nullptr, FILE_CURRENT); }
};

TEST_F(AnsiIsSupported, HandleIsReadForEightBytes) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  const std::wstring archive = FixturePath(L"pictures.7z");
  HANDLE file = Open(archive);
  EXPECT_EQ(plugin.IsSupported(Ansi(archive).c_str(), file), 1);
  EXPECT_EQ(Position(file), 8u);
  CloseHandle(file);

  file = Open(FixturePath(L"photo.jpg"));
  EXPECT_EQ(plugin.IsSupported(Ansi(FixturePath(L"photo.jpg")).c_str(), file), 0);
  EXPECT_EQ(Position(file), 8u);
  CloseHandle(file);

  TestFolder folder(L"ansi-short");
  const std::wstring shortFile = folder / L"short.bin";
  WriteBytes(shortFile, "abc");
  file = Open(shortFile);
  EXPECT_EQ(plugin.IsSupported(Ansi(shortFile).c_str(), file), 0);
  EXPECT_EQ(Position(file), 3u);  // at the end
  CloseHandle(file);
}

TEST_F(AnsiIsSupported, PointersAreNeverReadAsHandles) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  const std::string archive = Ansi(FixturePath(L"pictures.7z"));
  const std::string photo = Ansi(FixturePath(L"photo.jpg"));
  unsigned char junk[8] = {'n', 'o', 't', ' ', 'a', 'n', 'y', '!'};
  unsigned char magic[8] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0, 4};
  // The answer is the probe's for the path, whatever the host's bytes say.
  EXPECT_EQ(plugin.IsSupported(archive.c_str(), junk), 1);
  EXPECT_EQ(plugin.IsSupported(photo.c_str(), magic), 0);

  // A pointer above 4 GiB whose low 32 bits equal an open handle's value.
  if (sizeof(void*) == 4) GTEST_SKIP() << "a 32-bit process has no address above 4 GiB";
  HANDLE file = Open(FixturePath(L"pictures.7z"));
  const auto handleValue = reinterpret_cast<std::uintptr_t>(file);
  void* high = nullptr;
  for (std::uint64_t base = 0x100000000ULL; base <= 0x4000000000ULL && high == nullptr; base += 0x100000000ULL) {
    high = VirtualAlloc(reinterpret_cast<void*>(static_cast<std::uintptr_t>(base)), 0x20000, MEM_RESERVE | MEM_COMMIT,
                        PAGE_READWRITE);
    if (high != nullptr && reinterpret_cast<std::uintptr_t>(high) != base) {
      VirtualFree(high, 0, MEM_RELEASE);
      high = nullptr;
    }
  }
  ASSERT_NE(high, nullptr) << "no address above 4 GiB with bits 16-31 clear could be reserved";
  unsigned char* pointer = static_cast<unsigned char*>(high) + handleValue;
  ASSERT_EQ(reinterpret_cast<std::uintptr_t>(pointer) & 0xFFFFFFFFu, handleValue);
  std::memcpy(pointer, junk, sizeof(junk));
  EXPECT_EQ(plugin.IsSupported(archive.c_str(), pointer), 1);
  std::memcpy(pointer, magic, sizeof(magic));
  EXPECT_EQ(plugin.IsSupported(photo.c_str(), pointer), 0);
  EXPECT_EQ(Position(file), 0u);  // the host's file never moved
  VirtualFree(high, 0, MEM_RELEASE);
  CloseHandle(file);
}

// Run with Wine under LC_ALL=ja_JP.UTF-8, where the ANSI code page is 932.
class Cp932AnsiExports : public AnsiExports {
 protected:
  void SetUp() override {
    if (GetACP() != 932) GTEST_SKIP() << "needs code page 932";
    AnsiExports::SetUp();
  }
  const std::wstring archive = FixturePath(L"japanese-names.7z");
  const std::wstring longName = std::wstring(150, L'長') + L".png";
};

TEST_F(Cp932AnsiExports, ArchiveInfoNamesAreCp932AndCutOnACharacter) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  const AnsiListing listing = ListAnsi(plugin, Cp932(archive));
  ASSERT_EQ(listing.result, 0);
  ASSERT_EQ(listing.block.size(), 4 * sizeof(ArchiveEntryA));
  ASSERT_EQ(listing.records.size(), 3u);
  EXPECT_EQ(listing.block.substr(3 * sizeof(ArchiveEntryA)), kZeroRecord);
  for (std::size_t i = 0; i < listing.records.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "record " << i);
    ExpectListedRecord(listing.records[i], i, archive, i == 1 ? Cp932(L"写真\\") : "");
  }
  EXPECT_EQ(FieldText(listing.records[0].name), Cp932(L"日本.png"));
  EXPECT_EQ(listing.records[0].size, 210u);
  EXPECT_EQ(FieldText(listing.records[1].name), Cp932(L"猫.jpg"));
  EXPECT_EQ(listing.records[1].size, 3333u);

  // 304 bytes in code page 932: as many whole kanji as fit 199 bytes.
  const std::string cut = FieldText(listing.records[2].name);
  EXPECT_EQ(listing.records[2].size, 77u);
  std::wstring back;
  EXPECT_TRUE(StrictlyFromCodePage(932, cut, back)) << "half a character at the end";
  EXPECT_EQ(back, longName.substr(0, 99));
  EXPECT_EQ(cut, Cp932(longName.substr(0, 99)));

  // The host can ask for the member by the name it was given.
  ArchiveEntryA record = Filled();
  ASSERT_EQ(plugin.GetFileInfo(Cp932(archive).c_str(), 0, cut.c_str(), 0, &record), 0);
  EXPECT_EQ(record.position, 2u);
  EXPECT_EQ(FieldText(record.name), cut);
}

TEST_F(Cp932AnsiExports, FileInfoFindsAMemberByItsCp932Name) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  ArchiveEntryA record = Filled();
  ASSERT_EQ(plugin.GetFileInfo(Cp932(archive).c_str(), 0, Cp932(L"猫.jpg").c_str(), 0, &record), 0);
  EXPECT_EQ(FieldText(record.name), Cp932(L"猫.jpg"));
  EXPECT_EQ(record.size, 3333u);
  ExpectListedRecord(record, 1, archive, Cp932(L"写真\\"));

  record = Filled();
  EXPECT_EQ(plugin.GetFileInfo(Cp932(archive).c_str(), 0, Cp932(L"犬.jpg").c_str(), 0, &record), -1);
  EXPECT_EQ(Bytes(record), Bytes(Filled()));
}

TEST_F(Cp932AnsiExports, GetFileFetchesJapaneseMembers) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  int result = -99;
  EXPECT_EQ(FetchToMemory(plugin, Cp932(archive), 0, &result),
            ReadBytes(FixturePath(L"src-japanese-names\\日本.png")));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(FetchToMemory(plugin, Cp932(archive), 1, &result),
            ReadBytes(FixturePath(L"src-japanese-names\\写真\\猫.jpg")));
  EXPECT_EQ(result, 0);

  TestFolder dest(L"ansi-dest-932");
  const std::wstring folder = dest / L"保存先";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  EXPECT_EQ(plugin.GetFile(Cp932(archive).c_str(), 1, Cp932(folder).data(), 0, nullptr, 0), 0);
  EXPECT_EQ(ReadBytes(folder + L"\\猫.jpg"), ReadBytes(FixturePath(L"src-japanese-names\\写真\\猫.jpg")));
}

TEST_F(Cp932AnsiExports, ArchivePathInCp932) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  const std::wstring path = FixturePath(L"写真集.7z");
  const std::string ansiPath = Cp932(path);
  unsigned char header[8] = {};
  EXPECT_EQ(plugin.IsSupported(ansiPath.c_str(), header), 1);

  const AnsiListing listing = ListAnsi(plugin, ansiPath);
  ASSERT_EQ(listing.result, 0);
  EXPECT_EQ(listing.records.size(), 3u);

  ArchiveEntryA record = Filled();
  ASSERT_EQ(plugin.GetFileInfo(ansiPath.c_str(), 0, "A.PNG", 0, &record), 0);
  EXPECT_EQ(record.size, 5u);
  int result = -99;
  EXPECT_EQ(FetchToMemory(plugin, ansiPath, static_cast<LONG_PTR>(record.position), &result),
            ReadBytes(FixturePath(L"src-pictures\\a.png")));
  EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace qibor::test
