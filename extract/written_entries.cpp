#include "extract/written_entries.h"

namespace qibor {
namespace {

bool IsSlash(char c) { return c == '/' || c == '\\'; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

std::string ExtractedEntryName(std::string_view path) {
  // "//./" and "//?/" ("//?/UNC/" too) start Windows' own absolute paths.
  if (path.size() >= 4 && IsSlash(path[0]) && IsSlash(path[1]) && (path[2] == '.' || path[2] == '?') &&
      IsSlash(path[3])) {
    const bool unc = path[2] == '?' && path.size() >= 8 && (path[4] == 'U' || path[4] == 'u') &&
                     (path[5] == 'N' || path[5] == 'n') && (path[6] == 'C' || path[6] == 'c') && IsSlash(path[7]);
    path.remove_prefix(unc ? 8 : 4);
  }
  for (std::size_t before = path.size() + 1; before != path.size();) {
    before = path.size();
    if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':') path.remove_prefix(2);
    while (!path.empty() && IsSlash(path[0])) {
      if (path.size() >= 4 && path[1] == '.' && path[2] == '.' && IsSlash(path[3])) {
        path.remove_prefix(3);
      } else if (path.size() >= 3 && path[1] == '.' && IsSlash(path[2])) {
        path.remove_prefix(2);
      } else {
        path.remove_prefix(1);
      }
    }
  }
  return path.empty() ? std::string(".") : std::string(path);
}

void TallyMessageLine(EntryTally& tally, std::string_view line) {
  if (tally.failed || line.size() < 2 || line[0] != 'x' || line[1] != ' ') return;
  line.remove_prefix(2);
  // A line past the expected entries, or not exactly the next one's name.
  if (tally.confirmed == tally.names.size() || line != tally.names[tally.confirmed]) {
    tally.failed = true;
    return;
  }
  ++tally.confirmed;
}

}  // namespace qibor
