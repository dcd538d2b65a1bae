#pragma once
// Listing an archive: the tool's two listings, run at once, read in one pass
// after both have ended. The plain listing gives each entry's path, the
// verbose one its kind and size (and judges the file as the probe would),
// the archive file its time and identity.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "floor/unique_any.h"
#include "interface/records.h"
#include "interface/settings_text.h"
#include "listing/entries.h"

namespace qibor {

// The archive file as it was listed, and the settings it was listed with.
// While all are the same, a fetch trusts the list.
struct ArchiveOrigin {
  std::uint32_t volumeSerial = 0;
  std::uint64_t fileIndex = 0;
  std::uint64_t size = 0;
  std::uint64_t lastWrite = 0;
  std::wstring toolDir;
  int maxMB = 0;
  bool operator==(const ArchiveOrigin&) const = default;
};

// The identity of the open archive with the settings; none when Windows
// cannot say.
std::optional<ArchiveOrigin> OriginOf(HANDLE archive, const Settings& settings);

// What a listing keeps of an archive, and the cache with it.
struct ArchiveList {
  Entries entries;
  std::vector<std::uint32_t> members;  // the entry of each kept member, in order
  std::vector<bool> soleMatch;         // per member: its own name selects it alone
  std::int64_t timestamp = 0;          // the archive's last write, every record's time
  UINT codePage = 0;                   // the code page the tool printed the paths in
  ArchiveOrigin origin;
  // A 7z or a compressed stream: the tool reaches a member only by decoding
  // everything stored before it.
  bool solid = false;
};

// A listing as one request has it: the list, and its records for the host.
struct Listing {
  std::shared_ptr<const ArchiveList> list;
  UniqueLocal records;  // an EntryList
};

// Lists the archive open at `archive` (inheritable, shared with writers as
// the tool itself would share it) in the request's folder: at least 8 bytes
// from `offset`, a tool to read it, and the tool's verbose listing judged as
// the probe judges it. 0; 2 when it is no archive qibor takes or there is no
// tool; 4 when memory ran out; 6 when it cannot be read.
ResultCode ListAfresh(const std::wstring& folder, const Settings& settings, const std::wstring& archivePath,
                      HANDLE archive, std::int64_t offset, Listing& out);

// Member `member`'s record, as the host's list has it.
void MakeRecord(const ArchiveList& list, std::size_t member, ArchiveEntryW& record);

// The member of a fresh list that a record of an older one names: the one
// at its position with its size and its path as the tool printed it, else
// the only other one with them (an archive changed since may hold another
// member at the position). None when it is gone or cannot be told.
std::optional<std::size_t> MemberNamed(const ArchiveList& list, std::uint64_t position, std::string_view toolPath,
                                       std::uint64_t size);

}  // namespace qibor
