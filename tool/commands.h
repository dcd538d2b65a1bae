#pragma once
// The tool's command lines. The archive always comes on standard input
// ("-"), and every argument is quoted, so no file-system path and no member
// name reaches the tool's option parser as anything but itself.
#include <string>
#include <string_view>
#include <vector>

namespace qibor {

// Quotes one argument so that the C runtime's parser gives it back unchanged.
std::wstring QuoteArgument(std::wstring_view argument);

// "TOOL" tf -
std::wstring PlainListingCommand(const std::wstring& toolPath);
// "TOOL" tvf -
std::wstring VerboseListingCommand(const std::wstring& toolPath);
// "TOOL" tvf - -- PATTERN...: what the member arguments really select.
std::wstring SelectionListingCommand(const std::wstring& toolPath, const std::vector<std::wstring>& patterns);

// What one extraction run writes on its standard output: the entries
// `pattern` selects, less what lies below it (excludeBelow) and less each of
// `exclusions`. The tool creates no file: every entry's bytes go to its
// standard output ("-O"), and its error stream gets an "x NAME" line for
// each entry ("-v").
struct ExtractionArguments {
  std::wstring pattern;
  bool stopAtFirst = true;  // -q: the run ends once its first match is out
  bool excludeBelow = false;
  std::vector<std::wstring> exclusions;
};
// "TOOL" xqvOf - -- PATTERN, or "TOOL" xvOf - --exclude ... -- PATTERN
std::wstring ExtractionCommand(const std::wstring& toolPath, const ExtractionArguments& arguments);
// "TOOL" xvOf -: every entry of the archive, in the order of its listing.
std::wstring PassCommand(const std::wstring& toolPath);

}  // namespace qibor
