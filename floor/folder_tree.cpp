#include "floor/folder_tree.h"

#include <windows.h>

#include "floor/files.h"
#include "floor/unique_any.h"
#include "floor/win_path.h"

namespace qibor {

bool ForEachEntryIn(const std::wstring& folder, const std::function<bool(const FolderEntry&)>& onEntry) {
  WIN32_FIND_DATAW found{};
  const UniqueFind search(FindFirstFileExW(LongPathForm(folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0));
  if (!search.valid()) return false;
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const FolderEntry entry{name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                            (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0};
    if (!onEntry(entry)) return false;
  } while (FindNextFileW(search.get(), &found));
  return GetLastError() == ERROR_NO_MORE_FILES;
}

namespace {

// Removes what is inside the folder. True when nothing is left in it.
bool RemoveContents(const std::wstring& folder) {
  bool all = true;
  const bool walked = ForEachEntryIn(folder, [&](const FolderEntry& entry) {
    const std::wstring child = folder + L"\\" + std::wstring(entry.name);
    if (entry.isFolder && !entry.isLink && !RemoveContents(child)) all = false;
    if (!DeleteEntryRetrying(child, entry.isFolder)) all = false;
    return true;
  });
  // A folder with nothing in it at all (not even "."), as a drive's root
  // may be, reads as "no file found".
  return all && (walked || GetLastError() == ERROR_FILE_NOT_FOUND);
}

}  // namespace

bool RemoveTree(const std::wstring& folder) {
  // An empty folder, or a link, goes at once; one with something in it
  // refuses and is walked.
  if (RemoveDirectoryW(LongPathForm(folder).c_str())) return true;
  const DWORD attributes = GetFileAttributesW(LongPathForm(folder).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  const bool isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (!isLink && !RemoveContents(folder)) return false;
  return DeleteEntryRetrying(folder, true);
}

}  // namespace qibor
