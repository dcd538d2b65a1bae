#include "support/test_support.h"

#include <algorithm>
#include <vector>

#include "floor/win_path.h"
#include "tool/work_folder.h"

namespace qibor::test {

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty()) return {};
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
  return wide;
}

std::string Ansi(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string converted(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), size, converted.data(), bytes, nullptr, nullptr);
  return converted;
}

std::wstring WindowsPath(const std::string& unixPath) {
  std::wstring path = L"Z:" + Utf8ToWide(unixPath);
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

std::wstring FixturePath(const std::wstring& name) { return WindowsPath(QIBOR_FIXTURE_DIR) + L"\\" + name; }
namespace {

// An environment variable's value as UTF-8 text, or nothing.
std::string EnvironmentValue(const wchar_t* name) {
  const DWORD units = GetEnvironmentVariableW(name, nullptr, 0);
  if (units == 0) return {};
  std::wstring value(units, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), units));
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, value.data(), static_cast<int>(value.size()), nullptr, 0,
                                        nullptr, nullptr);
  std::string text(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, value.data(), static_cast<int>(value.size()), text.data(), bytes, nullptr,
                      nullptr);
  return text;
}

}  // namespace

std::wstring RealToolDir() {
  const std::string chosen = EnvironmentValue(L"QIBOR_TEST_TOOL_DIR");
  return WindowsPath(chosen.empty() ? std::string(QIBOR_TOOL_DIR) : chosen);
}

bool RealToolReads7z() { return EnvironmentValue(L"QIBOR_TEST_TOOL_READS_7Z") != "0"; }

bool RealToolReads(const std::wstring& archive) {
  const std::size_t dot = archive.find_last_of(L'.');
  const std::wstring extension = dot == std::wstring::npos ? std::wstring() : archive.substr(dot);
  const bool needsLzma = _wcsicmp(extension.c_str(), L".7z") == 0 || _wcsicmp(extension.c_str(), L".txz") == 0;
  return !needsLzma || RealToolReads7z();
}

std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  std::vector<char> buffer(1 << 16);
  DWORD read = 0;
  while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read > 0)
    bytes.append(buffer.data(), read);
  CloseHandle(file);
  return bytes;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
}

TestFolder::TestFolder(const std::wstring& name) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring root = std::wstring(temp) + L"qibor-tests";
  CreateDirectoryW(root.c_str(), nullptr);
  path_ = root + L"\\" + name + L"-" + std::to_wstring(GetCurrentProcessId());
  RemoveTree(path_);
  CreateDirectoryW(path_.c_str(), nullptr);
}

TestFolder::~TestFolder() { RemoveTree(path_); }

void WriteSettings(const std::wstring& iniPath, Settings settings) {
  DeleteFileW(iniPath.c_str());
  for (const auto& [key, value] : settings) WritePrivateProfileStringW(L"UserSetting", key, value.c_str(), iniPath.c_str());
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, iniPath.c_str());  // flush
}

std::wstring OwnSettingsPath() {
  std::wstring path = ModuleFilePath(nullptr);
  return path.substr(0, path.find_last_of(L'.')) + L".ini";
}

namespace {
void ListEntries(const std::wstring& root, const std::wstring& relative, std::vector<std::wstring>& entries) {
  WIN32_FIND_DATAW found{};
  const std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring child = relative.empty() ? name : relative + L"\\" + name;
    entries.push_back(child);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ListEntries(root, child, entries);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}
}  // namespace

std::vector<std::wstring> WorkFolderEntries() {
  std::vector<std::wstring> entries;
  ListEntries(WorkDirectory(), L"", entries);
  return entries;
}

// Captures live in the request folders, which go with their requests: after
// any request the work folder is empty.
bool CaptureFilesPresent() { return !WorkFolderEntries().empty(); }

FakeTool::FakeTool() : folder_(L"fake-tool") {
  CopyFileW(WindowsPath(QIBOR_FAKE_TOOL).c_str(), (folder_ / L"tar.exe").c_str(), FALSE);
}

void FakeTool::SetPlain(const std::string& bytes) { WriteBytes(folder_ / L"tf.out", bytes); }
void FakeTool::SetVerbose(const std::string& bytes) { WriteBytes(folder_ / L"tvf.out", bytes); }
void FakeTool::MakeVerboseSlow(std::size_t pieceBytes) { WriteBytes(folder_ / L"tvf.slow", std::string(pieceBytes, '.')); }
void FakeTool::SetExtracted(const std::string& bytes) { WriteBytes(folder_ / L"xf.out", bytes); }
void FakeTool::MakeUnstartable() { WriteBytes(folder_ / L"tar.exe", "this is not a program\r\n"); }
void FakeTool::ClearRuns() { DeleteFileW((folder_ / L"runs.log").c_str()); }

std::vector<std::wstring> FakeTool::Runs() const {
  const std::wstring text = Utf8ToWide(ReadBytes(folder_ / L"runs.log"));
  std::vector<std::wstring> runs;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
    runs.push_back(text.substr(start, end - start));
  return runs;
}

}  // namespace qibor::test
