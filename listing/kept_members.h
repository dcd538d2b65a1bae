#pragma once
// Which members of a listing are kept, and how they are numbered. The listing
// builder and the extraction both judge members here, so a position always
// names the same member in both. Pure, no Windows header.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "interface/records.h"

namespace qibor {

struct KeptMember {
  std::size_t line;    // index into the plain listing
  std::int64_t size;   // parsed from the verbose listing
};

// Pairs the two listings line for line. A plain line without a verbose
// partner has no known size and is not kept.
std::vector<KeptMember> FindKeptMembers(const std::vector<std::wstring>& plainLines,
                                        const std::vector<std::wstring>& verboseLines,
                                        std::int64_t sizeLimit);

// The member's last path component: the text after the last "/".
std::wstring_view MemberName(std::wstring_view memberPath);

// Copies text into a record's 200-unit field: at most 199 units, never
// splitting a surrogate pair, zero-terminated, the rest zero.
void CopyToRecordText(RecordChar (&field)[kRecordTextUnits], std::wstring_view text);

// Seconds since 1970-01-01 UTC from a FILETIME value (100 ns since 1601).
std::int64_t UnixSecondsFromFileTime(std::uint64_t fileTime);

// A kept member's record, as the host receives it.
void FillMemberRecord(ArchiveEntryW& record, std::uint64_t position, std::int64_t size,
                      std::int64_t timestamp, std::wstring_view memberPath);

}  // namespace qibor
