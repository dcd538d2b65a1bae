#include "tool/commands.h"

namespace qibor {

std::wstring QuoteArgument(std::wstring_view argument) {
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      // Backslashes before a quotation mark are doubled, and the mark escaped.
      quoted.append(backslashes * 2 + 1, L'\\');
    } else {
      quoted.append(backslashes, L'\\');
    }
    backslashes = 0;
    quoted.push_back(c);
  }
  // Backslashes before the closing mark are doubled so they stay literal.
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

std::wstring PlainListingCommand(const std::wstring& toolPath) { return QuoteArgument(toolPath) + L" tf -"; }

std::wstring VerboseListingCommand(const std::wstring& toolPath) { return QuoteArgument(toolPath) + L" tvf -"; }

std::wstring SelectionListingCommand(const std::wstring& toolPath, const std::vector<std::wstring>& patterns) {
  std::wstring command = VerboseListingCommand(toolPath) + L" --";
  for (const std::wstring& pattern : patterns) command += L" " + QuoteArgument(pattern);
  return command;
}

std::wstring ExtractionCommand(const std::wstring& toolPath, const ExtractionArguments& arguments) {
  std::wstring command = QuoteArgument(toolPath) + (arguments.stopAtFirst ? L" xqvOf -" : L" xvOf -");
  // "^P/?*" selects what lies below the member, never the member itself:
  // the tool's "/" also matches the end of a name, so "P/*" would.
  if (arguments.excludeBelow) command += L" --exclude " + QuoteArgument(L"^" + arguments.pattern + L"/?*");
  for (const std::wstring& exclusion : arguments.exclusions) command += L" --exclude " + QuoteArgument(exclusion);
  return command + L" -- " + QuoteArgument(arguments.pattern);
}

std::wstring PassCommand(const std::wstring& toolPath) { return QuoteArgument(toolPath) + L" xvOf -"; }

}  // namespace qibor
