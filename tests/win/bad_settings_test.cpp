// qibor.ini as users get it wrong: numbers that are not numbers, folders that
// do not exist or whose path has spaces in front of a planted program, values
// far longer than a path, and a settings "file" that is a folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "floor/win_path.h"
#include "tool/run_tool.h"
#include "support/plugin_host.h"
#include "support/test_support.h"

namespace qibor::test {
namespace {

class BadSettings : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plugin.loaded()); }
  void TearDown() override { EXPECT_FALSE(CaptureFilesPresent()); }

  void Use(Settings settings) { WriteSettings(plugin.IniPath(), settings); }

  int Supported(const std::wstring& archive) {
    std::string head = ReadBytes(archive).substr(0, 2048);
    head.resize(2048, '\0');
    return plugin.IsSupportedW(archive.c_str(), head.data());
  }
  // The result, and the records when it is 0.
  int List(const std::wstring& archive, std::vector<ArchiveEntryW>* records = nullptr) {
    HLOCAL list = kUntouched;
    const int result = plugin.GetArchiveInfoW(archive.c_str(), 0, 0, &list);
    if (result == 0) {
      if (records != nullptr) *records = ListRecords(list);
      LocalFree(list);
    }
    return result;
  }
  int Info(const std::wstring& archive, const wchar_t* name) {
    ArchiveEntryW record{};
    return plugin.GetFileInfoW(archive.c_str(), 0, name, 0, &record);
  }
  int Fetch(const std::wstring& archive, LONG_PTR position, std::string* bytes = nullptr) {
    HLOCAL block = kUntouched;
    const int result =
        plugin.GetFileW(archive.c_str(), position, reinterpret_cast<LPWSTR>(&block), kToMemory, nullptr, 0);
    if (result == 0) {
      if (bytes != nullptr) bytes->assign(static_cast<const char*>(block), LocalSize(block));
      LocalFree(block);
    } else {
      EXPECT_EQ(block, kUntouched);
    }
    return result;
  }
  std::wstring PluginText(int index, int capacity, int* result) {
    std::wstring buffer(static_cast<std::size_t>(capacity) + 16, L'#');
    *result = plugin.GetPluginInfoW(index, buffer.data(), capacity);
    // Nothing beyond the host's buffer is touched.
    EXPECT_EQ(buffer.substr(static_cast<std::size_t>(capacity)), std::wstring(16, L'#'));
    return std::wstring(buffer.c_str());
  }

  // With no usable tool every archive is refused the same way.
  void ExpectNoTool() {
    EXPECT_EQ(Supported(archive), 0);
    EXPECT_EQ(List(archive), 2);
    EXPECT_EQ(Info(archive, L"a.png"), 2);
    EXPECT_EQ(Fetch(archive, 0), 2);
    HLOCAL list = kUntouched;
    EXPECT_EQ(plugin.GetArchiveInfo(archiveAnsi.c_str(), 0, 0, &list), 2);
  }
  // The archive is listed and served as usual.
  void ExpectWorking() {
    EXPECT_EQ(Supported(archive), 1);
    std::vector<ArchiveEntryW> records;
    ASSERT_EQ(List(archive, &records), 0);
    ASSERT_EQ(records.size(), 3u);
    std::string bytes;
    ASSERT_EQ(Fetch(archive, 0, &bytes), 0);
    EXPECT_EQ(bytes.size(), records[0].size);
  }

  LoadedPlugin plugin{{{L"dir", RealToolDir()}}};
  const std::wstring archive = FixturePath(L"pictures.7z");
  const std::string archiveAnsi = Ansi(archive);
};

TEST_F(BadSettings, MaxMBThatIsNoPositiveNumberKeepsNothing) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  for (const wchar_t* value : {L"abc", L"-5", L"0"}) {
    SCOPED_TRACE(Ansi(value));
    Use({{L"dir", RealToolDir()}, {L"maxMB", value}});
    EXPECT_EQ(Supported(archive), 1);
    std::vector<ArchiveEntryW> records{ArchiveEntryW{}};
    EXPECT_EQ(List(archive, &records), 0);
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(Info(archive, L"a.png"), -1);
    EXPECT_EQ(Fetch(archive, 0), 2);  // the list just made is cached
  }
  // Too large for an int: whatever it becomes, the pictures fit.
  Use({{L"dir", RealToolDir()}, {L"maxMB", L"99999999999"}});
  ExpectWorking();
}

TEST_F(BadSettings, ToolFolderThatHoldsNoToolRefusesEveryArchive) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  TestFolder empty(L"no-tool");
  const std::wstring values[] = {
      empty / L"no-such-folder",
      empty.path(),                       // exists, but no tar.exe in it
      RealToolDir() + L"\\tar.exe",       // the tool itself, not its folder
      L"C:\\" + std::wstring(300, L'd'),  // longer than a path
  };
  for (const std::wstring& dir : values) {
    SCOPED_TRACE(Ansi(dir));
    Use({{L"dir", dir}});
    ExpectNoTool();
  }
  Use({{L"dir", RealToolDir()}});
  ExpectWorking();
}

TEST_F(BadSettings, RelativeToolFolderNeverRunsAProgramFromTheCurrentFolder) {
  // A host's current folder is often the folder the user opened: a tar.exe
  // planted there must not run.
  FakeTool planted;
  planted.SetPlain("a.png\r\n");
  planted.SetVerbose("-rw-r--r--  0 0      0           9 Dec 09 06:24 a.png\r\n");
  wchar_t previous[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(planted.dir().c_str()));
  for (const wchar_t* dir : {L"", L".", L"fake-dir-that-is-relative"}) {
    SCOPED_TRACE(Ansi(dir));
    Use({{L"dir", dir}});
    ExpectNoTool();
  }
  SetCurrentDirectoryW(previous);
  EXPECT_EQ(planted.Runs(), std::vector<std::wstring>{});
}

TEST_F(BadSettings, SpacesInTheToolFolderNeverRunAProgramAtTheUnquotedPrefix) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  // <folder>\Program Files\tool\tar.exe is the tool; <folder>\Program.exe is
  // what an unquoted command line would start instead.
  TestFolder root(L"spaces");
  const std::wstring toolDir = root / L"Program Files\\tool";
  ASSERT_TRUE(CreateDirectoryW((root / L"Program Files").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(toolDir.c_str(), nullptr));
  ASSERT_TRUE(CopyFileW((RealToolDir() + L"\\tar.exe").c_str(), (toolDir + L"\\tar.exe").c_str(), FALSE));
  // The stand-in logs every start into runs.log beside itself.
  ASSERT_TRUE(CopyFileW(WindowsPath(QIBOR_FAKE_TOOL).c_str(), (root / L"Program.exe").c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(WindowsPath(QIBOR_FAKE_TOOL).c_str(), (root / L"Program Files\\tool.exe").c_str(), FALSE));

  Use({{L"dir", toolDir}});
  ExpectWorking();
  EXPECT_EQ(Info(archive, L"c.gif"), 0);
  // Spaces in the archive's own path, too.
  TestFolder spaced(L"my pictures");
  const std::wstring copy = spaced / L"holiday 2024.7z";
  ASSERT_TRUE(CopyFileW(archive.c_str(), copy.c_str(), FALSE));
  std::vector<ArchiveEntryW> records;
  EXPECT_EQ(List(copy, &records), 0);
  EXPECT_EQ(records.size(), 3u);

  EXPECT_FALSE(FileExists(root / L"runs.log")) << "the decoy ran";
  EXPECT_FALSE(FileExists(root / L"Program Files\\runs.log")) << "the decoy ran";
}

TEST_F(BadSettings, ValuesLongerThanAPathAreReadWholeAndCutOnlyToTheHostsBuffer) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  std::wstring ext;
  while (ext.size() < 320) ext += L"*.cbz,";
  ext += L"*.7z";
  Use({{L"dir", RealToolDir()}, {L"ext", ext}});
  int result = 0;
  std::wstring text = PluginText(2, 64, &result);
  EXPECT_EQ(result, 63);
  EXPECT_EQ(text.size(), 63u);
  text = PluginText(2, 1024, &result);
  EXPECT_EQ(result, static_cast<int>(ext.size()));
  EXPECT_TRUE(text.ends_with(L";*.cbz;*.7z"));

  // Far longer than any buffer qibor reads settings into.
  Use({{L"dir", RealToolDir()}, {L"ext", std::wstring(40000, L'x')}});
  text = PluginText(2, 300, &result);
  EXPECT_EQ(result, 299);

  // A long `tar` list whose last entry is ".tar": the names of a .tar are
  // still checked, and other archives still probed.
  std::wstring tar;
  while (tar.size() < 320) tar += L"*.abc,";
  tar += L"*.tar";
  Use({{L"dir", RealToolDir()}, {L"tar", tar}});
  EXPECT_EQ(Supported(FixturePath(L"ascii.tar")), 1);
  EXPECT_EQ(Supported(FixturePath(L"japanese.tar")), 0);
  EXPECT_EQ(Supported(FixturePath(L"japanese-tar.7z")), 1);
  ExpectWorking();
}

TEST_F(BadSettings, UnreadableSettingsFileMeansDefaults) {
  QIBOR_SKIP_UNLESS_TOOL_READS_7Z();
  // The defaults: C:\Windows\System32\tar.exe, present on current Windows,
  // absent under Wine.
  const bool defaultTool = FileExists(L"C:\\Windows\\System32\\tar.exe");
  const auto expectDefaults = [&] {
    int result = 0;
    EXPECT_EQ(PluginText(2, 64, &result), L"*.7z;*.rar");
    if (defaultTool) {
      ExpectWorking();
    } else {
      ExpectNoTool();
    }
  };

  // A folder where the file should be.
  DeleteFileW(plugin.IniPath().c_str());
  ASSERT_TRUE(CreateDirectoryW(plugin.IniPath().c_str(), nullptr));
  {
    SCOPED_TRACE("folder");
    expectDefaults();
  }
  RemoveDirectoryW(plugin.IniPath().c_str());

  // Bytes that are no settings at all.
  std::string noise;
  for (int i = 0; i < 4096; ++i) noise.push_back(static_cast<char>((i * 7919) & 0xFF));
  WriteBytes(plugin.IniPath(), noise);
  {
    SCOPED_TRACE("noise");
    expectDefaults();
  }

  // A file another program holds open without sharing.
  Use({{L"dir", RealToolDir()}});
  HANDLE held =
      CreateFileW(plugin.IniPath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  {
    SCOPED_TRACE("held");
    expectDefaults();
  }
  CloseHandle(held);
  ExpectWorking();
}

}  // namespace
}  // namespace qibor::test
