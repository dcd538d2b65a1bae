#pragma once
// Shared by the Windows-side tests: where fixtures and tools are, scratch
// folders, settings files and the scripted stand-in tool.
#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace qibor::test {

// GetFileW's output kind for a memory block.
constexpr unsigned int kToMemory = 0x100;
// A value no export would store: a host variable that must stay as it was.
inline const HLOCAL kUntouched = reinterpret_cast<HLOCAL>(static_cast<std::uintptr_t>(0x5A5A));

// The text in the ANSI code page, as an older host holds its paths.
std::string Ansi(const std::wstring& text);

// A Linux path as Wine shows it to Windows programs (drive Z:).
std::wstring WindowsPath(const std::string& unixPath);
std::wstring FixturePath(const std::wstring& name);
// The folder of the real tool the tests run: the build named by
// QIBOR_TEST_TOOL_DIR (a Linux path) when it is set, else the default build.
std::wstring RealToolDir();
// Whether that tool reads LZMA, and so 7z archives: Windows 10's tool does
// not (QIBOR_TEST_TOOL_READS_7Z=0), and answers every 7z with nothing listed.
bool RealToolReads7z();
// Whether the tool build under test reads this archive (7z and txz need LZMA).
bool RealToolReads(const std::wstring& archive);


std::string ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::string& bytes);
std::wstring Utf8ToWide(const std::string& text);

// A fresh folder under the temp folder, removed with everything in it.
class TestFolder {
 public:
  explicit TestFolder(const std::wstring& name);
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;
  ~TestFolder();
  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

void RemoveTree(const std::wstring& path);

using Settings = std::initializer_list<std::pair<const wchar_t*, std::wstring>>;
// Writes a settings file with the given keys of "UserSetting" (and only them).
void WriteSettings(const std::wstring& iniPath, Settings settings);
// The settings file of the running test program (its own path with ".ini").
std::wstring OwnSettingsPath();

// Every file and folder left below the work folder, relative to it.
std::vector<std::wstring> WorkFolderEntries();
// Whether anything (a capture, a request folder) is left in the work folder.
bool CaptureFilesPresent();

// The scripted stand-in tool in a folder of its own.
class FakeTool {
 public:
  FakeTool();
  const std::wstring& dir() const { return folder_.path(); }
  void SetPlain(const std::string& bytes);
  void SetVerbose(const std::string& bytes);
  // The verbose run writes its output `pieceBytes` at a time, 15 ms apart.
  void MakeVerboseSlow(std::size_t pieceBytes);
  void SetExtracted(const std::string& bytes);
  // Replaces tar.exe by a file that cannot be started.
  void MakeUnstartable();
  std::vector<std::wstring> Runs() const;
  void ClearRuns();

 private:
  TestFolder folder_;
};

}  // namespace qibor::test

// Skips the rest of a test whose archives the real tool in use cannot read.
#define QIBOR_SKIP_UNLESS_TOOL_READS_7Z()                                        \
  do {                                                                            \
    if (!::qibor::test::RealToolReads7z()) GTEST_SKIP() << "this tool reads no 7z"; \
  } while (false)
