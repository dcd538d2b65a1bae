#pragma once
// GetFileInfo: one member's record, found by its path and name or by its
// name alone, from a list read afresh.
#include <cstdint>
#include <string>

#include "interface/records.h"
#include "listing/listing_cache.h"

namespace qibor {

// The record the query names into recordOut, which is not written
// otherwise. 0; -1 when no member matches; 2, 4 or 6 as for a listing.
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
