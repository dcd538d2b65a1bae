#pragma once
// Reading the lines of the probe's listing: where a verbose line's member name
// starts, and whether a line is the tool's refusal to open the file. Pure, no
// Windows header.
#include <cstddef>
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

// A message of the tool rather than an entry: "NAME: TEXT", NAME holding no
// space or colon ("tar.exe: LZMA codec is unsupported"). An entry's verbose
// line starts with its mode and a space.
bool IsToolMessageLine(std::string_view line);

// What a probe run's lines say.
struct ProbeLines {
  std::size_t entries = 0;   // entries listed
  bool toolMessage = false;  // the tool said something of its own
  bool refused = false;      // it could not open the file, or a checked name is not ASCII
};

// Whether the file is taken: nothing refused, and either entries listed or
// a run that ended well without a word. An archive the tool cannot read
// ("LZMA codec is unsupported", an encrypted header) lists no entry and
// complains or exits with an error; an empty one lists nothing quietly.
inline bool ProbeAccepts(const ProbeLines& lines, bool exitedWell) {
  if (lines.refused) return false;
  return lines.entries > 0 || (!lines.toolMessage && exitedWell);
}

}  // namespace qibor
