#pragma once
// Turns an archive into its member list: the plain listing gives each
// member's path, the verbose listing its size, the archive file its time.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "interface/records.h"
#include "listing/kept_members.h"

namespace qibor {

// Both listings of one archive, decoded, with the kept members judged.
struct ToolListing {
  std::vector<std::wstring> plainLines;
  std::vector<std::wstring> verboseLines;
  std::vector<KeptMember> kept;
};

// Runs the plain and the verbose listing and judges the members under the
// current `maxMB`. No value when a run cannot start or its output cannot be
// read. The caller holds the request lock.
std::optional<ToolListing> ListArchiveMembers(const std::wstring& toolPath, const std::wstring& archivePath);

// Builds the archive's EntryList into *listOut (null on every failure):
// 0 with the list, 4 when memory ran out, 6 when the tool cannot be run, its
// output cannot be read, or the archive cannot be opened for its time.
ResultCode BuildListing(const std::wstring& archivePath, HLOCAL* listOut);

}  // namespace qibor
