#pragma once
// GetFileInfo: one member's record, found by its path and name or by its
// name alone, from a list read afresh.
#include <cstdint>
#include <string>
#include <string_view>

#include "interface/records.h"

namespace qibor {

// A member as a host asks for it. A text is matched with each record's
// path + name ("/" in the text counts as "\", letter case ignored) and,
// when no record has that path + name and `nameAlone` is set, with the
// first record's name alone. An empty text asks for `position`.
struct MemberQuery {
  std::wstring_view text;
  std::uint64_t position = 0;
  bool nameAlone = true;
};

// The record the query names into recordOut, which is not written
// otherwise. Among records that print alike, the member stored under
// exactly the query's name where the tool can tell, else the first. 0; -1
// when no member matches; 2, 4 or 6 as for a listing.
ResultCode FindMember(const std::wstring& archivePath, std::int64_t offset, const MemberQuery& query,
                      ArchiveEntryW& recordOut);

// The same for an ANSI host's query, `ansiQuery` as the host gave it and
// `wideQuery` its UTF-16 form. A path or name longer than its ANSI field
// reaches such a host cut to fit, and it may ask for the member by that
// text: when the UTF-16 form names no member by path + name, the query is
// matched with path + name as the ANSI records give them, then with the
// name in UTF-16, then with the name as the ANSI records give it.
ResultCode FindMemberAnsi(const std::wstring& archivePath, std::int64_t offset, const char* ansiQuery,
                          const std::wstring& wideQuery, ArchiveEntryW& recordOut);

}  // namespace qibor
