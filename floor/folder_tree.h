#pragma once
// Walking and removing a folder's contents without ever following a link
// out of it: a link (a junction, a symbolic link) is seen and removed as
// itself, never entered.
#include <functional>
#include <string>
#include <string_view>

namespace qibor {

struct FolderEntry {
  std::wstring_view name;
  bool isFolder = false;
  bool isLink = false;  // a reparse point: never to be entered
};

// Calls onEntry for each entry of the folder but "." and "..", until it
// returns false. False when the folder cannot be read or onEntry stopped.
bool ForEachEntryIn(const std::wstring& folder, const std::function<bool(const FolderEntry&)>& onEntry);

// Removes what is inside the folder. True when it is empty.
bool EmptyFolder(const std::wstring& folder);

// Removes a folder and everything below it. True when it is gone.
bool RemoveTree(const std::wstring& folder);

// Deletes the file at `relative` below `root` ("\" between levels), then
// each folder on its way that is left empty, deepest first; `root` stays.
// For a tree known to hold nothing but plain folders on the file's way: a
// folder that will not go is left for RemoveTree. True when all went.
bool RemoveFileAndItsFolders(const std::wstring& root, const std::wstring& relative);

}  // namespace qibor
