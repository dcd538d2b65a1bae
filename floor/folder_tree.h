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

// Removes a folder and everything below it. True when it is gone.
bool RemoveTree(const std::wstring& folder);

}  // namespace qibor
