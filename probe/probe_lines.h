#pragma once
// Judging the tool's verbose listing of a file: whether it lists entries,
// refused to open the file or complained, and whether the member names are
// plain ASCII where the `tar` setting asks. Pure, no Windows header.
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

// What a run's lines say.
struct ProbeLines {
  std::size_t entries = 0;   // entries listed
  bool toolMessage = false;  // the tool said something of its own
  bool refused = false;      // it could not open the file, or a checked name is not ASCII
};

// Adds one line of the run's output or error stream. With `checkNames`, an
// entry whose name holds a byte outside ASCII refuses the file: tar headers
// do not say which code page their names are in.
void AddProbeLine(std::string_view line, bool checkNames, ProbeLines& lines);
// Adds every line of a capture.
void AddProbeLines(std::string_view output, bool checkNames, ProbeLines& lines);

// Whether the file is taken: nothing refused, and either entries listed or
// a run that ended well without a word. An archive the tool cannot read
// ("LZMA codec is unsupported", an encrypted header) lists no entry and
// complains or exits with an error; an empty one lists nothing quietly.
inline bool ProbeAccepts(const ProbeLines& lines, bool exitedWell) {
  if (lines.refused) return false;
  return lines.entries > 0 || (!lines.toolMessage && exitedWell);
}

}  // namespace qibor
