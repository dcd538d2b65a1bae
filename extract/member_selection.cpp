#include "extract/member_selection.h"

#include <algorithm>
#include <vector>

#include "extract/extraction_plan.h"
#include "extract/member_path.h"
#include "extract/written_entries.h"
#include "floor/code_page_text.h"
#include "listing/kept_members.h"
#include "listing/listing_builder.h"
#include "listing/member_size.h"
#include "tool/captures.h"
#include "tool/commands.h"
#include "tool/run_tool.h"

namespace qibor {
namespace {

// An entry the argument may select, judged by its printed path.
struct Candidate {
  std::size_t line;
  std::wstring key;
  bool file;
  std::int64_t size;
  std::string plain;    // its path, the tool's bytes
  std::string verbose;  // its verbose line, to recognise it in the argument's own listing
};

}  // namespace

std::optional<NamedMember> FindNamedMember(ListingCaptures& captures, const ArchiveEntryW& record,
                                           const std::string& listedPath, std::int64_t sizeLimit) {
  const UINT codePage = ToolOutputCodePage();
  std::optional<NamedMember> found;
  std::size_t namedElsewhere = 0;
  bool foundAtPosition = false;
  std::uint64_t position = 0;
  std::wstring path;
  const bool read = ForEachKeptMember(captures, sizeLimit, [&](const KeptMember& member, std::string_view plainLine) {
    const bool atPosition = position++ == record.position;
    if (static_cast<std::uint64_t>(member.size) != record.size) return true;
    if (listedPath.empty()) {
      DecodeTextInto(plainLine, codePage, path);
      if (!RecordNamesMember(record, path, member.size)) return true;
    } else if (plainLine != listedPath) {
      return true;
    }
    if (atPosition || namedElsewhere++ == 0) {
      found = NamedMember{std::string(plainLine), member.size, member.line};
      foundAtPosition = atPosition;
    }
    return !atPosition;
  });
  if (!read || !found) return std::nullopt;
  // Not at its position and named more than once elsewhere: which one the
  // host meant cannot be told.
  if (!foundAtPosition && namedElsewhere > 1) return std::nullopt;
  return found;
}

namespace {

std::optional<std::vector<Candidate>> CandidatesOf(ListingCaptures& captures, std::wstring_view patternKey,
                                                   UINT codePage) {
  std::vector<Candidate> candidates;
  std::wstring printed;
  const bool read = ForEachListedEntry(captures, [&](std::size_t line, std::string_view plain, std::string_view verbose) {
    DecodeTextInto(plain, codePage, printed);
    std::wstring key = MatchKey(printed);
    if (MatchOf(key, patternKey) == MatchKind::None) return true;
    candidates.push_back(Candidate{line, std::move(key), IsFileEntry(verbose, plain), ParseMemberSize(verbose, plain),
                                   std::string(plain), std::string(verbose)});
    return true;
  });
  if (!read) return std::nullopt;
  return candidates;
}

// The verbose lines of what the member arguments really select, in order.
std::optional<std::vector<std::string>> ListSelected(const std::wstring& toolPath, const std::wstring& archivePath,
                                                     const std::vector<std::wstring>& patterns) {
  const std::optional<std::string> output = CaptureToolOutput(SelectionListingCommand(toolPath, patterns),
                                                              archivePath, SelectionListingFile(), ErrorStream::Discard);
  if (!output) return std::nullopt;
  std::vector<std::string> lines;
  std::string_view rest = *output;
  CapturedLine line;
  while (TakeCapturedLine(rest, line)) lines.emplace_back(line.text);
  return lines;
}

// Which candidates the selected lines are, when only one reading fits: the
// leftmost and the rightmost way of finding them in order agree.
std::optional<std::vector<bool>> MatchSelected(const std::vector<Candidate>& candidates,
                                               const std::vector<std::string>& selected) {
  const std::size_t n = candidates.size();
  std::vector<std::size_t> left, right;
  for (std::size_t i = 0, j = 0; j < selected.size(); ++i) {
    if (i == n) return std::nullopt;
    if (candidates[i].verbose == selected[j]) {
      left.push_back(i);
      ++j;
    }
  }
  for (std::size_t i = n, j = selected.size(); j > 0; --i) {
    if (i == 0) return std::nullopt;
    if (candidates[i - 1].verbose == selected[j - 1]) {
      right.push_back(i - 1);
      --j;
    }
  }
  std::reverse(right.begin(), right.end());
  if (left != right) return std::nullopt;
  std::vector<bool> chosen(n, false);
  for (const std::size_t i : left) chosen[i] = true;
  return chosen;
}

// The other entries the argument selects, each left out by its exact name,
// when the tool's own listing of those names shows that each is exactly what
// it printed: then the member is the only entry the run writes. A name that
// prints differently from what it is cannot be any of those exact names.
std::optional<std::vector<std::wstring>> ExclusionsFor(const std::wstring& toolPath, const std::wstring& archivePath,
                                                       const std::vector<Candidate>& candidates,
                                                       const std::vector<bool>& real, std::size_t memberLine,
                                                       std::wstring_view patternKey) {
  constexpr std::size_t kMostExclusions = 64;
  std::vector<std::wstring> names;
  std::vector<std::size_t> others;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const Candidate& candidate = candidates[i];
    // What lies below a selected name is left out as a whole.
    if (!real[i] || candidate.line == memberLine || MatchOf(candidate.key, patternKey) != MatchKind::Same) continue;
    if (names.size() == kMostExclusions) return std::nullopt;
    names.push_back(EscapeMemberPattern(candidate.key));
    others.push_back(i);
  }
  if (names.empty()) return std::nullopt;
  const std::optional<std::vector<std::string>> selected = ListSelected(toolPath, archivePath, names);
  if (!selected) return std::nullopt;
  const std::optional<std::vector<bool>> exact = MatchSelected(candidates, *selected);
  if (!exact) return std::nullopt;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (candidates[i].line == memberLine && (*exact)[i]) return std::nullopt;  // the member's own name is exact
  }
  std::vector<std::wstring> exclusions;
  for (std::size_t k = 0; k < others.size(); ++k) {
    if (!(*exact)[others[k]]) return std::nullopt;
    exclusions.push_back(L"^" + names[k] + L"$");
  }
  return exclusions;
}

// The run for a plan: the entries it writes are the member and, when it
// reads all, the copies of its name before it that the argument selects.
EntryRun RunFor(const std::wstring& toolPath, const ExtractionArguments& arguments,
                const std::vector<Candidate>& candidates, const std::vector<bool>& real, const NamedMember& member,
                std::wstring_view patternKey) {
  EntryRun run;
  run.commandLine = ExtractionCommand(toolPath, arguments);
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const Candidate& candidate = candidates[i];
    const bool member_ = candidate.line == member.line;
    if (!member_ && (arguments.stopAtFirst || !arguments.exclusions.empty() || !real[i] ||
                     candidate.line > member.line || MatchOf(candidate.key, patternKey) != MatchKind::Same)) {
      continue;
    }
    run.names.push_back(ExtractedEntryName(candidate.plain));
    run.sizes.push_back(static_cast<std::uint64_t>(candidate.size));
  }
  run.target = run.names.size() - 1;
  return run;
}

}  // namespace

std::optional<EntryRun> RunSelecting(const std::wstring& toolPath, const std::wstring& archivePath,
                                     ListingCaptures& captures, const NamedMember& member, std::int64_t sizeLimit) {
  const UINT codePage = ToolOutputCodePage();
  const std::wstring printed = DecodeText(member.path, codePage);

  // First the printed path itself, "?" standing for the units the code page
  // cannot show; then, for look-alikes, every name of its shape.
  for (const Wildcards wildcards : {Wildcards::Unshown, Wildcards::EveryUnit}) {
    const std::optional<std::wstring> pattern = MemberPattern(printed, wildcards);
    if (!pattern) continue;
    const std::wstring patternKey = PatternKey(printed, wildcards);
    const std::optional<std::vector<Candidate>> candidates = CandidatesOf(captures, patternKey, codePage);
    if (!candidates) return std::nullopt;
    // Printed names may select more than the real names do; where another
    // entry is in question, the argument's own listing says which it takes.
    std::vector<bool> real(candidates->size(), true);
    if (candidates->size() > 1) {
      const std::optional<std::vector<std::string>> selected = ListSelected(toolPath, archivePath, {*pattern});
      if (!selected) return std::nullopt;
      const std::optional<std::vector<bool>> matched = MatchSelected(*candidates, *selected);
      if (!matched) continue;
      real = *matched;
    }
    ExtractionPlan plan = StartPlan(member.line, patternKey, sizeLimit);
    bool memberSelected = false;
    for (std::size_t i = 0; i < candidates->size(); ++i) {
      const Candidate& candidate = (*candidates)[i];
      if (!real[i]) continue;
      if (candidate.line == member.line) memberSelected = true;
      AddToPlan(plan, PlannedEntry{candidate.line, candidate.key, candidate.file, candidate.size});
    }
    if (!memberSelected) continue;
    ExtractionArguments arguments;
    arguments.pattern = *pattern;
    const ExtractionRun kind = ChooseRun(plan);
    if (kind != ExtractionRun::Refuse) {
      arguments.stopAtFirst = kind == ExtractionRun::StopAtFirst;
      arguments.excludeBelow = kind == ExtractionRun::ReadAll;
      return RunFor(toolPath, arguments, *candidates, real, member, patternKey);
    }
    // A look-alike after the name it looks like: every pattern that selects
    // it selects that one first. Leave the others out by their exact names.
    if (!HasWildcard(patternKey)) continue;
    std::optional<std::vector<std::wstring>> exclusions =
        ExclusionsFor(toolPath, archivePath, *candidates, real, member.line, patternKey);
    if (!exclusions) continue;
    arguments.stopAtFirst = false;
    arguments.excludeBelow = true;
    arguments.exclusions = std::move(*exclusions);
    return RunFor(toolPath, arguments, *candidates, real, member, patternKey);
  }
  return std::nullopt;
}

std::optional<EntryRun> PassTo(const std::wstring& toolPath, ListingCaptures& captures, const NamedMember& member) {
  EntryRun run;
  run.commandLine = PassCommand(toolPath);
  // Every entry's bytes must be known: they place the member's, and they
  // must add up to what the pass wrote.
  bool known = true;
  const bool read = ForEachListedEntry(captures, [&](std::size_t, std::string_view plain, std::string_view verbose) {
    const std::optional<std::uint64_t> bytes = BytesWrittenFor(verbose, plain);
    known = bytes.has_value();
    if (known) {
      run.names.push_back(ExtractedEntryName(plain));
      run.sizes.push_back(*bytes);
    }
    return known;
  });
  if (!read || !known || run.names.size() <= member.line) return std::nullopt;
  run.target = member.line;
  return run;
}

}  // namespace qibor
