#pragma once
// Fitting text into the records' fixed 200-unit fields and into hosts'
// buffers: never more than fits with the terminator, never half of a
// surrogate pair. Pure, no Windows header.
#include <cstddef>
#include <string>
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

// Whether Windows reads the text as one file of that very name in a folder:
// not empty, not made of dots, no character no file name may hold
// ("\ / : * ? \" < > |" and control characters), no trailing dot or space,
// no device name ("con", "nul.png", "LPT1").
bool IsPlainName(std::wstring_view name);
// The text as a plain name, for a record that hosts show, look up and save
// files by: each character no file name may hold becomes "_" (the tool
// prints "?" for a character the code page cannot show, and "\\" for a
// backslash), and so does each trailing dot or space; a device name gets
// "_" in front; a name of dots alone is "_".
std::wstring PlainNameFor(std::wstring_view text);

// Copies a member's folder (its levels with "/" after each, decoded) into a
// record's path: its levels, each as PlainNameFor makes it, with "\"
// between them and after the last ("ch2\"), empty at the top. Empty and "."
// levels are left out: the tool reads "d//b" and "d/./b" as "d/b". Levels
// that do not fit 199 units are left off whole, so a long path ends at a
// "\" and never inside a character.
void CopyFolderToRecordPath(RecordChar (&field)[kRecordTextUnits], std::wstring_view folder);

// Where a record path may be cut: just after each "\", which ends a level.
std::vector<std::size_t> RecordPathCuts(std::wstring_view path);

// The units of a field up to its terminator (all 200 when it has none).
std::size_t RecordTextLength(const RecordChar (&field)[kRecordTextUnits]);

}  // namespace qibor
