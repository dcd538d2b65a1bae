#pragma once
// What an extraction run's messages say it wrote. With "-v" the tool prints
// "x NAME" on its error stream before an entry's bytes and ends the line once
// they are out, with ": REASON" before the line end when it could not write
// them whole. Pure, no Windows header.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qibor {

// The name an "x" line gives an entry: its listed path (the tool's bytes)
// less what the tool strips off the front of every path it extracts, drive
// letters, slashes and "/../" or "/./" steps ("/abs.txt" is "abs.txt",
// "C:/d.txt" is "d.txt"); "." when nothing is left.
std::string ExtractedEntryName(std::string_view listedPath);

// The entries a run is expected to write, in order, checked line by line.
struct EntryTally {
  std::vector<std::string> names;  // each entry's "x" name
  std::size_t confirmed = 0;       // entries whose line came whole, in order
  bool failed = false;             // a line did not: another name, or a reason after it
};
// Takes one whole message line. The tool's other messages (warnings start
// with its own name) are about no entry's bytes and are passed over.
void TallyMessageLine(EntryTally& tally, std::string_view line);

}  // namespace qibor
