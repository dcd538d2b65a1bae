#include "listing/work_folder.h"

#include <windows.h>

#include "interface/win_path.h"
#include "listing/retry.h"

namespace qibor {
namespace {

// A scanner can hold a fresh file for a moment after the tool exits.
constexpr RetryBudget kBusyFile{2000, 10};

// Set while this thread holds a RequestScope; only that thread serves the
// request, and the lock keeps every other request out until it ends.
thread_local const std::wstring* t_requestFolder = nullptr;
const std::wstring kNoFolder;

bool DeleteEntry(const std::wstring& path, bool folder) {
  const std::wstring target = LongPathForm(path);
  SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  const auto result = RetryWhilePassing(kBusyFile, IsBusyError, [&] {
    const bool removed = folder ? RemoveDirectoryW(target.c_str()) != FALSE : DeleteFileW(target.c_str()) != FALSE;
    const DWORD error = GetLastError();
    return std::make_pair(removed || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND, 0);
  });
  return result.first;
}

// Removes what is inside the folder; a link to a folder is removed as a
// link, not entered.
bool RemoveContents(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileExW(LongPathForm(folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  bool all = true;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring child = folder + L"\\" + name;
    const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (isFolder && !isLink && !RemoveContents(child)) all = false;
    if (!DeleteEntry(child, isFolder)) all = false;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return all;
}

std::wstring MakeRequestFolder() {
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 4; ++attempt) {
    EnsureWorkDirectory();
    const std::wstring work = WorkDirectory();
    // Missing (and not to be made) or a file: no request can run. One that
    // may not be written in fails below, when the request folder is made.
    if (work.empty() || !IsDirectory(work)) return {};
    // Under the lock, anything here is a leftover of a request that died.
    RemoveContents(work);
    const std::wstring folder =
        work + L"\\r" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
    if (CreateDirectoryW(folder.c_str(), nullptr)) return folder;
    // Another process unloading qibor removes the work folder when it finds
    // it empty, without the lock: make it again.
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_PATH_NOT_FOUND && error != ERROR_FILE_NOT_FOUND) return {};
  }
  return {};
}

}  // namespace

std::wstring WorkDirectory() {
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  if (length == 0 || length > MAX_PATH) return {};
  return CombinePath(temp, L"qibor");
}

void EnsureWorkDirectory() {
  const std::wstring folder = WorkDirectory();
  if (!folder.empty() && GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
    CreateDirectoryW(folder.c_str(), nullptr);
  }
}

bool EmptyFolder(const std::wstring& folder) { return RemoveContents(folder); }

bool RemoveTree(const std::wstring& folder) {
  const DWORD attributes = GetFileAttributesW(LongPathForm(folder).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  const bool isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (!isLink && !RemoveContents(folder)) return false;
  return DeleteEntry(folder, true);
}

RequestScope::RequestScope() {
  if (!lock_.held()) return;
  folder_ = MakeRequestFolder();
  if (!folder_.empty()) t_requestFolder = &folder_;
}

RequestScope::~RequestScope() {
  if (folder_.empty()) return;
  t_requestFolder = nullptr;
  RemoveTree(folder_);
}

const std::wstring& CurrentRequestFolder() { return t_requestFolder != nullptr ? *t_requestFolder : kNoFolder; }

}  // namespace qibor
