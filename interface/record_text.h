#pragma once
// Fitting text into the records' fixed 200-unit fields and into hosts'
// buffers: never more than fits with the terminator, never half of a
// surrogate pair. Pure, no Windows header.
#include <cstddef>
#include <string_view>
#include <vector>

#include "interface/records.h"

namespace qibor {

// How many of the text's first units fit `maxUnits`, one fewer when the cut
// would leave a high surrogate without its low half.
std::size_t SurrogateSafeLength(std::wstring_view text, std::size_t maxUnits);

// Copies text into a record's field: at most 199 units, cut as above,
// zero-terminated, the rest zero.
void CopyToRecordText(RecordChar (&field)[kRecordTextUnits], std::wstring_view text);

// Copies a member's folder (its levels with "/" after each, decoded) into a
// record's path: its levels with "\" between them and after the last
// ("ch2\"), empty at the top. Empty and "." levels are left out: the tool
// reads "d//b" and "d/./b" as "d/b". A backslash inside a level stays
// doubled, as the tool prints it and as the name keeps it. Levels that do
// not fit 199 units are left off whole, so a long path ends at a "\" and
// never inside a character.
void CopyFolderToRecordPath(RecordChar (&field)[kRecordTextUnits], std::wstring_view folder);

// Where a record path may be cut: just after each "\" that ends a level. A
// doubled backslash is part of a level and is never split.
std::vector<std::size_t> RecordPathCuts(std::wstring_view path);

// The units of a field up to its terminator (all 200 when it has none).
std::size_t RecordTextLength(const RecordChar (&field)[kRecordTextUnits]);

}  // namespace qibor
