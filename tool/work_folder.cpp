#include "tool/work_folder.h"

#include <windows.h>

#include "floor/files.h"
#include "floor/folder_tree.h"
#include "floor/win_path.h"

namespace qibor {
namespace {

std::wstring MakeRequestFolder() {
  static unsigned counter = 0;
  const std::wstring work = WorkDirectory();
  if (work.empty()) return {};
  for (int attempt = 0; attempt < 4; ++attempt) {
    const std::wstring folder =
        work + L"\\r" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
    if (CreateDirectoryW(folder.c_str(), nullptr)) return folder;
    const DWORD error = GetLastError();
    // A leftover of that name goes with the request's sweep: take the next.
    if (error == ERROR_ALREADY_EXISTS) continue;
    if (error != ERROR_PATH_NOT_FOUND && error != ERROR_FILE_NOT_FOUND) return {};
    // No work folder: the first request makes it, and makes it again when
    // another process unloading qibor removed it, empty, without the lock.
    // A file of that name, or one that may not be made, and no request runs.
    if (!CreateDirectoryW(work.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return {};
    if (!IsDirectory(work)) return {};
  }
  return {};
}

// Under the lock, anything in the work folder but this request's own folder
// is a leftover of a request that died.
void RemoveLeftoversBeside(const std::wstring& ownFolder) {
  const std::size_t slash = ownFolder.rfind(L'\\');
  if (slash == std::wstring::npos) return;
  const std::wstring work = ownFolder.substr(0, slash);
  const std::wstring_view ownName = std::wstring_view(ownFolder).substr(slash + 1);
  ForEachEntryIn(work, [&](const FolderEntry& entry) {
    if (entry.name == ownName) return true;
    const std::wstring child = work + L"\\" + std::wstring(entry.name);
    if (entry.isFolder && !entry.isLink) {
      RemoveTree(child);
    } else {
      DeleteEntryRetrying(child, entry.isFolder);
    }
    return true;
  });
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

RequestScope::RequestScope() {
  if (lock_.held()) folder_ = MakeRequestFolder();
}

RequestScope::~RequestScope() {
  if (folder_.empty()) return;
  RemoveTree(folder_);
  static bool swept = false;
  if (lock_.abandoned() || !swept) RemoveLeftoversBeside(folder_);
  swept = true;
}

}  // namespace qibor
