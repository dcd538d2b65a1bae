#pragma once
// Reading the lines of the probe's listing: where a verbose line's member name
// starts, and whether a line is the tool's refusal to open the file. Pure, no
// Windows header.
#include <string_view>

namespace qibor {

// The member name a verbose line ends with: the text after its eighth field
// (mode, links, owner, group, size, month, day, time or year), fields being
// separated by runs of spaces and the name starting after the one space that
// follows the eighth. A line with fewer fields is returned whole.
std::string_view VerboseLineName(std::string_view line);

// "NAME: Error opening archive: REASON", NAME being the tool's name as it
// prints it (no spaces or colons), any reason, letter case ignored.
bool IsOpenErrorLine(std::string_view line);

}  // namespace qibor
