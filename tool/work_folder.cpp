#include "tool/work_folder.h"

#include <windows.h>

#include "floor/folder_tree.h"
#include "floor/win_path.h"

namespace qibor {
namespace {

// Set while this thread holds a RequestScope; only that thread serves the
// request, and the lock keeps every other request out until it ends.
thread_local const std::wstring* t_requestFolder = nullptr;
const std::wstring kNoFolder;

std::wstring MakeRequestFolder() {
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 4; ++attempt) {
    EnsureWorkDirectory();
    const std::wstring work = WorkDirectory();
    // Missing (and not to be made) or a file: no request can run. One that
    // may not be written in fails below, when the request folder is made.
    if (work.empty() || !IsDirectory(work)) return {};
    // Under the lock, anything here is a leftover of a request that died.
    EmptyFolder(work);
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
