// Whether the plug-in takes a file, asked the way a viewer asks: through
// IsSupportedW of a loaded qibor.sph, with the real tool under Wine.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "floor/win_path.h"
#include "tool/run_tool.h"
#include "support/plugin_host.h"

namespace qibor::test {
namespace {

// A header the host read itself; lives at an address far above 0xFFFF.
const unsigned char kHostHeader[8] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0, 4};

class ProbeWithRealTool : public ::testing::Test {
 protected:
  int Supported(const std::wstring& path) { return plugin.IsSupportedW(path.c_str(), const_cast<unsigned char*>(kHostHeader)); }
  LoadedPlugin plugin{{{L"dir", RealToolDir()}}};
};

TEST_F(ProbeWithRealTool, TakesArchivesAndRefusesEverythingElse) {
  ASSERT_TRUE(plugin.loaded());
  for (const wchar_t* archive : {L"pictures.7z", L"pictures.zip", L"pictures.tgz", L"pictures.tar", L"ascii.tar"}) {
    // A tool without LZMA (Windows 10's) cannot read a 7z: refused, so the
    // viewer may try another plug-in.
    const std::wstring path = FixturePath(archive);
    EXPECT_EQ(Supported(path), RealToolReads(path) ? 1 : 0) << std::wstring(archive).size();
  }
  // No build of the tool reads a 7z whose header is encrypted.
  if (FileExists(FixturePath(L"encrypted-header.7z"))) {
    EXPECT_EQ(Supported(FixturePath(L"encrypted-header.7z")), 0);
  }
  EXPECT_EQ(Supported(FixturePath(L"photo.jpg")), 0);
  EXPECT_EQ(Supported(FixturePath(L"random.bin")), 0);
  EXPECT_EQ(Supported(FixturePath(L"no-such-file.7z")), 0);
  EXPECT_FALSE(CaptureFilesPresent());
}

TEST_F(ProbeWithRealTool, TarNamesOutsideAsciiAreRefusedOnlyForTarExtensions) {
  EXPECT_EQ(Supported(FixturePath(L"japanese.tar")), 0);
  // The same archives under a name outside the `tar` setting are not checked.
  EXPECT_EQ(Supported(FixturePath(L"japanese-tar.7z")), 1);
  EXPECT_EQ(Supported(FixturePath(L"cafe-tar.7z")), 1);
  EXPECT_EQ(Supported(FixturePath(L"ascii-tar.7z")), 1);
}

TEST_F(ProbeWithRealTool, EmptyTarSettingChecksEveryArchive) {
  WriteSettings(plugin.IniPath(), {{L"dir", RealToolDir()}, {L"tar", L""}});
  EXPECT_EQ(Supported(FixturePath(L"japanese-tar.7z")), 0);
  EXPECT_EQ(Supported(FixturePath(L"pictures.zip")), 1);
}

TEST_F(ProbeWithRealTool, NeverWritesTheHostsPath) {
  TestFolder folder(L"probe-case");
  const std::wstring upper = folder / L"X.TAR";
  ASSERT_TRUE(CopyFileW(FixturePath(L"ascii.tar").c_str(), upper.c_str(), FALSE));
  std::wstring buffer = upper;
  buffer.push_back(L'\0');
  const std::wstring before = buffer;
  EXPECT_EQ(plugin.IsSupportedW(buffer.data(), const_cast<unsigned char*>(kHostHeader)), 1);
  EXPECT_EQ(std::memcmp(buffer.data(), before.data(), before.size() * sizeof(wchar_t)), 0);
}

TEST_F(ProbeWithRealTool, HandleFormReadsEightBytes) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  const std::wstring path = FixturePath(L"pictures.7z");
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  // Kernel handles are small values; only such values are taken for handles.
  ASSERT_EQ(reinterpret_cast<std::uintptr_t>(file) >> 16, 0u);
  EXPECT_EQ(plugin.IsSupportedW(path.c_str(), file), 1);
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 8u);
  CloseHandle(file);

  TestFolder folder(L"probe-short");
  const std::wstring shortFile = folder / L"short.bin";
  WriteBytes(shortFile, "abc");
  file = CreateFileW(shortFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(plugin.IsSupportedW(shortFile.c_str(), file), 0);
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 3u);
  CloseHandle(file);

  // A handle that cannot be read is a refusal.
  EXPECT_EQ(plugin.IsSupportedW(path.c_str(), nullptr), 0);
}

TEST_F(ProbeWithRealTool, LargeValuesArePointersAndNothingIsRead) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  const std::wstring path = FixturePath(L"pictures.7z");
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);

  // A value of 0x10000 or more, below 4 GiB: a pointer.
  void* low = VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  ASSERT_NE(low, nullptr);
  EXPECT_EQ(plugin.IsSupportedW(path.c_str(), low), 1);

  // A pointer above 4 GiB whose bits 16-31 are zero, which would otherwise
  // look like the handle value in its low bits (a 64-bit process only).
  void* high = nullptr;
  for (std::uint64_t base = 0x100000000ULL; sizeof(void*) == 8 && base <= 0x4000000000ULL && high == nullptr;
       base += 0x100000000ULL) {
    const std::uintptr_t address = static_cast<std::uintptr_t>(base) + reinterpret_cast<std::uintptr_t>(file);
    high = VirtualAlloc(reinterpret_cast<void*>(address), 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (high != nullptr && (reinterpret_cast<std::uintptr_t>(high) & 0xFFFF0000u) != 0) {
      VirtualFree(high, 0, MEM_RELEASE);
      high = nullptr;
    }
  }
  if (high != nullptr) {
    EXPECT_EQ(plugin.IsSupportedW(path.c_str(), high), 1);
    VirtualFree(high, 0, MEM_RELEASE);
  } else if (sizeof(void*) == 8) {
    ADD_FAILURE() << "no address above 4 GiB with bits 16-31 clear could be reserved";
  }
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 0u);  // the host's file never moved
  VirtualFree(low, 0, MEM_RELEASE);
  CloseHandle(file);
}

TEST(ProbeWithStandInTool, RefusalLineInCapitalsRefuses) {
  FakeTool tool;
  LoadedPlugin plugin{{{L"dir", tool.dir()}}};
  TestFolder folder(L"probe-refusal");
  const std::wstring archive = folder / L"x.zip";
  WriteBytes(archive, std::string(64, 'z'));
  tool.SetVerbose("TAR: ERROR OPENING ARCHIVE: UNRECOGNIZED ARCHIVE FORMAT\r\n");
  EXPECT_EQ(plugin.IsSupportedW(archive.c_str(), const_cast<unsigned char*>(kHostHeader)), 0);
  // A tool that prints nothing is taken at its word.
  tool.SetVerbose("");
  EXPECT_EQ(plugin.IsSupportedW(archive.c_str(), const_cast<unsigned char*>(kHostHeader)), 1);
  EXPECT_FALSE(CaptureFilesPresent());
  // The probe's command line quotes the tool path; the archive comes on
  // standard input.
  const std::vector<std::wstring> runs = tool.Runs();
  ASSERT_FALSE(runs.empty());
  EXPECT_EQ(runs.back(), L"\"" + tool.dir() + L"\\tar.exe\" tvf -");
}

TEST(ProbeWithStandInTool, AnArchiveTheToolCannotReadIsRefused) {
  FakeTool tool;
  LoadedPlugin plugin{{{L"dir", tool.dir()}}};
  TestFolder folder(L"probe-unreadable");
  const std::wstring archive = folder / L"x.7z";
  WriteBytes(archive, std::string(64, 'z'));
  auto supported = [&] { return plugin.IsSupportedW(archive.c_str(), const_cast<unsigned char*>(kHostHeader)); };
  // Windows 10's tool has no LZMA: it lists nothing and says why.
  tool.SetVerbose("tar.exe: LZMA codec is unsupported\r\ntar.exe: Error exit delayed from previous errors.\r\n");
  EXPECT_EQ(supported(), 0);
  tool.SetVerbose("tar.exe: The archive header is encrypted, but currently not supported\r\n");
  EXPECT_EQ(supported(), 0);
  // Nothing listed and a failing exit, without a word.
  tool.SetVerbose("");
  WriteBytes(tool.dir() + L"\\tvf.fail", "");
  EXPECT_EQ(supported(), 0);
  // Entries listed: taken, whatever else the tool says or how it ends.
  tool.SetVerbose("-rw-r--r--  0 0      0           5 Dec 09 06:24 a.png\r\na.png: Truncated 7-Zip file body\r\n");
  EXPECT_EQ(supported(), 1);
  DeleteFileW((tool.dir() + L"\\tvf.fail").c_str());
  tool.SetVerbose("");
  EXPECT_EQ(supported(), 1);
  EXPECT_FALSE(CaptureFilesPresent());
}

TEST(ProbeWithStandInTool, NamesAreCheckedAsTheToolWroteThem) {
  // The tool writes names in the user's ANSI code page: "café" in 1252.
  FakeTool tool;
  LoadedPlugin plugin{{{L"dir", tool.dir()}}};
  TestFolder folder(L"probe-names");
  WriteBytes(folder / L"x.tar", std::string(64, 't'));
  WriteBytes(folder / L"x.zip", std::string(64, 'z'));
  const auto supported = [&](const wchar_t* name) {
    return plugin.IsSupportedW((folder / name).c_str(), const_cast<unsigned char*>(kHostHeader));
  };
  tool.SetVerbose("-rw-r--r--  0 0      0         100 Dec 09 06:30 caf\xe9.png\r\n");
  EXPECT_EQ(supported(L"x.tar"), 0);
  EXPECT_EQ(supported(L"x.zip"), 1);
  // A locale's month name is not a member name.
  tool.SetVerbose("-rw-r--r--  0 0      0         100 12\x8c\x8e 09 06:30 plain.png\r\n");
  EXPECT_EQ(supported(L"x.tar"), 1);
  tool.SetVerbose("-rw-r--r--  0 0      0         100 Dec 09  2020 \x93\xfa\x96\x7b.png\r\n");
  EXPECT_EQ(supported(L"x.tar"), 0);
}

TEST(ProbeWithStandInTool, MissingToolRefusesEverything) {
  TestFolder empty(L"no-tool");
  LoadedPlugin plugin{{{L"dir", empty.path()}}};
  EXPECT_EQ(plugin.IsSupportedW(FixturePath(L"pictures.7z").c_str(), const_cast<unsigned char*>(kHostHeader)), 0);
}

// Run with Wine under LC_ALL=ja_JP.UTF-8: the tool's month names and the
// ANSI code page (932) change, plain names must still pass.
TEST(Cp932Probe, AsciiTarPassesAndJapaneseNamesAreRefused) {
  if (GetACP() != 932) GTEST_SKIP() << "needs code page 932";
  LoadedPlugin plugin{{{L"dir", RealToolDir()}}};
  EXPECT_EQ(plugin.IsSupportedW(FixturePath(L"ascii.tar").c_str(), const_cast<unsigned char*>(kHostHeader)), 1);
  EXPECT_EQ(plugin.IsSupportedW(FixturePath(L"pictures.tgz").c_str(), const_cast<unsigned char*>(kHostHeader)), 1);
  EXPECT_EQ(plugin.IsSupportedW(FixturePath(L"japanese.tar").c_str(), const_cast<unsigned char*>(kHostHeader)), 0);
  EXPECT_EQ(plugin.IsSupportedW(FixturePath(L"cafe.tar").c_str(), const_cast<unsigned char*>(kHostHeader)), 0);
  EXPECT_EQ(plugin.IsSupportedW(FixturePath(L"japanese-tar.7z").c_str(), const_cast<unsigned char*>(kHostHeader)), 1);
}

}  // namespace
}  // namespace qibor::test
